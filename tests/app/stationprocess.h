#pragma once

// One start of a station program in a child process: offscreen, in a fresh
// working folder of its own, with the given runtime folder (single-instance
// lock and socket) and settings folder, so that a test decides which starts
// share a session. What it did is read from its run log.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class CStationProcess
{
public:
    static constexpr int kStartMs = 60000; // generous: sanitizer builds start slowly

    // dTimeoutScale reaches the program as STATION_CHILD_TIMEOUT_SCALE (only
    // the test build of the program reads it).
    CStationProcess(const QString& strRuntimeDir, const QString& strConfigDir, double dTimeoutScale = 1.0,
                    const QString& strLang = QStringLiteral("C.UTF-8"),
                    const QStringList& extraEnv = QStringList())
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("LC_ALL");
        env.remove("LC_MESSAGES");
        env.insert("LANG", strLang);
        env.insert("XDG_RUNTIME_DIR", strRuntimeDir);
        env.insert("XDG_CONFIG_HOME", strConfigDir);
        env.insert("STATION_CHILD_TIMEOUT_SCALE", QString::number(dTimeoutScale));
        for (const QString& entry : extraEnv)
            env.insert(entry.section('=', 0, 0), entry.section('=', 1));
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(m_workDir.path());
        m_process.setStandardOutputFile(QProcess::nullDevice());
    }

    ~CStationProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            ::kill(pid_t(m_process.processId()), SIGCONT);
            m_process.kill();
            m_process.waitForFinished(kStartMs);
        }
    }

    CStationProcess(const CStationProcess&) = delete;
    CStationProcess& operator=(const CStationProcess&) = delete;

    // Puts a copy of a file into the working folder (before Start).
    bool CopyIntoWorkDir(const QString& strPath)
    {
        return QFile::copy(strPath, m_workDir.filePath(QFileInfo(strPath).fileName()));
    }

    // Starts the program. Its error output goes to the test's own unless
    // bCaptureErrors (then StandardError() has it).
    void Start(const QString& strProgram, const QStringList& arguments = {}, bool bCaptureErrors = false)
    {
        m_process.setProcessChannelMode(bCaptureErrors ? QProcess::SeparateChannels
                                                       : QProcess::ForwardedErrorChannel);
        if (UnderUmockdevPreload()) {
            // Between its fork and its exec the child has only the thread
            // that forked, yet holds every lock another thread of this
            // process held then. umockdev's chdir() takes a lock its own
            // threads take too, so QProcess's chdir in the child could wait
            // for ever. env enters the folder after the exec, in a process
            // of its own, then becomes the program (same process id).
            m_process.setWorkingDirectory(QString());
            m_process.start(QStringLiteral("/usr/bin/env"),
                            QStringList{QStringLiteral("--chdir=") + m_workDir.path(), strProgram} + arguments);
            return;
        }
        m_process.start(strProgram, arguments);
    }

    QProcess& Process() { return m_process; }
    qint64 Pid() const { return m_process.processId(); }
    QString StandardError() { return QString::fromLocal8Bit(m_process.readAllStandardError()); }

    // The run log of this start (one file in Log/ of its working folder).
    QString Log() const
    {
        const QDir dir(m_workDir.filePath("Log"));
        const QStringList files = dir.entryList({"*.txt"}, QDir::Files, QDir::Name);
        if (files.isEmpty())
            return QString();
        QFile file(dir.filePath(files.last()));
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromUtf8(file.readAll());
    }
    QStringList LogLines() const { return Log().split('\n', Qt::SkipEmptyParts); }
    // The messages of the log's lines, without time, level and source.
    QStringList Messages() const
    {
        QStringList messages;
        for (const QString& line : LogLines())
            messages << line.section(QStringLiteral(")-"), 1);
        return messages;
    }

    // Waits until the run log holds the text (false once the program has
    // ended without writing it).
    bool WaitForLog(const QString& strText, int nMs = kStartMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (!Log().contains(strText)) {
            if (timer.elapsed() > nMs || m_process.state() == QProcess::NotRunning)
                return Log().contains(strText);
            QTest::qWait(20);
        }
        return true;
    }

    bool Finish(int nMs = kStartMs) { return m_process.waitForFinished(nMs); }

    // Ends the program as a session end does; true when it left in order.
    bool Terminate()
    {
        ::kill(pid_t(m_process.processId()), SIGTERM);
        return Finish() && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }

private:
    static bool UnderUmockdevPreload()
    {
        return qEnvironmentVariable("LD_PRELOAD").contains(QLatin1String("libumockdev-preload"));
    }

    QTemporaryDir m_workDir{QDir::tempPath() + "/station-run-XXXXXX"};
    QProcess m_process;
};
