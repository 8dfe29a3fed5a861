// Device information queries: the texts made from each reply, the order of
// the device-information list, re-identification of a frame, and the decoding
// of the product model.

#include "hwcommandrig.h"
#include "testenvironment.h"

#include "deviceerror.h"

#include <QtTest>

Q_DECLARE_METATYPE(CEmulatedFrame::FirmwareSet)

namespace {
using Pairs = QList<CPropertyItem>;

// A second port whose frame sits at device index 1 (the index the MCU-id
// comparison reads from).
class CIndexOnePort : public CEmulatedComPort
{
public:
    using CEmulatedComPort::CEmulatedComPort;
    QList<int> devIndexes;
    int32_t SendData(const uint8_t *buf, int len, int timeout, int devIndex) override
    {
        devIndexes << devIndex;
        return devIndex == 1 ? CEmulatedComPort::SendData(buf, len, timeout, 0) : ERROR_CODE_LOST_DEVICE;
    }
    int32_t RecvData(uint8_t *buf, int len, int timeout, int devIndex) override
    {
        devIndexes << devIndex;
        return devIndex == 1 ? CEmulatedComPort::RecvData(buf, len, timeout, 0) : ERROR_CODE_LOST_DEVICE;
    }
};

QByteArray Reply(const char *hex)
{
    return CCommandRig::Report(hex);
}
} // namespace

class TestDeviceInfo : public QObject
{
    Q_OBJECT

private slots:
    void firmwareInfoTexts_data();
    void firmwareInfoTexts();
    void appInfoTexts();
    void versionQueryByVersionWord_data();
    void versionQueryByVersionWord();
    void statusAnswerAppendsNothing();
    void mcuIdText_data();
    void mcuIdText();
    void productText_data();
    void productText();
    void batchInfo_data();
    void batchInfo();
    void batchInfoRoundTrip();
    void batchInfoReadBack_data();
    void batchInfoReadBack();
    void heldBatchCharacters_data();
    void heldBatchCharacters();
    void maxPoint();
    void initDeviceInfoOrder();
    void initDeviceInfoStopsAtFirstFailure();
    void reInitDeviceInfo();
    void parseProductModel_data();
    void parseProductModel();
    void decodeModelLetter_data();
    void decodeModelLetter();
    void compareMcuId();
};

void TestDeviceInfo::firmwareInfoTexts_data()
{
    QTest::addColumn<CEmulatedFrame::FirmwareSet>("first");
    QTest::addColumn<CEmulatedFrame::FirmwareSet>("second");
    QTest::addColumn<Pairs>("expected");
    const CEmulatedFrame::FirmwareSet a{0x1A2B, 0x0102, 0x0201, 0x05, 0x11223344};
    QTest::newRow("both sets differ")
        << a << CEmulatedFrame::FirmwareSet{0x3C4D, 0x0103, 0x0202, 0x07, 0x55667788}
        << Pairs{{"Vid", "0x2FE9"}, {"Pid", "0x0013"}, {"Version", "0x0102-0x0103"}, {"CheckSum", "0x1A2B-0x3C4D"},
                 {"BootVersion", "0x020105-0x020207"}, {"BootCheckSum", "0x11223344-0x55667788"}};
    QTest::newRow("equal boot version, other suffix")
        << a << CEmulatedFrame::FirmwareSet{0x1A2B, 0x0102, 0x0201, 0x09, 0x11223344}
        << Pairs{{"Vid", "0x2FE9"}, {"Pid", "0x0013"}, {"Version", "0x0102-0x0102"}, {"CheckSum", "0x1A2B-0x1A2B"},
                 {"BootVersion", "0x020105"}, {"BootCheckSum", "0x11223344"}};
    QTest::newRow("upper-case digits")
        << CEmulatedFrame::FirmwareSet{0xabcd, 0x00ef, 0x0a0b, 0xcc, 0xdeadbeef}
        << CEmulatedFrame::FirmwareSet{0xabcd, 0x00ef, 0x0a0b, 0xcc, 0xdeadbeef}
        << Pairs{{"Vid", "0x2FE9"}, {"Pid", "0x0013"}, {"Version", "0x00EF-0x00EF"}, {"CheckSum", "0xABCD-0xABCD"},
                 {"BootVersion", "0x0A0BCC"}, {"BootCheckSum", "0xDEADBEEF"}};
}

