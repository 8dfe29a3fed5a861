// The XML test log as a document: what the driver writes, what the reader
// takes from a hand-built reference log (LF and CRLF), and how broken or
// oversized logs are refused.

#include "fakehardware.h"
#include "hostilelogs.h"
#include "operateenvironment.h"
#include "testenvironment.h"
#include "testlogerror.h"
#include "testloglimits.h"
#include "testpanel.h"
#include "touchlogfilexml.h"

#include <QBuffer>
#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtTest>

namespace {

// A log as a station wrote it, trimmed to one board per side and one
// direction, with the things a reader must cope with: escaped texts, a
// repeated info name, a nameless info, two interface results, an unknown
// element, a repeated frame number.
const char kReferenceLog[] = R"LOG(<?xml version="1.0" encoding="UTF-8"?>
<touch_device>
    <app_info>
        <info ID="0" name="Environment">Debian GNU/Linux 12 (bookworm)</info>
        <info ID="1" name="App Version">0.0.0.6</info>
        <info ID="2">no name</info>
    </app_info>
    <device_info>
        <info ID="0" name="Product">AB55-10P</info>
        <info ID="1" name="CheckSum">1A2B-3C4D</info>
        <info ID="2" name="BatchInfo">B&amp;1 &lt;x&gt; "q"</info>
        <info ID="3" name="BatchInfo">second</info>
        <other name="Vid">0AFA</other>
    </device_info>
    <interface_test>
        <result name="UART">FAIL</result>
        <result>ignored</result>
        <result name="USB2">PASS</result>
    </interface_test>
    <unknown_section><test TEST_TIMES_FOR_UNT="99"/></unknown_section>
    <hardware_info interfaceType="5" interfaceDir="1" openArea="40:60:5:2">
        <axis ID="0" name="Bottom">
            <pcb ID="0" width="100" height="1.6" length="8" angle="0" type="Lying" pos="(0.000000, 0.000000)">
                <led ID="0" width="5.2" height="4.16" length="7.28" vCenter="2.6" angle="0" type="SMT_T_S" pos="(0.250000, 1.500000)"/>
                <led ID="1" width="5.2" height="4.16" length="7.28" vCenter="2.6" angle="0" type="SMT_T_S" pos="(5.250000, 1.500000)"/>
            </pcb>
        </axis>
        <axis ID="1" name="Top">
            <pcb ID="0" width="100" height="1.6" length="8" angle="0" type="Standing" pos="(0.000000, 50.000000)">
                <led ID="0" width="5.2" height="4.16" length="7.28" vCenter="2.6" angle="0" type="SMT_R_S" pos="(0.250000, 1.500000)"/>
                <led ID="1" width="5.2" height="4.16" length="7.28" vCenter="2.6" angle="0" type="SMT_R_S" pos="(5.250000, 1.500000)"/>
            </pcb>
        </axis>
        <logic_info>
            <sensor_relation>
                <relation ID="0">Bottom:0-Top:0</relation>
                <relation ID="1">Bottom:1-Top:1</relation>
            </sensor_relation>
            <pcb_relation>
                <connector ID="0" width="4" height="2" length="10" angle="0" dipLength="1.5-2" pos="(100.000000, 0.000000)">Bottom:0-Top:0</connector>
            </pcb_relation>
        </logic_info>
    </hardware_info>
    <test TEST_TIMES_FOR_UNT="2" MaxTolerantWeakSignalTotal="3" MaxTolerantWeakSignalEachLed="1" eInitAgcWhileRetest="-1">
        <axis ID="0" name="X" maxSignal="2" maxValue="255" signalStart="4" divide="0-1">
            <dir ID="0" name="T1" MaxTolerantSignalCount="2">
                <type name="ADC" ID="0" base="ADC" show="ADC" standardType="Absolute">
                    <test_problem_standard>
                        <standard>0000-0030</standard>
                    </test_problem_standard>
                    <test_standard>
                        <standard>0100-0255</standard>
                        <standard>0005-4294967295</standard>
                    </test_standard>
                    <test_data>
                        <data ID="2" DateTime="2024-03-07 09:05:04.007">180 0</data>
                        <data ID="3" DateTime="2024-03-07 09:05:04.107">181 1</data>
                    </test_data>
                </type>
                <type name="AGC" ID="1" base="AGC" show="AGC" standardType="Absolute">
                    <test_data>
                        <data ID="1" DateTime="2024-03-07 09:05:04.000">40 41</data>
                    </test_data>
                </type>
                <signal_labels>
                    <label relation="Bottom:0-Top:0">T0:0-R0:0</label>
                    <label relation="Bottom:1-Top:1">T0:1-R0:1</label>
                </signal_labels>
            </dir>
        </axis>
        <axis ID="1">
            <dir ID="0" name="T9"/>
        </axis>
    </test>
</touch_device>
)LOG";

QByteArray ReferenceLog(bool bCrLf)
{
    QByteArray data(kReferenceLog);
    if (bCrLf)
        data.replace("\n", "\r\n");
    return data;
}

void WriteFile(const QString &strPath, const QByteArray &data)
{
    QFile f(strPath);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(data), qint64(data.size()));
}

// The inside of one test axis as the records write it, without the time
// stamps (a replay stamps the time of reading).
QString AxisXml(const CAxisSignalInfo &axis)
{
    QString str;
    QXmlStreamWriter writer(&str);
    writer.setAutoFormatting(true);
    writer.writeStartElement(QStringLiteral("axis"));
    axis.WriteDirs(writer);
    writer.writeEndElement();
    return str.remove(QRegularExpression(" DateTime=\"[^\"]*\""));
}

QString HardwareXml(const CHardwareInfo &info)
{
    QString str;
    QXmlStreamWriter writer(&str);
    writer.setAutoFormatting(true);
    info.WriteXml(writer);
    return str;
}

