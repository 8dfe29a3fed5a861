// The production backend: identity of a hidraw node read from sysfs (on a
// sysfs tree built in a temporary folder) and the libudev enumeration.

#include "testenvironment.h"
#include "udevhidbackend.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
void Write(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}
} // namespace

class TestUdevBackend : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // A USB frame's sysfs: usb device / interface / hid device / hidraw node.
    // Returns the hidraw node's folder.
    QString BuildTree(const QString &name, const QByteArray &hidId, bool bWithUsbParent = true)
    {
        const QString usb = m_dir.path() + "/" + name + "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";
        if (bWithUsbParent) {
            Write(usb + "/busnum", "1\n");
            Write(usb + "/devnum", "12\n");
            Write(usb + "/idVendor", "1ff7\n");
            Write(usb + "/idProduct", "0001\n");
            Write(usb + "/bcdDevice", "7310\n");
            Write(usb + "/manufacturer", "Maker Co.\n");
            Write(usb + "/product", "IR Frame\n");
        }
        const QString hid = usb + "/1-2:1.0/0003:1FF7:0001.0007";
        Write(usb + "/1-2:1.0/bInterfaceNumber", "00\n");
        Write(hid + "/uevent", "DRIVER=hid-generic\nHID_ID=" + hidId + "\nHID_NAME=Maker IR Frame\n");
        Write(hid + "/report_descriptor", QByteArray("\x06\x00\xff\x09\x01\xa1\x01\xc0", 8));
        const QString node = hid + "/hidraw/hidraw4";
        QDir().mkpath(node);
        QFile::link(hid, node + "/device");
        return node;
    }

private slots:
    void usbFrame()
    {
        const QString node = BuildTree("usb", "0003:00001FF7:00000001");
        HidNodeInfo info;
        QVERIFY(CUdevHidBackend::ReadNodeFromSysfs(node, "/dev/hidraw4", &info));
        QCOMPARE(info.strDevNode, QString("/dev/hidraw4"));
        QVERIFY(info.bUsb);
        QCOMPARE(info.nBusNum, 1);
        QCOMPARE(info.nDevNum, 12);
        QCOMPARE(info.nVid, uint16_t(0x1FF7));
        QCOMPARE(info.nPid, uint16_t(0x0001));
        QCOMPARE(info.nVersion, uint16_t(0x7310));
        QCOMPARE(info.baManufacturer, QByteArray("Maker Co."));
        QCOMPARE(info.baProduct, QByteArray("IR Frame"));
        QVERIFY(info.baSerial.isNull()); // no serial attribute: left as it was
        QCOMPARE(info.baReportDescriptor.size(), 8);
        QCOMPARE(uint8_t(info.baReportDescriptor[2]), uint8_t(0xFF));
    }

    void notAUsbFrame_data()
    {
        QTest::addColumn<QByteArray>("hidId");
        QTest::addColumn<bool>("usbParent");
        QTest::addColumn<bool>("isHid");
        QTest::newRow("bluetooth") << QByteArray("0005:00001FF7:00000001") << true << true;
        QTest::newRow("usb bus without usb device") << QByteArray("0003:00001FF7:00000001") << false << true;
        QTest::newRow("garbage id") << QByteArray("zz:1:2") << true << false;
        QTest::newRow("id too large") << QByteArray("0003:000123456:00000001") << true << false;
    }
    void notAUsbFrame()
    {
        QFETCH(QByteArray, hidId);
        QFETCH(bool, usbParent);
        QFETCH(bool, isHid);
        const QString node = BuildTree(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_'), hidId,
                                       usbParent);
        HidNodeInfo info;
        QCOMPARE(CUdevHidBackend::ReadNodeFromSysfs(node, "/dev/hidraw4", &info), isHid);
        QVERIFY(!info.bUsb);
    }

    void missingNode()
    {
        HidNodeInfo info;
        QVERIFY(!CUdevHidBackend::ReadNodeFromSysfs(m_dir.path() + "/nothing/here", "/dev/hidraw9", &info));
    }

    // libudev works without a running udevd; on a machine without frames the
    // list is simply empty.
    void enumerationRuns()
    {
        CUdevHidBackend backend;
        QList<HidNodeInfo> nodes;
        QVERIFY(backend.EnumerateNodes(&nodes));
        for (const HidNodeInfo &node : qAsConst(nodes))
            QVERIFY(node.strDevNode.startsWith("/dev/"));
        QVERIFY(backend.OpenNode(m_dir.path() + "/no-such-node") < 0);
    }
};

STATION_TEST_MAIN_CORE(TestUdevBackend)
#include "tst_udevbackend.moc"
