// Hardware-description records: relations, counts and the hardware_info XML.

#include "hardwareinfo.h"
#include "testenvironment.h"

#include <QLocale>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtTest>
#include <functional>

namespace {

QString Write(const std::function<void(QXmlStreamWriter &)> &fn)
{
    QString strOut;
    QXmlStreamWriter writer(&strOut);
    fn(writer);
    return strOut;
}

QList<CPcbInfo> Boards(const QList<int> &lstCounts)
{
    QList<CPcbInfo> lstBoards;
    for (int n : lstCounts) {
        CPcbInfo pcb;
        QList<CSensorInfo> lstLeds;
        for (int k = 0; k < n; ++k)
            lstLeds.append(CSensorInfo());
        pcb.SetLeds(lstLeds);
        lstBoards.append(pcb);
    }
    return lstBoards;
}

// A small root with one board per side, a relation and a connector.
CHardwareInfo SampleRoot()
{
    CHardwareInfo hw;
    hw.SetInterfaceType(5);
    hw.SetInterfaceDir(1);
    hw.SetOpenArea(60, 40, 2, 5);

    CSensorInfo led;
    led.SetAngle(90);
    led.SetType(6);
    led.SetPos(QPointF(1.25, 0));
    CPcbInfo bottom;
    bottom.SetSize(120, 8, 1.6);
    bottom.SetPlacement(1);
    bottom.SetPos(QPointF(12.5, 3));
    bottom.SetLeds({led});
    hw.SetAxis(0, QStringLiteral("Bottom"), {bottom});

    CSensorInfo ledTop;
    ledTop.SetType(1);
    ledTop.SetAngle(270);
    CPcbInfo top;
    top.SetLeds({ledTop});
    hw.SetAxis(1, QStringLiteral("Top"), {top});

    hw.ParseRelation(QStringLiteral("Bottom:0-Top:0"));
    CConnectorInfo connector;
    connector.SetSize(3, 7.28, 1);
    connector.SetAngle(45);
    connector.SetDipLength(1.5, 2, 0, 0.25);
    hw.AddConnector(QStringLiteral("Bottom:0-Left:0"), connector);
    return hw;
}

const char *const kSampleXml =
    "<hardware_info interfaceType=\"5\" interfaceDir=\"1\" openArea=\"40:60:5:2\">"
    "<axis ID=\"0\" name=\"Bottom\">"
    "<pcb ID=\"0\" width=\"120\" height=\"1.6\" length=\"8\" angle=\"0\" type=\"Lying\" pos=\"(12.500000, 3.000000)\">"
    "<led ID=\"0\" width=\"5.2\" height=\"4.16\" length=\"7.28\" vCenter=\"2.6\" angle=\"90\" type=\"SMT_T_S\" "
    "pos=\"(1.250000, 0.000000)\"/>"
    "</pcb></axis>"
    "<axis ID=\"1\" name=\"Top\">"
    "<pcb ID=\"0\" width=\"0\" height=\"0\" length=\"0\" angle=\"0\" type=\"Standing\" pos=\"(0.000000, 0.000000)\">"
    "<led ID=\"0\" width=\"5.2\" height=\"4.16\" length=\"7.28\" vCenter=\"2.6\" angle=\"270\" type=\"DIP_R_L\" "
    "pos=\"(0.000000, 0.000000)\"/>"
    "</pcb></axis>"
    "<logic_info>"
    "<sensor_relation><relation ID=\"0\">Bottom:0-Top:0</relation></sensor_relation>"
    "<pcb_relation><connector ID=\"0\" width=\"3\" height=\"1\" length=\"7.28\" angle=\"45\" dipLength=\"1.5-2-0-0.25\" "
    "pos=\"(0.000000, 0.000000)\">Bottom:0-Left:0</connector></pcb_relation>"
    "</logic_info>"
    "</hardware_info>";

// Reads the first element of strXml with fn; returns the name of the next
// start element after it (to show the reader stopped at its own end).
QString Read(const QString &strXml, const std::function<bool(QXmlStreamReader &)> &fn, bool *pError = nullptr)
{
    QXmlStreamReader reader(strXml);
    if (!reader.readNextStartElement())
        return QStringLiteral("<none>");
    const bool bError = fn(reader);
    if (pError)
        *pError = bError;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement())
            return reader.name().toString();
    }
    return QString();
}

} // namespace

