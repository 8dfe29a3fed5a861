// The touch intake alone: raw reports in, the contacts to inject and the
// frame's touch-test verdict out. One table of report sequences; the reports
// are built by the emulated frame's own builders where a frame would send
// them, by hand where they are malformed.

#include "emulatedframe.h"
#include "testenvironment.h"
#include "touchintake.h"

#include <QtTest>

#include <cstring>

namespace {
using Contact = CEmulatedFrame::Contact;

TouchData Data(const QByteArray& report, uint32_t nLength)
{
    TouchData data;
    std::memset(&data, 0, sizeof(data));
    std::memcpy(data.report, report.constData(), size_t(qMin(report.size(), 64)));
    data.length = nLength;
    return data;
}

// A report as a frame sends it: its length is its size.
TouchData Data(const QByteArray& report)
{
    return Data(report, uint32_t(report.size()));
}

using C = CEmulatedFrame::Contact;

QList<Contact> Down(int nFirst, int nCount)
{
    QList<Contact> contacts;
    for (int i = 0; i < nCount; ++i)
        contacts << C(4, quint8(nFirst + i), quint16(100 * i), quint16(50 * i));
    return contacts;
}

QList<TouchData> Frames(const QList<QByteArray>& reports)
{
    QList<TouchData> out;
    for (const QByteArray& r : reports)
        out << Data(r);
    return out;
}

// What the intake hands out for a sequence: one line per injection,
// "<count>: id/state ..." (positions and sizes where asked), "pass" or
// "fail" for a verdict.
QStringList Feed(CTouchIntake& intake, const QList<TouchData>& reports, bool bGeometry = false)
{
    QStringList out;
    for (const TouchData& data : reports) {
        const CTouchIntake::SOutput o = intake.Feed(data);
        if (o.bInject) {
            QStringList points;
            for (int i = 0; i < o.nCount; ++i) {
                const TouchPoint& p = o.pPoints[i];
                QString text = QStringLiteral("%1/%2").arg(p.id).arg(p.state);
                if (bGeometry)
                    text += QStringLiteral("@%1,%2 %3x%4 p%5").arg(p.x).arg(p.y).arg(p.width).arg(p.height).arg(p.pressure);
                points << text;
            }
            out << QStringLiteral("%1: %2").arg(o.nCount).arg(points.join(' ')).trimmed();
        }
        if (o.eVerdict != CTouchIntake::EVerdict::None)
            out << (o.eVerdict == CTouchIntake::EVerdict::Pass ? "pass" : "fail");
    }
    return out;
}

QString Ids(int nFirst, int nCount, int nState)
{
    QStringList points;
    for (int i = 0; i < nCount; ++i)
        points << QStringLiteral("%1/%2").arg(nFirst + i).arg(nState);
    return QStringLiteral("%1: %2").arg(nCount).arg(points.join(' '));
}

QByteArray Verdict(const char* szHex)
{
    return CEmulatedFrame::Pad64(QByteArray::fromHex(szHex));
}
} // namespace

Q_DECLARE_METATYPE(QList<TouchData>)

class TestTouchIntake : public QObject
{
    Q_OBJECT

private slots:
    void reports_data();
    void reports();
    void geometry_data();
    void geometry();
    void nothingPastTheLengthIsRead();
    void replugStartsWithDown();
};

