#include "stationrig.h"

#include "recordingtouchinjector.h"
#include "waitfor.h"

#include <QCoreApplication>
#include <QTest>

CStationRig::SFrameOptions CStationRig::SFrameOptions::Upgradable()
{
    SFrameOptions options;
    options.bPanel = false;
    options.bBootloader = true;
    options.nLeaveDelayMs = 4000;
    return options;
}

CStationRig::SFrame::SFrame(const std::shared_ptr<CFakeHidBackend>& backend, const SFrameOptions& options)
{
    if (options.bPanel)
        panel.Install();
    frame.Edit([&options](CEmulatedFrame::State& s) {
        s.id.nVersion = options.nVersion;
        s.id.nAppPid = options.nPid;
        if (!options.serial.isEmpty())
            s.id.serial = options.serial;
        if (options.nLeaveDelayMs > 0) {
            s.boot.nJumpDelayMs = options.nLeaveDelayMs;
            s.boot.nReturnDelayMs = options.nLeaveDelayMs;
        }
    });
    frame.SetMode(options.mode);
    if (options.bBootloader)
        boot = std::make_unique<CEmulatedBootloader>(&frame);
    usb = std::make_unique<CEmulatedUsbFrame>(&frame, backend);
}

CStationRig::SFrame::~SFrame()
{
    // Off the bus first: no report reaches the bootloader or panel after.
    usb.reset();
    boot.reset();
}

QStringList CStationRig::SFrame::AppCommands(int nAtLeast) const
{
    auto commands = [this] {
        QStringList out;
        for (const QByteArray& r : frame.Requests()) {
            if (quint8(r.at(0)) == 0xFC)
                out << QString::fromLatin1(r.mid(1, 2).toHex(' ').toUpper());
        }
        return out;
    };
    if (nAtLeast > 0)
        StationTest::WaitFor([&] { return commands().size() >= nAtLeast; }, 2000);
    return commands();
}

bool CStationRig::SRecord::HasUpgrade(const QString& status) const
{
    for (const SUpgrade& u : upgrades) {
        if (u.status == status)
            return true;
    }
    return false;
}

void CStationRig::SRecord::Clear()
{
    events.clear();
    upgrades.clear();
    deviceInfos.clear();
}

namespace {
// The rigs whose backend and recording injector are installed. A rig built
// before the previous one is gone (a fixture replaced in init() after a
// failed init() skipped cleanup()) keeps its own when the older rig goes:
// else every later device manager would get the real backend and see no
// frame, and one failure would fail every case after it.
const CStationRig* g_pBackendOwner = nullptr;
const CStationRig* g_pInjectorOwner = nullptr;
} // namespace

CStationRig::CStationRig()
    : m_backend(CFakeHidBackend::Install())
{
    g_pBackendOwner = this;
}

CStationRig::~CStationRig()
{
    TearDown();
}

void CStationRig::TearDown()
{
    CloseMainWindow();
    StopDispatcher();
    m_pRecorder.reset();
    ClosePort();
    if (m_pInjector) {
        if (g_pInjectorOwner == this) {
            CRecordingTouchInjector::Uninstall();
            g_pInjectorOwner = nullptr;
        }
        m_pInjector.reset();
    }
    m_frames.clear();
    m_pSpareFrame.reset();
    if (m_backend) {
        m_backend.reset();
        if (g_pBackendOwner == this) {
            CFakeHidBackend::Uninstall();
            g_pBackendOwner = nullptr;
        }
    }
}

void CStationRig::Reset()
{
    TearDown();
    m_record.Clear();
    m_backend = CFakeHidBackend::Install();
    g_pBackendOwner = this;
}

CStationRig::SFrame& CStationRig::AddFrame(const SFrameOptions& options)
{
    m_frames.emplace_back(m_backend, options);
    return m_frames.back();
}

CStationRig::SFrame& CStationRig::AddFrame(quint16 nVersion, quint16 nPid, CEmulatedFrame::Mode mode)
{
    SFrameOptions options;
    options.nVersion = nVersion;
    options.nPid = nPid;
    options.mode = mode;
    return AddFrame(options);
}

CStationRig::SFrame& CStationRig::Frame(int nIndex)
{
    if (nIndex < 0 || nIndex >= FrameCount()) {
        const QByteArray message =
            QStringLiteral("CStationRig: no frame %1 (%2 added)").arg(nIndex).arg(FrameCount()).toUtf8();
        if (QTest::currentTestFunction())
            QTest::qFail(message.constData(), __FILE__, __LINE__);
        else
            qWarning("%s", message.constData());
        if (!m_pSpareFrame)
            m_pSpareFrame = std::make_unique<SFrame>(m_backend, SFrameOptions());
        return *m_pSpareFrame;
    }
    return *std::next(m_frames.begin(), nIndex);
}

CComPortUsb* CStationRig::OpenPort()
{
    m_pPort = std::make_unique<CComPortUsb>();
    return m_pPort.get();
}

void CStationRig::ClosePort()
{
    m_pPort.reset();
}

bool CStationRig::WaitForDevices(int nDevices, int nTimeoutMs) const
{
    CComPortUsb* pPort = m_pPort ? m_pPort.get() : m_pWorkPort;
    if (!pPort)
        return false;
    return StationTest::WaitFor([pPort, nDevices] { return pPort->GetDevCount() == nDevices; }, nTimeoutMs);
}

std::shared_ptr<CRecordingTouchInjector> CStationRig::RecordTouches()
{
    if (!m_pInjector) {
        m_pInjector = CRecordingTouchInjector::Install();
        g_pInjectorOwner = this;
    }
    return m_pInjector;
}

void CStationRig::StopDispatcher()
{
    if (m_stopDispatcher) {
        const std::function<void()> stop = std::move(m_stopDispatcher);
        m_stopDispatcher = nullptr;
        stop();
    }
}

void CStationRig::CloseMainWindow()
{
    if (m_closeMainWindow) {
        const std::function<void()> close = std::move(m_closeMainWindow);
        m_closeMainWindow = nullptr;
        close();
    }
}

void CStationRig::ClearRecord()
{
    m_record.Clear();
    for (SFrame& frame : m_frames)
        frame.frame.ClearRequests();
}

void CStationRig::Flush()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}