class TestRecordsHardware : public QObject
{
    Q_OBJECT

private slots:
    void sensorTexts();
    void sensorTypeNames_data();
    void sensorTypeNames();
    void placementNames();
    void numberFormat_data();
    void numberFormat();
    void numberFormatIgnoresLocale();
    void relations_data();
    void relations();
    void counts();
    void emptyRootWritesNothing();
    void writeExact();
    void roundTrip();
    void openArea_data();
    void openArea();
    void ledAttributes_data();
    void ledAttributes();
    void pcbAttributes();
    void connectorDipLength_data();
    void connectorDipLength();
    void unknownChildrenSkipped();
    void axisWithoutIdOrName_data();
    void axisWithoutIdOrName();
    void brokenDocumentReportsError();
};

void TestRecordsHardware::sensorTexts()
{
    CSensorInfo led;
    QCOMPARE(led.GetWidth(), 5.2);
    QCOMPARE(led.GetHeight(), 4.16);
    QCOMPARE(led.GetLength(), 7.28);
    QCOMPARE(led.GetVCenter(), 2.6);
    QCOMPARE(led.SetPos(QPointF(12.5, 3)), 1);
    QCOMPARE(led.GetPosText(), QStringLiteral("(12.500000, 3.000000)"));
    QCOMPARE(led.SetSize(1, 2, 3), 1);
    QCOMPARE(led.GetWidth(), 1.0);
    QCOMPARE(led.GetLength(), 2.0);
    QCOMPARE(led.GetHeight(), 3.0);
    QCOMPARE(led.AddRelation(QStringLiteral("Bottom:1-Top:1")), 1);
    QCOMPARE(led.GetRelations(), QList<QString>{QStringLiteral("Bottom:1-Top:1")});
}

void TestRecordsHardware::sensorTypeNames_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("expectedName");
    const char *names[] = {"DIP_T_L", "DIP_R_L", "SMT_T_L", "SMT_R_L", "DIP_T_S", "DIP_R_S", "SMT_T_S", "SMT_R_S"};
    for (int n = 0; n < 8; ++n)
        QTest::addRow("%s", names[n]) << 7 - n << QString::fromLatin1(names[n]) << n << QString::fromLatin1(names[n]);
    QTest::newRow("unknown text keeps kind") << 5 << "SMT_X_L" << 5 << "DIP_R_S";
    QTest::newRow("case matters") << 2 << "dip_t_l" << 2 << "SMT_T_L";
    QTest::newRow("kind outside table has no name") << 9 << "" << 9 << "";
    QTest::newRow("negative kind has no name") << -1 << "" << -1 << "";
}

void TestRecordsHardware::sensorTypeNames()
{
    QFETCH(int, start);
    QFETCH(QString, name);
    QFETCH(int, expected);
    QFETCH(QString, expectedName);
    CSensorInfo led;
    led.SetType(start);
    QCOMPARE(led.SetTypeByName(name), 1);
    QCOMPARE(led.GetType(), expected);
    QCOMPARE(led.GetTypeName(), expectedName);
}

void TestRecordsHardware::placementNames()
{
    CPcbInfo pcb;
    pcb.SetPlacementByName(QStringLiteral("Lying"));
    QCOMPARE(pcb.GetPlacement(), 1);
    QCOMPARE(pcb.GetPlacementName(), QStringLiteral("Lying"));
    pcb.SetPlacementByName(QStringLiteral("Sideways"));
    QCOMPARE(pcb.GetPlacement(), 1);
    pcb.SetPlacementByName(QStringLiteral("Standing"));
    QCOMPARE(pcb.GetPlacementName(), QStringLiteral("Standing"));
    pcb.SetPlacement(4);
    QCOMPARE(pcb.GetPlacementName(), QString());
}