// nAxes axes of nLeds LEDs in nDirs directions each, the first direction of
// each with a full ADC frame under number nFrame (none without LEDs).
QByteArray ShapedLog(int nTimes, int nLeds, int nDirs, uint32_t nFrame, int nAxes = 1)
{
    QByteArray values;
    for (int i = 0; i < nLeds; ++i)
        values += (i ? " " : "") + QByteArray::number(i % 256);
    QByteArray data = "<touch_device><test TEST_TIMES_FOR_UNT=\"" + QByteArray::number(nTimes) + "\">";
    for (int a = 0; a < nAxes; ++a) {
        data += "<axis name=\"" + (a ? "X" + QByteArray::number(a) : QByteArray("X")) + "\" maxSignal=\""
            + QByteArray::number(nLeds) + "\" maxValue=\"65535\" divide=\"1-" + QByteArray::number(nLeds - 2) + "\">";
        for (int d = 0; d < nDirs; ++d) {
            data += "<dir name=\"T" + QByteArray::number(d) + "\">";
            if (d == 0 && nLeds > 0)
                data += "<type name=\"ADC\"><test_data><data ID=\"" + QByteArray::number(nFrame) + "\">" + values
                    + "</data></test_data></type>";
            data += "</dir>";
        }
        data += "</axis>";
    }
    return data + "</test></touch_device>";
}

const QRegularExpression kParseWarning(QString::fromUtf8(
    u8"^XML解析错误：.+  行号：\\d+  列号：\\d+  字符位移：\\d+$"));

} // namespace

class TestTestLog : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dir.reset(new CScopedWorkDir); }
    void cleanup() { m_dir.reset(); }

    void emptyRunWritesEmptyRoot();
    void writtenSectionsAndFormats();
    void referenceLogReadsIntoRecords_data();
    void referenceLogReadsIntoRecords();
    void driverLogRoundTrips();
    void escapedTextsRoundTrip();
    void testSectionDefaults_data();
    void testSectionDefaults();
    void otherRootReadsAsEmptyLog();
    void brokenLogsKeepEarlierSections_data();
    void brokenLogsKeepEarlierSections();
    void errorOffsetCountsCharacters();
    void oversizedLogsAreRefused_data();
    void oversizedLogsAreRefused();
    void largestSaneLogsAreAccepted_data();
    void largestSaneLogsAreAccepted();
    void formattedLogsOfLargeRunsAreAccepted_data();
    void formattedLogsOfLargeRunsAreAccepted();
    void hugeFileIsRefusedUnread();

private:
    std::unique_ptr<CScopedWorkDir> m_dir;
};

void TestTestLog::emptyRunWritesEmptyRoot()
{
    COperateEnvironment env;
    CFakeHardware hw(&env);
    // An interface test without a name is not written even with a result.
    hw.SetInterfaceTest(QString(), QStringLiteral("PASS"));
    QCOMPARE(hw.SaveXml("empty.xml"), 0);
    QFile f("empty.xml");
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<touch_device/>\n"));
}

void TestTestLog::writtenSectionsAndFormats()
{
    COperateEnvironment env;
    env.GetEnvironmentList()->append(qMakePair(QStringLiteral("Environment"), QStringLiteral("Debian")));
    CFakeHardware hw(&env);
    hw.GetPropertyList() = {{"Product", "AB55"}, {"BatchInfo", ""}};
    hw.SetInterfaceTest(QStringLiteral("UART"), QString());
    CAxisSignalInfo &axis = hw.GetAxisSignalMap()[QStringLiteral("X")];
    axis.SetMaxSignal(4000000000u);
    axis.SetMaxValue(255);
    axis.SetSignalStart(3);
    axis.SetDivide({9, 19});
    hw.GetAxisSignalMap()[QStringLiteral("A")];
    QCOMPARE(hw.SaveXml("sections.xml"), 0);

    QFile f("sections.xml");
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<touch_device>\n"
                                "    <app_info>\n"
                                "        <info ID=\"0\" name=\"Environment\">Debian</info>\n"
                                "    </app_info>\n"
                                "    <device_info>\n"
                                "        <info ID=\"0\" name=\"Product\">AB55</info>\n"
                                "        <info ID=\"1\" name=\"BatchInfo\"></info>\n"
                                "    </device_info>\n"
                                "    <interface_test>\n"
                                "        <result name=\"UART\"></result>\n"
                                "    </interface_test>\n"
                                "    <test TEST_TIMES_FOR_UNT=\"10\" MaxTolerantWeakSignalTotal=\"0\" "
                                "MaxTolerantWeakSignalEachLed=\"0\" eInitAgcWhileRetest=\"0\">\n"
                                "        <axis ID=\"0\" name=\"A\" maxSignal=\"0\" maxValue=\"0\" signalStart=\"0\" divide=\"\"/>\n"
                                "        <axis ID=\"1\" name=\"X\" maxSignal=\"4000000000\" maxValue=\"255\" "
                                "signalStart=\"3\" divide=\"9-19\"/>\n"
                                "    </test>\n"
                                "</touch_device>\n";
    QCOMPARE(f.readAll(), expected);
}

void TestTestLog::referenceLogReadsIntoRecords_data()
{
    QTest::addColumn<bool>("crlf");
    QTest::newRow("LF") << false;
    QTest::newRow("CRLF") << true;
}

