#pragma once

#include "commitwitness.h"

#include <QString>
#include <QVector>

// The logs whose delivery is not settled, kept in the file "FtpPending.txt"
// at the working folder's root (beside "ServerInfo.ini") so that they outlive
// an exit or a kill. One line per log: its state, the station's MAC address
// as the row holds it (percent-encoded) and the log's path below the working
// folder, a tab between them; lines beginning with '#' are comments. A
// "row unknown" entry whose server said what lets it be asked about its
// transaction later carries that (CCommitWitness::ToField) between the MAC
// address and the path; the path always comes last and runs to the end of
// the line, and a witness never begins with '/', so a line without one
// (as earlier versions wrote them) reads as before:
//
//   row unknown<TAB>00%3A1A%3A2B%3A3C%3A4D%3A5E<TAB>/Data/X1/1A2B/..._PASS.xml
//   row unknown<TAB>00%3A1A%3A2B%3A3C%3A4D%3A5E<TAB>pg:sysid=...;txid=...<TAB>/Data/X1/1A2B/..._PASS.xml
//   owed<TAB>00%3A1A%3A2B%3A3C%3A4D%3A5E<TAB>/Data/X1/1A2B/..._NG.xml
//
// Only test logs are listed: paths below "/Data/" that end in ".xml".
//
//   "row unknown"  the row's insert may have been sent; whether it was
//                  committed is not known yet;
//   "owed"         the row is committed, the log is not yet on the FTP
//                  server.
//
// Every change replaces the file whole (WriteWholeFile); the file goes when
// the list is empty. A write that fails is a Warning in the run log: the
// list in memory stays right and the next change writes it again.
class CPendingLogs
{
public:
    enum class EState { RowUnknown, Owed };
    struct SEntry
    {
        EState state = EState::RowUnknown;
        QString strPath;
        QString strHostMac;
        // Of a "row unknown" entry: what its server said before the COMMIT.
        CCommitWitness witness;
    };

    // The list of the file strFile; nothing is read yet.
    explicit CPendingLogs(const QString &strFile);

    // Reads the file, bounded: at most kMaxBytes and kMaxEntries; a line
    // that is no entry (a witness field included), an entry whose path is
    // no test log (IsTestLogPath) and one whose log no longer exists are
    // each a Warning and dropped (the file is written again without them).
    // A file that is no plain file is a Warning, not read.
    void Load();

    // Lists the entry as "row unknown" with its witness (a listed one takes
    // the new witness: a new transaction of the same run). A path that is
    // no test log is not listed.
    void AddRowUnknown(const QString &strPath, const QString &strHostMac,
                       const CCommitWitness &witness = CCommitWitness());
    void MarkOwed(const QString &strPath);
    // False when the log was not listed.
    bool Remove(const QString &strPath);

    bool Contains(const QString &strPath) const;
    const SEntry *Find(const QString &strPath) const;
    QVector<SEntry> Entries() const { return m_entries; }
    bool IsEmpty() const { return m_entries.isEmpty(); }
    // Whether the file holds the list as it is in memory.
    bool IsWritten() const { return m_bWritten; }
    QString FileName() const { return m_strFile; }

    // The text of an entry's state ("row unknown", "owed").
    static QString StateText(EState state);
    // Whether strPath names a test log: a path below the working folder
    // (CFtpClient::IsSafeRelativePath) in "/Data/" or below, ending in
    // ".xml". pReason, when given, says why not.
    static bool IsTestLogPath(const QString &strPath, QString *pReason = nullptr);

    static constexpr const char *kFileName = "FtpPending.txt";
    static constexpr qint64 kMaxBytes = 1024 * 1024;
    static constexpr int kMaxEntries = 10000;
    // Dropped lines named one by one in the run log; the rest are counted.
    static constexpr int kMaxNamedDrops = 20;

private:
    void Write();

    QString m_strFile;
    QVector<SEntry> m_entries;
    bool m_bWritten = true;
};
