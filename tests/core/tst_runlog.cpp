#include "childtest.h"
#include "filemodesenforced.h"
#include "runlog.h"
#include "testenvironment.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kChildEnv[] = "STATION_RUNLOG_CHILD_DIR";
const char kDiskEnv[] = "STATION_RUNLOG_CHILD_DISK";

// [hh:mm:ss:zzz][Level](file\function:line)-message
const QRegularExpression kLine(
    QStringLiteral(R"(^\[(\d\d):(\d\d):(\d\d):(\d{3})\]\[(Debug|Info|Warning|Critical|Fatal)\]\((.*)\\([^\\:]*):(\d+)\)-(.*)$)"));

QStringList LogFiles(const QString &dir)
{
    return QDir(dir + "/Log").entryList(QDir::Files, QDir::Name);
}

QStringList ReadLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// Waits until the clock's millisecond differs from the one of a stamp
// "yyyyMMdd-hhmmss-zzz".
bool WaitForAnotherMillisecond(const QString &stamp)
{
    for (int i = 0; i < 100000; ++i) {
        if (QLocale::c().toString(QDateTime::currentDateTime(), QStringLiteral("yyyyMMdd-hhmmss-zzz")) != stamp)
            return true;
        QThread::usleep(50);
    }
    return false;
}

// Logs from its destructor, which runs at exit after Qt's own process-wide
// objects (text codecs among them) are gone: it is built before any of them.
struct SLogAtExit
{
    bool armed = false;
    ~SLogAtExit()
    {
        if (!armed)
            return;
        // The test library put its own handler back when it ended; the
        // station's stays installed for the whole process.
        qInstallMessageHandler(LogMessageHandler);
        qInfo().noquote() << QString::fromUtf8("last words \u00e9\u4f20 after the application");
    }
} g_logAtExit;

} // namespace

class TestRunLog : public QObject
{
    Q_OBJECT
private slots:
    void functionName_data()
    {
        QTest::addColumn<QString>("signature");
        QTest::addColumn<QString>("name");
        QTest::newRow("method") << "void CWorkThread::run()" << "run";
        QTest::newRow("virtual destructor") << "virtual CWorkThread::~CWorkThread()" << "~CWorkThread";
        QTest::newRow("free function") << "int main(int, char**)" << "main";
        QTest::newRow("const method, template return")
            << "QList<QPair<QString, QString> >* COperateEnvironment::GetEnvironmentList() const"
            << "GetEnvironmentList";
        QTest::newRow("static in namespace") << "static int ns::CQProcess::Check(const QString&)" << "Check";
        QTest::newRow("anonymous namespace") << "void {anonymous}::Helper(void*)" << "Helper";
        QTest::newRow("clang anonymous namespace") << "void (anonymous namespace)::Helper(void *)" << "Helper";
        QTest::newRow("class template member") << "void QList<T>::append(const T&) [with T = int]" << "append";
        QTest::newRow("function pointer parameter") << "void CFoo::Set(void (*)(void*), int)" << "Set";
        QTest::newRow("lambda keeps the enclosing function")
            << "CHandleWork::PostTask(const QString&)::<lambda(int)>" << "PostTask";
        QTest::newRow("clang lambda") << "auto CFoo::Bar()::(anonymous class)::operator()() const" << "Bar";
        QTest::newRow("call operator") << "bool CFoo::operator()(int) const" << "operator()";
        QTest::newRow("stream operator") << "QDebug operator<<(QDebug, const CFoo&)" << "operator<<";
        QTest::newRow("conversion operator") << "CFoo::operator QString() const" << "operator QString";
        QTest::newRow("already bare") << "StartTest" << "StartTest";
        QTest::newRow("empty") << "" << "";
    }
    void functionName()
    {
        QFETCH(QString, signature);
        QFETCH(QString, name);
        QCOMPARE(LogFunctionName(signature.toLatin1().constData()), name);
    }

    // Must run before anything installs the handler.
    void beforeInstallNothingIsWritten()
    {
        CScopedWorkDir dir;
        qInfo() << "too early";
        QVERIFY(!QDir(dir.Path() + "/Log").exists());
        QVERIFY(RunLogFilePath().isEmpty());
    }

