#include "simulatortouchforos.h"

#include "stationclock.h"

#include <QDebug>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

CSimulatorTouchForOS::CSimulatorTouchForOS(const QString &strDevice)
    : m_strDevice(strDevice)
{
    if (CreateDevice())
        m_watchdog = std::thread(&CSimulatorTouchForOS::WatchIdle, this);
}

CSimulatorTouchForOS::~CSimulatorTouchForOS()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
        WriteEvents(m_state.ReleaseAll());
    }
    m_cond.notify_all();
    if (m_watchdog.joinable())
        m_watchdog.join();
    if (m_fd >= 0) {
        ::ioctl(m_fd, UI_DEV_DESTROY);
        ::close(m_fd);
        m_fd = -1;
    }
}

CSimulatorTouchForOS *CSimulatorTouchForOS::GetInstance()
{
    static CSimulatorTouchForOS instance;
    return &instance;
}

bool CSimulatorTouchForOS::IsAvailable() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fd >= 0;
}

bool CSimulatorTouchForOS::CreateDevice()
{
    const int fd = ::open(QFile::encodeName(m_strDevice).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        qWarning().noquote() << "CSimulatorTouchForOS" << ": touch injection unavailable (" << m_strDevice
                             << ":" << strerror(errno) << "), touches are not passed to the desktop";
        return false;
    }
    struct AxisSetup
    {
        uint16_t code;
        int32_t nMax;
    };
    const AxisSetup axes[] = {
        {ABS_X, CMultiTouchState::AXIS_MAX},
        {ABS_Y, CMultiTouchState::AXIS_MAX},
        {ABS_MT_SLOT, CMultiTouchState::MAX_CONTACTS - 1},
        {ABS_MT_TRACKING_ID, 0xFFFF},
        {ABS_MT_POSITION_X, CMultiTouchState::AXIS_MAX},
        {ABS_MT_POSITION_Y, CMultiTouchState::AXIS_MAX},
        {ABS_MT_TOUCH_MAJOR, CMultiTouchState::AXIS_MAX},
        {ABS_MT_TOUCH_MINOR, CMultiTouchState::AXIS_MAX},
        {ABS_MT_PRESSURE, CMultiTouchState::PRESSURE_MAX},
    };
    bool bOk = ::ioctl(fd, UI_SET_EVBIT, EV_SYN) >= 0 && ::ioctl(fd, UI_SET_EVBIT, EV_KEY) >= 0
        && ::ioctl(fd, UI_SET_EVBIT, EV_ABS) >= 0 && ::ioctl(fd, UI_SET_KEYBIT, BTN_TOUCH) >= 0
        && ::ioctl(fd, UI_SET_PROPBIT, INPUT_PROP_DIRECT) >= 0;
    for (const AxisSetup &axis : axes)
        bOk = bOk && ::ioctl(fd, UI_SET_ABSBIT, axis.code) >= 0;
    struct uinput_setup setup;
    std::memset(&setup, 0, sizeof(setup));
    setup.id.bustype = BUS_VIRTUAL;
    std::strncpy(setup.name, "Station touch injector", UINPUT_MAX_NAME_SIZE - 1);
    bOk = bOk && ::ioctl(fd, UI_DEV_SETUP, &setup) >= 0;
    for (const AxisSetup &axis : axes) {
        struct uinput_abs_setup abs;
        std::memset(&abs, 0, sizeof(abs));
        abs.code = axis.code;
        abs.absinfo.minimum = 0;
        abs.absinfo.maximum = axis.nMax;
        if (axis.code == ABS_X || axis.code == ABS_Y || axis.code == ABS_MT_POSITION_X
            || axis.code == ABS_MT_POSITION_Y)
            abs.absinfo.resolution = 64; // about 0.5 m across
        bOk = bOk && ::ioctl(fd, UI_ABS_SETUP, &abs) >= 0;
    }
    bOk = bOk && ::ioctl(fd, UI_DEV_CREATE) >= 0;
    if (!bOk) {
        qWarning().noquote() << "CSimulatorTouchForOS" << ": touch injection unavailable (" << m_strDevice
                             << "setup:" << strerror(errno) << "), touches are not passed to the desktop";
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void CSimulatorTouchForOS::WriteEvents(const QVector<InjectEvent> &events)
{
    if (m_fd < 0 || events.isEmpty())
        return;
    QVector<struct input_event> raw(events.size());
    std::memset(raw.data(), 0, sizeof(struct input_event) * size_t(raw.size()));
    for (int i = 0; i < events.size(); ++i) {
        raw[i].type = events[i].type;
        raw[i].code = events[i].code;
        raw[i].value = events[i].value;
    }
    const size_t nBytes = sizeof(struct input_event) * size_t(raw.size());
    ssize_t n;
    do {
        n = ::write(m_fd, raw.constData(), nBytes);
    } while (n < 0 && errno == EINTR);
    if (n != ssize_t(nBytes) && !m_bWriteWarned) {
        m_bWriteWarned = true;
        qWarning().noquote() << "CSimulatorTouchForOS" << ": writing touch events failed:"
                             << (n < 0 ? strerror(errno) : "short write");
    }
}

int CSimulatorTouchForOS::InjectTouch(const TouchPoint *points, int count, int screenWidth, int screenHeight)
{
    Q_UNUSED(screenWidth);
    Q_UNUSED(screenHeight);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_fd < 0)
            return 0;
        WriteEvents(m_state.Apply(points, count));
        m_nLastInjectMs = CStationClock::NowMs();
    }
    m_cond.notify_all();
    return 0;
}

void CSimulatorTouchForOS::ReleaseAll()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    WriteEvents(m_state.ReleaseAll());
}

void CSimulatorTouchForOS::WatchIdle()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_bStop) {
        if (m_state.ActiveCount() == 0) {
            m_cond.wait(lock);
            continue;
        }
        const qint64 nIdle = CStationClock::Timeout(IDLE_RELEASE_MS);
        const qint64 nLeft = m_nLastInjectMs + nIdle - CStationClock::NowMs();
        if (nLeft <= 0) {
            WriteEvents(m_state.ReleaseAll());
            continue;
        }
        m_cond.wait_for(lock, std::chrono::milliseconds(nLeft));
    }
}