void TestTestLog::referenceLogReadsIntoRecords()
{
    QFETCH(bool, crlf);
    COperateEnvironment env;
    env.GetEnvironmentList()->append(qMakePair(QStringLiteral("Old"), QStringLiteral("entry")));
    CTouchLogfileXML log(&env, QString());
    QXmlStreamReader reader(ReferenceLog(crlf));
    QCOMPARE(log.AnalysisXml(reader), 0);

    // app_info replaces the station list; a nameless info adds nothing.
    const COperateEnvironment::EnvironmentList expectedEnv = {
        {"Environment", "Debian GNU/Linux 12 (bookworm)"}, {"App Version", "0.0.0.6"}};
    QCOMPARE(*env.GetEnvironmentList(), expectedEnv);
    const QList<CPropertyItem> expectedProps = {
        {"Product", "AB55-10P"}, {"CheckSum", "1A2B-3C4D"}, {"BatchInfo", "B&1 <x> \"q\""}, {"BatchInfo", "second"}};
    QCOMPARE(log.GetPropertyList(), expectedProps);
    QCOMPARE(log.GetInterfaceTestResult(), qMakePair(QString("USB2"), QString("PASS")));

    CHardwareInfo &hw = log.GetHardwareInfo();
    QCOMPARE(hw.GetInterfaceType(), 5);
    QCOMPARE(hw.GetInterfaceDir(), 1);
    QCOMPARE(hw.GetOpenArea(), QRectF(2, 5, 60, 40));
    QCOMPARE(hw.GetAxisIdMap().value(0), QString("Bottom"));
    QCOMPARE(hw.GetAxisIdMap().value(1), QString("Top"));
    QCOMPARE(hw.GetSensorCount("Bottom"), 2u);
    const CSensorInfo &led = hw.GetAxisMap()["Bottom"][0].GetLeds().at(1);
    QCOMPARE(led.GetID(), QString(" 2"));
    QCOMPARE(led.GetTypeName(), QString("SMT_T_S"));
    QCOMPARE(led.GetPos(), QPointF(5.25, 1.5));
    QCOMPARE(led.GetRelations(), QList<QString>{"Bottom:1-Top:1"});
    QCOMPARE(hw.GetSensorRelations(), (QList<QString>{"Bottom:0-Top:0", "Bottom:1-Top:1"}));
    QCOMPARE(hw.GetConnectorMap().keys(), QList<QString>{"Bottom:0-Top:0"});
    QCOMPARE(hw.GetConnectorMap().first().GetDipLengthText(), QString("1.5-2-0-0"));

    // The test section: its attributes, one axis (a nameless axis adds
    // nothing; the unknown section's test element was skipped).
    QCOMPARE(log.GetTestTimesForUnt(), 2);
    QCOMPARE(log.GetMaxTolerantWeakSignalTotal(), 3u);
    QCOMPARE(log.GetMaxTolerantWeakSignalEachLed(), 1u);
    QCOMPARE(log.GetInitAgcWhileRetest(), -1);
    QCOMPARE(log.GetAxisSignalMap().keys(), QList<QString>{"X"});
    CAxisSignalInfo &axis = log.GetAxisSignalMap()["X"];
    QCOMPARE(axis.GetMaxSignal(), 2u);
    QCOMPARE(axis.GetMaxValue(), 255u);
    QCOMPARE(axis.GetSignalStart(), 4u);
    QCOMPARE(axis.GetDivide(), (QList<uint32_t>{0, 1}));
    QCOMPARE(axis.GetDirMap().keys(), QList<QString>{"T1"});
    QCOMPARE(axis.GetMaxTolerantSignalCount("T1"), 2u);
    QCOMPARE(axis.GetSignalLabels("T1"), (QList<QString>{"T0:0-R0:0", "T0:1-R0:1"}));
    QCOMPARE(axis.GetSignalRelations("T1"), (QList<QString>{"Bottom:0-Top:0", "Bottom:1-Top:1"}));
    QCOMPARE(axis.GetTestStandards("T1", "ADC"), (QList<SignalRange>{{100, 255}, {5, 4294967295u}}));
    QCOMPARE(axis.GetProblemStandards("T1", "ADC"), (QList<SignalRange>{{0, 30}}));
    QCOMPARE(axis.GetStandardType("T1", "ADC"), QString("Absolute"));
    QList<uint32_t> frame;
    QCOMPARE(axis.GetTestData("T1", "ADC", frame, 3), 2);
    QCOMPARE(frame, (QList<uint32_t>{181, 1}));
    QCOMPARE(axis.GetTestData("T1", "AGC", frame, 1), 2);
    QCOMPARE(frame, (QList<uint32_t>{40, 41}));
    QCOMPARE(log.GetRecordCount(), 3u);
}

void TestTestLog::driverLogRoundTrips()
{
    COperateEnvironment env;
    env.GetEnvironmentList()->append(qMakePair(QStringLiteral("Environment"), QStringLiteral("Debian")));
    env.GetEnvironmentList()->append(qMakePair(QStringLiteral("App Version"), QStringLiteral("0.0.0.6")));
    CFakeHardware::SConfig config;
    config.mapDark["X-T1"] = {3, 4};
    config.nTolerantTotal = 1;
    config.eInitAgcWhileRetest = -1;
    CFakeHardware hw(&env, config);
    QCOMPARE(hw.StartTest(1), 0);
    hw.SetInterfaceTest(QStringLiteral("UART"), QStringLiteral("PASS"));
    QCOMPARE(hw.SaveXml("run.xml"), 0);
    const COperateEnvironment::EnvironmentList envList = *env.GetEnvironmentList();
    env.GetEnvironmentList()->clear();

    CTouchLogfileXML log(&env, QStringLiteral("run.xml"));
    QCOMPARE(log.StartTest(1), 0);
    QCOMPARE(*env.GetEnvironmentList(), envList);
    QCOMPARE(log.GetPropertyList(), hw.GetPropertyList());
    QCOMPARE(log.GetInterfaceTestResult(), hw.GetInterfaceTestResult());
    QCOMPARE(HardwareXml(log.GetHardwareInfo()), HardwareXml(hw.GetHardwareInfo()));
    QCOMPARE(log.GetTestTimesForUnt(), hw.GetTestTimesForUnt());
    QCOMPARE(log.GetMaxTolerantWeakSignalTotal(), 1u);
    QCOMPARE(log.GetInitAgcWhileRetest(), -1);
    QCOMPARE(log.GetAxisSignalMap().keys(), hw.GetAxisSignalMap().keys());
    for (const QString &strAxis : hw.GetAxisSignalMap().keys()) {
        const CAxisSignalInfo &a = hw.GetAxisSignalMap()[strAxis];
        const CAxisSignalInfo &b = log.GetAxisSignalMap()[strAxis];
        QCOMPARE(b.GetMaxSignal(), a.GetMaxSignal());
        QCOMPARE(b.GetSignalStart(), a.GetSignalStart());
        QCOMPARE(b.GetMaxValue(), a.GetMaxValue());
        QCOMPARE(b.GetDivide(), a.GetDivide());
        QCOMPARE(AxisXml(b), AxisXml(a));
    }
    QCOMPARE(log.GetLastRecordNumber(), hw.GetRecordBase());
}

