// Calibration and bootloader commands: calibration steps, corner points and
// edge moves, composite commands, the calibration format, fine tuning, the
// user's abort, the boot information, the jump to the bootloader and CRC-32.

#include "hwcommandrig.h"
#include "testenvironment.h"

#include "deviceerror.h"

#include <QtTest>
#include <algorithm>

namespace {
QByteArray Reply(const char *hex)
{
    return CCommandRig::Report(hex);
}

// The A1 02 request the frame should see for these four values.
QString CornerRequest(quint16 lx, quint16 ly, quint16 rx, quint16 ry)
{
    QByteArray r = Reply("fca1020000 01");
    const quint16 points[8] = {lx, ly, rx, ly, rx, ry, lx, ry};
    for (int i = 0; i < 8; ++i)
        CEmulatedFrame::PutU16Be(&r, 6 + 2 * i, points[i]);
    return CCommandRig::Hex(r);
}
// A port that lets a test act at the moment the station switches reception
// on (DoCalStep does so after setting the run flag, before its first request).
class CEnableHookPort : public CEmulatedComPort
{
public:
    using CEmulatedComPort::CEmulatedComPort;
    std::function<void()> onEnable;
    int32_t SetRecvEnable(uint8_t enable, int devIndex) override
    {
        const int32_t r = CEmulatedComPort::SetRecvEnable(enable, devIndex);
        if (enable && onEnable) {
            const std::function<void()> f = onEnable;
            onEnable = nullptr;
            f();
        }
        return r;
    }
};
} // namespace

class TestCalibrationCommands : public QObject
{
    Q_OBJECT

private slots:
    void stepResults_data();
    void stepResults();
    void stepAbortedByTheUser_data();
    void stepAbortedByTheUser();
    void nextStepAfterAnAbort();
    void abortBeforeTheFirstRequest();
    void abortBetweenTheStepsOfAComposite_data();
    void abortBetweenTheStepsOfAComposite();
    void calDataOnAFreshObject();
    void moveEdge_data();
    void moveEdge();
    void moveEdgeRetryDoesNotMoveAgain();
    void compositeCommandCodes_data();
    void compositeCommandCodes();
    void calibrationValuesStayInRange();
    void calFormat();
    void fineTuneEnd_data();
    void fineTuneEnd();
    void queuedFineTuneEnd_data();
    void queuedFineTuneEnd();
    void fineTuneParams();
    void saveAndReset();
    void initDeviceCalData();
    void bootInfo();
    void jumpToBoot();
    void crc32_data();
    void crc32();
};

// ---------------------------------------------------------------- steps

void TestCalibrationCommands::stepResults_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<QByteArray>("answer");  // empty: the emulated frame's own answer
    QTest::addColumn<int>("result");
    QTest::newRow("begin -> 1") << 0 << QByteArray() << 1;
    QTest::newRow("target 4 -> 5") << 4 << QByteArray() << 5;
    // The emulated frame accepts its calibration unless told otherwise.
    QTest::newRow("check accepted -> 6") << 5 << QByteArray() << 6;
    QTest::newRow("target 2") << 1 << Reply("fc0102") << 2;
    QTest::newRow("FF with 3: deviation too large -> 7") << 5 << Reply("fc01ff03") << 7;
    QTest::newRow("FF with 2: accepted -> 6") << 5 << Reply("fc01ff02") << 6;
    QTest::newRow("FF with 0: accepted -> 6") << 5 << Reply("fc01ff00") << 6;
    QTest::newRow("other target: unchanged") << 2 << Reply("fc0100") << -1;
    QTest::newRow("01 88: unchanged") << 2 << Reply("fc0188") << -1;
    QTest::newRow("step not compared") << 1 << Reply("fc0104") << 4;
}

