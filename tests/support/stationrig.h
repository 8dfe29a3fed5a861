#pragma once

// The station over emulated frames, for every test and benchmark that needs
// a frame on the bus: the fake hidraw/udev backend with emulated frames (a
// healthy panel each, a bootloader on request) plugged into it, under the
// real device layer and USB port; on request the real dispatcher on top
// (with a main window that records what it is told), or the real MainWindow
// (which builds its own dispatcher, and the work views with it).
//
//   CStationRig rig;                  // the backend: build it before any port
//   auto& frame = rig.AddFrame();     // not plugged yet
//   frame.usb->Plug();
//   rig.OpenPort();                   // hardware tests: a USB port of their own
//   rig.StartDispatcher(CALIBRATEWORK);    // or: rig.StartMainWindow();
//
// Each layer lives in its own library, so that a test links only what it
// uses: frames and port in station_rig (Qt Core; benchmarks link it too),
// the dispatcher in station_shellsupport, the MainWindow in
// station_windowsupport. Teardown runs top-down: the window, the dispatcher,
// the port, the frames, then the real backend is back for later managers.

#include "comportusb.h"
#include "emulatedbootloader.h"
#include "emulatedframe.h"
#include "emulatedpanel.h"
#include "emulatedusbframe.h"
#include "fakehidbackend.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>
#include <list>
#include <memory>

class CRecordingTouchInjector;
class CShellTestWindow;
class HandleWork;
class MainWindow;

class CStationRig
{
public:
    struct SFrameOptions
    {
        quint16 nVersion = 0x7201;  // USB release number in application mode
        quint16 nPid = 0x0013;      // product id in application mode
        CEmulatedFrame::Mode mode = CEmulatedFrame::Mode::Application;
        QByteArray serial;          // empty: the frame's own
        bool bPanel = true;         // a healthy panel answers the panel and signal commands
        // A bootloader that takes a firmware image record by record (else
        // the frame's own model answers in bootloader mode).
        bool bBootloader = false;
        // When > 0: the frame leaves the bus this long after it answered a
        // jump to its bootloader or a completed download (its own default is
        // 20 ms; a removal ends every wait of the station at once).
        int nLeaveDelayMs = 0;

        // The frame of the calibration and upgrade tasks: its bootloader, no
        // panel, and it leaves the bus well after its last answer was read.
        static SFrameOptions Upgradable();
    };

    // One frame: its protocol model, panel, bootloader and USB adapter.
    struct SFrame
    {
        SFrame(const std::shared_ptr<CFakeHidBackend>& backend, const SFrameOptions& options);
        ~SFrame();
        SFrame(const SFrame&) = delete;
        SFrame& operator=(const SFrame&) = delete;

        // (cmd, sub) of the application requests the frame received, as
        // "A1 06". A request the station only writes reaches the frame a
        // moment after the write returns: with nAtLeast the list is awaited.
        QStringList AppCommands(int nAtLeast = 0) const;

        CEmulatedFrame frame;
        CEmulatedPanel panel{&frame};              // installed with bPanel
        std::unique_ptr<CEmulatedBootloader> boot; // with bBootloader
        std::unique_ptr<CEmulatedUsbFrame> usb;
    };

    struct SUpgrade
    {
        QString status;
        QString log;
        double dProgress;
    };
    using InfoList = QList<QPair<QString, QString>>;
    // What the dispatcher said through its signals, in order.
    struct SRecord
    {
        // "msg:<json>", "step:<n>", "caldata", "reset:<bool>",
        // "savefile:<bool>", "deviceinfo", "enumerate:<bool>",
        // "upgrade:<status>".
        QStringList events;
        QList<SUpgrade> upgrades;
        QList<InfoList> deviceInfos;

        bool HasUpgrade(const QString& status) const;
        void Clear();
    };

    // Installs a fresh fake backend.
    CStationRig();
    ~CStationRig();
    CStationRig(const CStationRig&) = delete;
    CStationRig& operator=(const CStationRig&) = delete;

    // Everything down (as the destructor) and a fresh backend.
    void Reset();