void TestTestLog::escapedTextsRoundTrip()
{
    CFakeHardware hw(nullptr);
    const QString strText = QStringLiteral("a&b<c>d\"e'f \u00e9\u6d4b ]]> &amp;");
    hw.GetPropertyList() = {{strText, strText}, {"BatchInfo", "  padded  "}};
    hw.SetInterfaceTest(strText, strText);
    QCOMPARE(hw.SaveXml("esc.xml"), 0);

    CTouchLogfileXML log(nullptr, QStringLiteral("esc.xml"));
    QCOMPARE(log.StartTest(1), 0);
    QCOMPARE(log.GetPropertyList(), hw.GetPropertyList());
    QCOMPARE(log.GetInterfaceTestResult(), qMakePair(strText, strText));
}

void TestTestLog::testSectionDefaults_data()
{
    QTest::addColumn<QByteArray>("attributes");
    QTest::addColumn<int>("times");
    QTest::addColumn<uint>("total");
    QTest::addColumn<uint>("each");
    QTest::addColumn<int>("agc");

    QTest::newRow("absent") << QByteArray() << 10 << 0u << 0u << 0;
    QTest::newRow("not numbers") << QByteArray("TEST_TIMES_FOR_UNT=\"abc\" MaxTolerantWeakSignalTotal=\"x\" "
                                               "MaxTolerantWeakSignalEachLed=\"-\" eInitAgcWhileRetest=\"1.5\"")
                                 << 0 << 0u << 0u << 0;
    QTest::newRow("values") << QByteArray("TEST_TIMES_FOR_UNT=\"0\" MaxTolerantWeakSignalTotal=\"4294967295\" "
                                          "MaxTolerantWeakSignalEachLed=\"7\" eInitAgcWhileRetest=\"1\"")
                            << 0 << 4294967295u << 7u << 1;
    QTest::newRow("negative count") << QByteArray("TEST_TIMES_FOR_UNT=\"-5\"") << -5 << 0u << 0u << 0;
}

void TestTestLog::testSectionDefaults()
{
    QFETCH(QByteArray, attributes);
    QFETCH(int, times);
    QFETCH(uint, total);
    QFETCH(uint, each);
    QFETCH(int, agc);

    WriteFile("t.xml", "<touch_device><test " + attributes + "/></touch_device>");
    CTouchLogfileXML log(nullptr, QStringLiteral("t.xml"));
    QCOMPARE(log.StartTest(1), 0);
    QCOMPARE(log.GetTestTimesForUnt(), times);
    QCOMPARE(log.GetMaxTolerantWeakSignalTotal(), total);
    QCOMPARE(log.GetMaxTolerantWeakSignalEachLed(), each);
    QCOMPARE(log.GetInitAgcWhileRetest(), agc);
}

void TestTestLog::otherRootReadsAsEmptyLog()
{
    COperateEnvironment env;
    env.GetEnvironmentList()->append(qMakePair(QStringLiteral("Environment"), QStringLiteral("kept")));
    WriteFile("foo.xml", "<?xml version=\"1.0\"?>\n<foo><device_info><info name=\"Product\">P</info></device_info>"
                         "<app_info/></foo>");
    CTouchLogfileXML log(&env, QStringLiteral("foo.xml"));
    QCOMPARE(log.StartTest(1), 0);
    QVERIFY(log.GetPropertyList().isEmpty());
    QCOMPARE(env.GetEnvironmentList()->size(), 1);
    QCOMPARE(log.GetLastRecordNumber(), 0u);
}

void TestTestLog::brokenLogsKeepEarlierSections_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("properties");
    QTest::addColumn<QString>("error");

    const QByteArray log = ReferenceLog(false);
    QTest::newRow("empty file") << QByteArray() << 0 << "Premature end of document";
    QTest::newRow("cut inside test") << log.left(log.indexOf("<data ID=\"3\"") + 20) << 4 << "Premature end of document";
    QTest::newRow("cut inside device_info") << log.left(log.indexOf("<info ID=\"2\" name=\"BatchInfo\"")) << 2
                                            << "Premature end of document";
    QTest::newRow("mismatched tag") << QByteArray(log).replace("</device_info>", "</device_inf>") << 4
                                    << "Opening and ending tag mismatch";
    QTest::newRow("garbage") << QByteArray("\x00\xff\xfe garbage", 12) << 0 << "";
    QTest::newRow("two roots") << QByteArray("<touch_device/><touch_device/>") << 0 << "Extra content";
}

void TestTestLog::brokenLogsKeepEarlierSections()
{
    QFETCH(QByteArray, data);
    QFETCH(int, properties);
    QFETCH(QString, error);

    WriteFile("broken.xml", data);
    CTouchLogfileXML log(nullptr, QStringLiteral("broken.xml"));
    QTest::ignoreMessage(QtWarningMsg, error.isEmpty() ? kParseWarning
                                                       : QRegularExpression(QString::fromUtf8(u8"^XML解析错误：")
                                                                            + QRegularExpression::escape(error)));
    QCOMPARE(log.StartTest(1), ERROR_LOG_FORMAT);
    QCOMPARE(log.GetPropertyList().size(), properties);
    // RunTest did not run: no frame was taken from the log.
    QVERIFY(log.GetSignalMap("ADC")->isEmpty());
    QCOMPARE(log.GetFrameNumber(), 0u);
}

void TestTestLog::errorOffsetCountsCharacters()
{
    const QString strDoc = QStringLiteral("<touch_device>\n<device_info><info name=\"\u6d4b\">\u6d4b\u8bd5\u6d4b</info>\n<x");
    QVERIFY(strDoc.toUtf8().size() > strDoc.size());
    WriteFile("offset.xml", strDoc.toUtf8());

    CTouchLogfileXML log(nullptr, QStringLiteral("offset.xml"));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QString::fromUtf8(u8"行号：3  列号：\\d+  字符位移：%1$").arg(strDoc.size())));
    QCOMPARE(log.StartTest(1), ERROR_LOG_FORMAT);
    QCOMPARE(log.GetPropertyList().size(), 1);
}

