// The upgrade log: the table of the view and the file of each opening, in
// the folder "UpgradeLog" beside the program (a folder of the test's own) or
// in the working folder when the program's folder cannot take it. The local
// time that names the file and stamps the rows is the test's.

#include "runlogcapture.h"
#include "stationresources.h"
#include "upgradestation.h"

#include <QFileInfo>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {
const QString kRefusal = QStringLiteral("Upgrade in progress, can't respond to exit!");
} // namespace

class TestUpgradeLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fileHoldsTheRowsOfItsOpening();
    void openingsWithinOneSecond();
    void clearingTheTableContinuesTheFile();
    void refusalWhileHiddenReachesTheTableOnly();
    void listOfPairs();
    void placeOfTheFile_data();
    void placeOfTheFile();
    void aLineTheDiskRefusesIsTold_data();
    void aLineTheDiskRefusesIsTold();

private:
    QDateTime m_now;
    std::unique_ptr<CUpgradeStation> m;
};

void TestUpgradeLog::initTestCase()
{
    InitStationResources();
}

void TestUpgradeLog::init()
{
    CTestEnvironment::FastClock(0.02);
    CCustomerSettings::GetInstance()->clear();
    m = std::make_unique<CUpgradeStation>();
    m_now = QDateTime(QDate(2024, 5, 6), QTime(13, 45, 10, 123));
    CLocalClock::SetSource([this] { return m_now; });
}

void TestUpgradeLog::cleanup()
{
    m.reset();
    CTestEnvironment::RealClock();
}

void TestUpgradeLog::fileHoldsTheRowsOfItsOpening()
{
    const QString image = m->WriteImage(2);
    QVERIFY(m->Open());
    const QString path = m->ProgramDir() + QStringLiteral("/UpgradeLog/2024-05-06-13-45-10-123-CVUpgrade.txt");
    QCOMPARE(m->view->LogFilePath(), path);
    QCOMPARE(m->Rows().first(), QStringLiteral("Generate log file:") + path);
    QCOMPARE(m->Table()->item(0, 0)->text(), QStringLiteral("2024-05-06 13:45:10"));
    QCOMPARE(m->Table()->item(0, 1)->toolTip(), m->Rows().first());

    // Rows of every kind, over more than one second.
    QTest::mouseClick(m->UpgradeButton(), Qt::LeftButton);
    QVERIFY(m->Settle());
    m_now = m_now.addSecs(2);
    m->Emit("UpdateLog", QString(), 0);
    m->Emit("UpdateLog", QStringLiteral("Ready to upgrade – 准备升级"), 0);
    QTest::keyClick(m->view, Qt::Key_Escape);  // the refusal, while visible
    m->CancelAction()->trigger();
    QVERIFY(m->Settle());
    const QStringList rows = m->TableLines();
    QVERIFY(rows.contains(QStringLiteral("2024-05-06 13:45:12 ")));
    QVERIFY(rows.contains(QStringLiteral("2024-05-06 13:45:12 ") + kRefusal));
    // Every line is on disk as soon as its row is in the table.
    QCOMPARE(CUpgradeStation::ReadFile(path), CUpgradeStation::FileOf(rows));

    QVERIFY(m->view->close());
    QCOMPARE(CUpgradeStation::ReadFile(path), CUpgradeStation::FileOf(rows));
    // Rows while the view is closed reach the table only.
    m->view->InsertUsbDeviceForUpgrade(false);
    QCOMPARE(m->Rows().last(), QStringLiteral("Device is disconnected"));
    QCOMPARE(CUpgradeStation::ReadFile(path), CUpgradeStation::FileOf(rows));

    // Every opening has a file of its own, even one at the millisecond of an
    // earlier one; the first is never written again.
    QVERIFY(m->Open());
    const QString second = m->ProgramDir() + QStringLiteral("/UpgradeLog/2024-05-06-13-45-12-123-CVUpgrade.txt");
    m_now = m_now.addSecs(-2);
    QVERIFY(m->view->close());
    QVERIFY(m->Open());
    const QString third = m->ProgramDir() + QStringLiteral("/UpgradeLog/2024-05-06-13-45-10-124-CVUpgrade.txt");
    QCOMPARE(m->view->LogFilePath(), third);
    QCOMPARE(m->Rows().size(), 2);
    QCOMPARE(m->Rows().first(), QStringLiteral("Generate log file:") + third);
    QCOMPARE(CUpgradeStation::ReadFile(path), CUpgradeStation::FileOf(rows));
    QVERIFY(QFileInfo::exists(second));
    QCOMPARE(QDir(m->ProgramDir() + "/UpgradeLog").entryList(QDir::Files).size(), 3);
}

