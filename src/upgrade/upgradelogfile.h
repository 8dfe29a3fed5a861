#pragma once

#include <QDateTime>
#include <QFile>
#include <QString>

// The upgrade log file of one opening of the upgrade view: one line per row
// of the view's log table, in a file named by the local time of its creation
// ("yyyy-MM-dd-hh-mm-ss-zzz-CVUpgrade.txt") in the folder "UpgradeLog" beside
// the program. When the program's folder cannot take it (a system-wide
// install), the folder "UpgradeLog" of the working folder is used instead.
//
// Every line is handed to the system as it is written, so a line the table
// shows is on disk even if the station ends abruptly. A line the system does
// not take whole is taken back (the file keeps whole lines only), the system's
// reason is kept, and no later line goes to that file. An existing file is
// never written again: a name already taken moves on by a millisecond.
//
// GUI thread only.
class CUpgradeLogFile
{
public:
    CUpgradeLogFile();
    ~CUpgradeLogFile();
    CUpgradeLogFile(const CUpgradeLogFile&) = delete;
    CUpgradeLogFile& operator=(const CUpgradeLogFile&) = delete;

    // Closes the current file and creates the next one. False when neither
    // folder could take it: Path() is then the last path tried and Problem()
    // says why each place failed.
    bool Create();
    bool IsOpen() const { return m_file.isOpen(); }
    QString Path() const { return m_strPath; }
    QString Problem() const { return m_strProblem; }

    // Appends the line and a line feed; nothing when no file is open or an
    // earlier line failed. False only for the line that failed: the file is
    // then closed, and WriteProblem() gives the system's reason.
    bool WriteLine(const QString& line);
    QString WriteProblem() const { return m_strWriteProblem; }
    void Close();

    // The folder the program runs from (QCoreApplication::applicationDirPath),
    // or the folder a test has put in its place.
    static QString ProgramDir();
    // Empty: the program's own folder again.
    static void SetProgramDir(const QString& dir);

    // The name of the file created at the time t, in folder.
    static QString FileName(const QString& folder, const QDateTime& t);

private:
    bool CreateIn(const QString& base, const QDateTime& now, QString* pProblem);

    QFile m_file;
    QString m_strPath;
    QString m_strProblem;
    QString m_strWriteProblem;
};