    // --- frames ---
    const std::shared_ptr<CFakeHidBackend>& Backend() const { return m_backend; }
    // A frame on the backend, not plugged.
    SFrame& AddFrame(const SFrameOptions& options);
    // The same with a healthy panel and no bootloader.
    SFrame& AddFrame(quint16 nVersion = 0x7201, quint16 nPid = 0x0013,
                     CEmulatedFrame::Mode mode = CEmulatedFrame::Mode::Application);
    // The frames in the order they were added. A wrong index fails the test
    // and gives a spare frame of the rig's (on the bus only if the test plugs
    // it), so that the test runs on to its end without a crash.
    SFrame& Frame(int nIndex = 0);
    int FrameCount() const { return int(m_frames.size()); }

    // --- a USB port of the test's own (hardware tests, benchmarks) ---
    // The real USB port over the backend. Frames already plugged arrive
    // through the event loop: WaitForDevices.
    CComPortUsb* OpenPort();
    CComPortUsb* Port() const { return m_pPort.get(); }
    void ClosePort();
    // Until the port (the test's own, else the dispatcher's) holds nDevices
    // frames; false after nTimeoutMs.
    bool WaitForDevices(int nDevices, int nTimeoutMs = 10000) const;

    // --- the contacts the frames report, recorded instead of injected ---
    std::shared_ptr<CRecordingTouchInjector> RecordTouches();

    // --- the dispatcher (library station_shellsupport) ---
    // HandleWork with a CShellTestWindow as its main window, whose work type
    // is nWorkType (an eWorkType). Its port's first enumeration and its
    // start-up task run from the event loop: Settle() waits for them.
    HandleWork* StartDispatcher(int nWorkType = 0);
    // Deletes the dispatcher (its worker stops), then its window; what they
    // recorded stays readable.
    void StopDispatcher();
    CShellTestWindow* ShellWindow() const { return m_pShellWindow; }

    // Runs one task (blocking post) and returns once it has run and its
    // answers are in; false when the post was refused.
    bool Run(const QString& task, QObject* pPara = nullptr, const QString& strArg = QString());
    // Waits until no task of the dispatcher is queued or running.
    void Settle();
    // Leaves a saved test log open as the device object: a test run on the
    // plugged frame nFrame (one with a panel), filed at logPath, the frame
    // unplugged and the log opened. False when a step did not come about.
    bool OpenReplay(const QString& logPath, int nFrame = 0);
    // Delivers what is queued for the GUI thread.
    static void Flush();

    // --- the real main window (library station_windowsupport) ---
    // MainWindow at its size of 1129 x 748, shown and exposed, with the
    // station's resources loaded; its dispatcher is Work(). Unless the test
    // has put a program folder of its own in place, the upgrade log goes to
    // a temporary folder of the rig's until the window is closed, never
    // beside the test program.
    MainWindow* StartMainWindow();
    void CloseMainWindow();
    MainWindow* StationWindow() const { return m_pMainWindow; }

    // --- either dispatcher ---
    HandleWork* Work() const { return m_pWork; }
    SRecord& Record() { return m_record; }
    const SRecord& Record() const { return m_record; }
    // Forgets what the dispatcher said and what every frame received.
    void ClearRecord();

private:
    void TearDown();
    // Records the answers of the dispatcher (station_shellsupport).
    void AttachRecorder();

    std::shared_ptr<CFakeHidBackend> m_backend;
    std::list<SFrame> m_frames;
    std::unique_ptr<SFrame> m_pSpareFrame;  // what Frame() gives for a wrong index
    std::unique_ptr<CComPortUsb> m_pPort;
    std::shared_ptr<CRecordingTouchInjector> m_pInjector;

    // The layers above are built and deleted in their own libraries.
    HandleWork* m_pWork = nullptr;
    CComPortUsb* m_pWorkPort = nullptr;  // the dispatcher's
    CShellTestWindow* m_pShellWindow = nullptr;
    MainWindow* m_pMainWindow = nullptr;
    std::function<void()> m_stopDispatcher;
    std::function<void()> m_closeMainWindow;
    std::unique_ptr<QObject> m_pRecorder;  // context of the recording connections
    SRecord m_record;
};