void TestCalibrationCommands::stepResults()
{
    QFETCH(int, step);
    QFETCH(QByteArray, answer);
    QFETCH(int, result);
    CCommandRig rig;
    if (!answer.isEmpty())
        rig.frame.SetFault(0x01, quint8(step), CEmulatedFrame::CustomReplies({answer}));
    int next = -1;
    QCOMPARE(rig.hw.DoCalStep(step, &next, 30000), 0);
    QCOMPARE(next, result);
    QCOMPARE(rig.port.RecvTimeouts().last(), 30000);

    if (step == 5 && answer.isEmpty()) {
        // The same frame reporting the deviation as too large.
        rig.frame.Edit([](CEmulatedFrame::State &s) { s.cal.nCheckResult = 3; });
        QCOMPARE(rig.hw.DoCalStep(5, &next, 30000), 0);
        QCOMPARE(next, 7);
    }
}

void TestCalibrationCommands::stepAbortedByTheUser_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("while waiting for a report") << 0;
    QTest::newRow("on a report that answers nothing") << 1;
    QTest::newRow("with a reply queued") << 2;
}

void TestCalibrationCommands::stepAbortedByTheUser()
{
    QFETCH(int, how);
    CCommandRig rig;
    rig.frame.Edit([](CEmulatedFrame::State &s) { s.cal.nTouchDelayMs = -1; });  // the operator never touches
    if (how == 1)
        rig.frame.SetFault(0x01, 0x02, CEmulatedFrame::CustomReplies({Reply("fcfe810000a105")}));
    // The GUI thread ends the wait (HandleWork::ExitCurrentWork): before the
    // read, right after a report that answers nothing, or with a reply queued.
    if (how == 1) {
        rig.port.SetRecvHook([&](const QByteArray &) { rig.hw.SetRecvEnable(false); });
    } else {
        rig.port.SetSendHook([&](const QByteArray &) {
            if (how == 2)
                rig.port.QueueReply(Reply("fcfe810000a105"));
            rig.hw.SetRecvEnable(false);
        });
    }
    int next = -1;
    QCOMPARE(CodeHex(rig.hw.DoCalStep(2, &next, 30000)), CodeHex(int32_t(0x802A0004u)));
    QCOMPARE(next, -1);
    QCOMPARE(rig.CountRequests(0x01, 0x02), 1);  // no retries after the abort
    QVERIFY(!rig.hw.IsRunFlagSet());
}

void TestCalibrationCommands::nextStepAfterAnAbort()
{
    CCommandRig rig;
    rig.hw.SetRecvEnable(false);
    int next = 0;
    QCOMPARE(rig.hw.DoCalStep(0, &next, 30000), 0);  // a new step switches reception on again
    QCOMPARE(next, 1);
    QVERIFY(rig.hw.IsRunFlagSet());
}

void TestCalibrationCommands::abortBeforeTheFirstRequest()
{
    // The operator leaves the screen just as a step starts: after the run flag
    // was set, before the step request went out. The step is not sent and the
    // wait does not run its ten time-outs.
    CEmulatedFrame frame;
    frame.Edit([](CEmulatedFrame::State &s) { s.cal.nTouchDelayMs = -1; });  // the operator never touches
    CEnableHookPort port(&frame);
    CProbedHardware hw(nullptr, &port, QStringLiteral("emulated"));
    port.onEnable = [&] { hw.SetRecvEnable(false); };
    int next = -1;
    QCOMPARE(CodeHex(hw.DoCalStep(1, &next, 30000)), CodeHex(int32_t(0x802A0004u)));
    QCOMPARE(frame.RequestsFor(0x01, 0x01).size(), 0);
    QCOMPARE(next, -1);
    QVERIFY(!hw.IsRunFlagSet());
}

void TestCalibrationCommands::abortBetweenTheStepsOfAComposite_data()
{
    QTest::addColumn<HwOp>("op");
    QTest::addColumn<int32_t>("code");
    QTest::newRow("edge move") << HwOp([](HardwareInterface &h) { return h.MoveCalEdge(0, true); })
                               << int32_t(0x80250004u);
    QTest::newRow("to device") << HwOp([](HardwareInterface &h) { return h.SendCalDataToDev(); })
                               << int32_t(0x80330004u);
    QTest::newRow("param") << HwOp([](HardwareInterface &h) { return h.SendCalParam(); }) << int32_t(0x80340004u);
}

