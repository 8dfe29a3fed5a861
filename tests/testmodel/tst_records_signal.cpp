// Signal records: windows, frames, create-on-look-up and the XML inside a
// test-section axis.

#include "axissignalinfo.h"
#include "testenvironment.h"

#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtTest>
#include <functional>

namespace {

using Ranges = QList<SignalRange>;
using Values = QList<uint32_t>;

QString Write(const std::function<void(QXmlStreamWriter &)> &fn)
{
    QString strOut;
    QXmlStreamWriter writer(&strOut);
    fn(writer);
    return strOut;
}

// Frame times differ from run to run: checked apart, masked here.
QString MaskTimes(QString strXml)
{
    strXml.replace(QRegularExpression(QStringLiteral("DateTime=\"[^\"]*\"")), QStringLiteral("DateTime=\"*\""));
    return strXml;
}

QString WriteAxis(const CAxisSignalInfo &axis)
{
    return Write([&](QXmlStreamWriter &w) {
        w.writeStartElement(QStringLiteral("axis"));
        axis.WriteDirs(w);
        w.writeEndElement();
    });
}

bool ReadAxis(CAxisSignalInfo &axis, const QString &strXml, QString *pNext = nullptr)
{
    QXmlStreamReader reader(QStringLiteral("<doc>%1<after/></doc>").arg(strXml));
    reader.readNextStartElement();
    reader.readNextStartElement();
    const bool bError = axis.ReadXml(reader);
    if (pNext) {
        pNext->clear();
        while (!reader.atEnd()) {
            reader.readNext();
            if (reader.isStartElement()) {
                *pNext = reader.name().toString();
                break;
            }
        }
    }
    return bError;
}

} // namespace

Q_DECLARE_METATYPE(SignalRange)

class TestRecordsSignal : public QObject
{
    Q_OBJECT

private slots:
    void rangeText_data();
    void rangeText();
    void rangeRead_data();
    void rangeRead();
    void setStandard_data();
    void setStandard();
    void axisSetStandardNeedsDirection();
    void testData();
    void recordCountAndClear();
    void lookUpsCreate();
    void shownTypes();
    void divide_data();
    void divide();
    void tolerance_data();
    void tolerance();
    void writeEmptyType();
    void writeDirsExact();
    void readSkipsAndAdds();
    void dataText_data();
    void dataText();
    void roundTrip();
    void brokenAxisReportsError();
};

void TestRecordsSignal::rangeText_data()
{
    QTest::addColumn<uint>("lo");
    QTest::addColumn<uint>("hi");
    QTest::addColumn<QString>("text");
    QTest::newRow("padded") << 5u << 120u << "0005-0120";
    QTest::newRow("long lo") << 12345u << 7u << "12345-0007";
    QTest::newRow("zeros") << 0u << 0u << "0000-0000";
    QTest::newRow("largest signed") << 2147483647u << 1u << "2147483647-0001";
    // Limits above the signed range print as the numbers they are.
    QTest::newRow("above signed") << 2147483648u << 2u << "2147483648-0002";
    QTest::newRow("largest unsigned") << 5u << 4294967295u << "0005-4294967295";
}

void TestRecordsSignal::rangeText()
{
    QFETCH(uint, lo);
    QFETCH(uint, hi);
    QFETCH(QString, text);
    QCOMPARE(CSignalTypeInfo::RangeText(SignalRange{lo, hi}), text);

    // And it reads back as written.
    CSignalTypeInfo type;
    type.AddTestStandard(lo, hi);
    const QString strXml = Write([&](QXmlStreamWriter &w) { type.WriteXml(w, QStringLiteral("ADC"), 0); });
    QVERIFY2(strXml.contains(QStringLiteral("<standard>%1</standard>").arg(text)), qPrintable(strXml));
    CSignalTypeInfo back;
    QXmlStreamReader reader(strXml);
    reader.readNextStartElement();
    QVERIFY(!back.ReadXml(reader));
    QCOMPARE(back.GetTestStandards(), Ranges({SignalRange{lo, hi}}));
}

