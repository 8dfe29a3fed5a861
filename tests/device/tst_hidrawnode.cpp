// Real hidraw nodes of this machine (skipped where there are none): every
// node that udev lists is described from sysfs, and a touch frame among them
// is classified.

#include "testenvironment.h"
#include "touchdevice.h"
#include "touchdeviceforos.h"
#include "udevhidbackend.h"

#include <QDir>
#include <QtTest>

class TestHidrawNode : public QObject
{
    Q_OBJECT

private slots:
    void nodesAreDescribed()
    {
        CTouchDevice::InitSupportedVidPidList();
        CUdevHidBackend backend;
        QList<HidNodeInfo> nodes;
        QVERIFY(backend.EnumerateNodes(&nodes));
        QVERIFY(!nodes.isEmpty());
        for (const HidNodeInfo &node : qAsConst(nodes)) {
            QVERIFY(QFile::exists(node.strDevNode));
            QVERIFY(!node.baReportDescriptor.isEmpty());
            if (node.bUsb)
                QVERIFY(node.nDevNum > 0);
            if (CTouchDevice::IsSupportedVidPid(node.nVid, node.nPid))
                qInfo().noquote() << node.strDevNode << "frame collections:"
                                  << CTouchDeviceForOS::CheckIdentifiableDevice(node).size();
        }
    }
};

int main(int argc, char *argv[])
{
    if (QDir("/dev").entryList({"hidraw*"}, QDir::System).isEmpty())
        return 77; // no hidraw node on this machine: skipped
    CTestEnvironment::Isolate();
    QCoreApplication app(argc, argv);
    TestHidrawNode tc;
    return QTest::qExec(&tc, argc, argv);
}
#include "tst_hidrawnode.moc"