void TestRecordsHardware::numberFormat_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("5.2") << 5.2 << "5.2";
    QTest::newRow("7.28") << 7.28 << "7.28";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("six digits fixed") << 123456.0 << "123456";
    QTest::newRow("seven digits exponent") << 1234567.0 << "1.23457e+06";
    QTest::newRow("small fixed") << 0.0001 << "0.0001";
    QTest::newRow("small exponent") << 0.00001 << "1e-05";
    QTest::newRow("negative") << -2.5 << "-2.5";
    QTest::newRow("third") << 1.0 / 3.0 << "0.333333";
}

// Doubles go out with six significant digits in the shorter notation.
void TestRecordsHardware::numberFormat()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    CSensorInfo led;
    led.SetAngle(value);
    const QString strXml = Write([&](QXmlStreamWriter &w) { led.WriteXml(w, 0); });
    QVERIFY2(strXml.contains(QStringLiteral(" angle=\"%1\"").arg(text)), qPrintable(strXml));
}

void TestRecordsHardware::numberFormatIgnoresLocale()
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    CSensorInfo led;
    led.SetAngle(2.5);
    led.SetPos(QPointF(1.5, -0.25));
    const QString strXml = Write([&](QXmlStreamWriter &w) { led.WriteXml(w, 0); });
    CSensorInfo back;
    Read(strXml, [&](QXmlStreamReader &r) { return back.ReadXml(r); });
    QLocale::setDefault(previous);

    QVERIFY2(strXml.contains(QStringLiteral("angle=\"2.5\"")), qPrintable(strXml));
    QVERIFY2(strXml.contains(QStringLiteral("pos=\"(1.500000, -0.250000)\"")), qPrintable(strXml));
    QCOMPARE(back.GetAngle(), 2.5);
    QCOMPARE(back.GetPos(), QPointF(1.5, -0.25));
}

void TestRecordsHardware::relations_data()
{
    QTest::addColumn<QString>("relation");
    QTest::addColumn<int>("bottomBoard"); // -1: no Bottom sensor takes it
    QTest::addColumn<int>("bottomLed");
    QTest::addColumn<int>("leftLed"); // -1: no Left sensor takes it
    QTest::addColumn<QString>("unreadable"); // empty: every number read
    QTest::newRow("second board") << "Bottom:15-Left:0" << 1 << 3 << 0 << QString();
    QTest::newRow("first board last led") << "Bottom:11-Left:4" << 0 << 11 << 4 << QString();
    QTest::newRow("second board first led") << "Bottom:12-Left:2" << 1 << 0 << 2 << QString();
    QTest::newRow("last sensor of side") << "Bottom:21-Left:0" << 1 << 9 << 0 << QString();
    QTest::newRow("past the side") << "Bottom:22-Left:0" << -1 << 0 << 0 << QString();
    QTest::newRow("far past the side") << "Bottom:25-Left:0" << -1 << 0 << 0 << QString();
    QTest::newRow("left side past") << "Bottom:1-Left:5" << 0 << 1 << -1 << QString();
    QTest::newRow("one-sided text") << "Bottom-3" << -1 << 0 << -1 << QString();
    QTest::newRow("three parts") << "Bottom:1-Left:1-Top:2" << -1 << 0 << -1 << QString();
    QTest::newRow("negative number splits in three") << "Bottom:-1-Left:0" << -1 << 0 << -1 << QString();
    // A number that is no unsigned decimal number is no sensor: noted, the
    // relation kept in the list and given to no sensor (read as 0, it would
    // make sensor 0 see a light path it does not).
    QTest::newRow("number not decimal") << "Bottom:x-Left:0" << -1 << 0 << -1 << "relation 0: \"Bottom:x\"";
    QTest::newRow("number beyond 32 bits") << "Bottom:1-Left:4294967296" << -1 << 0 << -1
                                           << "relation 0: \"Left:4294967296\"";
    QTest::newRow("number signed") << "Bottom:+1-Left:0" << -1 << 0 << -1 << "relation 0: \"Bottom:+1\"";
    QTest::newRow("number empty") << "Bottom:-Left:0" << -1 << 0 << -1 << "relation 0: \"Bottom:\"";
    // Beyond the sensors of the side but within 32 bits: no sensor, nothing noted.
    QTest::newRow("largest number") << "Bottom:4294967295-Left:0" << -1 << 0 << 0 << QString();
    QTest::newRow("absent side") << "Top:0-Left:3" << -1 << 0 << 3 << QString();
    QTest::newRow("extra colon") << "Bottom:1:2-Left:0" << -1 << 0 << -1 << QString();
}