    // Two starts in one second give two files: the names differ in their
    // milliseconds.
    void fileNaming()
    {
        CScopedWorkDir dir;
        QCOMPARE(InstallLogHandler(QString()), 0);
        const QString first = RunLogFilePath();
        // The next start comes in a later millisecond (of the same second, or not).
        const QString firstStamp = QFileInfo(first).completeBaseName();
        QVERIFY(WaitForAnotherMillisecond(firstStamp));
        QCOMPARE(InstallLogHandler(QString()), 0);
        const QString second = RunLogFilePath();
        QCOMPARE(CloseLogFile(), 0);

        QCOMPARE(QFileInfo(first).absolutePath(), QDir(dir.Path() + "/Log").absolutePath());
        const QRegularExpression name(R"(^[0-9]{8}-[0-9]{6}-[0-9]{3}\.txt$)");
        QVERIFY2(name.match(QFileInfo(first).fileName()).hasMatch(), qPrintable(first));
        QVERIFY2(name.match(QFileInfo(second).fileName()).hasMatch(), qPrintable(second));
        QVERIFY(first != second);
        QCOMPARE(LogFiles(dir.Path()), QStringList({QFileInfo(first).fileName(), QFileInfo(second).fileName()}));
        // A prefix goes in front of the time.
        QCOMPARE(InstallLogHandler("Upgrade"), 0);
        QVERIFY2(QRegularExpression(R"(^Upgrade[0-9]{8}-[0-9]{6}-[0-9]{3}\.txt$)")
                     .match(QFileInfo(RunLogFilePath()).fileName())
                     .hasMatch(),
                 qPrintable(RunLogFilePath()));
        QCOMPARE(CloseLogFile(), 0);
    }

    // The time in the name is written with ASCII digits whatever the system's
    // locale (an Arabic one writes its own).
    void fileNameUnderAnArabicLocale()
    {
        CScopedWorkDir dir;
        QProcessEnvironment env = ArabicLocale();
        env.insert(kChildEnv, dir.Path());
        QByteArray output;
        QVERIFY2(RunTestInChild(QStringLiteral("arabicChild"), env, &output), output.constData());
        const QStringList files = LogFiles(dir.Path());
        QCOMPARE(files.size(), 1);
        QVERIFY2(QRegularExpression(R"(^arabic-[0-9]{8}-[0-9]{6}-[0-9]{3}\.txt$)").match(files.first()).hasMatch(),
                 qPrintable(files.first()));
    }