void TestCalibrationCommands::abortBetweenTheStepsOfAComposite()
{
    QFETCH(HwOp, op);
    QFETCH(int32_t, code);
    CCommandRig rig;
    rig.hw.SetCalLX(100);
    // The user leaves as the A1 01 answer comes in: the corner block is not
    // sent, the edge does not move, and the command reports the abort.
    rig.port.SetRecvHook([&](const QByteArray &r) {
        if (quint8(r.at(1)) == 0xA1 && quint8(r.at(2)) == 0x81)
            rig.hw.SetRecvEnable(false);
    });
    QCOMPARE(CodeHex(op(rig.hw)), CodeHex(code));
    QCOMPARE(rig.CountRequests(0xA1, 0x01), 1);
    QCOMPARE(rig.CountRequests(0xA1, 0x02), 0);
    QCOMPARE(rig.hw.GetCalLX(), 100);
    QVERIFY(!rig.hw.IsRunFlagSet());
}

void TestCalibrationCommands::calDataOnAFreshObject()
{
    CCommandRig rig;
    // The run flag is clear on a new object and GetCalData does not set it; a
    // report that answers nothing must not end the read as an abort.
    rig.frame.Edit([](CEmulatedFrame::State &s) {
        s.cal.value[0] = 0x0102;
        s.cal.value[1] = 0x0304;
        s.cal.value[2] = 0x7E05;
        s.cal.value[3] = 0x7D06;
    });
    rig.frame.SetFault(0xA1, 0x04, CEmulatedFrame::GarbageReply(true));
    QVERIFY(!rig.hw.IsRunFlagSet());
    QCOMPARE(rig.hw.GetCalData(), 0);
    QVERIFY(!rig.hw.IsRunFlagSet());
    QCOMPARE(rig.hw.GetCalLX(), 0x0102);
    QCOMPARE(rig.hw.GetCalLY(), 0x0304);
    QCOMPARE(rig.hw.GetCalRX(), 0x7E05);
    QCOMPARE(rig.hw.GetCalRY(), 0x7D06);
}

// ---------------------------------------------------------------- corner points

void TestCalibrationCommands::moveEdge_data()
{
    QTest::addColumn<int>("edge");
    QTest::addColumn<bool>("dir");
    QTest::addColumn<QVector<int>>("values");  // LX, LY, RX, RY after the move
    QTest::newRow("left towards its side") << 0 << true << QVector<int>{101, 200, 3000, 4000};
    QTest::newRow("left away") << 0 << false << QVector<int>{99, 200, 3000, 4000};
    QTest::newRow("right towards its side") << 1 << true << QVector<int>{100, 200, 2999, 4000};
    QTest::newRow("right away") << 1 << false << QVector<int>{100, 200, 3001, 4000};
    QTest::newRow("top towards its side") << 2 << true << QVector<int>{100, 201, 3000, 4000};
    QTest::newRow("top away") << 2 << false << QVector<int>{100, 199, 3000, 4000};
    QTest::newRow("bottom towards its side") << 3 << true << QVector<int>{100, 200, 3000, 3999};
    QTest::newRow("bottom away") << 3 << false << QVector<int>{100, 200, 3000, 4001};
    QTest::newRow("no such edge") << 4 << true << QVector<int>{100, 200, 3000, 4000};
}

void TestCalibrationCommands::moveEdge()
{
    QFETCH(int, edge);
    QFETCH(bool, dir);
    QFETCH(QVector<int>, values);
    CCommandRig rig;
    rig.hw.SetCalLX(100);
    rig.hw.SetCalLY(200);
    rig.hw.SetCalRX(3000);
    rig.hw.SetCalRY(4000);
    QCOMPARE(rig.hw.MoveCalEdge(edge, dir), 0);
    QCOMPARE(QVector<int>({rig.hw.GetCalLX(), rig.hw.GetCalLY(), rig.hw.GetCalRX(), rig.hw.GetCalRY()}), values);
    QCOMPARE(rig.RequestHex(),
             (QStringList{CCommandRig::Hex(Reply("fca1010000")),
                          CornerRequest(quint16(values[0]), quint16(values[1]), quint16(values[2]),
                                        quint16(values[3]))}));
    // The frame took the block as its new calibration.
    const CEmulatedFrame::State s = rig.frame.Snapshot();
    QCOMPARE(QVector<int>({s.cal.value[0], s.cal.value[1], s.cal.value[2], s.cal.value[3]}), values);
    QVERIFY2(rig.frame.Violations().isEmpty(), qPrintable(rig.frame.Violations().join('\n')));
}