void TestTestLog::oversizedLogsAreRefused_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("reason");     // empty: the log is read
    QTest::addColumn<qint64>("maxElements"); // a lower element bound for the row (0: the product's)

    const QByteArray log = ReferenceLog(false);
    // Values of a frame in two parts, each within the bound, together beyond it.
    const int kHalfFrame = int(CTestLogLimits::kMaxLeds) / 2 + 1;
    auto values = [](int n, int nStart) {
        QByteArray str;
        for (int i = 0; i < n; ++i)
            str += (i ? " " : "") + QByteArray::number(nStart + i);
        return str;
    };
    QTest::newRow("maxSignal") << QByteArray(log).replace("maxSignal=\"2\"", "maxSignal=\"4000000000\"")
        << QStringLiteral(R"(axis X has maxSignal 4000000000)") << qint64(0);
    QTest::newRow("signalStart") << QByteArray(log).replace("signalStart=\"4\"", "signalStart=\"99999999\"")
        << QStringLiteral(R"(axis X has signalStart 99999999)") << qint64(0);
    QTest::newRow("maxValue") << QByteArray(log).replace("maxValue=\"255\"", "maxValue=\"4294967295\"")
        << QStringLiteral(R"(axis X has maxValue 4294967295)") << qint64(0);
    QTest::newRow("divide entry") << QByteArray(log).replace("divide=\"0-1\"", "divide=\"0-4294967295\"")
        << QStringLiteral(R"(axis X is divided at LED 4294967295)") << qint64(0);
    QTest::newRow("TEST_TIMES_FOR_UNT") << QByteArray(log).replace("TEST_TIMES_FOR_UNT=\"2\"",
                                                                   "TEST_TIMES_FOR_UNT=\"2000000000\"")
        << QStringLiteral(R"(TEST_TIMES_FOR_UNT 2000000000 is above 10000)") << qint64(0);
    QTest::newRow("frame number") << QByteArray(log).replace("<data ID=\"3\"", "<data ID=\"4000000000\"")
        << QStringLiteral(R"(X-T1 ADC holds frame number 4000000000)") << qint64(0);
    QTest::newRow("frame of too many values")
        << QByteArray(log).replace(">181 1<", ">" + values(int(CTestLogLimits::kMaxLeds) + 1, 0) + "<")
        << QStringLiteral("a recorded frame of more than %1 values").arg(CTestLogLimits::kMaxLeds) << qint64(0);
    QTest::newRow("repeated frame grows too long")
        << QByteArray(log).replace("<data ID=\"3\" DateTime=\"2024-03-07 09:05:04.107\">181 1</data>",
                                   "<data ID=\"3\">" + values(kHalfFrame, 0) + "</data><data ID=\"3\">"
                                       + values(kHalfFrame, 0) + "</data>")
        << QStringLiteral("X-T1 ADC frame 3 holds %1 values, more than maxSignal 2").arg(2 * kHalfFrame) << qint64(0);
    // A frame longer than its axis: more bars and points than the bounds on
    // LEDs admit (the station writes one value per LED).
    QTest::newRow("frame longer than its axis") << QByteArray(log).replace(">181 1<", ">181 1 7<")
        << QStringLiteral("X-T1 ADC frame 3 holds 3 values, more than maxSignal 2") << qint64(0);
    QTest::newRow("AGC frame longer than its axis") << QByteArray(log).replace(">40 41<", ">40 41 42 43<")
        << QStringLiteral("X-T1 AGC frame 1 holds 4 values, more than maxSignal 2") << qint64(0);
    QTest::newRow("frames of an axis without LEDs") << QByteArray(log).replace("maxSignal=\"2\"", "maxSignal=\"0\"")
        << QStringLiteral("X-T1 ADC frame 2 holds 2 values, more than maxSignal 0") << qint64(0);
    QByteArray axes;
    for (int i = 0; i < 300; ++i)
        axes += "<axis ID=\"" + QByteArray::number(i) + "\" name=\"A" + QByteArray::number(i) + "\"/>";
    QTest::newRow("too many axes") << QByteArray(log).replace("<test ", axes.prepend("<test>").append("</test><test "))
        << QStringLiteral(R"(more than 256 "axis" elements)") << qint64(0);
    QTest::newRow("deep nesting") << QByteArray(log).replace("<unknown_section>", QByteArray("<u>").repeated(300)
                                                                                       + "<unknown_section>")
                                                       .replace("</unknown_section>",
                                                                "</unknown_section>" + QByteArray("</u>").repeated(300))
        << QStringLiteral(R"(elements are nested more than 256 deep)") << qint64(0);
    QTest::newRow("long attribute") << QByteArray(log).replace("openArea=\"40:60:5:2\"",
                                                              "openArea=\"" + QByteArray(5000, '1') + "\"")
        << QStringLiteral(R"(an attribute "openArea" of 5000 characters)") << qint64(0);
    QTest::newRow("long text") << QByteArray(log).replace(">T0:1-R0:1<", ">" + QByteArray(70000, 'x') + "<")
        << QStringLiteral(R"(an element text of more than 65536 characters)") << qint64(0);
    QTest::newRow("long text of an info over its children")
        << QByteArray(log).replace(">second<", "><b>" + QByteArray(40000, 'x') + "</b><b>" + QByteArray(40000, 'y')
                                                   + "</b><")
        << QStringLiteral(R"(an element text of more than 65536 characters)") << qint64(0);
    // An axis of the most LEDs in one direction more than a frame may judge.
    const int nDirsOver = int(CTestLogLimits::kMaxLedsPerFrame / CTestLogLimits::kMaxLeds) + 1;
    QTest::newRow("too many LEDs per frame") << ShapedLog(10, int(CTestLogLimits::kMaxLeds), nDirsOver, 2)
        << QStringLiteral("more than %1 LEDs to judge per frame").arg(CTestLogLimits::kMaxLedsPerFrame) << qint64(0);
    // Each direction costs a chart and a curve whatever its LEDs: one more
    // than the bound, spread over axes or in one, is refused.
    QTest::newRow("too many directions") << ShapedLog(10, 1, CTestLogLimits::kMaxTestDirs + 1, 2)
        << QStringLiteral("more than %1 directions").arg(CTestLogLimits::kMaxTestDirs) << qint64(0);
    QTest::newRow("too many directions over axes") << ShapedLog(10, 0, 5, 2, 5)
        << QStringLiteral("more than %1 directions").arg(CTestLogLimits::kMaxTestDirs) << qint64(0);
    QTest::newRow("too many axes read") << ShapedLog(10, 1, 1, 2, CTestLogLimits::kMaxTestAxes + 1)
        << QStringLiteral("more than %1 axes").arg(CTestLogLimits::kMaxTestAxes) << qint64(0);
    QTest::newRow("run too long") << ShapedLog(int(CTestLogLimits::kMaxTestTimes), int(CTestLogLimits::kMaxLeds), 2, 2)
        << QStringLiteral("TEST_TIMES_FOR_UNT 10000 over %1 LEDs is more work than a run can be")
               .arg(2 * CTestLogLimits::kMaxLeds)
        << qint64(0);
    QTest::newRow("long standard") << QByteArray(log).replace(">0000-0030<",
                                                             ">" + QByteArray("1-").repeated(40000) + "2<")
        << QStringLiteral(R"(an element text of more than 65536 characters)") << qint64(0);

    // What the panel diagram draws, an item each, is built on the GUI
    // thread: four times what a large frame has (600 + 340 LEDs: 1,880
    // sensors, 2,820 light paths, 24 boards, 23 connectors) is read, a
    // diagram that would take the GUI seconds to build is refused.
    const struct
    {
        const char *pszName;
        int nFourLargeFrames;
        int nTooMany;
        int nMax;
    } diagram[] = {{"pcb", 4 * 24, 512, CTestLogLimits::kMaxBoards},
                   {"led", 4 * 1880, 65536, CTestLogLimits::kMaxSensors},
                   {"relation", 4 * 2820, 262144, CTestLogLimits::kMaxRelations},
                   {"connector", 4 * 23, 4096, CTestLogLimits::kMaxConnectors}};
    for (const auto &item : diagram) {
        const QByteArray element = "<" + QByteArray(item.pszName) + "/>";
        auto record = [&](int n) {
            return "<touch_device><hardware_info>" + element.repeated(n) + "</hardware_info></touch_device>";
        };
        QTest::addRow("%d %s elements", item.nFourLargeFrames, item.pszName)
            << record(item.nFourLargeFrames) << QString() << qint64(0);
        QTest::addRow("%d %s elements", item.nTooMany, item.pszName)
            << record(item.nTooMany)
            << QStringLiteral("more than %1 \"%2\" elements").arg(item.nMax).arg(QLatin1String(item.pszName))
            << qint64(0);
    }
    // So is a result table of a row, and histograms of a bar, per LED of a
    // frame: the first refused at 16,384 LEDs (a frame of 4,096 in four
    // directions).
    QTest::newRow("16384 LEDs per frame") << ShapedLog(10, 4096, 4, 2)
        << QStringLiteral("more than %1 LEDs to judge per frame").arg(CTestLogLimits::kMaxLedsPerFrame) << qint64(0);

    // Shapes of hostile logs, each within the bounds an element's own text has.
    // Values nested in elements inside a recorded frame count toward it.
    QTest::newRow("values nested in a frame") << HostileLog::NestedFrameValues(3, kHalfFrame)
        << QStringLiteral("a recorded frame of more than %1 values").arg(CTestLogLimits::kMaxLeds) << qint64(0);
    QTest::newRow("text nested in a frame") << HostileLog::NestedFrameText(4, int(CTestLogLimits::kMaxDataChars / 3))
        << QStringLiteral("a recorded frame of more than %1 characters").arg(CTestLogLimits::kMaxDataChars) << qint64(0);
    QTest::newRow("one frame of long values") << HostileLog::WithFrame(QByteArray(200000, '9'))
        << QStringLiteral("a recorded frame of more than %1 characters").arg(CTestLogLimits::kMaxDataChars) << qint64(0);
    // An element of many attributes, refused before any XML parse.
    QTest::newRow("many attributes") << HostileLog::ManyAttributes(65)
        << QStringLiteral("an element with more than 64 attributes") << qint64(0);
    QTest::newRow("as many attributes as allowed") << HostileLog::ManyAttributes(64) << QString() << qint64(0);
    // A divide list is bounded by what it can mean, separators or not.
    QTest::newRow("long divide without separators") << HostileLog::LongDivide(200000)
        << QStringLiteral("a divide list longer than %1 characters").arg(CTestLogLimits::kMaxDivideChars) << qint64(0);
    // Elements are counted on the bytes (a bound only a large file breaks,
    // lowered for the row); comments, declarations and CDATA are none.
    QTest::newRow("too many elements") << HostileLog::EmptyElements(1000)
        << QStringLiteral("more than 1000 elements") << qint64(1000);
    QTest::newRow("as many elements as allowed") << HostileLog::EmptyElements(999) << QString() << qint64(1000);
    QTest::newRow("markup that is no element")
        << QByteArray("<?xml version=\"1.0\"?><!-- <a b=\"1\"> --><!DOCTYPE t><touch_device><![CDATA[<x y=\"1\">]]>"
                      "</touch_device>")
        << QString() << qint64(1);
    // A recorded value, a frame number or a window that is no unsigned
    // decimal number is refused, named where it stands (read as 0, a value
    // would be a dead LED); an empty value is 0, and the axis's own numbers
    // read 0 when they are no number.
    const struct
    {
        const char *pszName;
        const char *pszFrom;
        const char *pszTo;
        const char *pszReason; // nullptr: read
    } numbers[] = {
        {"reading a word", ">180 0<", ">abc 0<", R"(X-T1 ADC frame 2, position 0: "abc")"},
        {"reading negative", ">180 0<", ">-5 0<", R"(X-T1 ADC frame 2, position 0: "-5")"},
        {"reading beyond 32 bits", ">180 0<", ">4294967296 0<", R"(X-T1 ADC frame 2, position 0: "4294967296")"},
        {"reading of a dark LED", ">181 1<", ">181 x<", R"(X-T1 ADC frame 3, position 1: "x")"},
        {"AGC reading", ">40 41<", ">40 4.1<", R"(X-T1 AGC frame 1, position 1: "4.1")"},
        {"frame number", "<data ID=\"3\"", "<data ID=\"three\"", R"(X-T1 ADC frame number: "three")"},
        {"test window", ">0100-0255<", ">0100-02S5<", R"(X-T1 ADC test_standard 0: "0100-02S5")"},
        {"problem window", ">0000-0030<", ">0000-0O30<", R"(X-T1 ADC test_problem_standard 0: "0000-0O30")"},
        {"empty reading", ">181 1<", ">181 <", nullptr},
        {"maxValue a word", "maxValue=\"255\"", "maxValue=\"abc\"", nullptr},
        {"signalStart a word", "signalStart=\"4\"", "signalStart=\"-4\"", nullptr},
        // A zone end that is no number would move a zone's border to LED 0;
        // an empty part is 0, and a "-" is always a separator.
        {"divide part a word", "divide=\"0-1\"", "divide=\"0-one\"", R"(axis X divide, part 1: "one")"},
        {"divide part a fraction", "divide=\"0-1\"", "divide=\"0.5-1\"", R"(axis X divide, part 0: "0.5")"},
        {"divide part beyond 32 bits", "divide=\"0-1\"", "divide=\"0-4294967296\"",
         R"(axis X divide, part 1: "4294967296")"},
        {"divide part signed", "divide=\"0-1\"", "divide=\"0-+1\"", R"(axis X divide, part 1: "+1")"},
        {"divide empty part", "divide=\"0-1\"", "divide=\"0--1\"", nullptr},
        // A weak-signal limit that is no number would be a limit of 0.
        {"tolerance a word", "MaxTolerantSignalCount=\"2\"", "MaxTolerantSignalCount=\"two\"",
         R"(X-T1 MaxTolerantSignalCount: "two")"},
        {"tolerance negative", "MaxTolerantSignalCount=\"2\"", "MaxTolerantSignalCount=\"-2\"",
         R"(X-T1 MaxTolerantSignalCount: "-2")"},
        {"tolerance beyond 32 bits", "MaxTolerantSignalCount=\"2\"", "MaxTolerantSignalCount=\"4294967298\"",
         R"(X-T1 MaxTolerantSignalCount: "4294967298")"},
        {"tolerance empty", "MaxTolerantSignalCount=\"2\"", "MaxTolerantSignalCount=\"\"",
         R"(X-T1 MaxTolerantSignalCount: "")"},
        // A side's ID tells which sides meet at a corner, a relation's
        // numbers which sensor sees a light path: read as 0, they would name
        // a connector or sensor fault the log does not hold.
        {"side ID a word", "<axis ID=\"1\" name=\"Top\">", "<axis ID=\"one\" name=\"Top\">",
         R"(hardware_info axis "Top" ID: "one")"},
        {"side ID negative", "<axis ID=\"1\" name=\"Top\">", "<axis ID=\"-1\" name=\"Top\">",
         R"(hardware_info axis "Top" ID: "-1")"},
        {"side ID empty", "<axis ID=\"1\" name=\"Top\">", "<axis ID=\"\" name=\"Top\">",
         R"(hardware_info axis "Top" ID: "")"},
        {"relation number a word", ">Bottom:1-Top:1<", ">Bottom:one-Top:1<", R"(hardware_info relation 1: "Bottom:one")"},
        {"relation number beyond 32 bits", ">Bottom:1-Top:1<", ">Bottom:1-Top:4294967297<",
         R"(hardware_info relation 1: "Top:4294967297")"},
        {"relation number empty", ">Bottom:1-Top:1<", ">Bottom:1-Top:<", R"(hardware_info relation 1: "Top:")"},
        // The interface codes and a sensor's name judge nothing: a text that
        // is no number reads 0 there.
        {"interface type a word", "interfaceType=\"5\"", "interfaceType=\"usb\"", nullptr},
        {"interface direction a word", "interfaceDir=\"1\"", "interfaceDir=\"up\"", nullptr},
        {"sensor ID a word", "<led ID=\"1\"", "<led ID=\"x\"", nullptr},
    };
    QTest::newRow("unchanged log") << log << QString() << qint64(0);
    for (const auto &number : numbers) {
        const QByteArray changed = QByteArray(log).replace(number.pszFrom, number.pszTo);
        QVERIFY(changed != log);
        QTest::newRow(number.pszName)
            << changed
            << (number.pszReason ? QString::fromUtf8(number.pszReason) + QStringLiteral(" is no unsigned decimal number")
                                 : QString())
            << qint64(0);
    }
    // Dead sensors on many boards: read (within every bound), and the board
    // analysis of each refresh does not walk the dead list once per board.
    QTest::newRow("dead sensors on many boards") << HostileLog::DeadSensorsOnManyBoards(512, 64) << QString()
                                                 << qint64(0);
}

