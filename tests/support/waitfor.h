#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>

namespace StationTest {

// Runs the event loop until pred() holds. The bound is a safety net against a
// hang, never the thing a test measures: a test waits for the event it means,
// so choose a bound far above what a loaded machine needs.
template <typename Pred>
inline bool WaitFor(Pred pred, int nTimeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (pred())
            return true;
        if (timer.elapsed() > nTimeoutMs)
            return false;
        QThread::usleep(200);
    }
}

} // namespace StationTest