void TestCalibrationCommands::moveEdgeRetryDoesNotMoveAgain()
{
    CCommandRig rig;
    rig.hw.SetCalLX(100);
    rig.frame.SetFault(0xA1, 0x02, CEmulatedFrame::Silent(3));
    QCOMPARE(rig.hw.MoveCalEdge(0, true), 0);
    QCOMPARE(rig.hw.GetCalLX(), 101);
    const QList<QByteArray> sends = rig.frame.RequestsFor(0xA1, 0x02);
    QCOMPARE(sends.size(), 4);
    for (const QByteArray &q : sends)
        QCOMPARE(CCommandRig::Hex(q), CornerRequest(101, 0, 0, 0));

    // A send that never gets through leaves the value moved once.
    CCommandRig rig2;
    rig2.hw.SetCalLX(100);
    rig2.frame.SetFault(0xA1, 0x02, CEmulatedFrame::Silent());
    QCOMPARE(CodeHex(rig2.hw.MoveCalEdge(0, false)), CodeHex(int32_t(0x80250001u)));
    QCOMPARE(rig2.hw.GetCalLX(), 99);
}

void TestCalibrationCommands::compositeCommandCodes_data()
{
    QTest::addColumn<HwOp>("op");
    QTest::addColumn<quint8>("silentSub");
    QTest::addColumn<int32_t>("code");
    QTest::addColumn<int>("cornerRequests");
    const HwOp toDev = [](HardwareInterface &h) { return h.SendCalDataToDev(); };
    const HwOp param = [](HardwareInterface &h) { return h.SendCalParam(); };
    const HwOp move = [](HardwareInterface &h) { return h.MoveCalEdge(2, true); };
    QTest::newRow("to device: A1 01 fails") << toDev << quint8(0x01) << int32_t(0x80250001u) << 0;
    QTest::newRow("to device: A1 02 fails") << toDev << quint8(0x02) << int32_t(0x80330001u) << 10;
    QTest::newRow("param: A1 01 fails") << param << quint8(0x01) << int32_t(0x80250001u) << 0;
    QTest::newRow("param: A1 02 fails") << param << quint8(0x02) << int32_t(0x80340001u) << 10;
    QTest::newRow("edge: A1 01 fails") << move << quint8(0x01) << int32_t(0x80250001u) << 0;
    QTest::newRow("edge: A1 02 fails") << move << quint8(0x02) << int32_t(0x80250001u) << 10;
    QTest::newRow("to device: fine") << toDev << quint8(0x00) << int32_t(0) << 1;
}

void TestCalibrationCommands::compositeCommandCodes()
{
    QFETCH(HwOp, op);
    QFETCH(quint8, silentSub);
    QFETCH(int32_t, code);
    QFETCH(int, cornerRequests);
    CCommandRig rig;
    if (silentSub)
        rig.frame.SetFault(0xA1, silentSub, CEmulatedFrame::Silent());
    QCOMPARE(CodeHex(op(rig.hw)), CodeHex(code));
    QCOMPARE(rig.CountRequests(0xA1, 0x02), cornerRequests);
    QVERIFY(rig.hw.IsRunFlagSet());

    // A lost device during the second step keeps that step's family.
    if (silentSub == 0x02) {
        CCommandRig rig2;
        rig2.frame.SetFault(0xA1, 0x02, CEmulatedFrame::UnplugOnCommand());
        QCOMPARE(CodeHex(op(rig2.hw)), CodeHex(int32_t((uint32_t(code) & 0xFFFF0000u) | 2u)));
    }
}