void TestRecordsHardware::relations()
{
    QFETCH(QString, relation);
    QFETCH(int, bottomBoard);
    QFETCH(int, bottomLed);
    QFETCH(int, leftLed);
    QFETCH(QString, unreadable);

    CHardwareInfo hw;
    hw.SetAxis(0, QStringLiteral("Bottom"), Boards({12, 10}));
    hw.SetAxis(2, QStringLiteral("Left"), Boards({5}));
    QCOMPARE(hw.ParseRelation(relation), 1);
    QCOMPARE(hw.GetSensorRelations(), QList<QString>{relation});
    QCOMPARE(hw.GetUnreadableNumber(), unreadable);

    const QList<QString> lstOne{relation};
    int nTaken = 0;
    for (int b = 0; b < 2; ++b) {
        const CPcbInfo &pcb = hw.GetAxisMap()[QStringLiteral("Bottom")][b];
        for (int k = 0; k < pcb.GetLedCount(); ++k) {
            const bool bExpected = (b == bottomBoard && k == bottomLed);
            QCOMPARE(pcb.GetLeds()[k].GetRelations(), bExpected ? lstOne : QList<QString>());
            nTaken += bExpected ? 1 : 0;
        }
    }
    QCOMPARE(nTaken, bottomBoard >= 0 ? 1 : 0);
    const CPcbInfo &left = hw.GetAxisMap()[QStringLiteral("Left")][0];
    for (int k = 0; k < left.GetLedCount(); ++k)
        QCOMPARE(left.GetLeds()[k].GetRelations(), k == leftLed ? lstOne : QList<QString>());
}

void TestRecordsHardware::counts()
{
    CHardwareInfo hw;
    hw.SetAxis(0, QStringLiteral("Bottom"), Boards({12, 10}));
    hw.SetAxis(2, QStringLiteral("Left"), Boards({5, 0, 3}));
    QCOMPARE(hw.GetSensorCount(QStringLiteral("Bottom")), 22u);
    QCOMPARE(hw.GetSensorCount(QStringLiteral("Left")), 8u);
    QCOMPARE(hw.GetSensorCount(QStringLiteral("Top")), 0u);
    QCOMPARE(hw.GetPcbSensorCount(QStringLiteral("Bottom"), 1), 10u);
    QCOMPARE(hw.GetPcbSensorCount(QStringLiteral("Bottom"), 2), 0u);
    QCOMPARE(hw.GetPcbSensorCount(QStringLiteral("Bottom"), -1), 0u);
    QCOMPARE(hw.GetPcbSensorCount(QStringLiteral("Top"), 0), 0u);
    QCOMPARE(hw.GetTotalSensorCount(), 30u);
    QVERIFY(!hw.GetAxisMap().contains(QStringLiteral("Top")));

    // SetAxis replaces the list of a side and the name of an ID.
    hw.SetAxis(0, QStringLiteral("Right"), Boards({4}));
    QCOMPARE(hw.GetAxisIdMap().value(0), QStringLiteral("Right"));
    QCOMPARE(hw.GetAxisMap().size(), 3);
    hw.SetAxis(5, QStringLiteral("Left"), Boards({1}));
    QCOMPARE(hw.GetSensorCount(QStringLiteral("Left")), 1u);
}

void TestRecordsHardware::emptyRootWritesNothing()
{
    CHardwareInfo hw;
    hw.SetOpenArea(1, 2, 3, 4);
    hw.GetAxisIdMap().insert(0, QStringLiteral("Bottom")); // an ID alone is no content
    bool bError = true;
    const QString strXml = Write([&](QXmlStreamWriter &w) { bError = hw.WriteXml(w); });
    QCOMPARE(strXml, QString());
    QVERIFY(!bError);
}

void TestRecordsHardware::writeExact()
{
    const CHardwareInfo hw = SampleRoot();
    bool bError = true;
    const QString strXml = Write([&](QXmlStreamWriter &w) { bError = hw.WriteXml(w); });
    QVERIFY(!bError);
    QCOMPARE(strXml, QString::fromLatin1(kSampleXml));
}