void TestTestLog::oversizedLogsAreRefused()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, reason);
    QFETCH(qint64, maxElements);

    CTestLogLimits::SetMaxElementsForTests(maxElements);
    const COperateEnvironment::EnvironmentList stationEnv{{"Environment", "kept"}};
    COperateEnvironment env;
    *env.GetEnvironmentList() = stationEnv;
    WriteFile("big.xml", data);
    CTouchLogfileXML log(&env, QStringLiteral("big.xml"));
    // Whatever an earlier reading left is gone too.
    log.GetPropertyList().append(CPropertyItem("Product", "earlier"));
    if (reason.isEmpty()) {
        const int32_t r = log.StartTest(1);
        CTestLogLimits::SetMaxElementsForTests(0);
        QVERIFY2(r >= 0, qPrintable(QString::number(r, 16)));
        if (QTest::currentDataTag() == QLatin1String("dead sensors on many boards")) {
            ProblemMap problems;
            QCOMPARE(log.GetErrors(problems), 0);
            QCOMPARE(problems.value("SENSOR_ERROR").size(), 2 * 512);
            QVERIFY(!problems.contains("PCB_ERROR")); // a whole chain is dead: the connections are named
            QVERIFY(!problems.value("CONNECTOR_ERROR").isEmpty());
        }
        return;
    }
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Test log .*big.xml refused: " + QRegularExpression::escape(reason) + "$"));
    const int32_t r = log.StartTest(1);
    CTestLogLimits::SetMaxElementsForTests(0);
    QCOMPARE(r, ERROR_LOG_FORMAT);
    QVERIFY(log.GetAxisSignalMap().isEmpty());
    QVERIFY(log.GetPropertyList().isEmpty());
    QVERIFY(log.GetHardwareInfo().GetAxisMap().isEmpty());
    QCOMPARE(log.GetLastRecordNumber(), 0u);
    QCOMPARE(log.GetTestTimesForUnt(), 10);
    // A refused log leaves no host data of its own in the station's list.
    QCOMPARE(*env.GetEnvironmentList(), stationEnv);
}