void TestRecordsSignal::rangeRead_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<uint>("lo");
    QTest::addColumn<uint>("hi");
    QTest::addColumn<QString>("unreadable"); // empty: the range is read
    QTest::newRow("padded") << "0005-0120" << 5u << 120u << QString();
    QTest::newRow("single number") << "17" << 17u << 17u << QString();
    QTest::newRow("three parts") << "1-2-3" << 1u << 3u << QString();
    QTest::newRow("empty") << "" << 0u << 0u << QString();
    QTest::newRow("nested text") << "<b>7</b>-9" << 7u << 9u << QString();
    QTest::newRow("largest") << "0000-4294967295" << 0u << 4294967295u << QString();
    // A bound that is no number is no window: noted, not read as 0.
    QTest::newRow("not a number") << "a-0005" << 0u << 0u << "test_problem_standard 0: \"a-0005\"";
    QTest::newRow("signed") << "0005-+120" << 0u << 0u << "test_problem_standard 0: \"0005-+120\"";
    QTest::newRow("beyond 32 bits") << "0-4294967296" << 0u << 0u << "test_problem_standard 0: \"0-4294967296\"";
}

void TestRecordsSignal::rangeRead()
{
    QFETCH(QString, text);
    QFETCH(uint, lo);
    QFETCH(uint, hi);
    QFETCH(QString, unreadable);
    CSignalTypeInfo type;
    type.AddProblemStandard(1, 2);
    QXmlStreamReader reader(
        QStringLiteral("<type name=\"ADC\"><test_problem_standard><x>9-9</x><standard>%1</standard></test_problem_standard></type>")
            .arg(text));
    reader.readNextStartElement();
    QVERIFY(!type.ReadXml(reader));
    // Reading appends to what the record holds.
    const QList<SignalRange> read = unreadable.isEmpty() ? Ranges({SignalRange{1, 2}, SignalRange{lo, hi}})
                                                         : Ranges({SignalRange{1, 2}});
    QCOMPARE(type.GetProblemStandards(), read);
    QCOMPARE(type.GetUnreadableNumber(), unreadable);
    QVERIFY(type.GetTestStandards().isEmpty());
}

void TestRecordsSignal::setStandard_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("result");
    QTest::addColumn<QList<int>>("changed");
    QTest::newRow("all of three") << 3 << -1 << 1 << QList<int>{0, 1, 2};
    QTest::newRow("all of none") << 0 << -1 << 1 << QList<int>{};
    QTest::newRow("first") << 3 << 0 << 1 << QList<int>{0};
    QTest::newRow("last") << 3 << 2 << 1 << QList<int>{2};
    QTest::newRow("past the end") << 3 << 3 << 0 << QList<int>{};
    QTest::newRow("empty list") << 0 << 0 << 0 << QList<int>{};
}

void TestRecordsSignal::setStandard()
{
    QFETCH(int, count);
    QFETCH(int, index);
    QFETCH(int, result);
    QFETCH(QList<int>, changed);
    CSignalTypeInfo type;
    for (int n = 0; n < count; ++n) {
        type.AddTestStandard(uint32_t(n), uint32_t(n + 10));
        type.AddProblemStandard(uint32_t(n), uint32_t(n + 10));
    }
    QCOMPARE(type.SetTestStandard(7, 8, index), result);
    QCOMPARE(type.SetProblemStandard(7, 8, index), result);
    QCOMPARE(type.GetTestStandards().size(), count);
    for (int n = 0; n < count; ++n) {
        const SignalRange expected = changed.contains(n) ? SignalRange{7, 8} : SignalRange{uint32_t(n), uint32_t(n + 10)};
        QCOMPARE(type.GetTestStandards().at(n), expected);
        QCOMPARE(type.GetProblemStandards().at(n), expected);
    }
}

void TestRecordsSignal::axisSetStandardNeedsDirection()
{
    CAxisSignalInfo axis;
    QCOMPARE(axis.SetTestStandard(QStringLiteral("T0"), QStringLiteral("ADC"), 1, 2, -1), 0);
    QCOMPARE(axis.SetProblemStandard(QStringLiteral("T0"), QStringLiteral("ADC"), 1, 2, -1), 0);
    QVERIFY(axis.GetDirMap().isEmpty());

    axis.SetMaxTolerantSignalCount(QStringLiteral("T0"), 3);
    // A missing kind inside an existing direction is created.
    QCOMPARE(axis.SetTestStandard(QStringLiteral("T0"), QStringLiteral("ADC"), 1, 2, -1), 1);
    QVERIFY(axis.GetDirMap()[QStringLiteral("T0")].GetTypeMap().contains(QStringLiteral("ADC")));
    QCOMPARE(axis.SetProblemStandard(QStringLiteral("T0"), QStringLiteral("AGC"), 1, 2, 0), 0);
    QVERIFY(axis.GetDirMap()[QStringLiteral("T0")].GetTypeMap().contains(QStringLiteral("AGC")));
}