void TestUpgradeLog::openingsWithinOneSecond()
{
    QVERIFY(m->Open());
    const QString first = m->view->LogFilePath();
    QVERIFY(m->view->close());
    m_now = m_now.addMSecs(333);
    QVERIFY(m->Open());
    const QString second = m->view->LogFilePath();
    QVERIFY(first.endsWith(QLatin1String("/2024-05-06-13-45-10-123-CVUpgrade.txt")));
    QVERIFY(second.endsWith(QLatin1String("/2024-05-06-13-45-10-456-CVUpgrade.txt")));
    QVERIFY(QFileInfo::exists(first));
    QVERIFY(QFileInfo::exists(second));
}

void TestUpgradeLog::clearingTheTableContinuesTheFile()
{
    QVERIFY(m->Open());
    m->Emit("UpdateLog", QStringLiteral("before"), 0);
    const QStringList before = m->TableLines();
    m->view->ClearLogAction_event();
    QCOMPARE(m->Table()->rowCount(), 0);
    m->Emit("UpdateLog", QStringLiteral("after"), 0);
    QCOMPARE(m->Rows(), QStringList{"after"});
    QCOMPARE(m->Table()->item(0, 1)->text(), QStringLiteral("after"));
    QVERIFY(m->view->close());
    QCOMPARE(CUpgradeStation::ReadFile(m->view->LogFilePath()),
             CUpgradeStation::FileOf(before + m->TableLines()));
}

void TestUpgradeLog::refusalWhileHiddenReachesTheTableOnly()
{
    m->WriteImage(2);
    QVERIFY(m->Open());
    QTest::mouseClick(m->UpgradeButton(), Qt::LeftButton);
    QVERIFY(m->Settle());
    const QStringList lines = m->TableLines();
    m->view->hide();
    QVERIFY(!m->view->close());
    QCOMPARE(m->Rows().last(), kRefusal);
    QCOMPARE(CUpgradeStation::ReadFile(m->view->LogFilePath()), CUpgradeStation::FileOf(lines));
    // Shown again, the file goes on.
    m->view->show();
    m->CancelAction()->trigger();
    QCOMPARE(CUpgradeStation::ReadFile(m->view->LogFilePath()),
             CUpgradeStation::FileOf(lines + QStringList{"2024-05-06 13:45:10 Upgrade canceled"}));
}

void TestUpgradeLog::listOfPairs()
{
    QVERIFY(m->Open());
    const int nRows = m->Rows().size();
    emit m->view->EmitUpdateLog({{"A", "1"}, {"B", "2"}});
    QCOMPARE(m->RowsFrom(nRows), (QStringList{"", "A: 1", "B: 2"}));
}

void TestUpgradeLog::placeOfTheFile_data()
{
    // What stands in the program's and the working folder's place of
    // "UpgradeLog": "free", "file" (a regular file of that name), "gone"
    // (the program's folder itself is missing).
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("work");
    QTest::addColumn<QString>("where");  // "program", "work", or "" for none

    QTest::newRow("beside the program") << "free" << "free" << "program";
    QTest::newRow("a file in the way") << "file" << "free" << "work";
    QTest::newRow("no program folder") << "gone" << "free" << "work";
    QTest::newRow("a file in both places") << "file" << "file" << "";
    QTest::newRow("no program folder, a file in the working one") << "gone" << "file" << "";
}

void TestUpgradeLog::placeOfTheFile()
{
    QFETCH(QString, program);
    QFETCH(QString, work);
    QFETCH(QString, where);

    auto block = [](const QString& base) {
        QFile f(base + QStringLiteral("/UpgradeLog"));
        return f.open(QIODevice::WriteOnly) && f.write("not a folder") > 0;
    };
    QString programDir = m->ProgramDir();
    if (program == QLatin1String("file"))
        QVERIFY(block(programDir));
    if (program == QLatin1String("gone")) {
        programDir += QStringLiteral("/missing");
        CUpgradeLogFile::SetProgramDir(programDir);
    }
    if (work == QLatin1String("file"))
        QVERIFY(block(m->WorkDir()));

    CRunLogCapture log;
    m->WriteImage(2);
    QVERIFY(m->Open());
    const QString name = QStringLiteral("/UpgradeLog/2024-05-06-13-45-10-123-CVUpgrade.txt");
    const QString first = m->Rows().first();
    if (where.isEmpty()) {
        QCOMPARE(first, QStringLiteral("Failed to generate log file:") + m->WorkDir() + name);
        const QStringList warnings = log.Lines(QtWarningMsg).filter("CreateUpgradeLogFile");
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings[0].contains(programDir + QStringLiteral("/UpgradeLog")), qPrintable(warnings[0]));
        QVERIFY2(warnings[0].contains(m->WorkDir() + QStringLiteral("/UpgradeLog")), qPrintable(warnings[0]));
        // The table works as usual.
        QTest::mouseClick(m->UpgradeButton(), Qt::LeftButton);
        QVERIFY(m->Settle());
        QCOMPARE(m->Rows().last(), QStringLiteral("Enter upgrade mode"));
        m->CancelAction()->trigger();
        QVERIFY(m->view->close());
        QVERIFY(!QFileInfo::exists(m->ProgramDir() + name));
        QVERIFY(!QFileInfo::exists(m->WorkDir() + name));
        return;
    }
    const QString expected = (where == QLatin1String("program") ? programDir : m->WorkDir()) + name;
    QCOMPARE(first, QStringLiteral("Generate log file:") + expected);
    QVERIFY(log.Lines(QtWarningMsg).filter("CreateUpgradeLogFile").isEmpty());
    QVERIFY(m->view->close());
    QCOMPARE(CUpgradeStation::ReadFile(expected), CUpgradeStation::FileOf(m->TableLines()));
    if (where == QLatin1String("work"))
        QVERIFY(!QFileInfo::exists(m->ProgramDir() + name));
}

