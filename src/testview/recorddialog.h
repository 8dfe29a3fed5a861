#pragma once

#include <QDialog>
#include <QTime>

class QTimer;

namespace Ui {
class CRecordDialog;
}

// The small dark clock that stands over the test view while a frame's data
// is recorded: it counts the seconds since StartClock ("hh:mm:ss", wrapping
// after a day) and carries the record button that ends the recording.
// Frameless, 70 % opaque, dragged with the left button.
class CRecordDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CRecordDialog(QWidget* parent);
    ~CRecordDialog() override;

    // Restarts the count at 00:00:00 and checks the record button again, so
    // that every recording opens with the stop picture. Does not show the
    // dialog: the caller runs exec() next.
    void StartClock();
    // Stops the count and hides the dialog (which ends a running exec()).
    void StopClock();
    // The one-second clock (it has no parent: the dialog deletes it).
    const QTimer* ClockTimer() const { return m_pClockTimer; }

signals:
    void emitExitRecord();

public slots:
    void on_recordButton_clicked(bool checked);
    void UpdateTime();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    Ui::CRecordDialog* ui = nullptr;
    int m_nAnchorX = 0;
    int m_nAnchorY = 0;
    QTimer* m_pClockTimer = nullptr;
    QTime m_elapsed;
};
