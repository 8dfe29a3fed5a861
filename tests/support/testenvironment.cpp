#include "testenvironment.h"

#include "localclock.h"
#include "stationclock.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdlib>

namespace {
QTemporaryDir *g_settingsDir = nullptr;
QTemporaryDir *g_workDir = nullptr;
} // namespace

void CTestEnvironment::Isolate()
{
    if (g_settingsDir)
        return;
    g_settingsDir = new QTemporaryDir(QDir::tempPath() + "/station-settings-XXXXXX");
    g_workDir = new QTemporaryDir(QDir::tempPath() + "/station-work-XXXXXX");
    // The folders outlive every test object; remove them when the process ends.
    std::atexit([] {
        QDir::setCurrent(QDir::tempPath());
        delete g_workDir;
        g_workDir = nullptr;
        delete g_settingsDir;
        g_settingsDir = nullptr;
    });
    const QString settings = g_settingsDir->path();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings);
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, settings + "/system");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings);
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, settings + "/system");
    QDir::setCurrent(g_workDir->path());
}

QString CTestEnvironment::SettingsDir()
{
    Isolate();
    return g_settingsDir->path();
}

QString CTestEnvironment::WorkDir()
{
    Isolate();
    return g_workDir->path();
}

void CTestEnvironment::ClearSettings()
{
    QDir dir(SettingsDir());
    const auto entries = dir.entryInfoList(QDir::NoDotAndDotDot | QDir::AllEntries);
    for (const QFileInfo &fi : entries) {
        if (fi.isDir())
            QDir(fi.absoluteFilePath()).removeRecursively();
        else
            QFile::remove(fi.absoluteFilePath());
    }
}

void CTestEnvironment::FastClock(double dScale)
{
    CStationClock::SetTimeoutScale(dScale);
    CStationClock::SetSleepHook([](int) {});
}

void CTestEnvironment::RealClock()
{
    CStationClock::SetTimeoutScale(1.0);
    CStationClock::SetTimeoutFloor(0);
    CStationClock::SetSleepHook(nullptr);
    CLocalClock::SetSource(nullptr);
}

void CTestEnvironment::FixLocalTime(const QDateTime &time)
{
    CLocalClock::SetFixed(time);
}

QString CTestEnvironment::OutputDir()
{
    QString dir = QString::fromLocal8Bit(qgetenv("STATION_TEST_OUT"));
    if (dir.isEmpty())
        dir = QDir::tempPath() + "/station-test-output";
    QDir().mkpath(dir);
    return dir;
}

namespace {
CScopedWorkDir *g_pNewestWorkDir = nullptr;
} // namespace

CScopedWorkDir::CScopedWorkDir()
    : m_strPrevious(QDir::currentPath()),
      m_dir(new QTemporaryDir(QDir::tempPath() + "/station-case-XXXXXX")),
      m_pOuter(g_pNewestWorkDir)
{
    g_pNewestWorkDir = this;
    QDir::setCurrent(m_dir->path());
}

CScopedWorkDir::~CScopedWorkDir()
{
    if (g_pNewestWorkDir == this) {
        QDir::setCurrent(m_strPrevious);
        g_pNewestWorkDir = m_pOuter;
        return;
    }
    // A newer one is current: it stays so, and returns to this one's
    // previous folder in the end.
    for (CScopedWorkDir *p = g_pNewestWorkDir; p; p = p->m_pOuter) {
        if (p->m_pOuter == this) {
            p->m_pOuter = m_pOuter;
            p->m_strPrevious = m_strPrevious;
            break;
        }
    }
}

QString CScopedWorkDir::Path() const
{
    return m_dir->path();
}