void TestUpgradeLog::aLineTheDiskRefusesIsTold_data()
{
    QTest::addColumn<QString>("disk");
    QTest::addColumn<QString>("reason");
    // Every write fails at once.
    QTest::newRow("no space left") << "full" << "No space left on device";
    // The disk takes the first bytes of the line: a short write, which sets
    // no reason of its own.
    QTest::newRow("room for part of a line") << "limit" << "File too large";
}

void TestUpgradeLog::aLineTheDiskRefusesIsTold()
{
    QFETCH(QString, disk);
    QFETCH(QString, reason);

    QVERIFY(m->Open());
    const QString path = m->view->LogFilePath();
    m->Emit("UpdateLog", QStringLiteral("before"), 0);
    const QStringList taken = m->TableLines();
    QCOMPARE(CUpgradeStation::ReadFile(path), CUpgradeStation::FileOf(taken));

    CRunLogCapture log;
    int nSavedFd = -1;
    int nFd = -1;
    rlimit oldLimit{};
    void (*oldHandler)(int) = nullptr;
    if (disk == QLatin1String("full")) {
        // The log file's own descriptor now writes to a full device.
        const QDir fds(QStringLiteral("/proc/self/fd"));
        for (const QFileInfo& entry : fds.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
            if (entry.symLinkTarget() == path)
                nFd = entry.fileName().toInt();
        }
        QVERIFY(nFd > 2);
        nSavedFd = ::dup(nFd);
        const int nFull = ::open("/dev/full", O_WRONLY);
        QVERIFY(nFull >= 0);
        QVERIFY(::dup2(nFull, nFd) == nFd);
        ::close(nFull);
    } else {
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(getrlimit(RLIMIT_FSIZE, &oldLimit) == 0);
        rlimit lim = oldLimit;
        lim.rlim_cur = rlim_t(QFileInfo(path).size() + 10);
        QVERIFY(setrlimit(RLIMIT_FSIZE, &lim) == 0);
    }
    m->Emit("UpdateLog", QStringLiteral("a line longer than the room the disk has left"), 0);
    m->Emit("UpdateLog", QStringLiteral("the next line"), 0);
    if (disk == QLatin1String("full")) {
        // The file's place again (the descriptor is closed by now, or is
        // closed with it).
        ::close(nSavedFd);
    } else {
        setrlimit(RLIMIT_FSIZE, &oldLimit);
        std::signal(SIGXFSZ, oldHandler);
    }
    m->Emit("UpdateLog", QStringLiteral("with room again"), 0);

    // The table goes on; one row says that the file stopped, and why.
    const QString failure = QStringLiteral("Failed to generate log file:") + path + QStringLiteral(": ") + reason;
    QCOMPARE(m->RowsFrom(taken.size()),
             (QStringList{"a line longer than the room the disk has left", failure, "the next line",
                          "with room again"}));
    // The same reason in one Warning.
    const QStringList warnings = log.Lines(QtWarningMsg).filter(QStringLiteral("CUpgradeLogFile"));
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings[0].contains(path) && warnings[0].contains(reason), qPrintable(warnings[0]));
    // The file keeps whole lines: those before the failure, and nothing later.
    QCOMPARE(CUpgradeStation::ReadFile(path), CUpgradeStation::FileOf(taken));
    QVERIFY(m->view->close());
    QCOMPARE(CUpgradeStation::ReadFile(path), CUpgradeStation::FileOf(taken));
    // The next opening has a file that takes its lines.
    m_now = m_now.addSecs(1);
    QVERIFY(m->Open());
    QCOMPARE(CUpgradeStation::ReadFile(m->view->LogFilePath()), CUpgradeStation::FileOf(m->TableLines()));
}

STATION_TEST_MAIN(TestUpgradeLog)
#include "tst_upgradelog.moc"
