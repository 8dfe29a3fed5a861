// The run-log lines of the device layer and the USB port, word for word (the
// texts are read by people and tools that know them, misspellings included),
// with their levels. One plug-to-release session of the port over the fake
// backend writes them all.

#include "comportusb.h"
#include "devicetesthelpers.h"
#include "runlogcapture.h"
#include "testenvironment.h"
#include "touchdevice.h"

#include <QtTest>
#include <memory>

using namespace devicetest;

namespace {

const uint8_t *Bytes(const QByteArray &report)
{
    return reinterpret_cast<const uint8_t *>(report.constData());
}

} // namespace

Q_DECLARE_METATYPE(QtMsgType)

class TestDeviceLog : public QObject
{
    Q_OBJECT

    // Every line of the session, kept for the cases below.
    std::unique_ptr<CRunLogCapture> m_pLog;

private slots:
    void initTestCase()
    {
        m_pLog = std::make_unique<CRunLogCapture>();
        auto hid = CFakeHidBackend::Install();
        auto first = hid->AddFrame(0x1FF7, 0x0001, 0x7300); // attached before the station starts
        {
            CComPortUsb port;
            QVERIFY(WaitNextPass(0));
            DEV_TRY_COMPARE(port.GetDevCount(), 1);
            DEV_TRY_COMPARE(first->OpenCount(), 2);
            auto second = hid->AddFrame(0x2FE9, 0x0001, 0x7410);
            DEV_TRY_COMPARE(port.GetDevCount(), 2);
            DEV_TRY_COMPARE(second->OpenCount(), 2);
            EchoFrame(first, 0xFC);
            uint8_t buf[64] = {};
            const QByteArray request = Report(0xFC, {0xA3});
            QCOMPARE(port.SendAndRecvData(Bytes(request), 64, buf, 64, 2000, 0), 64);
            QCOMPARE(port.RecvData(buf, 64, 1, 0), ERROR_CODE_TIMEOUT); // (a zero time-out probe is not logged)
            // A reply waiting while reception is off.
            QCOMPARE(port.SetRecvEnable(0, 0), 0);
            first->SendInput(Report(0xFC, {0x01}));
            CTouchDevice *pFirst = Manager()->GetDeviceMap().first();
            DEV_TRY_COMPARE(pFirst->QueuedReportCount(0xFC), 1);
            QCOMPARE(port.RecvData(buf, 64, 0, 0), ERROR_CODE_INTERRUPT);
            QCOMPARE(port.SetRecvEnable(1, 0), 0);
            QCOMPARE(port.RecvData(buf, 64, 0, 0), 64);
            // Released and claimed again.
            QCOMPARE(port.ReleaseDeviceInterface(0), 0);
            QCOMPARE(port.RecvData(buf, 64, 0, 0), ERROR_CODE_LOST_DEVICE);
            QCOMPARE(port.RecvUpgradeData(buf, 64, 0, 0), ERROR_CODE_LOST_DEVICE);
            QCOMPARE(port.ClaimDeviceInterface(0), 0);
            // Download mode on and off.
            QCOMPARE(port.SetUpgradeStatus(1), 0);
            QCOMPARE(port.RecvUpgradeData(buf, 64, 0, 0), ERROR_CODE_TIMEOUT);
            QCOMPARE(port.SetRecvEnable(0, 0), 0);
            QCOMPARE(port.RecvUpgradeData(buf, 64, 0, 0), ERROR_CODE_INTERRUPT);
            QCOMPARE(port.SetRecvEnable(1, 0), 0);
            QCOMPARE(port.SetUpgradeStatus(0), 0);
            // The current frame leaves while the other stays; the other jumps
            // to its bootloader.
            hid->RemoveNode(first, false);
            // Its command reader sees it go before the next pass deletes the device.
            DEV_TRY_VERIFY(m_pLog->Lines().contains("ProcessCmdDataTransfer :ERROR_DEVICE_NOT_CONNECTED CMD Thread end"));
            hid->InjectEvent();
            DEV_TRY_COMPARE(port.GetDevCount(), 1);
            DEV_TRY_COMPARE(first->OpenCount(), 0);
            auto boot = hid->Reenumerate(second, hid->FrameInfo(0x2FE9, 0xFF01, 0x0100, CFakeHidBackend::BootMode));
            DEV_TRY_COMPARE(port.GetDeviceMode(), 0u);
            DEV_TRY_COMPARE(second->OpenCount(), 0);
        }
        QCOMPARE(CTouchManage::PeekInstance(), nullptr);
        CFakeHidBackend::Uninstall();
    }

    void cleanupTestCase()
    {
        m_pLog.reset();
    }

