#include "pendinglogs.h"

#include "ftpclient.h"
#include "wholefile.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QtDebug>

namespace {

const char *const kRowUnknown = "row unknown";
const char *const kOwed = "owed";
const char *const kHeading = "# Logs of this station whose upload is not settled (state, MAC address, log).\n";

} // namespace

CPendingLogs::CPendingLogs(const QString &strFile)
    : m_strFile(strFile)
{
}

QString CPendingLogs::StateText(EState state)
{
    return QLatin1String(state == EState::Owed ? kOwed : kRowUnknown);
}

void CPendingLogs::Load()
{
    m_entries.clear();
    m_bWritten = true;
    const QFileInfo info(m_strFile);
    if (!info.exists())
        return;
    // Only a plain file: opening a FIFO, say, would wait for a writer.
    if (!info.isFile()) {
        qWarning().noquote() << QStringLiteral("%1 is not a plain file; the logs it may name are not settled")
                                    .arg(m_strFile);
        return;
    }
    QFile file(m_strFile);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << QStringLiteral("%1 cannot be read (%2); the logs it names are not settled")
                                    .arg(m_strFile, file.errorString());
        return;
    }
    QByteArray data = file.read(kMaxBytes + 1);
    bool bChanged = false;
    if (data.size() > kMaxBytes) {
        qWarning().noquote() << QStringLiteral("%1 is longer than %2 bytes; only the entries in its first %2 bytes "
                                               "are read, the rest are dropped")
                                    .arg(m_strFile)
                                    .arg(kMaxBytes);
        data.truncate(int(kMaxBytes));
        // The cut line is no entry.
        data.truncate(data.lastIndexOf('\n') + 1);
        bChanged = true;
    }
    const QString strFolder = info.absolutePath();
    const QList<QByteArray> lines = data.split('\n');
    int nLine = 0;
    int nEntryLines = 0;
    int nDropped = 0;
    for (QByteArray line : lines) {
        ++nLine;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        // The first few are named; a list that is mostly junk does not
        // flood the run log.
        auto drop = [&](const QString &strWhy) {
            if (++nDropped <= kMaxNamedDrops)
                qWarning().noquote() << QStringLiteral("%1, line %2: %3; dropped").arg(m_strFile).arg(nLine).arg(strWhy);
            bChanged = true;
        };
        if (++nEntryLines > kMaxEntries) {
            qWarning().noquote() << QStringLiteral("%1 holds more than %2 entries; from line %3 on they are dropped")
                                        .arg(m_strFile)
                                        .arg(kMaxEntries)
                                        .arg(nLine);
            bChanged = true;
            break;
        }
        const int nFirst = line.indexOf('\t');
        const int nSecond = nFirst < 0 ? -1 : line.indexOf('\t', nFirst + 1);
        if (nSecond < 0) {
            drop(QStringLiteral("not an entry (state, MAC address, log, separated by tabs)"));
            continue;
        }
        const QByteArray state = line.left(nFirst);
        SEntry entry;
        if (state == kRowUnknown) {
            entry.state = EState::RowUnknown;
        } else if (state == kOwed) {
            entry.state = EState::Owed;
        } else {
            drop(QStringLiteral("unknown state \"%1\"").arg(QString::fromUtf8(state.left(40))));
            continue;
        }
        entry.strHostMac = QUrl::fromPercentEncoding(line.mid(nFirst + 1, nSecond - nFirst - 1));
        QByteArray rest = line.mid(nSecond + 1);
        QString strReason;
        // A witness field stands before the path; the path runs to the end.
        if (CCommitWitness::IsField(rest)) {
            const int nThird = rest.indexOf('\t');
            if (nThird < 0) {
                drop(QStringLiteral("not an entry (a transaction field and no log after it)"));
                continue;
            }
            if (!CCommitWitness::FromField(rest.left(nThird), &entry.witness, &strReason)) {
                drop(QStringLiteral("not an entry: %1").arg(strReason));
                continue;
            }
            rest = rest.mid(nThird + 1);
        }
        entry.strPath = QString::fromUtf8(rest);
        if (!IsTestLogPath(entry.strPath, &strReason)) {
            drop(QStringLiteral("\"%1\" is not a log below the working folder: %2")
                     .arg(entry.strPath.left(200), strReason));
            continue;
        }
        if (!QFileInfo(strFolder + entry.strPath).isFile()) {
            drop(QStringLiteral("the log %1 (%2) no longer exists on the station")
                     .arg(entry.strPath, StateText(entry.state)));
            continue;
        }
        if (Contains(entry.strPath)) {
            bChanged = true;
            continue;
        }
        m_entries.push_back(entry);
    }
    if (nDropped > kMaxNamedDrops) {
        qWarning().noquote() << QStringLiteral("%1: %2 more lines dropped").arg(m_strFile).arg(nDropped - kMaxNamedDrops);
    }
    if (bChanged)
        Write();
}