void TestRecordsSignal::testData()
{
    CSignalTypeInfo type;
    Values lstOut{42};
    QCOMPARE(type.GetTestData(lstOut, 3), 0);
    QCOMPARE(lstOut, Values{42});

    const QDateTime before = QDateTime::currentDateTime();
    QCOMPARE(type.AddTestData({1, 2, 3}, 3), 1);
    QCOMPARE(type.GetTestData(lstOut, 3), 3);
    QCOMPARE(lstOut, Values({1, 2, 3}));
    QVERIFY(type.GetTestTimes().value(3) >= before.addMSecs(-1));
    QCOMPARE(type.AddTestData({}, 3), 1); // replaces
    QCOMPARE(type.GetTestData(lstOut, 3), 0);
    QCOMPARE(lstOut, Values());
    QCOMPARE(type.GetTestTimes().keys(), type.GetTestDataMap().keys());
}

void TestRecordsSignal::recordCountAndClear()
{
    CAxisSignalInfo axis;
    axis.SetMaxSignal(30);
    axis.SetDivide({9, 19});
    axis.AddTestStandard(QStringLiteral("T0"), QStringLiteral("ADC"), 5, 120);
    axis.AddSignalLabel(QStringLiteral("T0"), QStringLiteral("T0:0-R0:0"));
    axis.SetMaxTolerantSignalCount(QStringLiteral("T0"), 4);
    QCOMPARE(axis.GetRecordCount(), 0u);
    for (uint32_t f = 0; f < 10; ++f)
        axis.AddTestData(QStringLiteral("T0"), f % 2 ? QStringLiteral("ADC") : QStringLiteral("AGC"), {f}, f);
    axis.AddTestData(QStringLiteral("T1"), QStringLiteral("ADC"), {1}, 4);
    QCOMPARE(axis.GetRecordCount(), 9u);
    QCOMPARE(axis.GetDirMap()[QStringLiteral("T1")].GetRecordCount(), 4u);

    QCOMPARE(axis.ClearTestData(), 1);
    QCOMPARE(axis.GetRecordCount(), 0u);
    QCOMPARE(axis.GetTestStandards(QStringLiteral("T0"), QStringLiteral("ADC")), Ranges({SignalRange{5, 120}}));
    QCOMPARE(axis.GetSignalLabels(QStringLiteral("T0")), QList<QString>{QStringLiteral("T0:0-R0:0")});
    QCOMPARE(axis.GetMaxTolerantSignalCount(QStringLiteral("T0")), 4u);
    QCOMPARE(axis.GetMaxSignal(), 30u);
    QCOMPARE(axis.GetDivide(), Values({9, 19}));
}

void TestRecordsSignal::lookUpsCreate()
{
    CAxisSignalInfo axis;
    QCOMPARE(axis.GetShow(QStringLiteral("T2"), QStringLiteral("UNT")), QString());
    QVERIFY(axis.FindDir(QStringLiteral("T2")));
    QVERIFY(axis.FindDir(QStringLiteral("T2"))->FindType(QStringLiteral("UNT")));
    QVERIFY(!axis.FindDir(QStringLiteral("T3")));
    QVERIFY(!axis.FindDir(QStringLiteral("T2"))->FindType(QStringLiteral("ADC")));
    QCOMPARE(axis.GetDirMap().size(), 1);
    // The next saved log holds them.
    const QString strXml = WriteAxis(axis);
    QCOMPARE(strXml, QStringLiteral("<axis><dir ID=\"0\" name=\"T2\" MaxTolerantSignalCount=\"0\">"
                                    "<type name=\"UNT\" ID=\"0\" base=\"\" show=\"\" standardType=\"\"/></dir></axis>"));
}

