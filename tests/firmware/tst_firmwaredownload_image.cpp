// The firmware image as the download reads it: which files are refused before
// a frame is sent to its bootloader, and the records the download takes from
// a sound one.

#include "firmwareimage.h"
#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <sys/types.h>

namespace {
using Status = CFirmwareImage::Status;

// One 64-byte record: FE, the command, then a filler that names the record.
QByteArray Record(quint8 nCmd, int nIndex, int nLen = 64)
{
    QByteArray r(nLen, '\0');
    r[0] = char(0xFE);
    if (nLen > 1)
        r[1] = char(nCmd);
    for (int i = 3; i < nLen; ++i)
        r[i] = char((nIndex * 7 + i) & 0xFF);
    return r;
}

QByteArray Records(int nCount, int nFirstIndex = 0)
{
    QByteArray out;
    for (int i = 0; i < nCount; ++i)
        out += Record(0x01, nFirstIndex + i);
    return out;
}

void PutU32(QByteArray* p, int i, quint32 v)
{
    for (int b = 0; b < 4; ++b)
        (*p)[i + b] = char((v >> (8 * b)) & 0xFF);
}

QByteArray Header(quint32 nTypeA, quint32 nOffsetA, quint32 nTypeB, quint32 nOffsetB)
{
    QByteArray h(64, '\0');
    PutU32(&h, 0, 0xFFFFFFFFu);
    PutU32(&h, 4, 0x12345678u);
    PutU32(&h, 8, nTypeA);
    PutU32(&h, 12, nOffsetA);
    PutU32(&h, 16, nTypeB);
    PutU32(&h, 20, nOffsetB);
    return h;
}

QString WriteFile(const QString& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir + QLatin1Char('/') + name;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return QString();
    return path;
}
} // namespace

class TestFirmwareImage : public QObject
{
    Q_OBJECT

private slots:
    void statusTexts();
    void refusedFiles();
    void images_data();
    void images();
    void recordsOfAnUnevenImage();
    void partOffsets_data();
    void partOffsets();
    void seekAndReadAfterAHeader();
    void manyChainedHeadersAreCheckedQuickly();
};

void TestFirmwareImage::statusTexts()
{
    QCOMPARE(QString(CFirmwareImage::StatusText(Status::PathError)), QString("Firmware path error"));
    QCOMPARE(QString(CFirmwareImage::StatusText(Status::OpenError)), QString("Firmware cannot be opened"));
    QCOMPARE(QString(CFirmwareImage::StatusText(Status::ReadError)), QString("Firmware read error"));
}

void TestFirmwareImage::refusedFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CFirmwareImage image;

    QCOMPARE(image.Load(QString()), Status::PathError);
    QCOMPARE(image.Load(dir.filePath("missing.bin")), Status::PathError);
    QVERIFY(image.Problem().contains("missing.bin"));
    QCOMPARE(image.Size(), qint64(0));

    // Exists but is no file the station can read as an image.
    QCOMPARE(image.Load(dir.path()), Status::OpenError);
    const QString fifo = dir.filePath("pipe.bin");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QCOMPARE(image.Load(fifo), Status::OpenError);  // never blocks on the pipe

    const QString empty = WriteFile(dir.path(), "empty.bin", QByteArray());
    QCOMPARE(image.Load(empty), Status::ReadError);
    QVERIFY(image.Problem().contains("empty"));

    // A sound file loads, and a refused one afterwards leaves nothing to send.
    const QString good = WriteFile(dir.path(), "good.bin", Records(3));
    QCOMPARE(image.Load(good), Status::Ok);
    QCOMPARE(image.Size(), qint64(192));
    QVERIFY(image.Problem().isEmpty());
    const QString bad = WriteFile(dir.path(), "bad.bin", Records(2) + QByteArray(64, 'x'));
    QCOMPARE(image.Load(bad), Status::ReadError);
    QVERIFY(image.Problem().contains("bad.bin"));
    QVERIFY(image.Problem().contains("0x80"));
    QCOMPARE(image.Size(), qint64(0));
    quint8 rec[64];
    QCOMPARE(image.ReadRecord(rec), 0);
}

