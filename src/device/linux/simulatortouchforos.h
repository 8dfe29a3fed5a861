#pragma once

#include "multitouchstate.h"
#include "simulatortouch.h"

#include <QString>
#include <condition_variable>
#include <mutex>
#include <thread>

// Touch injection on Linux: a virtual direct-touch device made through
// uinput (multi-touch protocol B). Its axes run 0..32767 like the frame's
// coordinates, and the desktop maps them onto the screen. Without a usable
// /dev/uinput nothing is injected and the run log says so once.
//
// Contacts never stay stuck: they are lifted when no injection came for a
// second, when ReleaseAll() is called, and when the injector goes away.
class CSimulatorTouchForOS : public CSimulatorTouch
{
public:
    explicit CSimulatorTouchForOS(const QString &strDevice = QStringLiteral("/dev/uinput"));
    ~CSimulatorTouchForOS() override;

    static CSimulatorTouchForOS *GetInstance();

    // Returns 0 in every case.
    int InjectTouch(const TouchPoint *points, int count, int screenWidth, int screenHeight) override;
    void ReleaseAll();
    bool IsAvailable() const;

    // Time without injections after which the contacts still down are lifted.
    static constexpr int IDLE_RELEASE_MS = 1000;

private:
    bool CreateDevice();
    void WriteEvents(const QVector<InjectEvent> &events); // caller holds m_mutex
    void WatchIdle();

    QString m_strDevice;
    mutable std::mutex m_mutex;
    std::condition_variable m_cond;
    int m_fd = -1;
    bool m_bStop = false;
    bool m_bWriteWarned = false;
    CMultiTouchState m_state;
    qint64 m_nLastInjectMs = 0;
    std::thread m_watchdog;
};
