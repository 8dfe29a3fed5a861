#pragma once

#include "worktype.h"

#include <QDialog>
#include <QList>
#include <QPair>
#include <QString>

class CTouchPaintView;
class HandleWork;

// The signal-test work view (a placeholder until the test workbench is
// built): it opens from the main window and hands the main panel back when
// it closes.
class VeloraTestView : public QDialog
{
    Q_OBJECT

public:
    VeloraTestView(QWidget* parent, HandleWork* pHandleWork);

    // Called by the main window right after it has shown the view.
    void StartTest();

signals:
    void emitWorkType(eWorkType type);

public slots:
    void InsertUsbDeviceForTest(bool value);
    void UpdateSignalTestDeviceInfo(QList<QPair<QString, QString>> lstDevInfo);
    void OpenTouchPaintWindow();
    void SetTouchEnableCheck(bool value);

private:
    CTouchPaintView* m_pTouchPaintView = nullptr;
};