void TestDeviceInfo::firmwareInfoTexts()
{
    QFETCH(CEmulatedFrame::FirmwareSet, first);
    QFETCH(CEmulatedFrame::FirmwareSet, second);
    QFETCH(Pairs, expected);
    CCommandRig rig;
    rig.frame.Edit([&](CEmulatedFrame::State &s) {
        s.info.first = first;
        s.info.second = second;
    });
    Pairs list{{"Keep", "me"}};
    QCOMPARE(rig.hw.GetFirmwareInfo(list), 0);
    QCOMPARE(list, (Pairs{{"Keep", "me"}} + expected));
}

void TestDeviceInfo::appInfoTexts()
{
    CCommandRig rig;
    rig.frame.Edit([](CEmulatedFrame::State &s) {
        s.info.nShortChecksum = 0xBEEF;
        s.info.nShortVersion = 0x0007;
    });
    Pairs list;
    QCOMPARE(rig.hw.GetAppInfo(list), 0);
    QCOMPARE(list, (Pairs{{"Vid", "0x2FE9"}, {"Pid", "0x0013"}, {"Version", "0x0007"}, {"CheckSum", "0xBEEF"}}));
}

void TestDeviceInfo::versionQueryByVersionWord_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("sub");
    QTest::newRow("4400 short") << 0x4400 << 0x00;
    QTest::newRow("45A0 short") << 0x45A0 << 0x00;
    QTest::newRow("46FF short") << 0x46FF << 0x00;
    QTest::newRow("4500 full") << 0x4500 << 0x05;
    QTest::newRow("7200 full") << 0x7200 << 0x05;
}

void TestDeviceInfo::versionQueryByVersionWord()
{
    QFETCH(int, version);
    QFETCH(int, sub);
    CCommandRig rig;
    rig.frame.Edit([&](CEmulatedFrame::State &s) { s.id.nVersion = quint16(version); });
    Pairs list;
    QCOMPARE(rig.hw.GetVersionInfo(list), 0);
    QCOMPARE(rig.RequestHex(3), QStringList{QStringLiteral("fc a3 %1").arg(sub, 2, 16, QLatin1Char('0'))});
    QCOMPARE(list.size(), sub == 0 ? 4 : 6);
}

void TestDeviceInfo::statusAnswerAppendsNothing()
{
    CCommandRig rig;
    rig.frame.SetFault(0xA3, 0x05, CEmulatedFrame::StatusReply(0x82));
    rig.frame.SetFault(0xA3, 0x00, CEmulatedFrame::StatusReply(0x81));
    Pairs list;
    QCOMPARE(rig.hw.GetFirmwareInfo(list), 0x1002);
    QCOMPARE(rig.hw.GetAppInfo(list), 0);
    QVERIFY(list.isEmpty());
}

void TestDeviceInfo::mcuIdText_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("text");
    QTest::newRow("8 bytes") << Reply("fca9800800 01abcdef00102030") << QStringLiteral("01ABCDEF00102030");
    QTest::newRow("none") << Reply("fca9800000") << QString();
    QByteArray longReply = Reply("fca980ff00");
    for (int i = 5; i < 64; ++i)
        longReply[i] = char(i);
    QString all;
    for (int i = 5; i < 64; ++i)
        all += QStringLiteral("%1").arg(i, 2, 16, QLatin1Char('0')).toUpper();
    QTest::newRow("count past the report: 59 bytes") << longReply << all;
}

void TestDeviceInfo::mcuIdText()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, text);
    CCommandRig rig;
    rig.frame.SetFault(0xA9, 0x00, CEmulatedFrame::CustomReplies({reply}));
    QCOMPARE(rig.hw.GetMcuID(), 0);
    QCOMPARE(rig.hw.GetPropertyList(), (Pairs{{"McuID", text}}));
}