    // The station's local time names the file and stamps its lines.
    void localClockNamesAndStamps()
    {
        CScopedWorkDir dir;
        CTestEnvironment::FixLocalTime(QDateTime(QDate(2024, 3, 7), QTime(9, 5, 4, 7)));
        QCOMPARE(InstallLogHandler("Fixed"), 0);
        const QString path = RunLogFilePath();
        qInfo() << "stamped";
        CloseLogFile();
        CTestEnvironment::RealClock();

        QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("Fixed20240307-090504-007.txt"));
        const QStringList lines = ReadLines(path);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().startsWith("[09:05:04:007][Info]"), qPrintable(lines.first()));
    }

    void lineFormat_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("level");
        QTest::addColumn<QString>("message");
        QTest::newRow("debug") << int(QtDebugMsg) << "Debug" << "Release CWorkThread...";
        QTest::newRow("info") << int(QtInfoMsg) << "Info" << "CheckProcessRunning :In";
        QTest::newRow("warning, empty") << int(QtWarningMsg) << "Warning" << "";
        QTest::newRow("critical") << int(QtCriticalMsg) << "Critical" << "device 0x80000001";
        QTest::newRow("not ascii") << int(QtInfoMsg) << "Info" << QString::fromUtf8("传感器弱 sensor weak");
    }
    void lineFormat()
    {
        QFETCH(int, type);
        QFETCH(QString, level);
        QFETCH(QString, message);
        CScopedWorkDir dir;
        InstallLogHandler(QString());
        const QString path = RunLogFilePath();
        int line = 0;
        switch (QtMsgType(type)) {
        case QtDebugMsg: line = __LINE__; qDebug().noquote() << message; break;
        case QtWarningMsg: line = __LINE__; qWarning().noquote() << message; break;
        case QtCriticalMsg: line = __LINE__; qCritical().noquote() << message; break;
        default: line = __LINE__; qInfo().noquote() << message; break;
        }
        CloseLogFile();

        const QStringList lines = ReadLines(path);
        QCOMPARE(lines.size(), 1);
        const auto m = kLine.match(lines.first());
        QVERIFY2(m.hasMatch(), qPrintable(lines.first()));
        QCOMPARE(m.captured(5), level);
        // Named from the root of the tree, whatever the build machine's path.
        QCOMPARE(m.captured(6), QStringLiteral("tests/core/tst_runlog.cpp"));
        QCOMPARE(m.captured(7), QString("lineFormat"));
        QCOMPARE(m.captured(8).toInt(), line);
        QCOMPARE(m.captured(9), message);
        if (message.isEmpty())
            QVERIFY(lines.first().endsWith(")-"));
    }

    void itemsAreJoinedByOneBlank()
    {
        CScopedWorkDir dir;
        InstallLogHandler(QString());
        const QString path = RunLogFilePath();
        qInfo() << "CheckProcessRunning" << ":In";
        CloseLogFile();
        const QStringList lines = ReadLines(path);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().endsWith(")-CheckProcessRunning :In"), qPrintable(lines.first()));
    }

    void concurrentLinesStayWhole()
    {
        CScopedWorkDir dir;
        InstallLogHandler(QString());
        const QString path = RunLogFilePath();
        constexpr int kThreads = 8;
        constexpr int kLines = 200;
        QList<QThread *> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads << QThread::create([t] {
                for (int i = 0; i < kLines; ++i)
                    qInfo("thread %d line %d %s", t, i, "payload-payload-payload-payload");
            });
            threads.last()->start();
        }
        for (QThread *t : threads) {
            QVERIFY(t->wait(10000));
            delete t;
        }
        CloseLogFile();

        const QStringList lines = ReadLines(path);
        QCOMPARE(lines.size(), kThreads * kLines);
        QSet<QString> seen;
        for (const QString &l : lines) {
            const auto m = kLine.match(l);
            QVERIFY2(m.hasMatch(), qPrintable(l));
            QVERIFY2(m.captured(9).endsWith(" payload-payload-payload-payload"), qPrintable(l));
            seen.insert(m.captured(9));
        }
        QCOMPARE(seen.size(), kThreads * kLines);
    }

    // Files opened and closed while threads log: every line lands whole in
    // one of the files, none is written twice, nothing crashes.
    void reopenWhileThreadsLog()
    {
        CScopedWorkDir dir;
        InstallLogHandler("r0-");
        constexpr int kThreads = 6;
        constexpr int kLines = 300;
        std::atomic<int> running{kThreads};
        QList<QThread *> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads << QThread::create([t, &running] {
                for (int i = 0; i < kLines; ++i)
                    qWarning("stress %d %d", t, i);
                --running;
            });
            threads.last()->start();
        }
        for (int round = 1; running.load() > 0; ++round) {
            if (round % 3 == 0)
                CloseLogFile();
            else
                InstallLogHandler(QStringLiteral("r%1-").arg(round));
            QThread::usleep(200);
        }
        for (QThread *t : threads) {
            QVERIFY(t->wait(10000));
            delete t;
        }
        CloseLogFile();

        QSet<QString> seen;
        const QStringList files = LogFiles(dir.Path());
        QVERIFY(!files.isEmpty());
        for (const QString &file : files) {
            for (const QString &l : ReadLines(dir.Path() + "/Log/" + file)) {
                const auto m = kLine.match(l);
                QVERIFY2(m.hasMatch(), qPrintable(l));
                QVERIFY2(m.captured(9).startsWith("stress "), qPrintable(l));
                QVERIFY2(!seen.contains(m.captured(9)), qPrintable(l));
                seen.insert(m.captured(9));
            }
        }
        QVERIFY(seen.size() <= kThreads * kLines);
    }

    void afterCloseNothingIsWritten()
    {
        CScopedWorkDir dir;
        InstallLogHandler(QString());
        const QString path = RunLogFilePath();
        qInfo() << "kept";
        CloseLogFile();
        qInfo() << "dropped";
        qWarning() << "dropped too";
        QVERIFY(RunLogFilePath().isEmpty());
        const QStringList lines = ReadLines(path);
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.first().endsWith(")-kept"));
    }

    void fatalIsWrittenBeforeAbort()
    {
        CScopedWorkDir dir;
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kChildEnv, dir.Path());
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {"fatalChild"});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        const QStringList files = LogFiles(dir.Path());
        QCOMPARE(files.size(), 1);
        QVERIFY(files.first().startsWith("child-"));
        const QStringList lines = ReadLines(dir.Path() + "/Log/" + files.first());
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(0).endsWith(")-before the stop"));
        const auto m = kLine.match(lines.at(1));
        QVERIFY2(m.hasMatch(), qPrintable(lines.at(1)));
        QCOMPARE(m.captured(5), QString("Fatal"));
        QCOMPARE(m.captured(7), QString("fatalChild"));
        QCOMPARE(m.captured(9), QString("Parameter table broken: 42"));
    }

    void fullDiskGoesToStderr_data()
    {
        QTest::addColumn<QString>("disk");
        QTest::addColumn<QString>("reason");
        // Every write fails at once.
        QTest::newRow("no space left") << "full" << "No space left on device";
        // The disk takes the first bytes of a line: a short write.
        QTest::newRow("file size limit, a line cut short") << "limit" << "File too large";
        // The run log never opens, every line is on stderr, and the reason
        // is the one of the folder (%1: the working folder) that could not
        // be made, not the open's "No such file or directory".
        // "Log" is a file:
        QTest::newRow("no folder for the log") << "no folder" << "the folder %1/Log cannot be made: File exists";
        // The working folder takes no new entry (a read-only mount says
        // "Read-only file system" here):
        QTest::newRow("a folder it cannot write")
            << "read-only" << "the folder %1/Log cannot be made: Permission denied";
    }
    // The disk fills up while the run log is open: the line that failed and
    // every later one go to stderr, after one line that says why.
    void fullDiskGoesToStderr()
    {
        QFETCH(QString, disk);
        QFETCH(QString, reason);
        CScopedWorkDir dir;
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kChildEnv, dir.Path());
        env.insert(kDiskEnv, disk);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {"fullDiskChild"});
        QVERIFY(child.waitForFinished(30000));
        const QByteArray out = child.readAllStandardOutput();
        const QString err = QString::fromUtf8(child.readAllStandardError());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, out.constData());

        const QString folder = QFileInfo(dir.Path()).canonicalFilePath() + "/Log/";
        if (reason.contains("%1"))
            reason = reason.arg(QFileInfo(dir.Path()).canonicalFilePath());
        QStringList messages{"the line the disk refused " + QString(40, 'x'), "and the next one"};
        if (disk == "no folder" || disk == "read-only") {
            messages.prepend("kept in the file");
        } else {
            // The file keeps what it took before the disk was full.
            const QStringList files = LogFiles(dir.Path());
            QCOMPARE(files.size(), 1);
            const QStringList kept = ReadLines(folder + files.first());
            QVERIFY2(!kept.isEmpty() && kept.first().endsWith(")-kept in the file"), qPrintable(kept.join('\n')));
        }

        QStringList lines = err.split('\n');
        lines.removeAll(QString());
        QCOMPARE(lines.filter("The run log ").size(), 1);
        const QRegularExpression why("^The run log " + QRegularExpression::escape(folder)
                                     + R"(full-[0-9]{8}-[0-9]{6}-[0-9]{3}\.txt cannot be written, the lines follow on stderr - )"
                                     + QRegularExpression::escape(reason) + "$");
        const int at = lines.indexOf(why);
        QVERIFY2(at >= 0, qPrintable(err));
        QCOMPARE(lines.size(), at + 1 + messages.size());
        for (int i = 0; i < messages.size(); ++i) {
            const auto m = kLine.match(lines.at(at + 1 + i));
            QVERIFY2(m.hasMatch(), qPrintable(lines.at(at + 1 + i)));
            QCOMPARE(m.captured(5), QString(i + 1 == messages.size() ? "Warning" : "Info"));
            QCOMPARE(m.captured(9), messages.at(i));
        }
    }

    // A line logged while the process exits (a static object's destructor)
    // is written whole, and the exit stays clean.
    void lineAtExitIsWritten()
    {
        CScopedWorkDir dir;
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kChildEnv, dir.Path());
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {"exitChild"});
        QVERIFY(child.waitForFinished(30000));
        const QByteArray output = child.readAll();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
        const QStringList files = LogFiles(dir.Path());
        QCOMPARE(files.size(), 1);
        const QStringList lines = ReadLines(dir.Path() + "/Log/" + files.first());
        QVERIFY2(!lines.isEmpty(), output.constData());
        // Whole: time, level, place and the message in the local encoding.
        const auto m = kLine.match(lines.last());
        QVERIFY2(m.hasMatch(), qPrintable(lines.join('\n')));
        QCOMPARE(m.captured(9), QString::fromUtf8("last words \u00e9\u4f20 after the application"));
    }

    // Runs only in the child process started above.
    void exitChild()
    {
        const QString dir = QString::fromLocal8Bit(qgetenv(kChildEnv));
        if (dir.isEmpty())
            QSKIP("runs as a child of lineAtExitIsWritten");
        QDir::setCurrent(dir);
        InstallLogHandler("exit-");
        qInfo() << "running";
        g_logAtExit.armed = true;
    }

    // Runs only in the child process started above.
    void fullDiskChild()
    {
        const QString dir = QString::fromLocal8Bit(qgetenv(kChildEnv));
        if (dir.isEmpty())
            QSKIP("runs as a child of fullDiskGoesToStderr");
        QDir::setCurrent(dir);
        const QByteArray disk = qgetenv(kDiskEnv);
        if (disk == "no folder") {
            QFile blocker("Log");
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        const QByteArray here = QFile::encodeName(dir);
        std::unique_ptr<CFileModesEnforced> modes;
        if (disk == "read-only") {
            QVERIFY(::chmod(here.constData(), 0555) == 0);
            modes = std::make_unique<CFileModesEnforced>();
            QVERIFY(modes->IsActive());
        }
        const auto writable = qScopeGuard([&] {
            modes.reset();
            if (disk == "read-only")
                ::chmod(here.constData(), 0755);
        });
        InstallLogHandler("full-");
        qInfo() << "kept in the file";
        const QString path = RunLogFilePath();
        QCOMPARE(path.isEmpty(), disk == "no folder" || disk == "read-only");
        if (disk == "full") {
            // The open log's descriptor now writes to a full device.
            int fd = -1;
            for (const QFileInfo &entry : QDir("/proc/self/fd").entryInfoList(QDir::AllEntries | QDir::System)) {
                if (entry.symLinkTarget() == QFileInfo(path).canonicalFilePath())
                    fd = entry.fileName().toInt();
            }
            QVERIFY(fd > 2);
            const int full = ::open("/dev/full", O_WRONLY);
            QVERIFY(full >= 0);
            QVERIFY(::dup2(full, fd) == fd);
            ::close(full);
        } else if (disk == "limit") {
            // Room for a few bytes more.
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit lim{};
            QVERIFY(getrlimit(RLIMIT_FSIZE, &lim) == 0);
            lim.rlim_cur = rlim_t(QFileInfo(path).size() + 10);
            QVERIFY(setrlimit(RLIMIT_FSIZE, &lim) == 0);
        }
        qInfo().noquote() << "the line the disk refused" << QString(40, 'x');
        qWarning() << "and the next one";
        CloseLogFile();
    }

    // Runs only in the child process started above.
    void arabicChild()
    {
        const QString dir = QString::fromLocal8Bit(qgetenv(kChildEnv));
        if (dir.isEmpty())
            QSKIP("runs as a child of fileNameUnderAnArabicLocale");
        // The locale does write its own digits here.
        QCOMPARE(QLocale::system().toString(QDate(2024, 3, 7), QStringLiteral("yyyy")), QString::fromUtf8("٢٠٢٤"));
        QDir::setCurrent(dir);
        InstallLogHandler("arabic-");
        CloseLogFile();
    }

    // Runs only in the child process started above.
    void fatalChild()
    {
        const QString dir = QString::fromLocal8Bit(qgetenv(kChildEnv));
        if (dir.isEmpty())
            QSKIP("runs as a child of fatalIsWrittenBeforeAbort");
        // abort() skips destructors: leave no sandbox folders and no core file.
        QDir(CTestEnvironment::SettingsDir()).removeRecursively();
        QDir(CTestEnvironment::WorkDir()).removeRecursively();
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        QDir::setCurrent(dir);
        InstallLogHandler("child-");
        qInfo() << "before the stop";
        qFatal("Parameter table broken: %d", 42);
    }
};

STATION_TEST_MAIN_CORE(TestRunLog)
#include "tst_runlog.moc"