    void line_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("level"); // -1: any level
        const int any = -1;
        const int debug = QtDebugMsg;
        const int info = QtInfoMsg;
        auto row = [](const char *text, int level) { QTest::newRow(text) << QString::fromLatin1(text) << level; };
        // Manager and hot-plug thread.
        row("Start CheckHotPlugThread event loop...", info);
        row("AddDevice : new CTouchDeviceForOS", debug);
        row("CheckIdentifiableDevice : ColAppCmd", debug);
        row("CheckIdentifiableDevice : ColAppRaw", debug);
        row("CheckIdentifiableDevice : ColBootCmd", debug);
        // Opening the collections.
        row("AppendDevicePath : ColAppCmd", debug);
        row("AppendDevicePath : ColAppRaw", debug);
        row("AppendDevicePath :ColAppRaw m_pRawThread start", any);
        row("AppendDevicePath : ColBootCmd", debug);
        row("AppendDevicePath :ColBootCmd m_pCmdThread start", any);
        row("InitDeviceInfo : DevName =  USB\\VID_1FF7&PID_0001&REV_7300", debug);
        row("InitDeviceInfo : DevName =  USB\\VID_2FE9&PID_FF01&REV_0100", debug);
        // Announcements and the port's callback.
        row("SendDeviceChangedToAllAppInterface : device vid =  1ff7  pid =  1  bPlug =  true", debug);
        row("SendDeviceChangedToAllAppInterface : device vid =  1ff7  pid =  1  bPlug =  false", debug);
        row("SendDeviceChangedToAllAppInterface : m_funcHotplugDevInfo =  true", any);
        row("HotplugCb : bAttached =  true  vid =  1ff7  pid =  1", debug);
        row("HotplugCb : bAttached =  false  vid =  1ff7  pid =  1", debug);
        row("HotplugCb : ProductString =  Touch Frame", any);
        row("HotplugCb : 1111-DeviceInsert(true)", any);
        row("HotplugCb : pThis->m_nDevCount =  2", any);
        row("HotplugCb : 22222", any);
        row("HotplugCb : 22222-aa", any);
        row("HotplugCb : 22222-bb", any);
        row("HotplugCb : 22222-cc", any);
        // Readers.
        row("ProcessCmdThread Start.", info);
        row("ProcessRawThread Start.", info);
        row("ProcessCmdThread Over.", any);
        row("ProcessRawThread Over.", any);
        row("ProcessCmdDataTransfer : CMD Thread end", debug);
        row("ProcessCmdDataTransfer :ERROR_DEVICE_NOT_CONNECTED CMD Thread end", debug);
        // Waiting for replies.
        row("RecvData : ERROR_CODE_TIMEOUT", any);
        row("RecvData : ERROR_CODE_TNTERRUPT", any);
        row("RecvData : ERROR_CODE_LOST_DEVICE", debug);
        row("RecvUpgradeData : ERROR_CODE_TIMEOUT", any);
        row("RecvUpgradeData : ERROR_CODE_TNTERRUPT", any);
        row("RecvUpgradeData : ERROR_CODE_LOST_DEVICE", debug);
        // Claim, release and the download mode.
        row("ClaimDeviceInterface.", info);
        row("ReleaseDeviceInterface.", any);
        row("ChangeUpgradeStatus : bIsUpgrade =  true", debug);
        row("ChangeUpgradeStatus : bIsUpgrade =  false", debug);
        row("ChangeUpgradeStatus : Terminate CMD Thread...", info);
        row("ChangeUpgradeStatus : end", debug);
        // Releasing everything.
        row("Release CComPortUsb...", info);
        row("Release TouchSDK...", info);
        row("Release CTouchManageForOS...", info);
        row("Release CTouchManage...", info);
        row("Release CTouchDeviceForOS...", info);
        row("Release CTouchDevice...", info);
    }
    void line()
    {
        QFETCH(QString, text);
        QFETCH(int, level);
        bool bFound = false;
        for (const CRunLogCapture::Line &logged : m_pLog->Entries()) {
            if (logged.text == text && (level < 0 || int(logged.type) == level)) {
                bFound = true;
                break;
            }
        }
        QVERIFY2(bFound, qPrintable(text));
    }

    // Nothing had to be forced to stop.
    void noThreadWasTerminated()
    {
        for (const CRunLogCapture::Line &logged : m_pLog->Entries())
            QVERIFY2(!logged.text.contains("Terminate") || logged.text.contains("ChangeUpgradeStatus"),
                     qPrintable(logged.text));
    }
};

STATION_TEST_MAIN_CORE(TestDeviceLog)
#include "tst_devicelog.moc"