void TestDeviceInfo::productText_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("text");
    QTest::newRow("length 5") << Reply("fca3810500 4142434445") << QStringLiteral("ABCDE");
    QTest::newRow("length shorter than the bytes") << Reply("fca3810300 4142434445") << QStringLiteral("ABC");
    QTest::newRow("ends at a 0 byte") << Reply("fca3810800 41420043") << QStringLiteral("AB");
    QByteArray full = Reply("fca381c800");
    for (int i = 5; i < 64; ++i)
        full[i] = 'Z';
    QTest::newRow("length past the report") << full << QString(59, QLatin1Char('Z'));
    QTest::newRow("8-bit characters") << Reply("fca3810200 e9ff") << QString::fromLatin1("\xe9\xff");
}

void TestDeviceInfo::productText()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, text);
    CCommandRig rig;
    rig.frame.SetFault(0xA3, 0x01, CEmulatedFrame::CustomReplies({reply}));
    QCOMPARE(rig.hw.GetProduct(), 0);
    QCOMPARE(rig.hw.GetPropertyList(), (Pairs{{"Product", text}}));
}

void TestDeviceInfo::batchInfo_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<Pairs>("expected");
    const Pairs before{{"BatchInfo", "OLD"}, {"McuID", "01"}};
    QTest::newRow("erased field") << Reply("fca9850400 ffffffff") << before;
    QTest::newRow("length 0") << Reply("fca9850000 41424344") << before;
    QTest::newRow("replaces an older text")
        << Reply("fca9850400 42323031") << Pairs{{"McuID", "01"}, {"BatchInfo", "B201"}};
    QTest::newRow("partly erased is a text")
        << Reply("fca9850300 41ffff") << Pairs{{"McuID", "01"}, {"BatchInfo", QString::fromLatin1("A\xff\xff")}};
    QByteArray longest = Reply("fca9853b00");
    for (int i = 5; i < 64; ++i)
        longest[i] = 'x';
    QTest::newRow("59 characters keep 58") << longest
                                           << Pairs{{"McuID", "01"}, {"BatchInfo", QString(58, QLatin1Char('x'))}};
}

void TestDeviceInfo::batchInfo()
{
    QFETCH(QByteArray, reply);
    QFETCH(Pairs, expected);
    CCommandRig rig;
    rig.hw.GetPropertyList() = Pairs{{"BatchInfo", "OLD"}, {"McuID", "01"}};
    rig.frame.SetFault(0xA9, 0x05, CEmulatedFrame::CustomReplies({reply}));
    QCOMPARE(rig.hw.GetBatchInfo(), 0);
    QCOMPARE(rig.hw.GetPropertyList(), expected);
}

void TestDeviceInfo::batchInfoRoundTrip()
{
    CCommandRig rig;
    const QString text = QString(60, QLatin1Char('b'));
    rig.hw.SetProperty(QStringLiteral("BatchInfo"), text);
    QCOMPARE(rig.hw.SaveBatchInfo(), 0);
    QCOMPARE(rig.frame.Snapshot().info.batch, QByteArray(56, 'b'));  // 56 characters go to the frame
    QCOMPARE(rig.hw.GetBatchInfo(), 0);
    QCOMPARE(rig.hw.GetProperty(QStringLiteral("BatchInfo")), QString(56, QLatin1Char('b')));
    QVERIFY(rig.frame.Violations().isEmpty());
}

void TestDeviceInfo::batchInfoReadBack_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("status");  // a status reply instead, when not 0
    QTest::addColumn<QString>("result");  // hex
    QTest::addColumn<QString>("text");
    QTest::newRow("a text") << Reply("fca9850400 42323031") << 0 << "0" << "B201";
    QTest::newRow("erased field") << Reply("fca9850400 ffffffff") << 0 << "0" << "";
    QTest::newRow("length 0") << Reply("fca9850000 41424344") << 0 << "0" << "";
    QTest::newRow("ends at its 0 byte") << Reply("fca9850300 530031") << 0 << "0" << "S";
    QTest::newRow("codes above 127") << Reply("fca9850200 e9ff") << 0 << "0" << QString::fromLatin1("\xe9\xff");
    // A status says nothing of the field, "done" neither.
    QTest::newRow("status done") << QByteArray() << 0x81 << "1003" << "";
    QTest::newRow("status busy") << QByteArray() << 0x82 << "1002" << "";
}

