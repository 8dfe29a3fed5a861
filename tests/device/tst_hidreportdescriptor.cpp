// Report descriptor parsing and the classification of a node's collections.

#include "fakehidbackend.h"
#include "hidreportdescriptor.h"
#include "testenvironment.h"
#include "touchdeviceforos.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {
QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray data;
    for (int v : values)
        data.append(char(v));
    return data;
}

// A vendor application collection with one input and one output report.
QByteArray Collection(int inputId, int outputId)
{
    return Bytes({0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
                  0x85, inputId, 0x75, 0x08, 0x95, 0x3F, 0x09, 0x01, 0x81, 0x02,
                  0x85, outputId, 0x09, 0x01, 0x91, 0x02, 0xC0});
}

HidNodeInfo Node(const QByteArray &descriptor, uint16_t vid = 0x1FF7, uint16_t pid = 0x0001)
{
    HidNodeInfo node;
    node.strDevNode = "/dev/hidraw0";
    node.bUsb = true;
    node.nVid = vid;
    node.nPid = pid;
    node.baReportDescriptor = descriptor;
    return node;
}
} // namespace

class TestHidReportDescriptor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        CTouchDevice::InitSupportedVidPidList();
    }

    void frameDescriptors()
    {
        CHidReportDescriptor app;
        QVERIFY(app.Parse(CFakeHidBackend::AppDescriptor()));
        QCOMPARE(app.Collections().size(), 2);
        const HidTopCollection cmd = app.Collections().at(0);
        QCOMPARE(cmd.nUsagePage, 0xFF00u);
        QCOMPARE(cmd.nType, 1u);
        QCOMPARE(cmd.inputIds, QVector<uint8_t>{0xFC});
        QCOMPARE(cmd.outputIds, QVector<uint8_t>{0xFC});
        const HidTopCollection raw = app.Collections().at(1);
        QCOMPARE(raw.inputIds, (QVector<uint8_t>{0xFB, 0x02}));
        QCOMPARE(raw.outputIds, QVector<uint8_t>{0xFB});
        QCOMPARE(raw.nFirstInputId, 0xFB);
        QCOMPARE(app.ReportLength(CHidReportDescriptor::Input, 0xFC), 64);
        QCOMPARE(app.ReportLength(CHidReportDescriptor::Input, 0x02), 62);
        QCOMPARE(app.ReportLength(CHidReportDescriptor::Output, 0x02), 0);

        CHidReportDescriptor boot;
        QVERIFY(boot.Parse(CFakeHidBackend::BootDescriptor()));
        QCOMPARE(boot.Collections().size(), 1);
        QCOMPARE(boot.Collections().at(0).nFirstInputId, 0xFD);
        QCOMPARE(boot.Collections().at(0).nFirstOutputId, 0xFE);
    }

    void classification_data()
    {
        QTest::addColumn<QByteArray>("descriptor");
        QTest::addColumn<QList<int>>("kinds");
        QTest::newRow("command") << Collection(0xFC, 0xFC) << QList<int>{ColAppCmd};
        QTest::newRow("raw") << Collection(0xFB, 0xFB) << QList<int>{ColAppRaw};
        QTest::newRow("bootloader") << Collection(0xFD, 0xFE) << QList<int>{ColBootCmd};
        QTest::newRow("command and raw on one node") << Collection(0xFC, 0xFC) + Collection(0xFB, 0xFB)
                                                     << QList<int>{ColAppCmd, ColAppRaw};
        QTest::newRow("raw listed first") << Collection(0xFB, 0xFB) + Collection(0xFC, 0xFC)
                                          << QList<int>{ColAppRaw, ColAppCmd};
        QTest::newRow("ids swapped") << Collection(0xFE, 0xFD) << QList<int>{};
        QTest::newRow("mixed ids") << Collection(0xFC, 0xFB) << QList<int>{};
        QTest::newRow("digitizer beside the command collection")
            << Bytes({0x05, 0x0D, 0x09, 0x04, 0xA1, 0x01, 0x85, 0x02, 0x75, 0x08, 0x95, 0x10, 0x09, 0x42,
                      0x81, 0x02, 0xC0})
                   + Collection(0xFC, 0xFC)
            << QList<int>{ColAppCmd};
        // The first data item decides; constant padding before it does not.
        QTest::newRow("padding first")
            << Bytes({0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0xFC, 0x75, 0x08, 0x95, 0x01, 0x81, 0x03,
                      0x95, 0x3E, 0x09, 0x01, 0x81, 0x02, 0x09, 0x01, 0x91, 0x02, 0xC0})
            << QList<int>{ColAppCmd};
        QTest::newRow("empty") << QByteArray() << QList<int>{};
        QTest::newRow("truncated") << Collection(0xFC, 0xFC).left(20) << QList<int>{};
    }
    void classification()
    {
        QFETCH(QByteArray, descriptor);
        QFETCH(QList<int>, kinds);
        const QList<TouchCollection> cols = CTouchDeviceForOS::CheckIdentifiableDevice(Node(descriptor));
        QList<int> found;
        for (const TouchCollection &col : cols)
            found.append(col.nKind);
        QCOMPARE(found, kinds);
    }

    void unsupportedPairIsNeverClassified()
    {
        QVERIFY(CTouchDeviceForOS::CheckIdentifiableDevice(Node(Collection(0xFC, 0xFC), 0x1234, 0x0001)).isEmpty());
        QVERIFY(CTouchDeviceForOS::CheckIdentifiableDevice(Node(Collection(0xFC, 0xFC), 0x1FF7, 0x0002)).isEmpty());
        QCOMPARE(CTouchDeviceForOS::CheckIdentifiableDevice(Node(Collection(0xFC, 0xFC), 0x2757, 0x1234)).size(), 1);
    }

    void globalStatePushAndPop()
    {
        // Report id FC pushed, FB set inside, popped back to FC for the output.
        const QByteArray desc = Bytes({0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0xFC, 0x75, 0x08, 0x95,
                                       0x3F, 0xA4, 0x85, 0xFB, 0x09, 0x01, 0x81, 0x02, 0xB4, 0x09, 0x01, 0x91,
                                       0x02, 0xC0});
        CHidReportDescriptor parser;
        QVERIFY(parser.Parse(desc));
        QCOMPARE(parser.Collections().at(0).inputIds, QVector<uint8_t>{0xFB});
        QCOMPARE(parser.Collections().at(0).outputIds, QVector<uint8_t>{0xFC});
    }

    void malformed_data()
    {
        QTest::addColumn<QByteArray>("descriptor");
        QTest::newRow("item cut short") << Bytes({0x06, 0x00});
        QTest::newRow("long item cut short") << Bytes({0xFE, 0x10, 0x01, 0x02});
        QTest::newRow("end without collection") << Bytes({0xC0});
        QTest::newRow("collection never ends") << Bytes({0xA1, 0x01, 0x85, 0xFC});
        QTest::newRow("pop without push") << Bytes({0xB4});
        QTest::newRow("report id 0") << Bytes({0x85, 0x00});
        QTest::newRow("report id above 255") << Bytes({0x86, 0x00, 0x01});
        QByteArray deep;
        for (int i = 0; i < 100; ++i)
            deep += Bytes({0xA1, 0x00});
        QTest::newRow("nested too deep") << deep;
        QByteArray pushes;
        for (int i = 0; i < 100; ++i)
            pushes += Bytes({0xA4});
        QTest::newRow("push overflow") << pushes;
        QTest::newRow("huge report") << Bytes({0xA1, 0x01, 0x85, 0xFC, 0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF,
                                               0xFF, 0xFF, 0xFF, 0x81, 0x02, 0xC0});
    }
    void malformed()
    {
        QFETCH(QByteArray, descriptor);
        CHidReportDescriptor parser;
        QVERIFY(!parser.Parse(descriptor));
        QVERIFY(!parser.Error().isEmpty());
        QVERIFY(CTouchDeviceForOS::CheckIdentifiableDevice(Node(descriptor)).isEmpty());
    }

    void longItemsAreSkipped()
    {
        const QByteArray desc = Bytes({0xFE, 0x02, 0x10, 0xAA, 0xBB}) + Collection(0xFC, 0xFC);
        CHidReportDescriptor parser;
        QVERIFY(parser.Parse(desc));
        QCOMPARE(parser.Collections().size(), 1);
    }

    void randomBytesNeverCrash()
    {
        QRandomGenerator rng(1234);
        for (int i = 0; i < 2000; ++i) {
            QByteArray data(int(rng.bounded(200)), '\0');
            for (char &c : data)
                c = char(rng.bounded(256));
            if (i % 2)
                data.prepend(Collection(0xFC, 0xFC).left(int(rng.bounded(24))));
            CHidReportDescriptor parser;
            parser.Parse(data);
            CTouchDeviceForOS::CheckIdentifiableDevice(Node(data));
        }
    }
};

STATION_TEST_MAIN_CORE(TestHidReportDescriptor)
#include "tst_hidreportdescriptor.moc"