void TestTouchIntake::reports_data()
{
    QTest::addColumn<QList<TouchData>>("reports");
    QTest::addColumn<QStringList>("expected");

    using F = CEmulatedFrame;
    // Wide records: six to a report of 62 bytes.
    const QList<Contact> ten = Down(0, 10);
    QTest::newRow("62 bytes, count 10: six points, then 0 continues at 6 and the frame goes out at 10")
        << Frames({F::TouchReport(ten.mid(0, 6), 10), F::TouchReport(ten.mid(6), 0)})
        << QStringList{Ids(0, 10, 1)};
    QTest::newRow("the first report alone leaves the frame waiting")
        << Frames({F::TouchReport(ten.mid(0, 6), 10)}) << QStringList();

    // Count 40: the frame is 32 points; the report after it completes brings
    // nothing new and hands the frame over again.
    QTest::newRow("count 40 gives 32") << Frames(F::TouchReports(Down(0, 40))) << QStringList{Ids(0, 32, 1), Ids(0, 32, 1)};

    QTest::newRow("status 5 ends the frame there")
        << Frames({F::TouchReport({C(4, 1), C(4, 2), C(5, 3), C(4, 4)}, 4)}) << QStringList{"2: 1/1 2/1"};
    for (quint8 nStatus : {quint8(0), quint8(1), quint8(3), quint8(255)})
        QTest::addRow("status %d ends the frame at its first record", nStatus)
            << Frames({F::TouchReport({C(nStatus, 1), C(4, 2)}, 2)}) << QStringList{"0:"};

    // A count past the records: the empty record after them (status 0) ends
    // the frame; a frame spreads over reports only when they are full.
    QTest::newRow("count past the records ends at the first empty record")
        << Frames({F::TouchReport({C(4, 1)}, 3), F::TouchReport({C(4, 2), C(4, 3)}, 0)})
        << QStringList{"1: 1/1", "1: 1/1"};
    QTest::newRow("a new count drops the frame in progress")
        << Frames({F::TouchReport(Down(0, 6), 10), F::TouchReport({C(4, 7)}, 1)}) << QStringList{"1: 7/1"};

    // Lengths 0 and 1 carry no count: the current frame goes out again; the
    // first one is the empty frame.
    const QByteArray one = F::TouchReport({C(4, 9)}, 1);
    QTest::newRow("lengths 0 and 1 hand the frame over again")
        << QList<TouchData>{Data(one, 0), Data(one), Data(one, 0), Data(one, 1)}
        << QStringList{"0:", "1: 9/1", "1: 9/1", "1: 9/1"};

    // Status 4 puts a contact down, then lifts it; 7 moves it.
    QTest::newRow("status 4 gives down, then up; 7 a move")
        << Frames({F::TouchReport({C(4, 7)}, 1), F::TouchReport({C(7, 7)}, 1), F::TouchReport({C(4, 7)}, 1),
                   F::TouchReport({C(4, 7)}, 1)})
        << QStringList{"1: 7/1", "1: 7/2", "1: 7/3", "1: 7/1"};
    QTest::newRow("ids 0 and 255 keep states of their own")
        << Frames({F::TouchReport({C(4, 0), C(4, 255)}, 2), F::TouchReport({C(4, 255)}, 1),
                   F::TouchReport({C(4, 0), C(4, 255)}, 2)})
        << QStringList{"2: 0/1 255/1", "1: 255/3", "2: 0/3 255/1"};

    // Narrow records: ten to a report of any other length.
    QTest::newRow("6-byte records, ten to a report of 64")
        << Frames(F::TouchReports(Down(0, 10), false)) << QStringList{Ids(0, 10, 1)};
    // In a report of 20 bytes three 6-byte records fit before the count byte.
    auto short20 = [](const QList<Contact>& contacts, char nCount) {
        return Data(CEmulatedFrame::TouchReport(contacts, 0, false).left(19) + nCount);
    };
    QTest::newRow("6-byte records in reports of 20: three a report")
        << QList<TouchData>{short20(Down(0, 5), 5), short20(Down(3, 2), 0)} << QStringList{Ids(0, 5, 1)};

    // Device-given lengths past the report read the report's 64 bytes.
    const QByteArray narrow = F::TouchReport({C(4, 1), C(4, 2)}, 2, false);
    for (uint32_t nLength : {65u, 200u, 0xFFFFFFFFu})
        QTest::addRow("length %u reads 64 bytes", nLength) << QList<TouchData>{Data(narrow, nLength)}
                                                           << QStringList{"2: 1/1 2/1"};

    // The frame's verdict: FB FC 01 00 01, byte 6 is 1 for a failed test.
    QTest::newRow("verdict pass") << Frames({F::TouchTestVerdictReport(true)}) << QStringList{"pass"};
    QTest::newRow("verdict fail") << Frames({F::TouchTestVerdictReport(false)}) << QStringList{"fail"};
    QTest::newRow("verdict byte 2 is no failure") << Frames({Verdict("FBFC0100010002")}) << QStringList{"pass"};
    for (const char* szNearMiss : {"FBFC0100020001", "FBFC0200010001", "FBFD0100010001", "FBFC0101010001",
                                   "FAFC0100010001", "FCFC0100010001"})
        QTest::addRow("near miss %s", szNearMiss) << Frames({Verdict(szNearMiss)}) << QStringList();
    QTest::newRow("verdict shorter than its byte 6")
        << QList<TouchData>{Data(Verdict("FBFC0100010001"), 6)} << QStringList();
    QTest::newRow("other reports are ignored")
        << Frames({Verdict("FCA10100"), Verdict("0101"), QByteArray(64, '\xFF')}) << QStringList();
}

