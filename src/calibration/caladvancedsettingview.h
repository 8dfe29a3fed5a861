#pragma once

#include <QDialog>
#include <QList>
#include <QPointF>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <cstdint>

namespace Ui {
class CalDialog;
}

class HandleWork;
class QTimer;

// The full-screen manual calibration: the frame's four calibration values
// in boxes near the four edges, the four edge zones and a dot at the last
// reported touch, and two arrow buttons per edge that move that edge's value
// by one step through the dispatcher ("CAL_..." tasks). On leaving after a
// change the operator keeps the values (stored in flash and as default) or
// resets the frame's calibration.
//
// Everything runs on the GUI thread and nothing waits for the device: the
// values are read by the task "READ_CAL_VALUES", which answers
// CalValuesRead. The screen is parented to the main window and outlives the
// dispatcher at the end of the program: its destructor does not reach it.
class CCalAdvancedSettingView : public QDialog
{
    Q_OBJECT

public:
    // The box text of a calibration value: "0x" and lower-case hexadecimal
    // digits, a minus sign after the prefix (-1 shows 0x-1).
    static QString ValueText(int32_t nValue);
    // The left, top, right and bottom edge zones for a screen of that size.
    static QList<QRect> Zones(const QSize& screen);
    // The touch dot's rectangle at a touch position.
    static QRect DotRect(const QPointF& touch);

    CCalAdvancedSettingView(QWidget* parent, HandleWork* pHandleWork);
    ~CCalAdvancedSettingView() override;

    // Prepares the screen before it is shown.
    void InitSettingView();
    // The leaving road; true when the screen was closed (only the active
    // window closes).
    bool ExitWithSavePrompt();

    // The screen size the zones are drawn for; the primary screen's at
    // construction (tests and benchmarks draw for another).
    void SetScreenSize(const QSize& size);
    QSize ScreenSize() const { return QSize(m_nScreenWidth, m_nScreenHeight); }

signals:
    void CloseThisView();

public slots:
    void Btn_LtL_Response();
    void Btn_LtR_Response();
    void Btn_RtL_Response();
    void Btn_RtR_Response();
    void Btn_TtT_Response();
    void Btn_TtB_Response();
    void Btn_BtB_Response();
    void Btn_BtT_Response();
    void Btn_Reset_Response();
    void Btn_Exit_Response();
    // The values changed in the device object: read them again.
    void ResetCalibrationData();
    // The dispatcher's answer to this screen's "READ_CAL_VALUES".
    void CalValuesRead(int lx, int ly, int rx, int ry);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    // The program ends: changed values are neither stored nor reset.
    void LeaveAtProgramEnd();

private:
    // A child button lies under pos (in the window's coordinates).
    bool IsOnButton(const QPointF& pos) const;
    void PostArrow(const char* szTask);
    void ReadValues();
    void ShowValues();
    bool StationClosing() const;

    Ui::CalDialog* ui;
    QTimer* m_pRepaintTimer = nullptr;
    // Asks again for a read of the values that was refused.
    QTimer* m_pReadRetryTimer = nullptr;
    QPointer<HandleWork> m_pHandleWork;
    bool m_bChanged = false;
    int32_t m_nLX = 0;
    int32_t m_nLY = 0;
    int32_t m_nRX = 0;
    int32_t m_nRY = 0;
    int m_nScreenWidth = 0;
    int m_nScreenHeight = 0;
    double m_dTouchX = 0.0;
    double m_dTouchY = 0.0;
    // The leaving road runs (a close() inside it is no new leave).
    bool m_bLeaving = false;
    bool m_bProgramEnd = false;
};