void TestCalibrationCommands::calibrationValuesStayInRange()
{
    CCommandRig rig;
    rig.hw.SetCalLX(-5);
    rig.hw.SetCalLY(123);
    rig.hw.SetCalRX(70000);
    rig.hw.SetCalRY(65535);
    QCOMPARE(rig.hw.GetCalLX(), 0);
    QCOMPARE(rig.hw.GetCalRX(), 65535);
    QCOMPARE(rig.hw.MoveCalEdge(0, false), 0);  // LX cannot go below 0
    QCOMPARE(rig.hw.MoveCalEdge(3, false), 0);  // RY cannot go above 65535
    QCOMPARE(rig.hw.GetCalLX(), 0);
    QCOMPARE(rig.hw.GetCalRY(), 65535);
    QCOMPARE(CCommandRig::Hex(rig.frame.RequestsFor(0xA1, 0x02).last()), CornerRequest(0, 123, 65535, 65535));
}

// ---------------------------------------------------------------- format and fine tuning

void TestCalibrationCommands::calFormat()
{
    CCommandRig rig;
    rig.frame.SetFault(0x30, 0x11, CEmulatedFrame::CustomReplies({Reply("fc30910400 000000 05")}, 1));
    QCOMPARE(rig.hw.GetCalFormat(), 0);
    QCOMPARE(rig.hw.GetCalFormatValue(), 1);
    QCOMPARE(rig.hw.SetCalFormat(), 0);
    QCOMPARE(rig.RequestHex(6).last(), QStringLiteral("fc 30 02 00 00 01"));
    rig.frame.Edit([](CEmulatedFrame::State &s) { s.cal.format = 0; });
    QCOMPARE(rig.hw.GetCalFormat(), 0);
    QCOMPARE(rig.hw.GetCalFormatValue(), 0);
    QCOMPARE(rig.hw.SetCalFormat(), 0);
    QCOMPARE(rig.RequestHex(6).last(), QStringLiteral("fc 30 02 00 00 00"));
}

void TestCalibrationCommands::fineTuneEnd_data()
{
    QTest::addColumn<HwOp>("op");
    QTest::addColumn<quint8>("cmd");
    QTest::addColumn<quint8>("sub");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int32_t>("code");
    const QByteArray endA212 = Reply("fcfe830000a212");
    QTest::newRow("during GetCalFormat") << HwOp([](HardwareInterface &h) { return h.GetCalFormat(); })
                                         << quint8(0x30) << quint8(0x11) << endA212 << int32_t(0x802B0005u);
    QTest::newRow("during a step") << HwOp([](HardwareInterface &h) {
        int n = 0;
        return h.DoCalStep(1, &n, 30000);
    }) << quint8(0x01) << quint8(0x01) << endA212 << int32_t(0x802A0005u);
    QTest::newRow("during ExitFineTuning") << HwOp([](HardwareInterface &h) { return h.ExitFineTuning(1); })
                                           << quint8(0xA2) << quint8(0x12) << endA212 << int32_t(0x80300005u);
    QTest::newRow("SetCalFormat: 83 for 30 02") << HwOp([](HardwareInterface &h) { return h.SetCalFormat(); })
                                                << quint8(0x30) << quint8(0x02) << Reply("fcfe8300003002")
                                                << int32_t(0x802C0005u);
    QTest::newRow("SetCalFormat ignores A2 12") << HwOp([](HardwareInterface &h) { return h.SetCalFormat(); })
                                                << quint8(0x30) << quint8(0x02) << endA212
                                                << int32_t(0x802C0001u);
    QTest::newRow("not for a plain command") << HwOp([](HardwareInterface &h) { return h.CmdA804(1); })
                                             << quint8(0xA8) << quint8(0x04) << endA212 << int32_t(0x80180001u);
}

