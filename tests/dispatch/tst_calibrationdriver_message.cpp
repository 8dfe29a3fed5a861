// The three forms of the calibration message, compared as exact JSON text.

#include "calibratemessage.h"
#include "testenvironment.h"

#include <QJsonDocument>
#include <QtTest>

namespace {
using InfoList = QList<QPair<QString, QString>>;

QString Text(const QJsonObject& obj)
{
    return QString::fromUtf8(QJsonDocument(obj).toJson(QJsonDocument::Compact));
}
} // namespace

Q_DECLARE_METATYPE(InfoList)

class TestCalibrateMessage : public QObject
{
    Q_OBJECT

private slots:
    void deviceForm_data();
    void deviceForm();
    void stepForm();
    void resultForm_data();
    void resultForm();
};

void TestCalibrateMessage::deviceForm_data()
{
    QTest::addColumn<InfoList>("props");
    QTest::addColumn<QList<int>>("values");
    QTest::addColumn<QString>("json");

    const InfoList full{{"Vid", "0x2fe9"}, {"Product", "KT-T65WHSUR-10P"}, {"Product", "second"}, {"Pid", "0x13"}};
    QTest::newRow("first Product")
        << full << QList<int>{0x100, 0x200, 0x7E00, 0x7D00}
        << R"({"device":{"Product":"KT-T65WHSUR-10P","calData":{"LX":"100","LY":"200","RX":"7e00","RY":"7d00"}},"usb":true})";
    QTest::newRow("no Product")
        << InfoList{{"Vid", "0x2fe9"}, {"product", "lower case is another key"}} << QList<int>{255, 0, 1, 0xFFFF}
        << R"({"device":{"calData":{"LX":"ff","LY":"0","RX":"1","RY":"ffff"}},"usb":true})";
    QTest::newRow("empty list, empty Product")
        << InfoList{{"Product", ""}} << QList<int>{0, 0, 0, 0}
        << R"({"device":{"Product":"","calData":{"LX":"0","LY":"0","RX":"0","RY":"0"}},"usb":true})";
    QTest::newRow("no list at all") << InfoList{} << QList<int>{0xABC, 0x10, 0x9, 0x1000}
                                    << R"({"device":{"calData":{"LX":"abc","LY":"10","RX":"9","RY":"1000"}},"usb":true})";
}

void TestCalibrateMessage::deviceForm()
{
    QFETCH(InfoList, props);
    QFETCH(QList<int>, values);
    QFETCH(QString, json);
    const QJsonObject msg = CCalibrateMessage::DeviceForm(props, values[0], values[1], values[2], values[3]);
    QCOMPARE(Text(msg), json);
    // The view finds the form by its "usb" key and never sees "Complete".
    QVERIFY(msg.value("usb").toBool());
    QVERIFY(!msg.contains("Complete"));
}

void TestCalibrateMessage::stepForm()
{
    for (int n = 1; n <= 7; ++n)
        QCOMPARE(Text(CCalibrateMessage::StepForm(n)), QStringLiteral("{\"step\":%1}").arg(n));
    QVERIFY(CCalibrateMessage::StepForm(3).value("step").isDouble());
}

void TestCalibrateMessage::resultForm_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("json");
    QTest::newRow("success") << 0 << R"({"funcResult":"0"})";
    QTest::newRow("edge move") << int(0x80250000u) << R"({"funcResult":"80250000"})";
    QTest::newRow("step time-out") << int(0x802A0001u) << R"({"funcResult":"802a0001"})";
    QTest::newRow("fine-tuning end") << int(0x802C0005u) << R"({"funcResult":"802c0005"})";
    QTest::newRow("status 0x1003") << 0x1003 << R"({"funcResult":"1003"})";
    QTest::newRow("all bits") << -1 << R"({"funcResult":"ffffffff"})";
}

void TestCalibrateMessage::resultForm()
{
    QFETCH(int, result);
    QFETCH(QString, json);
    QCOMPARE(Text(CCalibrateMessage::ResultForm(result)), json);
}

STATION_TEST_MAIN_CORE(TestCalibrateMessage)
#include "tst_calibrationdriver_message.moc"