void TestRecordsHardware::roundTrip()
{
    CHardwareInfo back;
    bool bError = true;
    const QString strNext = Read(QString::fromLatin1(kSampleXml) .prepend(QStringLiteral("<doc>")).append(QStringLiteral("<after/></doc>")),
                                 [&](QXmlStreamReader &r) {
                                     r.readNextStartElement();
                                     return back.ReadXml(r);
                                 },
                                 &bError);
    QVERIFY(!bError);
    QCOMPARE(strNext, QStringLiteral("after"));

    QCOMPARE(back.GetInterfaceType(), 5);
    QCOMPARE(back.GetInterfaceDir(), 1);
    QCOMPARE(back.GetOpenArea(), QRectF(2, 5, 60, 40));
    QCOMPARE(back.GetAxisIdMap().value(0), QStringLiteral("Bottom"));
    const CPcbInfo &pcb = back.GetAxisMap()[QStringLiteral("Bottom")].at(0);
    QCOMPARE(pcb.GetWidth(), 120.0);
    QCOMPARE(pcb.GetLength(), 8.0);
    QCOMPARE(pcb.GetHeight(), 1.6);
    QCOMPARE(pcb.GetPlacement(), 1);
    QCOMPARE(pcb.GetPos(), QPointF(12.5, 3));
    QCOMPARE(pcb.GetID(), QString()); // the board's ID attribute is not read
    const CSensorInfo &led = pcb.GetLeds().at(0);
    QCOMPARE(led.GetID(), QStringLiteral(" 1"));
    QCOMPARE(led.GetType(), 6);
    QCOMPARE(led.GetAngle(), 90.0);
    QCOMPARE(led.GetPos(), QPointF(1.25, 0));
    // Relation lists are rebuilt from the relation section.
    QCOMPARE(led.GetRelations(), QList<QString>{QStringLiteral("Bottom:0-Top:0")});
    QCOMPARE(back.GetAxisMap()[QStringLiteral("Top")].at(0).GetLeds().at(0).GetRelations(),
             QList<QString>{QStringLiteral("Bottom:0-Top:0")});
    QCOMPARE(back.GetSensorRelations(), QList<QString>{QStringLiteral("Bottom:0-Top:0")});
    const CConnectorInfo connector = back.GetConnectorMap().value(QStringLiteral("Bottom:0-Left:0"));
    QCOMPARE(connector.GetAngle(), 45.0);
    QCOMPARE(connector.GetDipLengthText(), QStringLiteral("1.5-2-0-0.25"));
    QCOMPARE(connector.GetType(), 3);

    const QString strAgain = Write([&](QXmlStreamWriter &w) { back.WriteXml(w); });
    QCOMPARE(strAgain, QString::fromLatin1(kSampleXml));
}

void TestRecordsHardware::openArea_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRectF>("expected");
    const QRectF before(7, 8, 9, 10);
    QTest::newRow("four parts") << "40:60:5:2" << QRectF(2, 5, 60, 40);
    QTest::newRow("five parts") << "40:60:5:2:99" << QRectF(2, 5, 60, 40);
    QTest::newRow("three parts leave it") << "1:2:3" << before;
    QTest::newRow("empty leaves it") << "" << before;
    QTest::newRow("bad numbers read 0") << "a::1.5:b" << QRectF(0, 1.5, 0, 0);
    QTest::newRow("exponent") << "1e+06:2.5:0:0" << QRectF(0, 0, 2.5, 1e6);
}

void TestRecordsHardware::openArea()
{
    QFETCH(QString, text);
    QFETCH(QRectF, expected);
    CHardwareInfo hw;
    hw.SetOpenArea(9, 10, 7, 8);
    Read(QStringLiteral("<hardware_info openArea=\"%1\"/>").arg(text), [&](QXmlStreamReader &r) { return hw.ReadXml(r); });
    QCOMPARE(hw.GetOpenArea(), expected);
}

