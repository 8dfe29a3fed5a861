// Device settings commands: touch, pen and split screen with their read-once
// rule, AGC values and their fall-backs, AGC ranges, the LED-error check, the
// idle wait, AGC initialisation and the touch formats.

#include "hwcommandrig.h"
#include "testenvironment.h"

#include <QtTest>

namespace {
using SetFn = int32_t (HardwareInterface::*)(bool);
}
Q_DECLARE_METATYPE(SetFn)

class TestSettingsCommands : public QObject
{
    Q_OBJECT

private slots:
    void readOnce_data();
    void readOnce();
    void enablingAfterTheFrameWasOff_data();
    void enablingAfterTheFrameWasOff();
    void failedReadSendsNothing_data();
    void failedReadSendsNothing();
    void statusAnswerToTheReadKeepsDefaults();
    void reverseModeFlagOnlyAfterConfirmation();
    void agcFallbacks_data();
    void agcFallbacks();
    void agcRangeTexts_data();
    void agcRangeTexts();
    void agcRangeReadOnce();
    void checkLedError();
    void waitDeviceIdle();
    void waitDeviceIdleGivesUp_data();
    void waitDeviceIdleGivesUp();
    void initAgcSequence_data();
    void initAgcSequence();
    void touchFormats();
};

void TestSettingsCommands::readOnce_data()
{
    QTest::addColumn<SetFn>("set");
    QTest::addColumn<QString>("read");
    QTest::addColumn<QString>("sendOn");
    QTest::addColumn<QString>("sendOff");
    QTest::newRow("touch") << SetFn(&HardwareInterface::SetTouchEnable) << "fc 30 07 02 00 00 00"
                           << "fc 30 08 02 00 05 06" << "fc 30 08 02 00 00 00";
    QTest::newRow("pen") << SetFn(&HardwareInterface::SetPenEnable) << "fc 30 0e 02 00 00 00"
                         << "fc 30 1d 02 00 03 04" << "fc 30 1d 02 00 00 00";
    QTest::newRow("split") << SetFn(&HardwareInterface::SetSplitScreen) << "fc 30 23 00 00 00 00"
                           << "fc 30 22 01 00 02 00" << "fc 30 22 01 00 00 00";
}

void TestSettingsCommands::readOnce()
{
    QFETCH(SetFn, set);
    QFETCH(QString, read);
    QFETCH(QString, sendOn);
    QFETCH(QString, sendOff);
    CCommandRig rig;
    rig.frame.Edit([](CEmulatedFrame::State &s) {
        s.settings.touch[0] = 5;
        s.settings.touch[1] = 6;
        s.settings.pen[0] = 3;
        s.settings.pen[1] = 4;
        s.settings.split = 2;
    });
    QCOMPARE((rig.hw.*set)(false), 0);
    QCOMPARE((rig.hw.*set)(true), 0);
    QCOMPARE((rig.hw.*set)(true), 0);
    // Read once, then only the sends: off sends zeros, on restores what was read.
    QCOMPARE(rig.RequestHex(7), (QStringList{read, sendOff, sendOn, sendOn}));
}

void TestSettingsCommands::enablingAfterTheFrameWasOff_data()
{
    QTest::addColumn<SetFn>("set");
    QTest::addColumn<QString>("sendOn");
    QTest::newRow("touch") << SetFn(&HardwareInterface::SetTouchEnable) << "fc 30 08 02 00 01 02";
    QTest::newRow("pen") << SetFn(&HardwareInterface::SetPenEnable) << "fc 30 1d 02 00 01 01";
    QTest::newRow("split") << SetFn(&HardwareInterface::SetSplitScreen) << "fc 30 22 01 00 01 00";
}

void TestSettingsCommands::enablingAfterTheFrameWasOff()
{
    QFETCH(SetFn, set);
    QFETCH(QString, sendOn);
    CCommandRig rig;
    // The frame was switched off before this object first read it (for
    // example "DisableTouch", then a re-plug).
    rig.frame.Edit([](CEmulatedFrame::State &s) {
        s.settings.touch[0] = s.settings.touch[1] = 0;
        s.settings.pen[0] = s.settings.pen[1] = 0;
        s.settings.split = 0;
    });
    QCOMPARE((rig.hw.*set)(true), 0);
    QCOMPARE(rig.RequestHex(7).last(), sendOn);
}