void TestFirmwareImage::images_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("bOk");
    QTest::addColumn<QString>("problem");  // part of the explanation

    const QByteArray three = Records(3);
    QTest::newRow("one record") << Record(0x06, 0) << true << QString();
    QTest::newRow("64k+13") << Records(5) + Record(0x01, 9, 13) << true << QString();
    QTest::newRow("a single byte FE") << QByteArray(1, char(0xFE)) << true << QString();
    QTest::newRow("second record not FE") << Record(0x06, 0) + QByteArray(64, '\0') << false << "0x40";
    QTest::newRow("short last record not FE") << three + QByteArray(13, char(0xFD)) << false << "0xfd";
    QTest::newRow("short last record FF FF") << three + QByteArray(2, char(0xFF)) << false << "0xff";
    QTest::newRow("text file") << QByteArray("This is not a firmware image.\n") << false << "0x54";

    // Part-selection headers.
    QTest::newRow("header, parts A and B") << Header(0x21, 64, 0x22, 64 + 128) + Records(4) << true << QString();
    QTest::newRow("header first, parts at the same offset") << Header(0x21, 64, 0x22, 64) + Records(2) << true
                                                            << QString();
    QTest::newRow("header after records") << Records(2) + Header(1, 192, 2, 256) + Records(2) << true << QString();
    QTest::newRow("header cut short at the end") << three + Header(1, 0, 2, 0).left(40) << false << "cut short";
    QTest::newRow("header of 4 bytes") << three + QByteArray(4, char(0xFF)) << false << "cut short";
    QTest::newRow("part A on its own header") << Header(1, 0, 2, 64) + Records(2) << false << "part A";
    QTest::newRow("part B back before the header") << Records(1) + Header(1, 128, 2, 0) + Records(2) << false
                                                   << "part B";
    QTest::newRow("part A at the end of the file") << Header(1, 192, 2, 64) + Records(2) << false << "part A";
    QTest::newRow("part B far outside") << Header(1, 64, 2, 0xFFFFFFF0u) + Records(2) << false << "part B";
    QTest::newRow("part A inside a record") << Header(1, 70, 2, 64) + Records(2) << false << "not a record";
    QTest::newRow("part A on another header")
        << Header(1, 64, 2, 128) + Header(3, 128, 4, 128) + Records(1) << false << "not a record";
    // A header reached through a data record after another header is a
    // header again.
    QTest::newRow("nested header, all inside") << Header(1, 192, 2, 192) + Record(0x01, 1)
                                                      + Header(3, 256, 4, 256) + Records(2)
                                               << true << QString();
    // The record right after a header is sent as it is read: another header
    // there would go to the frame (found by the fuzz target).
    QTest::newRow("header right after a header") << Header(1, 128, 2, 256) + Header(3, 192, 4, 256) + Records(3)
                                                 << false << "the record after the header at 0x0 starts with 0xff";
    // A last header has nowhere to go: its parts lie outside the file.
    QTest::newRow("header as the last record") << Records(2) + Header(1, 0, 2, 0) << false << "part A";

    // A part that starts off the 64-byte grid is read in records from there.
    {
        QByteArray img = Header(1, 64 + 10, 2, 64) + Records(3);
        img[74] = char(0xFE);
        img[138] = char(0xFE);
        img[202] = char(0xFE);  // the short tail of that path
        QTest::newRow("part A off the grid, sound") << img << true << QString();
        img[202] = char(0x00);
        QTest::newRow("part A off the grid, short tail bad") << img << false << "0xca";
    }
    {
        // Part B's path runs into a bad record that the other paths skip.
        QByteArray img = Header(1, 128, 2, 64 + 5) + Records(3);
        img[69] = char(0xFE);
        img[133] = char(0x33);
        QTest::newRow("bad record only on part B's path") << img << false << "0x33";
    }
}

void TestFirmwareImage::images()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, bOk);
    QFETCH(QString, problem);

    CFirmwareImage image;
    const Status eStatus = image.LoadData(data);
    QCOMPARE(eStatus == Status::Ok, bOk);
    QCOMPARE(image.GetStatus(), eStatus);
    if (bOk) {
        QVERIFY(image.Problem().isEmpty());
        QCOMPARE(image.Size(), qint64(data.size()));
    } else {
        QCOMPARE(eStatus, Status::ReadError);
        QVERIFY2(image.Problem().contains(problem), qPrintable(image.Problem()));
    }
}

void TestFirmwareImage::recordsOfAnUnevenImage()
{
    // 64 * 4 + 13 bytes: four whole records and a short one padded with zeros.
    const QByteArray data = Records(4) + Record(0x01, 4, 13);
    CFirmwareImage image;
    QCOMPARE(image.LoadData(data), Status::Ok);
    QCOMPARE(image.Size(), qint64(64 * 4 + 13));

    QList<int> lengths;
    QByteArray sent;
    quint8 rec[64];
    memset(rec, 0xAA, sizeof(rec));
    while (!image.AtEnd()) {
        const int n = image.ReadRecord(rec);
        lengths << n;
        sent += QByteArray(reinterpret_cast<const char*>(rec), 64);
    }
    QCOMPARE(lengths, (QList<int>{64, 64, 64, 64, 13}));
    QCOMPARE(sent.left(data.size()), data);
    QCOMPARE(sent.mid(data.size()), QByteArray(64 - 13, '\0'));
    QCOMPARE(image.ReadRecord(rec), 0);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(rec), 64), QByteArray(64, '\0'));
}

