#pragma once

#include <QDialog>
#include <QMutex>
#include <QPoint>
#include <QSize>
#include <QVector>

class HandleWork;
class QTimer;

// The full-screen target screen of the four-point calibration. While the
// frame runs its own four-point procedure, it shows where to touch: a cross
// with rings pulsing inward at one corner after the other (top left, top
// right, bottom right, bottom left), and in the middle the seconds left of a
// 30-second count-down. It reads no touches: the frame sees the touch and the
// dispatcher tells the screen the next step (UpdateCalStep). Each second of
// the count-down becomes the time-out of the following step commands; when
// the time is up, the step that waits for the frame is interrupted.
//
// Built once by the calibration view and reused: StartCalCountDown() resets
// it before each showing; closing only hides it.
class CCalWorkCustomView : public QDialog
{
    Q_OBJECT

public:
    // Seconds of the count-down.
    static constexpr int kCountDownSeconds = 30;
    static constexpr int kCountDownTickMs = 1000;
    static constexpr int kRepaintMs = 500;

    // What one paint draws on a screen of a given size, for the current step
    // and animation frame (-1: the first paint since the start).
    struct SPicture
    {
        bool bDraws = false;
        QPoint target;
        int nCrossHalfLength = 0;
        // Ring diameters in the order they are drawn (outer and inner ring
        // of each pair in turn); a diameter may be negative.
        QVector<int> rings;
        bool bCountDown = false;
        QPoint countDownAt;   // left end of the number's baseline
        int nNextFrame = 0;   // the animation frame after this paint
    };
    static QPoint TargetOf(const QSize& screen, int nStep);
    static SPicture PictureOf(const QSize& screen, int nStep, int nAnimFrame);

    CCalWorkCustomView(QWidget* parent, HandleWork* pHandleWork);
    ~CCalWorkCustomView() override;

    // Resets the count-down, the step and the animation and (re)starts both
    // timers; does not show the screen.
    void StartCalCountDown();
    // Stops both timers; interrupts the waiting step unless the four points
    // are done (step 5); closes the screen when it is the active window.
    void StopCalWork();

    int CountDown() const { return m_nCountDown; }
    int CalStep() const { return m_nCalStep; }
    int AnimFrame() const { return m_nAnimFrame; }
    bool IsCountingDown() const;
    bool IsRepainting() const;
    QSize ScreenSize() const { return QSize(m_nScreenWidth, m_nScreenHeight); }
    // Tests only: draw for a screen of this size instead of the primary
    // screen's size taken at construction.
    void SetScreenSizeForTest(const QSize& size);

signals:
    void UpdateCountDown(int nCountDownTime);
    void CloseThisView();
    void emitInterruptCurrentRecvWork();

public slots:
    // One second of the count-down.
    void UpdateCalCountDownTime();
    // The step the frame waits for now; 5: the four points are done.
    void UpdateCalStepDrawing(int step);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void SetScreenSize(const QSize& size);

    QMutex m_mutex;
    HandleWork* m_pHandleWork = nullptr;
    int m_nCalStep = 0;
    int m_nAnimFrame = -1;
    int m_nScreenWidth = 0;
    int m_nScreenHeight = 0;
    int m_nInnerRingOffset = 0;
    int m_nRingSpacing = 0;
    int m_nCountDown = kCountDownSeconds;
    QTimer* m_pRepaintTimer = nullptr;
    QTimer* m_pCountDownTimer = nullptr;
};