void TestSettingsCommands::failedReadSendsNothing_data()
{
    QTest::addColumn<SetFn>("set");
    QTest::addColumn<quint8>("readSub");
    QTest::addColumn<quint8>("sendSub");
    QTest::addColumn<int32_t>("code");
    QTest::newRow("touch") << SetFn(&HardwareInterface::SetTouchEnable) << quint8(0x07) << quint8(0x08)
                           << int32_t(0x80150001u);
    QTest::newRow("pen") << SetFn(&HardwareInterface::SetPenEnable) << quint8(0x0E) << quint8(0x1D)
                         << int32_t(0x801A0001u);
    QTest::newRow("split") << SetFn(&HardwareInterface::SetSplitScreen) << quint8(0x23) << quint8(0x22)
                           << int32_t(0x80210001u);
}

void TestSettingsCommands::failedReadSendsNothing()
{
    QFETCH(SetFn, set);
    QFETCH(quint8, readSub);
    QFETCH(quint8, sendSub);
    QFETCH(int32_t, code);
    CCommandRig rig;
    rig.frame.SetFault(0x30, readSub, CEmulatedFrame::Silent());
    QCOMPARE(CodeHex((rig.hw.*set)(true)), CodeHex(code));
    QCOMPARE(rig.CountRequests(0x30, sendSub), 0);
}

void TestSettingsCommands::statusAnswerToTheReadKeepsDefaults()
{
    CCommandRig rig;
    rig.frame.SetFault(0x30, 0x07, CEmulatedFrame::StatusReply(0x82, 1));
    QCOMPARE(rig.hw.SetTouchEnable(true), 0);
    QCOMPARE(rig.RequestHex(7).last(), QStringLiteral("fc 30 08 02 00 01 02"));
    // Nothing was read: the next switch asks the frame again.
    QCOMPARE(rig.hw.SetTouchEnable(true), 0);
    QCOMPARE(rig.CountRequests(0x30, 0x07), 2);
}

void TestSettingsCommands::reverseModeFlagOnlyAfterConfirmation()
{
    CCommandRig rig;
    rig.frame.Edit([](CEmulatedFrame::State &s) { s.id.nVersion = 0x4401; });
    rig.frame.SetFault(0xA8, 0x08, CEmulatedFrame::StatusReply(0x82));
    QCOMPARE(CodeHex(rig.hw.SetReverseMode(true)), CodeHex(int32_t(0x80030001u)));
    QCOMPARE(rig.hw.IsReverseMode(), false);
    QVERIFY(rig.sleeps.isEmpty());
}

void TestSettingsCommands::agcFallbacks_data()
{
    QTest::addColumn<HwOp>("op");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("version");
    QTest::addColumn<int32_t>("result");
    QTest::addColumn<QStringList>("after");  // requests after the A8 13
    const HwOp rt = [](HardwareInterface &h) { return h.SetRTAgc(0x0203, 9); };
    const HwOp t = [](HardwareInterface &h) { return h.SetTAgc(0x0203); };
    const HwOp r = [](HardwareInterface &h) { return h.SetRAgc(9); };
    const HwOp reset = [](HardwareInterface &h) { return h.ResetAgc(); };
    const QString a804 = QStringLiteral("fc a8 04 03 00 01 00 00 00 00 03 02");
    QTest::newRow("RT 83 -> A8 04") << rt << 0x83 << 0x7201 << int32_t(0) << QStringList{a804};
    QTest::newRow("T 83 -> A8 04") << t << 0x83 << 0x7201 << int32_t(0) << QStringList{a804};
    QTest::newRow("RT 82 passes") << rt << 0x82 << 0x7201 << int32_t(0x1002) << QStringList{};
    QTest::newRow("R 83 no fallback") << r << 0x83 << 0x7201 << int32_t(0x1003) << QStringList{};
    QTest::newRow("reset 83 -> InitAgc")
        << reset << 0x83 << 0x7201 << int32_t(0)
        << QStringList{"fc a2 09 00 00 00 00 00 00 00 00 00", "fc a2 20 02 00 00 01 00 00 00 00 00"};
    QTest::newRow("reset 83 -> InitAgc (46xx)")
        << reset << 0x83 << 0x4610 << int32_t(0)
        << QStringList{"fc a2 09 00 00 00 00 00 00 00 00 00", "fc a2 20 02 00 00 01 00 00 00 00 00",
                       "fc a8 11 00 00 01 ff ff 00 00 00 00", "fc a5 01 02 00 ff 00 00 00 00 00 00"};
    QTest::newRow("reset 81") << reset << 0x81 << 0x7201 << int32_t(0) << QStringList{};
}