void TestRecordsHardware::ledAttributes_data()
{
    QTest::addColumn<QString>("attributes");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QList<double>>("sizes"); // width, height, length, vCenter, angle
    QTest::addColumn<int>("type");
    QTest::addColumn<QPointF>("pos");
    // The sensor read into starts as: ID "s", sizes 1 2 3, vCenter 4, angle 30, kind 5, pos (7, 8).
    const QList<double> kept{1, 2, 3, 4, 30};
    QTest::newRow("nothing") << "" << "s" << kept << 5 << QPointF(7, 8);
    QTest::newRow("ID 4 reads as blank 5") << "ID=\"4\"" << " 5" << kept << 5 << QPointF(7, 8);
    QTest::newRow("ID 0") << "ID=\"0\"" << " 1" << kept << 5 << QPointF(7, 8);
    QTest::newRow("ID not a number") << "ID=\"x\"" << " 1" << kept << 5 << QPointF(7, 8);
    QTest::newRow("two sizes leave all") << "width=\"9\" height=\"9\"" << "s" << kept << 5 << QPointF(7, 8);
    QTest::newRow("three sizes") << "width=\"9\" height=\"8\" length=\"7\"" << "s" << QList<double>{9, 8, 7, 4, 30} << 5
                                 << QPointF(7, 8);
    QTest::newRow("bad size reads 0") << "width=\"w\" height=\"8\" length=\"7\"" << "s" << QList<double>{0, 8, 7, 4, 30}
                                      << 5 << QPointF(7, 8);
    QTest::newRow("vCenter and angle") << "vCenter=\"1.5\" angle=\"-90\"" << "s" << QList<double>{1, 2, 3, 1.5, -90} << 5
                                       << QPointF(7, 8);
    QTest::newRow("known type") << "type=\"SMT_R_L\"" << "s" << kept << 3 << QPointF(7, 8);
    QTest::newRow("unknown type keeps kind") << "type=\"LED\"" << "s" << kept << 5 << QPointF(7, 8);
    QTest::newRow("pos") << "pos=\"(1.500000, -2.000000)\"" << "s" << kept << 5 << QPointF(1.5, -2);
    QTest::newRow("pos without brackets") << "pos=\"3,4\"" << "s" << kept << 5 << QPointF(3, 4);
    QTest::newRow("pos of one part") << "pos=\"(6)\"" << "s" << kept << 5 << QPointF(6, 6);
    QTest::newRow("pos of three parts") << "pos=\"(1, 2, 3)\"" << "s" << kept << 5 << QPointF(1, 3);
    QTest::newRow("empty pos") << "pos=\"\"" << "s" << kept << 5 << QPointF(0, 0);
}

// An absent attribute leaves its field; a number that does not parse reads 0.
void TestRecordsHardware::ledAttributes()
{
    QFETCH(QString, attributes);
    QFETCH(QString, id);
    QFETCH(QList<double>, sizes);
    QFETCH(int, type);
    QFETCH(QPointF, pos);
    CSensorInfo led;
    led.SetID(QStringLiteral("s"));
    led.SetSize(1, 3, 2);
    led.SetVCenter(4);
    led.SetAngle(30);
    led.SetType(5);
    led.SetPos(QPointF(7, 8));
    bool bError = true;
    Read(QStringLiteral("<led %1/>").arg(attributes), [&](QXmlStreamReader &r) { return led.ReadXml(r); }, &bError);
    QVERIFY(!bError);
    QCOMPARE(led.GetID(), id);
    QCOMPARE(led.GetWidth(), sizes[0]);
    QCOMPARE(led.GetHeight(), sizes[1]);
    QCOMPARE(led.GetLength(), sizes[2]);
    QCOMPARE(led.GetVCenter(), sizes[3]);
    QCOMPARE(led.GetAngle(), sizes[4]);
    QCOMPARE(led.GetType(), type);
    QCOMPARE(led.GetPos(), pos);
}