void TestCalibrationCommands::fineTuneEnd()
{
    QFETCH(HwOp, op);
    QFETCH(quint8, cmd);
    QFETCH(quint8, sub);
    QFETCH(QByteArray, answer);
    QFETCH(int32_t, code);
    CCommandRig rig;
    rig.frame.SetFault(cmd, sub, CEmulatedFrame::CustomReplies({answer}));
    QCOMPARE(CodeHex(op(rig.hw)), CodeHex(code));

    // Sent by the frame on its own while a step waits for the operator.
    if (cmd == 0x01) {
        CCommandRig rig2;
        rig2.frame.Edit([](CEmulatedFrame::State &s) { s.cal.nTouchDelayMs = -1; });
        rig2.port.SetSendHook([&](const QByteArray &) { rig2.frame.InjectFineTuneEnd(); });
        QCOMPARE(CodeHex(op(rig2.hw)), CodeHex(code));
    }
}

void TestCalibrationCommands::queuedFineTuneEnd_data()
{
    QTest::addColumn<HwOp>("op");
    QTest::addColumn<quint8>("cmd");
    QTest::addColumn<quint8>("sub");
    QTest::addColumn<int32_t>("code");
    QTest::newRow("GetCalFormat") << HwOp([](HardwareInterface &h) { return h.GetCalFormat(); }) << quint8(0x30)
                                  << quint8(0x11) << int32_t(0x802B0005u);
    QTest::newRow("edge move (A1 01 sees it)") << HwOp([](HardwareInterface &h) { return h.MoveCalEdge(0, true); })
                                               << quint8(0xA1) << quint8(0x01) << int32_t(0x80250005u);
    QTest::newRow("SetCalFormat skips it") << HwOp([](HardwareInterface &h) { return h.SetCalFormat(); })
                                           << quint8(0x30) << quint8(0x02) << int32_t(0);
    QTest::newRow("plain command skips it") << HwOp([](HardwareInterface &h) { return h.CmdA804(1); })
                                            << quint8(0xA8) << quint8(0x04) << int32_t(0);
}

void TestCalibrationCommands::queuedFineTuneEnd()
{
    QFETCH(HwOp, op);
    QFETCH(quint8, cmd);
    QFETCH(quint8, sub);
    QFETCH(int32_t, code);
    CCommandRig rig;
    // The frame left fine tuning while no command was waiting: its notice is
    // in the queue when the next command starts. Emptying the queue of stale
    // replies must not lose it: a calibration-family command ends with the
    // fine-tuning end (after its request went out), as if it had read it.
    rig.port.QueueReply(Reply("fcfe830000a212"));
    QCOMPARE(CodeHex(op(rig.hw)), CodeHex(code));
    QCOMPARE(rig.CountRequests(cmd, sub), 1);
    // It is seen once: the next command runs normally.
    QCOMPARE(CodeHex(op(rig.hw)), CodeHex(0));
}

void TestCalibrationCommands::fineTuneParams()
{
    CCommandRig rig;
    rig.frame.Edit([](CEmulatedFrame::State &s) {
        const int values[7] = {9, 1, 0x1234, 5, 6, 7, 8};
        std::copy(values, values + 7, s.cal.fineTune);
    });
    QCOMPARE(rig.hw.ReadFineTuneParams(), 0);
    QCOMPARE(rig.hw.GetFineTune0(), 9);
    QCOMPARE(rig.hw.GetFineTune1(), 1);
    QCOMPARE(rig.hw.GetFineTune2(), 0x1234);
    QCOMPARE(rig.hw.GetFineTune3(), 5);
    QCOMPARE(rig.hw.GetFineTune6(), 8);

    QCOMPARE(rig.hw.WriteFineTuneParams(false), 0);
    QByteArray without = Reply("fca2000800 ff00");
    for (int i = 7; i < 64; ++i)
        without[i] = char(0xFF);
    QCOMPARE(CCommandRig::Hex(rig.frame.Requests().last()), CCommandRig::Hex(without));

    rig.hw.SetFineTune0(3);
    rig.hw.SetFineTune2(0x0A0B);
    QCOMPARE(rig.hw.WriteFineTuneParams(true), 0);
    QByteArray with = Reply("fca2000800 03 01 0b0a 05060708");
    for (int i = 13; i < 64; ++i)
        with[i] = char(0xFF);
    QCOMPARE(CCommandRig::Hex(rig.frame.Requests().last()), CCommandRig::Hex(with));
    QCOMPARE(rig.frame.Snapshot().cal.fineTune[2], 0x0A0B);

    QCOMPARE(rig.hw.ExitFineTuning(0), 0);
    QCOMPARE(rig.RequestHex(6).last(), QStringLiteral("fc a2 12 01 00 00"));
    QVERIFY(rig.frame.Snapshot().cal.bFineTuning);
    QVERIFY2(rig.frame.Violations().isEmpty(), qPrintable(rig.frame.Violations().join('\n')));
}