void TestSettingsCommands::agcFallbacks()
{
    QFETCH(HwOp, op);
    QFETCH(int, status);
    QFETCH(int, version);
    QFETCH(int32_t, result);
    QFETCH(QStringList, after);
    CCommandRig rig;
    rig.frame.Edit([&](CEmulatedFrame::State &s) { s.id.nVersion = quint16(version); });
    rig.frame.SetFault(0xA8, 0x13, CEmulatedFrame::StatusReply(quint8(status)));
    QCOMPARE(CodeHex(op(rig.hw)), CodeHex(result));
    QStringList requests = rig.RequestHex(12);
    QVERIFY(requests.takeFirst().startsWith(QStringLiteral("fc a8 13 05 00")));
    QCOMPARE(requests, after);
}

void TestSettingsCommands::agcRangeTexts_data()
{
    QTest::addColumn<QVector<int>>("t");  // X min, X max, Y min, Y max
    QTest::addColumn<QVector<int>>("r");  // min, max
    QTest::addColumn<QString>("tText");
    QTest::addColumn<QString>("rText");
    QTest::addColumn<uint>("tValue");
    QTest::newRow("equal axes") << QVector<int>{10, 200, 10, 200} << QVector<int>{5, 250} << "TAgc(10-200)"
                                << "RAgc(5-250)" << uint(10 | (200 << 16));
    QTest::newRow("different axes") << QVector<int>{10, 200, 12, 200} << QVector<int>{0, 255}
                                    << "TAgc(X:10-200_Y:12-200)" << "RAgc(0-255)" << uint(10 | (200 << 16));
    QTest::newRow("wide values") << QVector<int>{0, 1023, 3, 4000} << QVector<int>{1, 2}
                                 << "TAgc(X:0-1023_Y:3-4000)" << "RAgc(1-2)" << uint(0 | (4000 << 16));
}

void TestSettingsCommands::agcRangeTexts()
{
    QFETCH(QVector<int>, t);
    QFETCH(QVector<int>, r);
    QFETCH(QString, tText);
    QFETCH(QString, rText);
    QFETCH(uint, tValue);
    CCommandRig rig;
    QString text;
    // Before any read: the initial ranges of the device class.
    rig.hw.GetTAgcRangeText(text);
    QCOMPARE(text, QStringLiteral("TAgc(0-255)"));
    rig.hw.GetRAgcRangeText(text);
    QCOMPARE(text, QStringLiteral("RAgc(0-0)"));

    rig.frame.Edit([&](CEmulatedFrame::State &s) {
        for (int i = 0; i < 4; ++i)
            s.settings.tAgc[i] = quint16(t[i]);
        s.settings.rAgc[0] = quint8(r[0]);
        s.settings.rAgc[1] = quint8(r[1]);
    });
    QCOMPARE(rig.hw.InitAgcRange(), 0);
    QCOMPARE(rig.hw.GetTAgcRangeText(text), tValue);
    QCOMPARE(text, tText);
    rig.hw.GetRAgcRangeText(text);
    QCOMPARE(text, rText);
}