void TestTestLog::largestSaneLogsAreAccepted_data()
{
    QTest::addColumn<int>("times");
    QTest::addColumn<int>("leds");
    QTest::addColumn<int>("dirs"); // of each axis
    QTest::addColumn<int>("axes");

    QTest::newRow("largest frame") << 10 << int(CTestLogLimits::kMaxLeds) << 1 << 1;
    QTest::newRow("four large frames") << 10 << 4 * (600 + 340) << 3 << 1;
    QTest::newRow("many directions") << 10 << int(CTestLogLimits::kMaxLedsPerFrame / CTestLogLimits::kMaxTestDirs)
                                     << CTestLogLimits::kMaxTestDirs << 1;
    QTest::newRow("many axes") << 10 << int(CTestLogLimits::kMaxLedsPerFrame / CTestLogLimits::kMaxTestDirs)
                               << CTestLogLimits::kMaxTestDirs / CTestLogLimits::kMaxTestAxes
                               << CTestLogLimits::kMaxTestAxes;
    QTest::newRow("long UNT window on a large panel") << int(CTestLogLimits::kMaxTestTimes) << 1000 << 3 << 1;
}

void TestTestLog::largestSaneLogsAreAccepted()
{
    QFETCH(int, times);
    QFETCH(int, leds);
    QFETCH(int, dirs);
    QFETCH(int, axes);

    // The bounds leave room for any real frame.
    const QByteArray data = ShapedLog(times, leds, dirs, CTestLogLimits::kMaxFrameNumber, axes);
    QString strReason;
    QVERIFY(CTestLogLimits::ScanDocument(data, &strReason));
    CTouchLogfileXML log(nullptr, QString());
    QXmlStreamReader reader(data);
    QCOMPARE(log.AnalysisXml(reader), 0);
    QVERIFY2(CTestLogLimits::CheckModel(log, &strReason), qPrintable(strReason));
    QCOMPARE(log.GetRecordCount(), CTestLogLimits::kMaxFrameNumber);
}