// The frame's own answer, whatever the property holds; the property list is
// left as it is (the number typed stays there for the caller to compare).
void TestDeviceInfo::batchInfoReadBack()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, status);
    QFETCH(QString, result);
    QFETCH(QString, text);
    CCommandRig rig;
    const Pairs before{{"BatchInfo", "TYPED"}, {"McuID", "01"}};
    rig.hw.GetPropertyList() = before;
    rig.frame.SetFault(0xA9, 0x05,
                       status ? CEmulatedFrame::StatusReply(quint8(status)) : CEmulatedFrame::CustomReplies({reply}));
    QString held = QStringLiteral("stale");
    QCOMPARE(QString::number(uint32_t(rig.hw.ReadBackBatchInfo(&held)), 16), result);
    QCOMPARE(held, text);
    QCOMPARE(rig.hw.GetPropertyList(), before);
}

void TestDeviceInfo::heldBatchCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("first");  // the first character the frame does not hold as given, -1 for none
    QTest::newRow("plain") << "SN-0042" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("codes up to 255") << QString::fromLatin1("\x80\xe9\xff") << -1;
    QTest::newRow("56 characters") << QString(56, QLatin1Char('5')) << -1;
    QTest::newRow("57 characters") << QString(57, QLatin1Char('5')) << 56;
    QTest::newRow("code 256") << QStringLiteral("AB\u0100") << 2;
    QTest::newRow("a Chinese character") << QStringLiteral("SN-\u6587-7") << 3;
    QTest::newRow("code 0") << QString::fromLatin1("A\0B", 3) << 1;
}

void TestDeviceInfo::heldBatchCharacters()
{
    QFETCH(QString, text);
    QFETCH(int, first);
    QCOMPARE(HardwareInterface::FirstUnheldBatchChar(text), first);
    // What the frame then holds: all of it exactly when nothing is refused.
    CCommandRig rig;
    rig.hw.SetProperty(QStringLiteral("BatchInfo"), text);
    QCOMPARE(rig.hw.SaveBatchInfo(), 0);
    QString held;
    QCOMPARE(rig.hw.ReadBackBatchInfo(&held), 0);
    QCOMPARE(held == text, first < 0);
}

void TestDeviceInfo::maxPoint()
{
    CCommandRig rig;
    rig.frame.Edit([](CEmulatedFrame::State &s) { s.info.nMaxPoint = 20; });
    QCOMPARE(rig.hw.GetMaxPoint(), 0);
    QCOMPARE(rig.hw.GetProperty(QStringLiteral("MaxPoint")), QStringLiteral("20"));
    // A reply whose length byte is not 1 is not the answer.
    rig.frame.SetFault(0x08, 0x00, CEmulatedFrame::CustomReplies({Reply("fc08020200 0a")}));
    QCOMPARE(CodeHex(rig.hw.GetMaxPoint()), CodeHex(int32_t(0x800A0001u)));
}

void TestDeviceInfo::initDeviceInfoOrder()
{
    CCommandRig rig;
    rig.hw.GetPropertyList() = Pairs{{"Old", "1"}};
    rig.frame.Edit([](CEmulatedFrame::State &s) {
        s.info.mcuId = QByteArray::fromHex("0102");
        s.info.batch = "LOT7";
        s.info.product = "KT-T65WHSUR";
        s.settings.usb[0] = 1;
        s.settings.usb[1] = 2;
    });
    QCOMPARE(rig.hw.InitDeviceInfo(), 0);
    QCOMPARE(rig.RequestHex(3), (QStringList{"fc a9 05", "fc a9 00", "fc a3 01", "fc a3 05", "fc 08 00", "fc 30 04"}));
    QStringList keys;
    for (const CPropertyItem &item : rig.hw.GetPropertyList())
        keys << item.first;
    QCOMPARE(keys, (QStringList{"BatchInfo", "McuID", "Product", "Vid", "Pid", "Version", "CheckSum", "BootVersion",
                                "BootCheckSum", "MaxPoint"}));
    QCOMPARE(rig.hw.GetProperty(QStringLiteral("McuID")), QStringLiteral("0102"));
    QCOMPARE(rig.hw.GetUsb1TouchFormat(), 1u);
    QCOMPARE(rig.hw.GetUsb2TouchFormat(), 2u);

    // Known versions read the short application information instead.
    CCommandRig rig46;
    rig46.frame.Edit([](CEmulatedFrame::State &s) { s.id.nVersion = 0x4610; });
    QCOMPARE(rig46.hw.InitDeviceInfo(), 0);
    QCOMPARE(rig46.RequestHex(3).at(3), QStringLiteral("fc a3 00"));
}

