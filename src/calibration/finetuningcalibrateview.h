#pragma once

#include <QDialog>
#include <QJsonObject>
#include <QMutex>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>

namespace Ui {
class FineTuningDialog;
}

class HandleWork;
class HardwareInterface;
class QEventLoop;
class QPainter;
class QTimer;

// The full-screen fine-tuning calibration: two reference dots near the
// top-left and the bottom-right corner. The operator long-presses a dot; the
// offset of the reported position from the dot's centre moves the frame's
// calibration values of that corner (LX, LY or RX, RY), which are then sent
// to the frame. While the screen is open the frame reports its touches as
// mouse input (the start task switches both interfaces to the mouse format,
// the exit task gives them back). On leaving, the operator keeps the new
// values (stored in flash and as default) or resets the frame's calibration.
//
// Everything runs on the GUI thread. The screen never waits for the frame:
// an adjustment sets the cached values in a short hold of the device mutex
// (tried, never waited for) and posts the send to the dispatcher, which
// answers CalDataSent; until then no further adjustment is made.
class CFineTuningCalibrateView : public QDialog
{
    Q_OBJECT

public:
    // Where the dots are, for a screen of the given size.
    struct SGeometry
    {
        QPoint leftTop;      // D1
        QPoint rightBottom;  // D2
        int nHitHalf = 0;    // r: half the side of the hit square
        int nSquare = 0;     // S: side of the drawn square
    };
    static SGeometry Geometry(const QSize& screen);
    // P lies in the square of dot D: both bounds strict.
    static bool InSquare(const QPoint& point, const QPoint& dot, int nHitHalf);
    // The change of (X, Y) for a reported offset from the dot's centre: one
    // step for an offset up to 3 pixels (also for 0), the offset itself
    // beyond, with its sign.
    static QPoint Adjustment(const QPoint& offset);
    // The prompt's rectangle for the active dot, given its text size.
    static QRect PromptRect(const QSize& screen, bool bLeftTop, const QSize& text);
    // The dashed line from the active dot to the prompt's nearest corner.
    static QLine LeaderLine(const QSize& screen, bool bLeftTop);

    CFineTuningCalibrateView(QWidget* parent, HandleWork* pHandleWork);
    ~CFineTuningCalibrateView() override;

    // Prepares the screen and the frame; the caller shows the screen.
    void StartFineTuningCal();

    // The screen size the picture and the dots are computed for; the primary
    // screen's at construction (tests and benchmarks draw for another).
    void SetScreenSize(const QSize& size);
    QSize ScreenSize() const { return QSize(m_nScreenWidth, m_nScreenHeight); }

signals:
    void UpdateTouchPoint(QPoint point, QPoint leftPoint, QPoint rightPoint, float nCalRegionWidth);
    void StartCalibrate();
    void ExitCalibrate(bool);
    void emitInterruptCurrentRecvWork();
    // Kept for the calibration view's connection; the dispatcher reports the
    // send's failures itself, so the screen emits nothing here.
    void EmitCalibrateMsg(QJsonObject msg);

public slots:
    void CalWork();
    void CloseFineTuningCal();
    void Btn_Reset_Response();
    // The dispatcher's answer to this screen's "SendCalDataToDev".
    void CalDataSent(int result);
    // The dispatcher's answer to this screen's "ExitFineTuningCalibrate":
    // 0 when the frame took back its touch formats; bFormatsRead false when
    // the start could not read them, so none were given back.
    void FineTuningExited(int result, bool bFormatsRead);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    // The program ends with the screen open: the frame gets its touch
    // formats back without a question.
    void LeaveAtProgramEnd();

private:
    // A new press or a release: a fresh long press.
    void BeginPress(const QPoint& pos);
    // One adjustment of a long press. False when the tick has to be tried
    // again (the device is busy, or the previous send is unanswered).
    bool AdjustOnce();
    void AdjustPair(HardwareInterface* pDevice, bool bLeftPair, const QPoint& offset);
    void DrawPicture(QPainter* pPainter);
    // Hides the screen without its leaving road running again.
    void CloseScreen();
    // The station is closing: no question, no task.
    bool StationClosing() const;

    Ui::FineTuningDialog* ui;
    QTimer* m_pCalTimer = nullptr;
    QPointer<HandleWork> m_pHandleWork;
    QMutex m_mutex;
    QPoint m_ptCurrent{0, 0};
    QPoint m_ptAnchor{-1, -1};
    bool m_bLeftTopDot = true;
    bool m_bCalModified = false;
    int m_nLongPressCount = 0;
    bool m_bPainted = false;
    int m_nScreenWidth = 0;
    int m_nScreenHeight = 0;

    // Started and not left: the frame is in the mouse format.
    bool m_bRunning = false;
    // A send of this screen is unanswered.
    bool m_bSendPending = false;
    // Every press and release starts a new one; a failed send ends the
    // adjustments of the press it was made for.
    int m_nPress = 0;
    int m_nSendPress = -1;
    int m_nStoppedPress = -1;
    int m_nNoFrameLoggedPress = -1;
    // The leaving road runs (a close() inside it is no new leave).
    bool m_bLeaving = false;
    bool m_bProgramEnd = false;
    bool m_bExitAnswered = false;
    int m_nExitResult = 0;
    bool m_bExitFormatsRead = true;
    QEventLoop* m_pExitLoop = nullptr;
};
