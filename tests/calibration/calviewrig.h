#pragma once

// The calibration view on its own, over the real dispatcher (CDispatchRig:
// real HandleWork, USB port and device layer on the fake OS backend, an
// emulated frame that is plugged only when a test asks), with a plain widget
// standing in for the main window that owns it and its screens.

#include "calworkcustomview.h"
#include "dispatchrig.h"
#include "veloracalibrateview.h"

#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>

#include <memory>

// The view with the folder question answered by the test: the text in
// strFolder (empty: cancelled).
class CTestCalibrateView : public VeloraCalibrateView
{
public:
    using VeloraCalibrateView::VeloraCalibrateView;

    QString strFolder;
    int nFolderQuestions = 0;

protected:
    QString ChooseLogFolder() override
    {
        ++nFolderQuestions;
        return strFolder;
    }
};

class CCalViewRig
{
public:
    CDispatchRig rig;
    std::unique_ptr<QWidget> owner;
    CTestCalibrateView* view = nullptr;

    void Create()
    {
        rig.Create(CALIBRATEWORK);
        owner = std::make_unique<QWidget>();
        view = new CTestCalibrateView(owner.get(), rig.work.get());
        // What the main window passes on.
        QObject::connect(rig.work.get(), &HandleWork::EmitDeviceStatusToUIObject, view,
                         &VeloraCalibrateView::InsertUsbDeviceForCalibrate);
    }

    // The view first (it releases its screens), the main window's stand-in
    // with the rest, the station last.
    void Destroy()
    {
        if (!owner)
            return;
        rig.work->StopWorker();
        delete view;
        view = nullptr;
        owner.reset();
        rig.Destroy();
    }

    // Opens the view as the main window does.
    void Open()
    {
        view->InitCalibrateView();
        view->show();
    }

    QTableWidget* Log() const { return view->findChild<QTableWidget*>(QStringLiteral("CalLogTableWidget")); }
    QPushButton* CalButton() const { return view->findChild<QPushButton*>(QStringLiteral("Btn_Cal_2")); }
    QPushButton* ResetButton() const { return view->findChild<QPushButton*>(QStringLiteral("Btn_Reset_2")); }
    QComboBox* Mode() const { return view->findChild<QComboBox*>(QStringLiteral("combox_CalMode_2")); }
    CCalWorkCustomView* Screen() const { return owner->findChild<CCalWorkCustomView*>(); }

    QStringList LogTexts() const { return Column(1); }
    QStringList Column(int nColumn) const
    {
        QStringList texts;
        QTableWidget* pTable = Log();
        for (int r = 0; r < pTable->rowCount(); ++r)
            texts << (pTable->item(r, nColumn) ? pTable->item(r, nColumn)->text() : QString());
        return texts;
    }
};

// Closes the next message box without pressing any of its buttons (as when
// its window goes away), which answers neither Yes nor No.
class CBoxCloser
{
public:
    CBoxCloser()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                if (pBox->isVisible()) {
                    texts << pBox->text();
                    pBox->reject();
                }
            }
        });
        m_timer.start(5);
    }
    QStringList texts;

private:
    QTimer m_timer;
};