void TestTestLog::formattedLogsOfLargeRunsAreAccepted_data()
{
    QTest::addColumn<uint>("ledsX");
    QTest::addColumn<int>("recorded"); // frames recorded after the run
    QTest::addColumn<bool>("crlf");

    QTest::newRow("many light paths") << 1500u << 0 << false;
    QTest::newRow("long recording") << 24u << 4000 << false;
    QTest::newRow("long recording, CRLF") << 24u << 4000 << true;
}

// The indentation between the elements of a saved log is no element text: a
// log of a large frame or of a long recording reads back.
void TestTestLog::formattedLogsOfLargeRunsAreAccepted()
{
    QFETCH(uint, ledsX);
    QFETCH(int, recorded);
    QFETCH(bool, crlf);

    CFakeHardware::SConfig config;
    config.nLedsX = ledsX;
    CFakeHardware hw(nullptr, config);
    QCOMPARE(hw.StartTest(1), 0);
    const SignalFrame frame = CTestPanel::Uniform(config.nLedsY, 190);
    for (int n = 0; n < recorded; ++n)
        hw.GetAxisSignalMap()[QStringLiteral("Y")].AddTestData(QStringLiteral("T0"), QStringLiteral("ADC"), frame,
                                                               hw.GetRecordBase() + 1 + uint32_t(n));
    QCOMPARE(hw.SaveXml("large.xml"), 0);
    if (crlf) {
        QFile f("large.xml");
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray data = f.readAll().replace("\n", "\r\n");
        f.close();
        WriteFile("large.xml", data);
    }

    CTouchLogfileXML log(nullptr, QStringLiteral("large.xml"));
    QCOMPARE(log.StartTest(1), 0);
    QCOMPARE(log.GetHardwareInfo().GetSensorRelations().size(), hw.GetHardwareInfo().GetSensorRelations().size());
    QCOMPARE(log.GetAxisSignalMap()[QStringLiteral("X")].GetMaxSignal(), ledsX);
    QCOMPARE(log.GetLastRecordNumber(), hw.GetRecordBase() + uint32_t(recorded));
}

void TestTestLog::hugeFileIsRefusedUnread()
{
    {
        QFile f("huge.xml");
        QVERIFY(f.open(QIODevice::WriteOnly));
        // Sparse: no disk space is used.
        QVERIFY(f.resize(CTestLogLimits::kMaxFileBytes + 1));
    }
    CTouchLogfileXML log(nullptr, QStringLiteral("huge.xml"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Test log .*huge.xml refused: "));
    QCOMPARE(log.StartTest(1), ERROR_LOG_FORMAT);
}

STATION_TEST_MAIN_CORE(TestTestLog)
#include "tst_testlog.moc"
