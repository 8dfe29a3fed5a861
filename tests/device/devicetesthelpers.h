#pragma once

// Small helpers shared by the device tests (header only).

#include "fakehidbackend.h"
#include "touchmanage.h"
#include "touchmanageforos.h"
#include "usbhotplug.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <initializer_list>

namespace devicetest {

// Runs the event loop until pred() holds (checked every millisecond).
template <typename Pred>
inline bool WaitFor(Pred pred, int nTimeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (pred())
            return true;
        if (timer.elapsed() > nTimeoutMs)
            return false;
        QThread::usleep(500);
    }
}

inline CTouchManageForOS *Manager()
{
    return static_cast<CTouchManageForOS *>(CTouchManage::PeekInstance());
}

// Enumeration passes completed by the current manager.
inline int PassCount()
{
    CTouchManageForOS *pManage = Manager();
    return pManage ? pManage->Hotplug()->PassCount() : 0;
}

// Runs the event loop until a pass that started after this call has ended.
inline bool WaitNextPass(int nBefore, int nTimeoutMs = 5000)
{
    return WaitFor([nBefore]() { return PassCount() > nBefore; }, nTimeoutMs);
}

// A 64-byte report: id, then the given bytes, zero-padded.
inline QByteArray Report(uint8_t nId, std::initializer_list<uint8_t> bytes = {})
{
    QByteArray report(64, '\0');
    report[0] = char(nId);
    int i = 1;
    for (uint8_t b : bytes)
        report[i++] = char(b);
    return report;
}

// Answers every command report with the same report, id kept (an echo frame).
inline void EchoFrame(const std::shared_ptr<CFakeHidNode> &node, uint8_t nReplyId)
{
    node->SetOutputHandler([nReplyId](CFakeHidNode &n, const QByteArray &request) {
        QByteArray reply = request;
        reply[0] = char(nReplyId);
        n.SendInput(reply);
    });
}

} // namespace devicetest

// QTRY_VERIFY / QTRY_COMPARE with a 1 ms step instead of 50 ms.
#define DEV_TRY_VERIFY(expr) QVERIFY2(devicetest::WaitFor([&]() { return bool(expr); }), #expr)
#define DEV_TRY_COMPARE(actual, expected)                                               \
    do {                                                                                \
        devicetest::WaitFor([&]() { return (actual) == (expected); });                  \
        QCOMPARE(actual, expected);                                                     \
    } while (false)
