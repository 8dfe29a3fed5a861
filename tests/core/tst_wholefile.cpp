// Whole-file writes: the file at the path holds all the data or is left as it
// was, and a disk that takes less than all of it is a failure with the
// system's reason.

#include "filesizelimit.h"
#include "readfile.h"
#include "testenvironment.h"
#include "wholefile.h"

#include <QDir>
#include <QFile>
#include <QtTest>

class TestWholeFile : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dir.reset(new CScopedWorkDir); }
    void cleanup() { m_dir.reset(); }

    void writesAndReplaces();
    void fullDisk_data();
    void fullDisk();
    void pathThatCannotBeWritten();

private:
    std::unique_ptr<CScopedWorkDir> m_dir;
};

void TestWholeFile::writesAndReplaces()
{
    QString strError = QStringLiteral("stale");
    QVERIFY(WriteWholeFile("a.bin", QByteArray(40000, 'x'), &strError));
    QCOMPARE(strError, QString());
    QCOMPARE(StationTest::ReadFile("a.bin"), QByteArray(40000, 'x'));
    QVERIFY(WriteWholeFile("a.bin", "short", nullptr));
    QCOMPARE(StationTest::ReadFile("a.bin"), QByteArray("short"));
    QVERIFY(WriteWholeFile("empty.bin", QByteArray(), &strError));
    QVERIFY(QFileInfo("empty.bin").isFile());
    QCOMPARE(QFileInfo("empty.bin").size(), qint64(0));
    QCOMPARE(QDir::current().entryList(QDir::Files), (QStringList{"a.bin", "empty.bin"}));
}

void TestWholeFile::fullDisk_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("earlier");
    // QSaveFile keeps up to 16 KiB in its buffer: a smaller file reaches the
    // disk only when it is flushed, a larger one in the write itself.
    QTest::newRow("held in the buffer, nothing fits") << 5000 << 0 << false;
    QTest::newRow("held in the buffer, a part fits") << 5000 << 1000 << false;
    QTest::newRow("written at once, a part fits") << 50000 << 20000 << false;
    QTest::newRow("an earlier file stays") << 5000 << 1000 << true;
}

void TestWholeFile::fullDisk()
{
    QFETCH(int, size);
    QFETCH(int, limit);
    QFETCH(bool, earlier);

    const QByteArray good("the earlier content");
    if (earlier)
        QVERIFY(WriteWholeFile("a.bin", good, nullptr));
    QString strError;
    bool bWritten = true;
    {
        CFileSizeLimit fileLimit{rlim_t(limit)};
        if (!fileLimit.IsActive())
            QSKIP("cannot limit the file size here");
        bWritten = WriteWholeFile("a.bin", QByteArray(size, 'x'), &strError);
    }
    QVERIFY(!bWritten);
    QCOMPARE(strError, QStringLiteral("File too large"));
    if (earlier)
        QCOMPARE(StationTest::ReadFile("a.bin"), good);
    else
        QVERIFY(!QFileInfo::exists("a.bin"));
    // No partial file beside it either.
    QCOMPARE(QDir::current().entryList(QDir::Files | QDir::Hidden), earlier ? QStringList{"a.bin"} : QStringList());
}

void TestWholeFile::pathThatCannotBeWritten()
{
    QString strError;
    QVERIFY(!WriteWholeFile("missing/a.bin", "data", &strError));
    QVERIFY2(!strError.isEmpty(), "no reason given");
    QVERIFY(QDir().mkdir("folder.bin"));
    QVERIFY(!WriteWholeFile("folder.bin", "data", &strError));
    QVERIFY2(!strError.isEmpty(), "no reason given");
    QVERIFY(QFileInfo("folder.bin").isDir());
    QCOMPARE(QDir::current().entryList(QDir::Files | QDir::Hidden), QStringList());
}

STATION_TEST_MAIN_CORE(TestWholeFile)
#include "tst_wholefile.moc"
