#pragma once

#include <QColor>
#include <QObject>
#include <QPoint>
#include <QSize>
#include <QString>

class CToastDlg;

// A short confirmation near the middle of the primary screen: the text shows
// for two seconds in a small frameless window that does not take the
// keyboard focus, then hides. One process-wide instance, made on first use
// and used on the GUI thread only; it goes (with its window) just before the
// application object, so no timer of it outlives the application.
class CToast : public QObject
{
    Q_OBJECT

public:
    static CToast* Instance();

    // Shows text (already translated) at a level: 0 grey, 1 blue, anything
    // else red. A tip shown while another is up replaces it and stays its own
    // full two seconds.
    void ShowTip(int level, const QString& text);

    CToastDlg* Dialog() const { return m_pToastDlg; }

    // Where the window's top-left corner goes on a primary screen of this
    // size: a fixed 100 pixels left of the centre, so the window itself is
    // not centred.
    static QPoint TopLeftFor(const QSize& screen);
    // The background of a level.
    static QColor BackgroundOf(int level);
    // How long a tip shows, in ms (before the station clock's scaling).
    static constexpr int kShowMs = 2000;

signals:
    // Every ShowTip, once the tip is up: its level and text.
    void TipShown(int level, const QString& text);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    CToast();
    ~CToast() override;
    static void DestroyInstance();

    CToastDlg* m_pToastDlg = nullptr;
    int m_nTimerId = 0;
};