void TestRecordsSignal::shownTypes()
{
    CDirSignalInfo dir;
    dir.SetBaseShow(QStringLiteral("UNT"), QStringLiteral("ADC"), QStringLiteral("UNT"));
    dir.SetBaseShow(QStringLiteral("REVERSE"), QString(), QStringLiteral("ADC"));
    dir.SetBaseShow(QStringLiteral("ADC"), QString(), QStringLiteral("ADC"));
    dir.SetBaseShow(QStringLiteral("AGC"), QString(), QStringLiteral("agc"));
    QCOMPARE(dir.GetShownTypes(), QList<QString>({QStringLiteral("ADC"), QStringLiteral("UNT")}));
    QCOMPARE(dir.GetBase(QStringLiteral("UNT")), QStringLiteral("ADC"));
}

void TestRecordsSignal::divide_data()
{
    QTest::addColumn<QString>("attribute"); // "-" for no attribute
    QTest::addColumn<Values>("expected");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("unreadable"); // empty: every part read
    QTest::newRow("absent keeps") << "-" << Values{3} << "3" << QString();
    QTest::newRow("empty keeps") << "" << Values{3} << "3" << QString();
    QTest::newRow("two") << "9-19" << Values({9, 19}) << "9-19" << QString();
    QTest::newRow("empty part reads 0") << "5--7" << Values({5, 0, 7}) << "5-0-7" << QString();
    // A part that is no number is no zone end: noted, the list kept as it was.
    QTest::newRow("not a number") << "x" << Values{3} << "3" << "divide, part 0: \"x\"";
    QTest::newRow("second part not a number") << "9-1O" << Values{3} << "3" << "divide, part 1: \"1O\"";
    QTest::newRow("beyond 32 bits") << "9-4294967296" << Values{3} << "3" << "divide, part 1: \"4294967296\"";
    QTest::newRow("largest") << "4294967295" << Values{4294967295u} << "4294967295" << QString();
}

void TestRecordsSignal::divide()
{
    QFETCH(QString, attribute);
    QFETCH(Values, expected);
    QFETCH(QString, text);
    QFETCH(QString, unreadable);
    CAxisSignalInfo axis;
    axis.SetDivide({3});
    axis.SetMaxSignal(7);
    const QString strAttr = attribute == QLatin1String("-") ? QString() : QStringLiteral(" divide=\"%1\"").arg(attribute);
    QVERIFY(!ReadAxis(axis, QStringLiteral("<axis maxValue=\"255\"%1/>").arg(strAttr)));
    QCOMPARE(axis.GetDivide(), expected);
    QCOMPARE(axis.GetDivideText(), text);
    QCOMPARE(axis.GetMaxSignal(), 7u);
    QCOMPARE(axis.GetMaxValue(), 255u);
    QCOMPARE(axis.GetUnreadableNumber(), unreadable);
}

void TestRecordsSignal::tolerance_data()
{
    QTest::addColumn<QString>("attribute"); // "-" for no attribute
    QTest::addColumn<uint>("expected");
    QTest::addColumn<QString>("unreadable"); // empty: read
    QTest::newRow("absent keeps") << "-" << 6u << QString();
    QTest::newRow("zero") << "0" << 0u << QString();
    QTest::newRow("largest") << "4294967295" << 4294967295u << QString();
    // A limit that is no number is no limit of 0: noted, the count kept.
    QTest::newRow("a word") << "many" << 6u << "MaxTolerantSignalCount: \"many\"";
    QTest::newRow("negative") << "-1" << 6u << "MaxTolerantSignalCount: \"-1\"";
    QTest::newRow("beyond 32 bits") << "4294967296" << 6u << "MaxTolerantSignalCount: \"4294967296\"";
    QTest::newRow("empty") << "" << 6u << "MaxTolerantSignalCount: \"\"";
}

void TestRecordsSignal::tolerance()
{
    QFETCH(QString, attribute);
    QFETCH(uint, expected);
    QFETCH(QString, unreadable);
    CAxisSignalInfo axis;
    axis.SetMaxTolerantSignalCount(QStringLiteral("T1"), 6);
    const QString strAttr =
        attribute == QLatin1String("-") ? QString() : QStringLiteral(" MaxTolerantSignalCount=\"%1\"").arg(attribute);
    QVERIFY(!ReadAxis(axis, QStringLiteral("<axis><dir name=\"T1\"%1/></axis>").arg(strAttr)));
    QCOMPARE(axis.GetMaxTolerantSignalCount(QStringLiteral("T1")), expected);
    QCOMPARE(axis.GetDirMap().value(QStringLiteral("T1")).GetUnreadableNumber(), unreadable);
}