void TestCalibrationCommands::saveAndReset()
{
    CCommandRig rig;
    rig.hw.SetCalLX(11);
    rig.hw.SetCalLY(22);
    rig.hw.SetCalRX(33);
    rig.hw.SetCalRY(44);
    QCOMPARE(rig.hw.SendCalDataToDev(), 0);
    QCOMPARE(rig.hw.SaveCalToFlash(), 0);
    QCOMPARE(rig.hw.SaveCalAsDefault(), 0);
    CEmulatedFrame::State s = rig.frame.Snapshot();
    QCOMPARE(s.cal.flash[0], quint16(11));
    QCOMPARE(s.cal.defaults[3], quint16(44));
    QCOMPARE(rig.hw.ResetCalData(), 0);
    QCOMPARE(rig.hw.GetCalData(), 0);
    QCOMPARE(rig.hw.GetCalLX(), int(s.cal.factory[0]));
    // A save answered by a status instead of its data reply is not a save.
    rig.frame.SetFault(0xA1, 0x03, CEmulatedFrame::StatusReply(0x81));
    QCOMPARE(CodeHex(rig.hw.SaveCalToFlash()), CodeHex(int32_t(0x80290001u)));
    QCOMPARE(rig.port.RecvTimeouts().last(), 80000);
}

void TestCalibrationCommands::initDeviceCalData()
{
    CCommandRig rig;
    QCOMPARE(rig.hw.InitDeviceCalData(), 0);
    const QStringList requests = rig.RequestHex(3);
    QCOMPARE(requests.mid(0, 3), (QStringList{"fc a1 04", "fc 30 11", "fc a9 05"}));
    QCOMPARE(requests.size(), 2 + 6);
    QCOMPARE(rig.hw.GetProperty(QStringLiteral("MaxPoint")), QStringLiteral("10"));

    CCommandRig rig2;
    rig2.frame.SetFault(0xA1, 0x04, CEmulatedFrame::Silent());
    QCOMPARE(CodeHex(rig2.hw.InitDeviceCalData()), CodeHex(int32_t(0x80260001u)));
    QCOMPARE(rig2.CountRequests(0x30, 0x11), 0);
}

// ---------------------------------------------------------------- bootloader

void TestCalibrationCommands::bootInfo()
{
    CCommandRig rig;
    rig.frame.SetMode(CEmulatedFrame::Mode::Bootloader);
    rig.frame.Edit([](CEmulatedFrame::State &s) {
        s.boot.version[0] = 0x12;  // [2]
        s.boot.version[1] = 0x34;  // [3]
        s.boot.version[2] = 0x56;  // [4]
        s.boot.nChecksumLow = 0xBEEF;
        s.boot.nChecksumHigh = 0x0A0B;
    });
    QCOMPARE(rig.hw.GetBootInfo(), 0);
    QCOMPARE(rig.RequestHex(5), QStringList{"fe 03 00 00 00"});
    QCOMPARE(rig.hw.GetPropertyList(),
             (QList<CPropertyItem>{{"BootVersion", "0x341256"}, {"BootCheckSum", "0x0A0BBEEF"}}));

    // Read once: a list that already holds a boot version stays as it is.
    rig.frame.Edit([](CEmulatedFrame::State &s) { s.boot.version[1] = 0x99; });
    QCOMPARE(rig.hw.GetBootInfo(), 0);
    QCOMPARE(rig.hw.GetProperty(QStringLiteral("BootVersion")), QStringLiteral("0x341256"));
    QCOMPARE(rig.hw.GetPropertyList().size(), 2);

    CCommandRig rig2;
    rig2.frame.SetMode(CEmulatedFrame::Mode::Bootloader);
    rig2.frame.SetFault(0x03, 0x00, CEmulatedFrame::StatusReply(0x82), 0xFE);
    QCOMPARE(rig2.hw.GetBootInfo(), 0x1002);
    QVERIFY(rig2.hw.GetPropertyList().isEmpty());

    CCommandRig rig3;
    rig3.frame.SetMode(CEmulatedFrame::Mode::Bootloader);
    rig3.frame.SetFault(0x03, 0x00, CEmulatedFrame::Silent(), 0xFE);
    QCOMPARE(CodeHex(rig3.hw.GetBootInfo()), CodeHex(int32_t(0x80230001u)));
}

