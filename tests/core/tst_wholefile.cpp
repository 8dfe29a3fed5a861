// Whole-file writes: the file at the path holds all the data or is left as it
// was, and a disk that takes less than all of it is a failure with the
// system's reason. Folders made with their missing levels, or the first level
// that could not be made with the system's reason.

#include "filemodesenforced.h"
#include "filesizelimit.h"
#include "readfile.h"
#include "testenvironment.h"
#include "wholefile.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QtTest>

#include <cerrno>
#include <memory>

#include <sys/stat.h>

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
    void folderPath_data();
    void folderPath();
    void boundedRead_data();
    void boundedRead();
    void appendWholeOrNothing();

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

void TestWholeFile::folderPath_data()
{
    QTest::addColumn<QString>("folder");   // to make, below the working folder
    QTest::addColumn<QString>("failing");  // the level named in the reason, empty: made
    QTest::addColumn<QString>("reason");

    QTest::newRow("three levels missing") << "a/b/c" << "" << "";
    QTest::newRow("there already") << "there" << "" << "";
    QTest::newRow("a file in the way above") << "file/b/c" << "file" << "File exists";
    QTest::newRow("a file at its place") << "file" << "file" << "File exists";
    // Below a folder it cannot write: its first missing level fails, with
    // the reason of that mkdir (a read-only mount gives its own).
    QTest::newRow("a folder it cannot write") << "locked/b/c" << "locked/b" << "Permission denied";
    QTest::newRow("a folder it cannot search") << "closed/b" << "closed/b" << "Permission denied";
}

void TestWholeFile::folderPath()
{
    QFETCH(QString, folder);
    QFETCH(QString, failing);
    QFETCH(QString, reason);
    QVERIFY(QDir().mkdir("there"));
    QFile file("file");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(QDir().mkdir("locked") && QDir().mkdir("closed"));
    QVERIFY(::chmod("locked", 0555) == 0 && ::chmod("closed", 0666) == 0);
    const auto open = qScopeGuard([] { ::chmod("locked", 0755), ::chmod("closed", 0755); });
    auto modes = std::make_unique<CFileModesEnforced>();
    QVERIFY(modes->IsActive());

    QString strError = QStringLiteral("stale");
    const bool bMade = MakeFolderPath(folder, &strError);
    modes.reset();

    if (failing.isEmpty()) {
        QVERIFY2(bMade, qPrintable(strError));
        QCOMPARE(strError, QString());
        QVERIFY(QFileInfo(folder).isDir());
        return;
    }
    QVERIFY(!bMade);
    QCOMPARE(strError,
             QStringLiteral("the folder %1 cannot be made: %2").arg(QDir::current().absoluteFilePath(failing), reason));
    QVERIFY(!QFileInfo(folder).isDir());
}

void TestWholeFile::boundedRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("reason");
    QTest::newRow("absent") << "absent" << int(EFileRead::Missing) << "does not exist";
    QTest::newRow("empty") << "empty" << int(EFileRead::Read) << "";
    QTest::newRow("at the bound") << "16" << int(EFileRead::Read) << "";
    QTest::newRow("one byte over") << "17" << int(EFileRead::TooLarge)
                                   << "is 17 bytes, more than the 16 bytes such a file may have";
    QTest::newRow("a folder") << "folder" << int(EFileRead::Unreadable) << "is not a plain file";
    // A FIFO would hold its reader until a writer came.
    QTest::newRow("a FIFO") << "fifo" << int(EFileRead::Unreadable) << "is not a plain file";
}

void TestWholeFile::boundedRead()
{
    QFETCH(QString, kind);
    QFETCH(int, result);
    QFETCH(QString, reason);
    const QString strPath = QDir::current().absoluteFilePath("file");
    QByteArray content;
    if (kind == "folder") {
        QVERIFY(QDir().mkdir(strPath));
    } else if (kind == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(strPath).constData(), 0600), 0);
    } else if (kind != "absent") {
        content = kind == "empty" ? QByteArray() : QByteArray(kind.toInt(), 'x');
        QString strError;
        QVERIFY2(WriteWholeFile(strPath, content, &strError), qPrintable(strError));
    }

    QByteArray data("stale");
    QString strError = QStringLiteral("stale");
    QCOMPARE(int(ReadWholeFile(strPath, 16, &data, &strError)), result);
    if (result == int(EFileRead::Read)) {
        QCOMPARE(data, content);
        QCOMPARE(strError, QString());
    } else {
        QCOMPARE(data, QByteArray());
        QVERIFY2(strError.startsWith(strPath) && strError.endsWith(reason), qPrintable(strError));
    }
    QCOMPARE(int(CheckFileSize(strPath, 16, nullptr)), result);
}

// An append the disk takes only in part leaves the file as it was, with the
// system's reason; one it takes whole is there.
void TestWholeFile::appendWholeOrNothing()
{
    QFile file(QStringLiteral("log"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered));
    QString strError = QStringLiteral("stale");
    QVERIFY(AppendWhole(file, "first line\n", &strError));
    QCOMPARE(strError, QString());
    {
        CFileSizeLimit limit(16);
        QVERIFY(limit.IsActive());
        QVERIFY(!AppendWhole(file, "a second line, longer than the limit\n", &strError));
    }
    QCOMPARE(strError, qt_error_string(EFBIG));
    QVERIFY(AppendWhole(file, "third\n", &strError));
    file.close();
    QCOMPARE(StationTest::ReadFile(QStringLiteral("log")), QByteArray("first line\nthird\n"));
}

STATION_TEST_MAIN_CORE(TestWholeFile)
#include "tst_wholefile.moc"