bool CPendingLogs::IsTestLogPath(const QString &strPath, QString *pReason)
{
    QString strReason;
    if (!CFtpClient::IsSafeRelativePath(strPath, &strReason)) {
        // As given.
    } else if (!strPath.startsWith(QLatin1String("/Data/"))) {
        strReason = QStringLiteral("only test logs in /Data/ are listed");
    } else if (!strPath.endsWith(QLatin1String(".xml")) || strPath.endsWith(QLatin1String("/.xml"))) {
        strReason = QStringLiteral("only test logs (.xml) are listed");
    } else {
        return true;
    }
    if (pReason)
        *pReason = strReason;
    return false;
}

void CPendingLogs::AddRowUnknown(const QString &strPath, const QString &strHostMac, const CCommitWitness &witness)
{
    // A path that is no test log is not listed: its line would not be read
    // back.
    if (!IsTestLogPath(strPath))
        return;
    for (SEntry &entry : m_entries) {
        if (entry.strPath != strPath)
            continue;
        if (entry.state == EState::RowUnknown && entry.witness.ToField() == witness.ToField())
            return;
        entry.state = EState::RowUnknown;
        entry.witness = witness;
        Write();
        return;
    }
    SEntry entry;
    entry.strPath = strPath;
    entry.strHostMac = strHostMac;
    entry.witness = witness;
    m_entries.push_back(entry);
    Write();
}

void CPendingLogs::MarkOwed(const QString &strPath)
{
    for (SEntry &entry : m_entries) {
        if (entry.strPath != strPath)
            continue;
        if (entry.state == EState::Owed)
            return;
        entry.state = EState::Owed;
        entry.witness = CCommitWitness();
        Write();
        return;
    }
}

bool CPendingLogs::Remove(const QString &strPath)
{
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).strPath == strPath) {
            m_entries.remove(i);
            Write();
            return true;
        }
    }
    return false;
}

const CPendingLogs::SEntry *CPendingLogs::Find(const QString &strPath) const
{
    for (const SEntry &entry : m_entries) {
        if (entry.strPath == strPath)
            return &entry;
    }
    return nullptr;
}

bool CPendingLogs::Contains(const QString &strPath) const
{
    return Find(strPath) != nullptr;
}

void CPendingLogs::Write()
{
    QString strError;
    if (m_entries.isEmpty()) {
        // Nothing to settle: no file. One that cannot go is emptied.
        QFile file(m_strFile);
        if (!file.exists() || file.remove()) {
            m_bWritten = true;
            return;
        }
    }
    QByteArray data = m_entries.isEmpty() ? QByteArray() : QByteArray(kHeading);
    for (const SEntry &entry : qAsConst(m_entries)) {
        data += StateText(entry.state).toUtf8() + '\t' + QUrl::toPercentEncoding(entry.strHostMac) + '\t';
        if (entry.state == EState::RowUnknown && entry.witness.IsKnown())
            data += entry.witness.ToField() + '\t';
        data += entry.strPath.toUtf8() + '\n';
    }
    m_bWritten = WriteWholeFile(m_strFile, data, &strError);
    if (!m_bWritten) {
        qWarning().noquote() << QStringLiteral("%1 cannot be written (%2): the logs whose upload is not settled are "
                                               "known to this run only")
                                    .arg(m_strFile, strError);
    }
}