void TestTouchIntake::reports()
{
    QFETCH(QList<TouchData>, reports);
    QFETCH(QStringList, expected);
    CTouchIntake intake;
    QCOMPARE(Feed(intake, reports), expected);
}

void TestTouchIntake::geometry_data()
{
    QTest::addColumn<QList<TouchData>>("reports");
    QTest::addColumn<QStringList>("expected");
    using F = CEmulatedFrame;
    const QList<Contact> contacts{C(4, 3, 32767, 1, 300, 400), C(4, 4, 0x1234, 0x5678, 0xABCD, 7)};
    QTest::newRow("10-byte records carry width and height")
        << Frames({F::TouchReport(contacts, 2)})
        << QStringList{"2: 3/1@32767,1 300x400 p0 4/1@4660,22136 43981x7 p0"};
    QTest::newRow("6-byte records have width and height 0")
        << Frames({F::TouchReport(contacts, 2, false)}) << QStringList{"2: 3/1@32767,1 0x0 p0 4/1@4660,22136 0x0 p0"};
}

// Positions and sizes little-endian; the width and height a 6-byte record
// does not carry are 0, whatever the previous frame left there.
void TestTouchIntake::geometry()
{
    QFETCH(QList<TouchData>, reports);
    QFETCH(QStringList, expected);
    CTouchIntake intake;
    // A wide frame first, so that stale sizes would show.
    intake.Feed(Data(CEmulatedFrame::TouchReport({C(4, 90, 9, 9, 999, 999), C(4, 91, 9, 9, 999, 999)}, 2)));
    QCOMPARE(Feed(intake, reports, true), expected);
}

// Whatever lies in the record past the report's length never counts: the
// outcome of every length is the same with zeros or garbage there.
void TestTouchIntake::nothingPastTheLengthIsRead()
{
    QByteArray report = CEmulatedFrame::TouchReport(Down(0, 6), 6);
    for (uint32_t nLength = 0; nLength <= 66; ++nLength) {
        for (quint8 nId : {quint8(0x02), quint8(0xFB)}) {
            QByteArray base = nId == 0x02 ? report : Verdict("FBFC0100010001");
            TouchData clean = Data(base.left(int(qMin<uint32_t>(nLength, 64))), nLength);
            clean.report[0] = nId;
            TouchData dirty = clean;
            for (uint32_t i = qMax<uint32_t>(nLength, 1); i < 64; ++i)
                dirty.report[i] = uint8_t(0xA5 ^ i);
            CTouchIntake a;
            CTouchIntake b;
            QCOMPARE(Feed(a, {clean, clean}, true), Feed(b, {dirty, dirty}, true));
        }
    }
}

// After Reset (the last frame left the bus) a contact that was down starts
// with down again, not with up.
void TestTouchIntake::replugStartsWithDown()
{
    CTouchIntake intake;
    const TouchData touch = Data(CEmulatedFrame::TouchReport({C(4, 7)}, 1));
    QCOMPARE(Feed(intake, {touch}), QStringList{"1: 7/1"});
    QCOMPARE(intake.LastState(7), 1);
    intake.Reset();
    QCOMPARE(intake.LastState(7), 0);
    QCOMPARE(intake.PointCount(), 0);
    QCOMPARE(Feed(intake, {touch}), QStringList{"1: 7/1"});
}

STATION_TEST_MAIN_CORE(TestTouchIntake)
#include "tst_touchintake.moc"