void TestRecordsSignal::writeEmptyType()
{
    CSignalTypeInfo type;
    const QString strXml = Write([&](QXmlStreamWriter &w) { type.WriteXml(w, QStringLiteral("AGC"), 2); });
    QCOMPARE(strXml, QStringLiteral("<type name=\"AGC\" ID=\"2\" base=\"\" show=\"\" standardType=\"\"/>"));
}

void TestRecordsSignal::writeDirsExact()
{
    CAxisSignalInfo axis;
    // Directions and kinds are written in key order whatever the order of creation.
    axis.SetMaxTolerantSignalCount(QStringLiteral("T1"), 4294967295u);
    axis.SetStandardType(QStringLiteral("T1"), QStringLiteral("UNT"), QStringLiteral("Absolute"));
    axis.SetBaseShow(QStringLiteral("T1"), QStringLiteral("UNT"), QStringLiteral("ADC"), QStringLiteral("UNT"));
    axis.AddSignalLabel(QStringLiteral("T1"), QStringLiteral("T0:0-R0:1"));
    axis.AddTestStandard(QStringLiteral("T0"), QStringLiteral("AGC"), 10, 100);
    axis.AddProblemStandard(QStringLiteral("T0"), QStringLiteral("ADC"), 0, 20);
    axis.AddProblemStandard(QStringLiteral("T0"), QStringLiteral("ADC"), 0, 25);
    axis.AddTestStandard(QStringLiteral("T0"), QStringLiteral("ADC"), 5, 120);
    axis.AddTestData(QStringLiteral("T0"), QStringLiteral("ADC"), {12, 0, 4095}, 3);
    axis.AddTestData(QStringLiteral("T0"), QStringLiteral("ADC"), {}, 1);
    axis.AddSignalRelation(QStringLiteral("T0"), QStringLiteral("Bottom:0-Top:0"));
    axis.AddSignalRelation(QStringLiteral("T0"), QStringLiteral("Bottom:1-Top:1"));
    axis.AddSignalLabel(QStringLiteral("T0"), QStringLiteral("T0:0-R0:0"));
    axis.AddSignalLabel(QStringLiteral("T0"), QStringLiteral("T0:1-R0:1"));
    axis.AddSignalLabel(QStringLiteral("T0"), QStringLiteral("T0:2-R0:2"));
    axis.GetShow(QStringLiteral("T2"), QStringLiteral("ADC"));

    const QString strXml = WriteAxis(axis);
    const QString strExpected = QStringLiteral(
        "<axis>"
        "<dir ID=\"0\" name=\"T0\" MaxTolerantSignalCount=\"0\">"
        "<type name=\"ADC\" ID=\"0\" base=\"\" show=\"\" standardType=\"\">"
        "<test_problem_standard><standard>0000-0020</standard><standard>0000-0025</standard></test_problem_standard>"
        "<test_standard><standard>0005-0120</standard></test_standard>"
        "<test_data><data ID=\"1\" DateTime=\"*\"></data><data ID=\"3\" DateTime=\"*\">12 0 4095</data></test_data>"
        "</type>"
        "<type name=\"AGC\" ID=\"1\" base=\"\" show=\"\" standardType=\"\">"
        "<test_standard><standard>0010-0100</standard></test_standard>"
        "</type>"
        "<signal_labels><label relation=\"Bottom:0-Top:0\">T0:0-R0:0</label>"
        "<label relation=\"Bottom:1-Top:1\">T0:1-R0:1</label></signal_labels>"
        "</dir>"
        "<dir ID=\"1\" name=\"T1\" MaxTolerantSignalCount=\"4294967295\">"
        "<type name=\"UNT\" ID=\"0\" base=\"ADC\" show=\"UNT\" standardType=\"Absolute\"/>"
        "<signal_labels/>"
        "</dir>"
        "<dir ID=\"2\" name=\"T2\" MaxTolerantSignalCount=\"0\">"
        "<type name=\"ADC\" ID=\"0\" base=\"\" show=\"\" standardType=\"\"/>"
        "</dir>"
        "</axis>");
    QCOMPARE(MaskTimes(strXml), strExpected);

    const QRegularExpression time(QStringLiteral("DateTime=\"(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3})\""));
    auto match = time.globalMatch(strXml);
    int nTimes = 0;
    while (match.hasNext()) {
        const QDateTime t = QDateTime::fromString(match.next().captured(1), QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
        QVERIFY(qAbs(t.secsTo(QDateTime::currentDateTime())) < 60);
        ++nTimes;
    }
    QCOMPARE(nTimes, 2);
}

void TestRecordsSignal::readSkipsAndAdds()
{
    CAxisSignalInfo axis;
    axis.AddTestStandard(QStringLiteral("T0"), QStringLiteral("ADC"), 1, 2);
    axis.AddSignalLabel(QStringLiteral("T0"), QStringLiteral("old"));
    axis.SetMaxTolerantSignalCount(QStringLiteral("T0"), 6);
    axis.SetBaseShow(QStringLiteral("T0"), QStringLiteral("ADC"), QStringLiteral("b"), QStringLiteral("s"));
    QString strNext;
    const bool bError = ReadAxis(
        axis,
        QStringLiteral(
            "<axis maxSignal=\"3\" maxValue=\"x\" signalStart=\"2\" divide=\"1\">"
            "<noise><dir name=\"T9\"/></noise>"
            "<dir ID=\"5\"><type name=\"ADC\"/></dir>"
            "<dir name=\"T0\" ID=\"7\">"
            "<type ID=\"0\"><test_standard><standard>9-9</standard></test_standard></type>"
            "<type name=\"ADC\" show=\"ADC\">"
            "<junk/><test_standard><standard>0005-0120</standard></test_standard>"
            "<test_data><data>1 2</data><data ID=\"4\" DateTime=\"2001-01-01 00:00:00.000\">7 8<b/> 9</data>"
            "<other ID=\"5\">1</other><data ID=\"4\">10</data></test_data>"
            "</type>"
            "<signal_labels><label relation=\"r0\">a</label><label>b</label><extra>c</extra></signal_labels>"
            "</dir>"
            "</axis>"),
        &strNext);
    QVERIFY(!bError);
    QCOMPARE(strNext, QStringLiteral("after"));
    QCOMPARE(axis.GetMaxSignal(), 3u);
    QCOMPARE(axis.GetMaxValue(), 0u);
    QCOMPARE(axis.GetSignalStart(), 2u);
    QCOMPARE(axis.GetDivide(), Values{1});
    QCOMPARE(axis.GetDirMap().keys(), QStringList{QStringLiteral("T0")});
    CDirSignalInfo &dir = axis.GetDirMap()[QStringLiteral("T0")];
    QCOMPARE(dir.GetMaxTolerantSignalCount(), 6u);
    QCOMPARE(dir.GetTypeMap().keys(), QStringList{QStringLiteral("ADC")});
    QCOMPARE(dir.GetTestStandards(QStringLiteral("ADC")), Ranges({SignalRange{1, 2}, SignalRange{5, 120}}));
    QCOMPARE(dir.GetShow(QStringLiteral("ADC")), QStringLiteral("ADC"));
    QCOMPARE(dir.GetBase(QStringLiteral("ADC")), QStringLiteral("b"));
    Values lstOut;
    // Two data elements with one ID join; the first stays in front.
    QCOMPARE(dir.GetTestData(QStringLiteral("ADC"), lstOut, 4), 4);
    QCOMPARE(lstOut, Values({7, 8, 9, 10}));
    QCOMPARE(dir.GetTypeMap()[QStringLiteral("ADC")].GetTestDataMap().keys(), QList<uint32_t>{4});
    // The written time is not read back: the frame carries the time of reading.
    QVERIFY(qAbs(dir.GetTypeMap()[QStringLiteral("ADC")].GetTestTimes().value(4).secsTo(QDateTime::currentDateTime())) < 60);
    QCOMPARE(dir.GetSignalLabels(), QList<QString>({QStringLiteral("old"), QStringLiteral("a"), QStringLiteral("b")}));
    QCOMPARE(dir.GetSignalRelations(), QList<QString>{QStringLiteral("r0")});
}

void TestRecordsSignal::dataText_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Values>("values");
    QTest::addColumn<QString>("unreadable"); // empty: every value is read
    QTest::newRow("three") << "2" << "12 0 4095" << Values({12, 0, 4095}) << QString();
    QTest::newRow("empty text reads one zero") << "2" << "" << Values{0} << QString();
    QTest::newRow("double blank") << "2" << "1  2" << Values({1, 0, 2}) << QString();
    QTest::newRow("largest") << "2" << "4294967295 0" << Values({4294967295u, 0}) << QString();
    // A value that is no number is no reading (read as 0 it would be a dead
    // LED): the frame is not stored, the first such value noted.
    QTest::newRow("not numbers") << "2" << "x -1 3" << Values() << "frame 2, position 0: \"x\"";
    QTest::newRow("beyond 32 bits") << "2" << "4294967295 4294967296" << Values() << "frame 2, position 1: \"4294967296\"";
    QTest::newRow("negative") << "2" << "200 -5" << Values() << "frame 2, position 1: \"-5\"";
    QTest::newRow("signed") << "2" << "+5" << Values() << "frame 2, position 0: \"+5\"";
    QTest::newRow("line break") << "2" << "5\n6" << Values() << "frame 2, position 0: \"5\n6\"";
    // A frame number that is no number files the frame under no number.
    QTest::newRow("frame number a text") << "abc" << "12 0" << Values() << "frame number: \"abc\"";
    QTest::newRow("frame number empty") << "" << "12 0" << Values() << "frame number: \"\"";
    QTest::newRow("frame number negative") << "-2" << "12 0" << Values() << "frame number: \"-2\"";
}