void TestDeviceInfo::initDeviceInfoStopsAtFirstFailure()
{
    CCommandRig rig;
    rig.hw.GetPropertyList() = Pairs{{"Old", "1"}};
    rig.frame.SetFault(0xA3, 0x01, CEmulatedFrame::Silent());
    QCOMPARE(CodeHex(rig.hw.InitDeviceInfo()), CodeHex(int32_t(0x800B0001u)));
    QCOMPARE(rig.CountRequests(0xA3, 0x05), 0);
    QCOMPARE(rig.CountRequests(0x30, 0x04), 0);
    // The list read before is kept as the previous one.
    QCOMPARE(rig.hw.GetPropertyList().size(), 2);  // BatchInfo and McuID were read
}

void TestDeviceInfo::reInitDeviceInfo()
{
    CCommandRig rig;
    QCOMPARE(rig.hw.ReInitDeviceInfo(), false);  // nothing read yet: nothing sent
    QCOMPARE(rig.frame.RequestCount(), 0);

    QCOMPARE(rig.hw.InitDeviceInfo(), 0);
    QCOMPARE(rig.hw.ReInitDeviceInfo(), true);  // same checksum: the same frame

    rig.frame.Edit([](CEmulatedFrame::State &s) { s.info.second.nAppChecksum = 0x0BAD; });
    QCOMPARE(rig.hw.ReInitDeviceInfo(), false);  // another firmware

    rig.frame.SetFault(0x08, 0x00, CEmulatedFrame::Silent());
    QCOMPARE(rig.hw.ReInitDeviceInfo(), false);
}

void TestDeviceInfo::parseProductModel_data()
{
    QTest::addColumn<QString>("product");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("dir");
    // Interface type starts at 1 and direction at 0.
    QTest::newRow("UR") << "ZZ-T65WHSUR-10P" << 1 << 1 << 1;
    QTest::newRow("UA letter") << "ZZ-T65WHSUA" << 5 << 5 << 1;
    QTest::newRow("RL") << "K-T86WHSRL" << 4 << 4 << 0;
    QTest::newRow("DR") << "K-T86WHSDR" << 5 << 5 << 1;
    QTest::newRow("UF letter") << "K-T86WHSUF" << 3 << 3 << 0;
    QTest::newRow("lower-case code is upper-cased") << "K-T86WHSug" << 7 << 7 << 0;
    QTest::newRow("single letter code") << "K-T86WHSU" << 1 << 1 << 0;
    QTest::newRow("other first letter") << "X-Q55HVLRL" << 1 << 1 << 0;
    QTest::newRow("no model part") << "k-t86whsur" << 1 << 1 << 0;
    QTest::newRow("empty") << "" << 1 << 1 << 0;
    QTest::newRow("nothing after the size") << "T86WHS" << 1 << 1 << 0;
    QTest::newRow("second part") << "AB-C-T65WHSRD" << 5 << 5 << 0;
}

void TestDeviceInfo::parseProductModel()
{
    QFETCH(QString, product);
    QFETCH(int, result);
    QFETCH(int, type);
    QFETCH(int, dir);
    CCommandRig rig;
    QCOMPARE(rig.hw.ParseProductModel(product), result);
    QCOMPARE(rig.hw.GetHardwareInfo().GetInterfaceType(), type);
    QCOMPARE(rig.hw.GetHardwareInfo().GetInterfaceDir(), dir);
    CCommandRig rig2;
    QCOMPARE(rig2.hw.ParseProductModel2(product), 0);
    QCOMPARE(rig2.hw.GetHardwareInfo().GetInterfaceType(), type);
    QCOMPARE(rig2.hw.GetHardwareInfo().GetInterfaceDir(), dir);
}