void TestRecordsHardware::pcbAttributes()
{
    CPcbInfo pcb;
    pcb.SetSize(1, 3, 2);
    pcb.SetAngle(10);
    pcb.SetPlacement(1);
    pcb.SetPos(QPointF(5, 6));
    pcb.SetID(QStringLiteral("keep"));
    Read(QStringLiteral("<pcb ID=\"7\" width=\"9\" length=\"9\" type=\"Upright\"><led/><led ID=\"1\"/></pcb>"),
         [&](QXmlStreamReader &r) { return pcb.ReadXml(r); });
    QCOMPARE(pcb.GetWidth(), 1.0);
    QCOMPARE(pcb.GetLength(), 3.0);
    QCOMPARE(pcb.GetHeight(), 2.0);
    QCOMPARE(pcb.GetAngle(), 10.0);
    QCOMPARE(pcb.GetPlacement(), 1);
    QCOMPARE(pcb.GetPos(), QPointF(5, 6));
    QCOMPARE(pcb.GetID(), QStringLiteral("keep"));
    QCOMPARE(pcb.GetLedCount(), 2);
    QCOMPARE(pcb.GetLeds().at(0).GetID(), QString());
    QCOMPARE(pcb.GetLeds().at(1).GetID(), QStringLiteral(" 2"));
    QCOMPARE(pcb.GetLeds().at(0).GetWidth(), 5.2);
}

void TestRecordsHardware::connectorDipLength_data()
{
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QString>("expected");
    QTest::newRow("two parts") << "1.5-2" << "1.5-2-0-0";
    QTest::newRow("four parts") << "1-2-3-4" << "1-2-3-4";
    QTest::newRow("five parts") << "1-2-3-4-5" << "1-2-3-4";
    QTest::newRow("empty parts") << "1--3" << "1-0-3-0";
    QTest::newRow("empty text") << "" << "0-0-0-0";
    QTest::newRow("not numbers") << "a-b" << "0-0-0-0";
}

void TestRecordsHardware::connectorDipLength()
{
    QFETCH(QString, attribute);
    QFETCH(QString, expected);
    CConnectorInfo connector;
    connector.SetDipLength(9, 9, 9, 9);
    connector.SetSize(1, 3, 2);
    QString strKey;
    Read(QStringLiteral("<connector dipLength=\"%1\" type=\"Lying\" width=\"5\">Bottom:0-Top:0</connector>").arg(attribute),
         [&](QXmlStreamReader &r) {
             const bool bError = connector.ReadXml(r);
             strKey = r.readElementText();
             return bError;
         });
    QCOMPARE(connector.GetDipLengthText(), expected);
    QCOMPARE(connector.GetType(), 3);
    QCOMPARE(connector.GetWidth(), 1.0); // width alone changes no size
    QCOMPARE(strKey, QStringLiteral("Bottom:0-Top:0"));
}

void TestRecordsHardware::unknownChildrenSkipped()
{
    const QString strXml = QStringLiteral(
        "<doc><hardware_info interfaceType=\"3\">"
        "<foo><axis ID=\"9\" name=\"Z\"><pcb/></axis></foo>"
        "<axis ID=\"0\" name=\"Bottom\"><bar><pcb/></bar>"
        "<pcb width=\"1\" height=\"2\" length=\"3\"><baz><led ID=\"8\"/></baz><led ID=\"4\"><qux><led/></qux></led></pcb>"
        "</axis>"
        "<logic_info><zzz><sensor_relation><relation>Z:0-Z:0</relation></sensor_relation></zzz>"
        "<sensor_relation><other>x</other><relation ID=\"0\">Bottom:0-<i>Bottom</i>:0</relation></sensor_relation>"
        "<pcb_relation><wire/><connector width=\"1\" height=\"2\" length=\"3\">A<b>:</b>B</connector>"
        "<connector angle=\"5\">A:B</connector></pcb_relation>"
        "</logic_info>"
        "</hardware_info><after/></doc>");
    CHardwareInfo hw;
    bool bError = true;
    const QString strNext = Read(strXml,
                                 [&](QXmlStreamReader &r) {
                                     r.readNextStartElement();
                                     return hw.ReadXml(r);
                                 },
                                 &bError);
    QVERIFY(!bError);
    QCOMPARE(strNext, QStringLiteral("after"));
    QCOMPARE(hw.GetInterfaceType(), 3);
    QCOMPARE(hw.GetInterfaceDir(), 0);
    QCOMPARE(hw.GetAxisIdMap().keys(), QList<uint32_t>{0});
    QCOMPARE(hw.GetAxisMap().keys(), QStringList{QStringLiteral("Bottom")});
    const QList<CPcbInfo> &lstBoards = hw.GetAxisMap()[QStringLiteral("Bottom")];
    QCOMPARE(lstBoards.size(), 1);
    QCOMPARE(lstBoards[0].GetLedCount(), 1);
    QCOMPARE(lstBoards[0].GetLeds()[0].GetID(), QStringLiteral(" 5"));
    // Nested text counts; the sensor appears on both ends of its own relation.
    QCOMPARE(hw.GetSensorRelations(), QList<QString>{QStringLiteral("Bottom:0-Bottom:0")});
    QCOMPARE(lstBoards[0].GetLeds()[0].GetRelations().size(), 2);
    // The second connector of the same key replaces the first.
    QCOMPARE(hw.GetConnectorMap().size(), 1);
    QCOMPARE(hw.GetConnectorMap().value(QStringLiteral("A:B")).GetAngle(), 5.0);
    QCOMPARE(hw.GetConnectorMap().value(QStringLiteral("A:B")).GetWidth(), 0.0);
}