void TestCalibrationCommands::jumpToBoot()
{
    CCommandRig rig;
    QSignalSpy spy(&rig.port, &CComPort::DeviceInsert);
    QCOMPARE(rig.hw.JumpToBoot(), 0);
    QCOMPARE(rig.port.GetDeviceMode(), 1u);
    rig.port.AdvanceTime(1000);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toBool(), false);
    QCOMPARE(spy.at(1).at(0).toBool(), true);
    QCOMPARE(rig.port.GetDeviceMode(), 0u);
    QCOMPARE(rig.port.GetPid(), 0xFF00);

    // A bootloader that never comes back: the frame only leaves.
    CCommandRig rig2;
    rig2.frame.Edit([](CEmulatedFrame::State &s) { s.boot.bNeverReturns = true; });
    QSignalSpy spy2(&rig2.port, &CComPort::DeviceInsert);
    QCOMPARE(rig2.hw.JumpToBoot(), 0);
    rig2.port.AdvanceTime(60000);
    QCOMPARE(spy2.count(), 1);
    QCOMPARE(rig2.port.GetDeviceMode(), uint32_t(ERROR_CODE_LOST_DEVICE));

    // Status 0x84 is the jump's answer whatever command it names.
    CCommandRig rig3;
    rig3.frame.SetFault(0xAA, 0x04, CEmulatedFrame::CustomReplies({Reply("fcfe840000a501")}));
    QCOMPARE(rig3.hw.JumpToBoot(), 0);
}

void TestCalibrationCommands::crc32_data()
{
    QTest::addColumn<QVector<uint>>("words");
    QTest::addColumn<uint>("init");
    QTest::addColumn<uint>("crc");
    QTest::newRow("'12345678'") << QVector<uint>{0x31323334u, 0x35363738u} << 0xFFFFFFFFu << 0x49E3C2FBu;
    QTest::newRow("one word") << QVector<uint>{0x12345678u} << 0xFFFFFFFFu << 0xDF8A8A2Bu;
    QTest::newRow("zero word") << QVector<uint>{0u} << 0xFFFFFFFFu << 0xC704DD7Bu;
    QTest::newRow("no words") << QVector<uint>{} << 0x1234ABCDu << 0x1234ABCDu;
}

void TestCalibrationCommands::crc32()
{
    QFETCH(QVector<uint>, words);
    QFETCH(uint, init);
    QFETCH(uint, crc);
    CCommandRig rig;
    const QVector<uint32_t> w(words.begin(), words.end());
    QCOMPARE(rig.hw.CalcCrc32(w.constData(), uint32_t(w.size()), init), uint32_t(crc));
    QCOMPARE(rig.hw.CalcCrc32(nullptr, 5, init), uint32_t(init));
    // Words fed in two calls, the first result as the second's start, give the same CRC.
    if (w.size() == 2)
        QCOMPARE(rig.hw.CalcCrc32(w.constData() + 1, 1, rig.hw.CalcCrc32(w.constData(), 1, init)), uint32_t(crc));
}

STATION_TEST_MAIN_CORE(TestCalibrationCommands)
#include "tst_calibrationcommands.moc"
