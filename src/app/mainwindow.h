#pragma once

#include "imainwindow.h"
#include "worktype.h"

#include <QList>
#include <QMainWindow>
#include <QPair>
#include <QPixmap>
#include <QString>
#include <cstdint>

namespace Ui {
class MainWindow;
}

class HandleWork;
class MainSetUpDialog;
class QLabel;
class QTableWidget;
class VeloraCalibrateView;
class VeloraTestView;
class VeloraUpgradeView;

// The station's main window: the frame's identity (product, batch text and
// its QR code, device and runtime tables) and the tool column that opens the
// work views. It owns the task dispatcher and the work views for the whole
// run, and turns the device errors the dispatcher reports into message boxes.
class MainWindow : public QMainWindow, public IMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    eWorkType GetWorkType() const override { return m_eWorkType; }
    QWidget* GetWindowWidget() override { return this; }

    HandleWork* GetHandleWork() const { return m_pHandleWork; }

    // The QR code of text (at least version 2, level Q, 8-bit mode) drawn on a
    // white width x height image; null when the text cannot be encoded.
    static QPixmap MakeQRCodePixmap(const QString& text, int width, int height);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

signals:
    void DeviceStatusChange_Emit(bool status);
    void UpdateChildViewDeviceInfo(QList<QPair<QString, QString>> lstDevInfo);

public slots:
    void InsertUsbDeviceForMainwindow(bool value);
    void InitDeviceInfoForUI(QList<QPair<QString, QString>> lstDevInfo,
                             QList<QPair<QString, QString>> lstAppInfo);
    void ToggleFunction(eWorkType type);
    void MainWindpwSetUpClose_Slot();
    void on_lstActionToolButton_clicked(bool bIsCheck);
    void on_touchEnToolButton_clicked(bool bIsCheck);
    void on_upgradeToolButton_clicked(bool bIsCheck);
    void on_signalToolButton_clicked(bool bIsCheck);
    void on_calToolButton_clicked(bool bIsCheck);
    void on_exitToolButton_clicked(bool bIsCheck);
    void ShowErrorMessage(int32_t errorCode, QString task);
    // A serial number written to the frame that its read-back does not give
    // back (nReadBack 0: the frame holds strHeld, empty for none; otherwise
    // what it holds is unknown).
    void ShowBatchInfoNotHeld(QString strWritten, int32_t nReadBack, QString strHeld);

private:
    // Reads and tests the frame anew, as if it had been plugged again.
    void ReadFrameAgain();
    // Opens the view "DefaultInterface" names, once the window is shown, so
    // that it opens in front of the window and takes the keys.
    void OpenStartView();
    QWidget* ViewOf(eWorkType type) const;
    void SetToolButtonsEnabled(bool bEnable);
    void InitNoticeLabel();
    void InitWork();
    void SetQRCode(const QString& text);
    static void ResetInfoTable(QTableWidget* pTable);
    static void AddHeadingRow(QTableWidget* pTable, int nRow, const QString& text);
    static void AddValueRow(QTableWidget* pTable, int nRow, const QString& name, const QString& value);

    Ui::MainWindow* ui;
    QLabel* m_pNoticeLabel = nullptr;
    MainSetUpDialog* m_pSetUpDialog = nullptr;
    HandleWork* m_pHandleWork = nullptr;
    VeloraTestView* m_pTestView = nullptr;
    VeloraUpgradeView* m_pUpgradeView = nullptr;
    VeloraCalibrateView* m_pCalibrateView = nullptr;
    eWorkType m_eWorkType = MAINWORK;
    // The start view waits for the first show.
    bool m_bStartViewPending = false;
};