void TestRecordsHardware::axisWithoutIdOrName_data()
{
    QTest::addColumn<QString>("axis");
    QTest::addColumn<QString>("unreadable"); // empty: nothing noted
    QTest::newRow("no ID") << "<axis name=\"Bottom\"><pcb><led/></pcb></axis>" << QString();
    QTest::newRow("no name") << "<axis ID=\"0\"><pcb><led/></pcb></axis>" << QString();
    // An ID that is no unsigned decimal number is no ID (read as 0, the side
    // would take the place of side 0): noted, and the side adds nothing.
    QTest::newRow("ID a word") << "<axis ID=\"zero\" name=\"Bottom\"><pcb><led/></pcb></axis>"
                               << "axis \"Bottom\" ID: \"zero\"";
    QTest::newRow("ID negative") << "<axis ID=\"-1\" name=\"Bottom\"><pcb><led/></pcb></axis>"
                                 << "axis \"Bottom\" ID: \"-1\"";
    QTest::newRow("ID empty") << "<axis ID=\"\" name=\"Bottom\"><pcb><led/></pcb></axis>" << "axis \"Bottom\" ID: \"\"";
    QTest::newRow("ID beyond 32 bits") << "<axis ID=\"4294967296\" name=\"Bottom\"><pcb><led/></pcb></axis>"
                                       << "axis \"Bottom\" ID: \"4294967296\"";
}

void TestRecordsHardware::axisWithoutIdOrName()
{
    QFETCH(QString, axis);
    QFETCH(QString, unreadable);
    CHardwareInfo hw;
    const QString strNext = Read(QStringLiteral("<hardware_info>%1<axis ID=\"3\" name=\"Right\"/></hardware_info><after/>")
                                     .arg(axis)
                                     .prepend(QStringLiteral("<doc>"))
                                     .append(QStringLiteral("</doc>")),
                                 [&](QXmlStreamReader &r) {
                                     r.readNextStartElement();
                                     return hw.ReadXml(r);
                                 });
    QCOMPARE(strNext, QStringLiteral("after"));
    QCOMPARE(hw.GetAxisIdMap().keys(), QList<uint32_t>{3});
    QCOMPARE(hw.GetAxisMap().keys(), QStringList{QStringLiteral("Right")});
    QCOMPARE(hw.GetTotalSensorCount(), 0u);
    QCOMPARE(hw.GetUnreadableNumber(), unreadable);
}

void TestRecordsHardware::brokenDocumentReportsError()
{
    CHardwareInfo hw;
    bool bError = false;
    Read(QStringLiteral("<hardware_info><axis ID=\"0\" name=\"Bottom\"><pcb><led ID=\"1\"></pcb>"),
         [&](QXmlStreamReader &r) { return hw.ReadXml(r); }, &bError);
    QVERIFY(bError);
    // What was read before the error stays.
    QCOMPARE(hw.GetAxisIdMap().value(0), QStringLiteral("Bottom"));

    CHardwareInfo cut;
    Read(QStringLiteral("<hardware_info><axis ID=\"0\" name=\"Bottom\">"),
         [&](QXmlStreamReader &r) { return cut.ReadXml(r); }, &bError);
    QVERIFY(bError);
}

STATION_TEST_MAIN_CORE(TestRecordsHardware)
#include "tst_records_hardware.moc"
