#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QString>
#include <QTemporaryDir>
#include <memory>

// Puts a test process in a sandbox: settings go to a temporary folder (never
// the user's configuration), the working directory is a fresh temporary
// folder, and the station's waits are shortened.
//
// Call CTestEnvironment::Isolate() before QApplication is built, which the
// STATION_TEST_MAIN macro below does for you.
class CTestEnvironment
{
public:
    // Redirects QSettings (native and INI formats, user and system scope) and
    // XDG_CONFIG_HOME into a temporary folder, and makes a temporary working
    // folder the current directory. Idempotent.
    static void Isolate();

    // The temporary folders chosen by Isolate().
    static QString SettingsDir();
    static QString WorkDir();

    // Removes every settings file written so far (a fresh store for the next case).
    static void ClearSettings();

    // Scales every CStationClock time-out by dScale and makes CStationClock::Sleep
    // return at once (dScale = 0.001 turns 10 s into 10 ms).
    static void FastClock(double dScale = 0.001);
    // Real waits and the real local time again.
    static void RealClock();
    // The local time that names files (CLocalClock) stays at time until
    // RealClock(); the waits are not touched.
    static void FixLocalTime(const QDateTime &time);

    // Folder for files that a reviewer may want to look at (screenshots):
    // $STATION_TEST_OUT or a folder under the system temp.
    static QString OutputDir();
};

// A temporary working directory for one test case; restores the previous one.
// One replaced while it lives (a fixture rebuilt in init() after a failed
// init() skipped cleanup()) leaves the newer folder current, and hands its
// previous folder on to it.
class CScopedWorkDir
{
public:
    CScopedWorkDir();
    ~CScopedWorkDir();
    CScopedWorkDir(const CScopedWorkDir &) = delete;
    CScopedWorkDir &operator=(const CScopedWorkDir &) = delete;
    QString Path() const;

private:
    QString m_strPrevious;
    std::unique_ptr<QTemporaryDir> m_dir;
    CScopedWorkDir *m_pOuter = nullptr; // the one current before this one
};

#define STATION_TEST_MAIN(TestObject)                                   \
    int main(int argc, char *argv[])                                    \
    {                                                                   \
        CTestEnvironment::Isolate();                                    \
        QApplication app(argc, argv);                                   \
        app.setAttribute(Qt::AA_Use96Dpi, true);                        \
        TestObject tc;                                                  \
        QTEST_SET_MAIN_SOURCE_PATH                                      \
        return QTest::qExec(&tc, argc, argv);                           \
    }

#define STATION_TEST_MAIN_CORE(TestObject)                              \
    int main(int argc, char *argv[])                                    \
    {                                                                   \
        CTestEnvironment::Isolate();                                    \
        QCoreApplication app(argc, argv);                               \
        TestObject tc;                                                  \
        QTEST_SET_MAIN_SOURCE_PATH                                      \
        return QTest::qExec(&tc, argc, argv);                           \
    }