void TestFirmwareImage::partOffsets_data()
{
    QTest::addColumn<quint32>("typeA");
    QTest::addColumn<quint32>("typeB");
    QTest::addColumn<quint32>("mcu");
    QTest::addColumn<qint64>("offset");
    QTest::newRow("A") << 0x21u << 0x22u << 0x21u << qint64(0x100);
    QTest::newRow("B") << 0x21u << 0x22u << 0x22u << qint64(0x200);
    QTest::newRow("neither") << 0x21u << 0x22u << 0x23u << qint64(-1);
    QTest::newRow("both: A first") << 0x21u << 0x21u << 0x21u << qint64(0x100);
    QTest::newRow("type 0 is A") << 0u << 0x22u << 0u << qint64(0x100);
}

void TestFirmwareImage::partOffsets()
{
    QFETCH(quint32, typeA);
    QFETCH(quint32, typeB);
    QFETCH(quint32, mcu);
    QFETCH(qint64, offset);
    const QByteArray h = Header(typeA, 0x100, typeB, 0x200);
    const auto* p = reinterpret_cast<const quint8*>(h.constData());
    QVERIFY(CFirmwareImage::IsPartHeader(p, 64));
    QVERIFY(CFirmwareImage::IsPartHeader(p, 4));
    QVERIFY(!CFirmwareImage::IsPartHeader(p, 3));
    QVERIFY(!CFirmwareImage::IsPartHeader(nullptr, 64));
    const CFirmwareImage::PartHeader header = CFirmwareImage::ParseHeader(p);
    QCOMPARE(header.nTypeA, typeA);
    QCOMPARE(header.nOffsetA, 0x100u);
    QCOMPARE(header.nTypeB, typeB);
    QCOMPARE(header.nOffsetB, 0x200u);
    QCOMPARE(CFirmwareImage::PartOffset(header, mcu), offset);
}

void TestFirmwareImage::seekAndReadAfterAHeader()
{
    const QByteArray data = Header(0x21, 64 + 128, 0x22, 64) + Records(4);
    CFirmwareImage image;
    QCOMPARE(image.LoadData(data), Status::Ok);
    quint8 rec[64];
    QCOMPARE(image.ReadRecord(rec), 64);
    QVERIFY(CFirmwareImage::IsPartHeader(rec, 64));
    const qint64 nPart = CFirmwareImage::PartOffset(CFirmwareImage::ParseHeader(rec), 0x21);
    QVERIFY(image.Seek(nPart));
    QCOMPARE(image.ReadRecord(rec), 64);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(rec), 64), data.mid(nPart, 64));
    QCOMPARE(image.Pos(), nPart + 64);

    QVERIFY(!image.Seek(-1));
    QVERIFY(!image.Seek(data.size() + 1));
    QCOMPARE(image.Pos(), nPart + 64);
    QVERIFY(image.Seek(data.size()));
    QVERIFY(image.AtEnd());
    QCOMPARE(image.ReadRecord(rec), 0);
}

void TestFirmwareImage::manyChainedHeadersAreCheckedQuickly()
{
    // A hostile image: every other record a header naming both the next
    // record and every later one; the check still visits each start once.
    const int nPairs = 2048;
    QByteArray data;
    for (int i = 0; i < nPairs; ++i) {
        const quint32 nNext = quint32(data.size() + 64);
        data += Header(1, nNext, 2, nNext);
        data += Record(0x01, i);
    }
    // Both parts of every header lead to the same record: a check that
    // followed each path on its own would take 2^2048 walks and never end.
    CFirmwareImage image;
    QCOMPARE(image.LoadData(data), Status::Ok);

    // The same image with one off-grid offset at the end that lands on data.
    QByteArray bad = data;
    PutU32(&bad, bad.size() - 128 + 20, quint32(bad.size() - 64 + 3));
    QCOMPARE(image.LoadData(bad), Status::ReadError);
}

STATION_TEST_MAIN_CORE(TestFirmwareImage)
#include "tst_firmwaredownload_image.moc"