void TestDeviceInfo::decodeModelLetter_data()
{
    QTest::addColumn<char>("letter");
    QTest::addColumn<int>("dir");
    QTest::addColumn<int>("type");
    QTest::newRow("A") << 'A' << 1 << 5;
    QTest::newRow("B") << 'B' << 1 << 1;
    QTest::newRow("C") << 'C' << 1 << 3;
    QTest::newRow("D") << 'D' << 0 << 5;
    QTest::newRow("E") << 'E' << 0 << 1;
    QTest::newRow("F") << 'F' << 0 << 3;
    QTest::newRow("G") << 'G' << 0 << 7;
    QTest::newRow("H") << 'H' << 1 << 7;
    QTest::newRow("other") << 'Z' << -1 << 1;
    QTest::newRow("lower case") << 'a' << -1 << 1;
}

void TestDeviceInfo::decodeModelLetter()
{
    QFETCH(char, letter);
    QFETCH(int, dir);
    QFETCH(int, type);
    CCommandRig rig;
    rig.hw.GetHardwareInfo().SetInterfaceDir(-1);
    rig.hw.GetHardwareInfo().SetInterfaceType(-1);
    QCOMPARE(rig.hw.DecodeModelLetter(letter), type);
    QCOMPARE(rig.hw.GetHardwareInfo().GetInterfaceDir(), dir);
    QCOMPARE(rig.hw.GetHardwareInfo().GetInterfaceType(), dir < 0 ? -1 : type);
}

void TestDeviceInfo::compareMcuId()
{
    CCommandRig rig;
    QCOMPARE(CodeHex(rig.hw.CompareMcuID(nullptr)), CodeHex(ERROR_CODE_NULL_DEVICE));
    QCOMPARE(CodeHex(rig.hw.CompareMcuIDUpgrade(nullptr)), CodeHex(ERROR_CODE_NULL_DEVICE));

    CEmulatedFrame other;
    other.Edit([](CEmulatedFrame::State &s) { s.info.mcuId = QByteArray::fromHex("0a0b"); });
    CIndexOnePort port(&other);
    rig.hw.SetProperty(QStringLiteral("McuID"), QStringLiteral("0A0B"));
    QCOMPARE(rig.hw.CompareMcuID(&port), 0);
    rig.hw.SetProperty(QStringLiteral("McuID"), QStringLiteral("0A0C"));
    QCOMPARE(rig.hw.CompareMcuID(&port), 1);
    QCOMPARE(port.devIndexes, (QList<int>{1, 1, 1, 1}));  // send and read, twice
    // The station's own port has no frame at index 1.
    QCOMPARE(CodeHex(rig.hw.CompareMcuID(&rig.port)), CodeHex(ERROR_CODE_LOST_DEVICE));
    // The framed read exists only on the serial port.
    QCOMPARE(CodeHex(rig.hw.CompareMcuIDUpgrade(&rig.port)), CodeHex(ERROR_CODE_NULL_DEVICE));

    // The id of the device's own frame, the information list as it was.
    const int nProperties = rig.hw.GetPropertyList().size();
    QString id = QStringLiteral("stale");
    QCOMPARE(rig.hw.QueryMcuID(&id), 0);
    QCOMPARE(id, QStringLiteral("0123456789ABCDEF00112233"));
    QCOMPARE(rig.hw.GetPropertyList().size(), nProperties);
    QCOMPARE(rig.hw.GetProperty(QStringLiteral("McuID")), QStringLiteral("0A0C"));
    // A frame that does not answer: the retries, then the failure.
    rig.frame.SetFault(0xA9, 0x00, CEmulatedFrame::Silent());
    QVERIFY(rig.hw.QueryMcuID(&id) < 0);
}

STATION_TEST_MAIN_CORE(TestDeviceInfo)
#include "tst_deviceinfo.moc"
