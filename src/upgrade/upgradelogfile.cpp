#include "upgradelogfile.h"

#include "wholefile.h"

#include "localclock.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>

namespace {
const char* const kFolder = "UpgradeLog";
const char* const kSuffix = "-CVUpgrade.txt";
// Names tried after a taken one, a millisecond apart.
constexpr int kNameAttempts = 1000;

QString& ProgramDirOverride()
{
    static QString s_dir;
    return s_dir;
}

} // namespace

CUpgradeLogFile::CUpgradeLogFile() = default;

CUpgradeLogFile::~CUpgradeLogFile()
{
    Close();
}

QString CUpgradeLogFile::ProgramDir()
{
    const QString& dir = ProgramDirOverride();
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() : dir;
}

void CUpgradeLogFile::SetProgramDir(const QString& dir)
{
    ProgramDirOverride() = dir;
}

QString CUpgradeLogFile::FileName(const QString& folder, const QDateTime& t)
{
    return folder + QLatin1Char('/') + t.toString(QStringLiteral("yyyy-MM-dd-hh-mm-ss-zzz"))
        + QLatin1String(kSuffix);
}

bool CUpgradeLogFile::Create()
{
    Close();
    m_strPath.clear();
    m_strProblem.clear();
    m_strWriteProblem.clear();

    const QDateTime now = CLocalClock::Now();
    const QString programDir = QDir::cleanPath(ProgramDir());
    const QString workDir = QDir::cleanPath(QDir::currentPath());
    QStringList bases{programDir};
    if (workDir != programDir)
        bases << workDir;
    QStringList problems;
    for (const QString& base : bases) {
        QString problem;
        if (CreateIn(base, now, &problem))
            return true;
        problems << problem;
    }
    m_strProblem = problems.join(QLatin1String("; "));
    return false;
}

bool CUpgradeLogFile::CreateIn(const QString& base, const QDateTime& now, QString* pProblem)
{
    const QString folder = base + QLatin1Char('/') + QLatin1String(kFolder);
    QDateTime t = now;
    m_strPath = FileName(folder, t);
    const QFileInfo info(folder);
    if (!info.isDir()) {
        if (info.exists() || info.isSymLink()) {
            *pProblem = folder + QLatin1String(" is not a folder");
            return false;
        }
        // One level: the base folder itself must exist.
        if (!QDir().mkdir(folder)) {
            *pProblem = folder + QLatin1String(" cannot be made");
            return false;
        }
    }
    for (int i = 0; i < kNameAttempts && QFileInfo::exists(m_strPath); ++i) {
        t = t.addMSecs(1);
        m_strPath = FileName(folder, t);
    }
    m_file.setFileName(m_strPath);
    // Unbuffered: each line goes to the system in the call that writes it.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        *pProblem = m_strPath + QLatin1String(" cannot be opened: ") + m_file.errorString();
        return false;
    }
    return true;
}

bool CUpgradeLogFile::WriteLine(const QString& line)
{
    if (!m_file.isOpen())
        return true;
    // The file keeps whole lines: a line the disk does not take is taken
    // back.
    if (AppendWhole(m_file, (line + QLatin1Char('\n')).toUtf8(), &m_strWriteProblem))
        return true;
    qWarning().noquote() << "CUpgradeLogFile : writing" << m_strPath << "failed:" << m_strWriteProblem
                         << "; no further line goes to this file";
    m_file.close();
    return false;
}

void CUpgradeLogFile::Close()
{
    if (!m_file.isOpen())
        return;
    m_file.close();
}