void TestSettingsCommands::agcRangeReadOnce()
{
    CCommandRig rig;
    QCOMPARE(rig.hw.InitAgcRange(), 0);
    QCOMPARE(rig.hw.InitAgcRange(), 0);
    QCOMPARE(rig.CountRequests(0xA8, 0x15), 1);

    // A status answer counts as a read too, and fills nothing.
    CCommandRig rig2;
    rig2.frame.SetFault(0xA8, 0x15, CEmulatedFrame::StatusReply(0x81));
    QCOMPARE(rig2.hw.InitAgcRange(), 0);
    QCOMPARE(rig2.hw.InitAgcRange(), 0);
    QCOMPARE(rig2.CountRequests(0xA8, 0x15), 1);
    QString text;
    rig2.hw.GetTAgcRangeText(text);
    QCOMPARE(text, QStringLiteral("TAgc(0-255)"));

    // A failed read is tried again next time.
    CCommandRig rig3;
    rig3.frame.SetFault(0xA8, 0x15, CEmulatedFrame::Silent(10));
    QCOMPARE(CodeHex(rig3.hw.InitAgcRange()), CodeHex(int32_t(0x801C0001u)));
    QCOMPARE(rig3.hw.InitAgcRange(), 0);
    QCOMPARE(rig3.CountRequests(0xA8, 0x15), 11);
}

void TestSettingsCommands::checkLedError()
{
    CCommandRig rig;
    QCOMPARE(rig.hw.CheckLedError(true), 0);  // the product does not use the check
    QCOMPARE(rig.frame.RequestCount(), 0);

    rig.hw.SetCheckLedError(true);
    QCOMPARE(rig.hw.CheckLedError(true), 0);
    QCOMPARE(rig.hw.CheckLedError(false), 0);
    QCOMPARE(rig.RequestHex(6), (QStringList{"fc a8 17 01 00 01", "fc a8 17 01 00 00"}));
    QVERIFY(rig.frame.Snapshot().settings.bLedCheck == false);

    // While the driver program runs the frame is first waited for.
    rig.frame.ClearRequests();
    rig.hw.SetDriverRunningFlag(true);
    QCOMPARE(rig.hw.CheckLedError(true), 0);
    QCOMPARE(rig.RequestHex(3), (QStringList{"fc b2 08", "fc b2 08", "fc a8 17"}));
}

void TestSettingsCommands::waitDeviceIdle()
{
    CCommandRig rig;
    QCOMPARE(rig.hw.WaitDeviceIdle(30000), 0);  // driver program not running: no traffic
    QCOMPARE(rig.frame.RequestCount(), 0);

    rig.hw.SetDriverRunningFlag(true);
    rig.frame.Edit([](CEmulatedFrame::State &s) {
        s.settings.busyStates = {{1, 2, 0x10}, {1, 3, 0x10}};
        s.settings.state[0] = 7;
        s.settings.state[1] = 8;
        s.settings.state[2] = 0;
    });
    QCOMPARE(rig.hw.WaitDeviceIdle(30000), 0);
    // Each request carries the state of the previous answer; the idle answer is confirmed once more.
    QCOMPARE(rig.RequestHex(8), (QStringList{"fc b2 08 03 00 00 04 01", "fc b2 08 03 00 01 02 10",
                                             "fc b2 08 03 00 01 03 10", "fc b2 08 03 00 07 08 00"}));

    // A refusal is a positive result: the wait ends there.
    CCommandRig rig2;
    rig2.hw.SetDriverRunningFlag(true);
    rig2.frame.SetFault(0xB2, 0x08, CEmulatedFrame::Refusal());
    QCOMPARE(rig2.hw.WaitDeviceIdle(30000), 0x1004);
    QCOMPARE(rig2.frame.RequestCount(), 1);
}

void TestSettingsCommands::waitDeviceIdleGivesUp_data()
{
    QTest::addColumn<bool>("changing");
    QTest::newRow("busy in the same state") << false;
    QTest::newRow("busy with changing states") << true;
}

void TestSettingsCommands::waitDeviceIdleGivesUp()
{
    QFETCH(bool, changing);
    CCommandRig rig;
    CStationClock::SetTimeoutScale(0.001);  // 30 s of waiting become 30 ms
    rig.hw.SetDriverRunningFlag(true);
    rig.frame.Edit([&](CEmulatedFrame::State &s) {
        s.settings.state[2] = 0x10;
        s.settings.bBusyChanging = changing;
    });
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(CodeHex(rig.hw.WaitDeviceIdle(30000)), CodeHex(int32_t(0x801E0001u)));
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY(timer.elapsed() >= 30);
    CStationClock::SetTimeoutScale(1.0);

    // InitAgc stops at the failed wait.
    if (!changing) {
        CStationClock::SetTimeoutScale(0.001);
        rig.frame.ClearRequests();
        QCOMPARE(CodeHex(rig.hw.InitAgc()), CodeHex(int32_t(0x801E0001u)));
        QCOMPARE(rig.CountRequests(0xA2, 0x09), 0);
        CStationClock::SetTimeoutScale(1.0);
    }
}

