#pragma once

// The Linux kernel as the device layer meets it, mocked with umockdev: a
// sysfs tree and /dev nodes in a temporary folder that the umockdev preload
// (libumockdev-preload.so.0, put in front by the test's environment) shows
// this process, and every process it starts, in place of the real /sys and
// /dev; synthesized uevents reach libudev monitors; reads, writes and ioctls
// on a node are answered by a model running in this process (a hidraw frame,
// CMockedHidFrame; a recorded uinput, CMockedUinput).
//
// What it cannot show: the kernel's own hidraw and uinput code, a real poll()
// (a mocked node is a regular file, always readable) with POLLHUP on unplug,
// and a real udevd applying the station's rule.
//
// This header includes no umockdev or GLib header, so Qt sources may include
// it in any order.

#include "filemodesenforced.h"

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <mutex>

struct _UMockdevTestbed;
struct _UMockdevIoctlBase;

class CMockedKernel
{
public:
    CMockedKernel();
    ~CMockedKernel();
    CMockedKernel(const CMockedKernel &) = delete;
    CMockedKernel &operator=(const CMockedKernel &) = delete;

    // The kernel of the running test (set by STATION_MOCKED_KERNEL_TEST_MAIN).
    static CMockedKernel *Current();

    // True when this process sees the testbed (the preload is active). Only
    // meaningful once a testbed exists: umockdev answers once per process.
    bool IsActive() const;
    // Why the tests of a mocked kernel are skipped here.
    static const char *SkipReason();

    // Adds devices described in umockdev's text format (P:, E:, A:, H:, L:,
    // N: lines, devices separated by an empty line); an "add" uevent follows
    // for each. False (and *pError) when umockdev refuses the text.
    bool AddDevices(const QByteArray &description, QString *pError = nullptr);
    // Removes one device folder (no uevent).
    void RemoveDevice(const QString &strSysPath);
    // Takes a device out of its subsystem's listing (/sys/class/<subsystem>
    // or /sys/bus/<subsystem>/devices) while its folder stays. The kernel
    // does so before it sends a device's "remove" event, so that a look at
    // the bus prompted by the event no longer finds the device.
    void Unlist(const QString &strSysPath);
    // Sends a uevent ("add", "remove", "change") for a device.
    void Uevent(const QString &strSysPath, const char *szAction);

    // Puts a model behind a /dev node: its reads, writes and ioctls.
    bool AttachIoctl(const QString &strDevNode, _UMockdevIoctlBase *pHandler);
    void DetachIoctl(const QString &strDevNode);

    // The testbed's folder, and the file that stands for a /dev node in it.
    QString RootDir() const;
    QString NodeFile(const QString &strDevNode) const;

    // Numbers for new devices: a USB port, a USB device number (new on every
    // enumeration, as on a real bus), a hidraw minor and a HID device sequence.
    int NextUsbPort();
    int NextUsbDevNum();
    int NextHidrawMinor();
    int NextHidSequence();

private:
    _UMockdevTestbed *m_pTestbed = nullptr;
    QString m_strRoot;
    mutable std::recursive_mutex m_mutex; // every testbed call, from any thread
    int m_nNextPort = 1;
    int m_nNextDevNum = 2;
    int m_nNextMinor = 0;
    int m_nNextHidSequence = 1;
};

// main() of a test that needs the mocked kernel: the sandbox of every test,
// then the testbed; without the preload the test is skipped (exit code 77)
// with the reason on standard output.
#define STATION_MOCKED_KERNEL_TEST_MAIN(TestObject)                                     \
    int main(int argc, char *argv[])                                                    \
    {                                                                                   \
        CTestEnvironment::Isolate();                                                    \
        QCoreApplication app(argc, argv);                                               \
        CMockedKernel kernel;                                                           \
        if (!kernel.IsActive()) {                                                       \
            std::printf("SKIP: %s\n", CMockedKernel::SkipReason());                     \
            return 77;                                                                  \
        }                                                                               \
        TestObject tc;                                                                  \
        QTEST_SET_MAIN_SOURCE_PATH                                                      \
        return QTest::qExec(&tc, argc, argv);                                           \
    }