void TestRecordsSignal::dataText()
{
    QFETCH(QString, id);
    QFETCH(QString, text);
    QFETCH(Values, values);
    QFETCH(QString, unreadable);
    CSignalTypeInfo type;
    QXmlStreamReader reader(
        QStringLiteral("<type><test_data><data ID=\"%1\">%2</data></test_data></type>").arg(id, text));
    reader.readNextStartElement();
    QVERIFY(!type.ReadXml(reader));
    Values lstOut;
    type.GetTestData(lstOut, 2);
    QCOMPARE(lstOut, values);
    QCOMPARE(type.GetUnreadableNumber(), unreadable);
    // Nothing filed under any number in its place (frame 0 in particular).
    if (!unreadable.isEmpty())
        QVERIFY(type.GetTestDataMap().isEmpty());
}

void TestRecordsSignal::roundTrip()
{
    CAxisSignalInfo axis;
    for (const QString &strDir : {QStringLiteral("T0"), QStringLiteral("T1"), QStringLiteral("T2")}) {
        for (const QString &strKind : {QStringLiteral("ADC"), QStringLiteral("AGC"), QStringLiteral("REVERSE"), QStringLiteral("UNT")}) {
            axis.AddTestStandard(strDir, strKind, 50, 200);
            axis.AddTestStandard(strDir, strKind, 40, 4294967295u);
            axis.AddProblemStandard(strDir, strKind, 0, 20);
            axis.SetStandardType(strDir, strKind, QStringLiteral("Percent"));
            axis.SetBaseShow(strDir, strKind, QStringLiteral("ADC"), strKind);
            axis.AddTestData(strDir, strKind, {1, 2, 3}, 0);
            axis.AddTestData(strDir, strKind, {4, 5, 6}, 11);
        }
        axis.SetMaxTolerantSignalCount(strDir, 2);
        axis.AddSignalRelation(strDir, QStringLiteral("Bottom:0-Top:0"));
        axis.AddSignalLabel(strDir, QStringLiteral("T0:0-R0:0 & <x>"));
    }
    const QString strXml = WriteAxis(axis);
    CAxisSignalInfo back;
    QVERIFY(!ReadAxis(back, strXml));
    QCOMPARE(MaskTimes(WriteAxis(back)), MaskTimes(strXml));
    QCOMPARE(back.GetRecordCount(), 11u);
    QCOMPARE(back.GetSignalLabels(QStringLiteral("T1")), QList<QString>{QStringLiteral("T0:0-R0:0 & <x>")});
}

void TestRecordsSignal::brokenAxisReportsError()
{
    CAxisSignalInfo axis;
    QVERIFY(ReadAxis(axis, QStringLiteral("<axis><dir name=\"T0\"><type name=\"ADC\"><test_data><data ID=\"0\">1 2")));
    // What was read up to the error stays.
    QVERIFY(axis.FindDir(QStringLiteral("T0")));
    QVERIFY(ReadAxis(axis, QStringLiteral("<axis><dir name=\"T0\"></type></dir></axis>")));
}

STATION_TEST_MAIN_CORE(TestRecordsSignal)
#include "tst_records_signal.moc"