void TestSettingsCommands::initAgcSequence_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<quint8>("silentCmd");
    QTest::addColumn<quint8>("silentSub");
    QTest::addColumn<int32_t>("result");
    QTest::addColumn<QStringList>("requests");
    QTest::newRow("7201") << 0x7201 << quint8(0) << quint8(0) << int32_t(0)
                          << QStringList{"fc a2 09 00 00 00 00", "fc a2 20 02 00 00 01"};
    QTest::newRow("46xx") << 0x4601 << quint8(0) << quint8(0) << int32_t(0)
                          << QStringList{"fc a2 09 00 00 00 00", "fc a2 20 02 00 00 01", "fc a8 11 00 00 01 ff",
                                         "fc a5 01 02 00 ff 00"};
    QTest::newRow("A2 09 silent") << 0x7201 << quint8(0xA2) << quint8(0x09) << int32_t(0x80040001u)
                                  << QStringList{};
    QTest::newRow("drawing silent") << 0x7201 << quint8(0xA2) << quint8(0x20) << int32_t(0x80010001u)
                                    << QStringList{};
    QTest::newRow("A8 11 silent") << 0x4601 << quint8(0xA8) << quint8(0x11) << int32_t(0x80120001u)
                                  << QStringList{};
}

void TestSettingsCommands::initAgcSequence()
{
    QFETCH(int, version);
    QFETCH(quint8, silentCmd);
    QFETCH(quint8, silentSub);
    QFETCH(int32_t, result);
    QFETCH(QStringList, requests);
    CCommandRig rig;
    rig.frame.Edit([&](CEmulatedFrame::State &s) { s.id.nVersion = quint16(version); });
    if (silentCmd)
        rig.frame.SetFault(silentCmd, silentSub, CEmulatedFrame::Silent());
    QCOMPARE(CodeHex(rig.hw.InitAgc()), CodeHex(result));
    if (!requests.isEmpty())
        QCOMPARE(rig.RequestHex(7), requests);
    else
        QCOMPARE(rig.CountRequests(silentCmd, silentSub), 10);
}

void TestSettingsCommands::touchFormats()
{
    CCommandRig rig;
    rig.frame.Edit([](CEmulatedFrame::State &s) {
        s.settings.usb[0] = 2;
        s.settings.usb[1] = 3;
    });
    QCOMPARE(rig.hw.GetTouchFormat(), 0);
    QCOMPARE(rig.hw.GetUsb1TouchFormat(), 2u);
    QCOMPARE(rig.hw.GetUsb2TouchFormat(), 3u);
    QVERIFY(rig.hw.IsRunFlagSet());
    QCOMPARE(rig.hw.SetTouchFormat(1, 1), 0);
    // Setting does not change the remembered codes, so they can be restored.
    QCOMPARE(rig.hw.GetUsb1TouchFormat(), 2u);
    QCOMPARE(rig.frame.Snapshot().settings.usb[0], quint8(1));
    QCOMPARE(rig.hw.SetTouchFormat(quint8(rig.hw.GetUsb1TouchFormat()), quint8(rig.hw.GetUsb2TouchFormat())), 0);
    QCOMPARE(rig.frame.Snapshot().settings.usb[0], quint8(2));
    QCOMPARE(rig.frame.Snapshot().settings.usb[1], quint8(3));
    rig.frame.SetFault(0x30, 0x00, CEmulatedFrame::Silent());
    QCOMPARE(CodeHex(rig.hw.SetTouchFormat(1, 1)), CodeHex(int32_t(0x80160001u)));
    rig.frame.SetFault(0x30, 0x04, CEmulatedFrame::Silent());
    QCOMPARE(CodeHex(rig.hw.GetTouchFormat()), CodeHex(int32_t(0x80250001u)));
}

STATION_TEST_MAIN_CORE(TestSettingsCommands)
#include "tst_settingscommands.moc"
