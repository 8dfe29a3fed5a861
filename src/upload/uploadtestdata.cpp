#include "uploadtestdata.h"

#include "databasesession.h"
#include "ftpclient.h"
#include "initext.h"
#include "pendinglogs.h"
#include "sqldatabase.h"
#include "testrecord.h"
#include "wholefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSet>
#include <QtDebug>

#include <algorithm>

CUploadService *CUploadTestData::s_pServiceForTest = nullptr;
CUploadTestData *CUploadTestData::s_pInstance = nullptr;

namespace {

// A port key: a number from 1 to 65535. Anything else (missing, not a
// number, out of range) is named in the run log and handed on as it is (0
// when it is no number), never cut to 16 bits: the client counts the server
// as unreachable.
int ReadPort(const QSettings &settings, const QString &strKey)
{
    const QString strRaw = settings.value(strKey).toString();
    bool bOk = false;
    const uint nPort = strRaw.toUInt(&bOk);
    if (bOk && nPort >= 1 && nPort <= 65535)
        return int(nPort);
    qWarning().noquote() << QStringLiteral("%1: %2 \"%3\" is not a port (1 to 65535); the server counts as unreachable")
                                .arg(settings.fileName(), strKey, strRaw);
    return bOk && nPort <= uint(INT_MAX) ? int(nPort) : 0;
}

} // namespace

bool CUploadTestData::DescriptionReadable(QString *pWhy)
{
    const QString strPath = QDir::current().absoluteFilePath(QString::fromLatin1(kFileName));
    QByteArray content;
    QString strError;
    switch (ReadWholeFile(strPath, kMaxFileBytes, &content, &strError)) {
    case EFileRead::Read:
        break;
    case EFileRead::Missing:
        // Gone since it was seen: as without the file.
        return false;
    case EFileRead::TooLarge:
    case EFileRead::Unreadable:
        // The sentence names the file (and the bound).
        *pWhy = QStringLiteral("The server description cannot be read: %1").arg(strError);
        return false;
    }
    // Most binary content parses as settings without an error (with no
    // keys): a description is text, so a control character other than tab
    // and line ends says it is not one.
    for (int i = 0; i < content.size(); ++i) {
        const uchar c = uchar(content.at(i));
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) {
            *pWhy = QStringLiteral("The server description %1 cannot be read: it is not text (byte 0x%2 at offset %3)")
                        .arg(strPath)
                        .arg(uint(c), 2, 16, QLatin1Char('0'))
                        .arg(i);
            return false;
        }
    }
    // Parsed apart from QSettings' own copy of the file, which it hands to
    // the next reader of an unchanged file without its status: a file read
    // again by its own name would pass the second time.
    QMap<QString, QVariant> map;
    QSettings::Status status = QSettings::NoError;
    if (!CIniText::Parse(content, &map, &status, &strError)) {
        *pWhy = QStringLiteral("The server description %1 cannot be read: %2").arg(strPath, strError);
        return false;
    }
    if (status == QSettings::NoError)
        return true;
    *pWhy = QStringLiteral("The server description %1 cannot be read: %2")
                .arg(strPath, status == QSettings::FormatError ? QStringLiteral("it is not in the INI format")
                                                               : QStringLiteral("it cannot be read as settings"));
    return false;
}

CUploadTestData *CUploadTestData::MakeInstance(QString *pWhy)
{
    if (s_pInstance || !QFileInfo::exists(QString::fromLatin1(kFileName)))
        return s_pInstance;
    // Nothing is connected to with a description that cannot be read.
    if (!DescriptionReadable(pWhy)) {
        if (pWhy->isEmpty())
            return nullptr;
        qWarning().noquote() << *pWhy + QStringLiteral("; nothing is stored or uploaded, no server is connected "
                                                       "to");
        return nullptr;
    }
    s_pInstance = new CUploadTestData(QString::fromLatin1(kFileName), QSettings::IniFormat, nullptr);
    return s_pInstance;
}

CUploadTestData *CUploadTestData::GetInstance()
{
    QString strWhy;
    return MakeInstance(&strWhy);
}

CUploadTestData *CUploadTestData::GetInstanceAsking(const QString &strLog)
{
    for (;;) {
        QString strWhy;
        if (CUploadTestData *pUpload = MakeInstance(&strWhy))
            return pUpload;
        if (strWhy.isEmpty())
            return nullptr;
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Error!"),
                        tr("The server description %1 cannot be read, please check the file and retry or contact "
                           "the IT department...")
                            .arg(QDir::current().absoluteFilePath(QString::fromLatin1(kFileName))),
                        QMessageBox::Retry | QMessageBox::Cancel, nullptr);
        // Retry reads the file again (the instance may also have been made
        // meanwhile, by the start's settling).
        if (box.exec() != QMessageBox::Retry) {
            qWarning() << "Upload cancelled, the server description cannot be read: the run is not stored and its "
                          "log not uploaded:"
                       << strLog;
            return nullptr;
        }
    }
}

CUploadTestData::CUploadTestData(const QString &strFileName, QSettings::Format format, QObject *parent)
    : QSettings(strFileName, format, parent)
{
    const QString strFtpUrl = value(QStringLiteral("FtpServer/Url")).toString();
    const int nFtpPort = ReadPort(*this, QStringLiteral("FtpServer/PortNo"));
    const QString strFtpUser = value(QStringLiteral("FtpServer/User")).toString();
    const QString strFtpPassword = value(QStringLiteral("FtpServer/Password")).toString();
    m_pFtpClient = new CFtpClient(strFtpUrl, nFtpPort, strFtpUser, strFtpPassword, nullptr);

    const QString strServer = value(QStringLiteral("Database/Server")).toString();
    const int nDbPort = int(value(QStringLiteral("Database/PortNo")).toUInt());
    const QString strType = value(QStringLiteral("Database/Type")).toString();
    const QString strName = value(QStringLiteral("Database/Name")).toString();
    const QString strUser = value(QStringLiteral("Database/User")).toString();
    const QString strPassword = value(QStringLiteral("Database/Password")).toString();
    m_pDatabase = new CSqlDatabase(strServer, nDbPort, strType, strName, strUser, strPassword);
    m_pSession = std::make_unique<CDatabaseSession>();

    // The logs an earlier run left unsettled; each leaves the list once the
    // FTP server has it, or once it no longer can be sent.
    m_pPending = std::make_unique<CPendingLogs>(QDir::current().absoluteFilePath(
        QString::fromLatin1(CPendingLogs::kFileName)));
    m_pPending->Load();
    const auto settled = [this](const QString &strPath) { m_pPending->Remove(strPath); };
    connect(m_pFtpClient, &CFtpClient::UploadDelivered, this, settled);
    connect(m_pFtpClient, &CFtpClient::UploadDropped, this, settled);

    // The statements' thread ends with the program, its connection closed.
    if (QCoreApplication *pApp = QCoreApplication::instance()) {
        connect(pApp, &QCoreApplication::aboutToQuit, this, [this] {
            m_pSession->Close();
            ReportUnsettled();
        });
    }
}

// The two clients live as long as the program (a test drops them itself).
CUploadTestData::~CUploadTestData() = default;

void CUploadTestData::SetServiceForTest(CUploadService *pService)
{
    s_pServiceForTest = pService;
    if (pService || !s_pInstance)
        return;
    s_pInstance->m_pSession.reset();
    s_pInstance->m_lateCommits.clear();
    delete s_pInstance->m_pFtpClient;
    delete s_pInstance->m_pDatabase;
    delete s_pInstance;
    s_pInstance = nullptr;
}

int CUploadTestData::InsertToDatabase(CTestRecord &record)
{
    const QString strLog = record.GetLogUrl();
    const QString strMac = record.GetHostMac();
    CDatabaseSession &session = *m_pSession;
    CPendingLogs &pending = *m_pPending;
    // A connection that broke after it was opened still says open: the
    // first failure on it closes it and runs the step once more.
    bool bReconnected = false;
    auto reconnectOnce = [&bReconnected, &session](const QSqlError &error) {
        if (bReconnected || session.Reaches())
            return false;
        qWarning() << "Database connection lost, connecting again:" << error.text();
        bReconnected = true;
        session.Close();
        return true;
    };
    // A statement that ran out of its bound: the database cannot be used
    // now (a lock held elsewhere, a server that no longer answers).
    auto expired = [&strLog, &session](const char *szWhat, const CDatabaseSession::SOutcome &outcome) {
        session.Rollback();
        qWarning().noquote() << QStringLiteral("Database %1 did not end within %2 ms (%3), rolled back; the "
                                               "database cannot be used now:")
                                    .arg(QLatin1String(szWhat))
                                    .arg(outcome.bOverran ? outcome.nElapsedMs : CSqlDatabase::StatementBoundMs())
                                    .arg(outcome.bOverran ? QStringLiteral("no answer")
                                         : outcome.strSqlState.isEmpty()
                                             ? QStringLiteral("SQLSTATE none")
                                             : QStringLiteral("SQLSTATE ") + outcome.strSqlState)
                             << strLog << ":" << outcome.error.text();
    };
    // The caller has rolled the transaction back.
    auto refused = [this, &strLog, &pending](const char *szWhat, const QString &strError) {
        qWarning() << "Database" << szWhat << "the run is not stored and its log not uploaded:" << strLog << ":"
                   << strError;
        m_lateCommits.remove(strLog);
        pending.Remove(strLog);
        return -1;
    };
    auto stored = [this, &strLog, &pending]() {
        m_lateCommits.remove(strLog);
        pending.MarkOwed(strLog);
        return 1;
    };

    // The commit of an earlier attempt whose outcome is not known yet.
    std::shared_ptr<CDatabaseSession::CLateCommit> late;
    // The operator answered Retry since that commit.
    bool bRetried = false;
    for (;;) {
        // Nothing to run now: the box asks.
        bool bAsk = false;
        // Whether the run is stored is not known: the box says so, and
        // Retry only asks again.
        bool bOutcomeUnknown = false;
        if (late) {
            QString strWhy;
            const ERowKnown known = LearnRow(strLog, strMac, late->Witness(), late,
                                             std::min(CSqlDatabase::StatementBoundMs(), 1000), true, &strWhy);
            if (known == ERowKnown::Stored) {
                qInfo().noquote() << QStringLiteral("Database commit settled, the run is stored (%1):").arg(strWhy)
                                  << strLog;
                return stored();
            }
            if (known == ERowKnown::Refused)
                return refused("commit failed,", strWhy);
            if (known == ERowKnown::NotStored) {
                late.reset();
                m_lateCommits.remove(strLog);
                qWarning().noquote() << QStringLiteral("Database commit settled, the run is not stored (%1)%2")
                                            .arg(strWhy, bRetried ? QStringLiteral("; it is inserted again:")
                                                                  : QStringLiteral("; the database cannot be used "
                                                                                   "now:"))
                                     << strLog;
                bAsk = !bRetried;
            } else {
                qWarning().noquote() << QStringLiteral("Database commit outcome unknown, the run may be stored (%1):")
                                            .arg(strWhy)
                                     << strLog;
                bAsk = true;
                bOutcomeUnknown = true;
            }
        }

        bool bUsable = false;
        if (!bAsk) {
            QSqlDatabase db = QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false);
            // A QPSQL session takes its bound when it is opened.
            if (CSqlDatabase::BoundSession(db)) {
                session.Close();
                db.close();
            }
            const CDatabaseSession::SOutcome open = session.Open();
            if (open.bOverran) {
                expired("open", open);
            } else if (!open.bOk) {
                qWarning() << "Database not usable:" << open.error.text();
            } else {
                const CDatabaseSession::SOutcome begin = session.Begin();
                if (begin.bOk)
                    bUsable = true;
                else if (begin.Expired())
                    expired("transaction start", begin);
                else if (reconnectOnce(begin.error))
                    continue;
                else
                    qWarning() << "Database not usable:" << begin.error.text();
            }
        }
        // What lets the server be asked about the transaction later, even
        // after a kill: read before anything of the run is sent.
        if (bUsable) {
            const CDatabaseSession::SOutcome note = session.NoteTransaction();
            if (!note.bOk) {
                bUsable = false;
                if (note.Expired()) {
                    expired("transaction id read", note);
                } else {
                    session.Rollback();
                    if (reconnectOnce(note.error))
                        continue;
                    qWarning() << "Database not usable, its transaction id cannot be read:" << note.error.text();
                }
            }
        }

        if (bUsable) {
            // From here on a kill may leave a row the station does not know of.
            pending.AddRowUnknown(strLog, strMac, session.Witness());
            const CDatabaseSession::SOutcome insert = session.Insert(record, QString::fromLatin1(kTableName));
            if (!insert.bOk) {
                if (insert.Expired()) {
                    expired("insert", insert);
                    bUsable = false;
                } else {
                    session.Rollback();
                    if (reconnectOnce(insert.error))
                        continue;
                    return refused("insert refused,", insert.error.text());
                }
            }
        }
        // The ODBC commit takes no bound of its own: the checks a server
        // defers to it go first, bounded.
        if (bUsable) {
            const CDatabaseSession::SOutcome checks = session.RunDeferredChecks();
            if (!checks.bOk && checks.Expired()) {
                expired("deferred checks", checks);
                bUsable = false;
            } else if (!checks.bOk) {
                session.Rollback();
                return refused("deferred checks failed,", checks.error.text());
            }
        }
        if (bUsable) {
            const CDatabaseSession::SOutcome commit = session.Commit();
            if (commit.bOk)
                return stored();
            late = session.LateCommit();
            if (late) {
                // Sent, and no verdict of the server: never called rolled back.
                m_lateCommits.insert(strLog, late);
                bRetried = false;
                qWarning().noquote()
                    << (commit.bOverran
                            ? QStringLiteral("Database commit did not end within %1 ms (no answer);").arg(commit.nElapsedMs)
                            : QStringLiteral("Database commit lost its connection (%1);")
                                  .arg(commit.strSqlState.isEmpty() ? QStringLiteral("SQLSTATE none")
                                                                    : QStringLiteral("SQLSTATE ") + commit.strSqlState))
                    << "whether the run is stored is not known yet, its row is looked for:" << strLog << ":"
                    << commit.error.text();
                continue;
            }
            if (!commit.Expired()) {
                session.Rollback();
                return refused("commit failed,", commit.error.text());
            }
            expired("commit", commit);
        }

        QMessageBox box(QMessageBox::Warning, QStringLiteral("Error!"),
                        bOutcomeUnknown
                            ? tr("The database has not yet said whether this test was stored. Retry asks it again and "
                                 "stores nothing twice; Cancel keeps the test log for a later upload.")
                            : tr("Connect to DataBase server error, please check the internet and retry or contact "
                                 "the IT department..."),
                        QMessageBox::Retry | QMessageBox::Cancel, nullptr);
        if (box.exec() != QMessageBox::Retry) {
            if (late) {
                // What is known now, without a further look-up.
                QString strWhy;
                const ERowKnown known = LearnRow(strLog, strMac, late->Witness(), late, 0, false, &strWhy);
                if (known == ERowKnown::Stored) {
                    qWarning().noquote()
                        << QStringLiteral("Database step cancelled, yet the run is stored (%1); its log is uploaded:")
                               .arg(strWhy)
                        << strLog;
                    return stored();
                }
                if (known == ERowKnown::Unknown) {
                    qWarning().noquote()
                        << QStringLiteral("Database step cancelled; whether the run is stored is unknown, its log "
                                          "stays listed in %1 and is settled at the next upload:")
                               .arg(QLatin1String(CPendingLogs::kFileName))
                        << strLog;
                    return 0;
                }
            }
            qWarning() << "Database step cancelled, the run is not stored and its log not uploaded:" << strLog;
            m_lateCommits.remove(strLog);
            pending.Remove(strLog);
            return 0;
        }
        bRetried = true;
        // Retry always connects again and reruns the step: a handle that
        // still answers "select 1" may hold a session that only a new
        // connection mends.
        session.Close();
    }
}

CUploadTestData::ERowKnown CUploadTestData::LearnRow(const QString &strLog, const QString &strHostMac,
                                                     const CCommitWitness &witness,
                                                     const std::shared_ptr<CDatabaseSession::CLateCommit> &late,
                                                     int nWaitMs, bool bLookUp, QString *pWhy, bool *pUnanswered)
{
    using EAnswer = CDatabaseSession::CLateCommit::EAnswer;
    using ETransaction = CDatabaseSession::ETransaction;
    if (pUnanswered)
        *pUnanswered = false;
    auto answerOf = [pWhy](EAnswer answer, const CDatabaseSession::SOutcome &outcome, ERowKnown *pKnown) {
        if (answer == EAnswer::Committed) {
            *pWhy = QStringLiteral("its commit answered late");
            *pKnown = ERowKnown::Stored;
            return true;
        }
        if (answer == EAnswer::Refused) {
            *pWhy = QStringLiteral("SQLSTATE %1: %2").arg(outcome.strSqlState, outcome.error.text());
            *pKnown = ERowKnown::Refused;
            return true;
        }
        return false;
    };
    auto failure = [](const CDatabaseSession::SOutcome &outcome) {
        return outcome.bOverran ? QStringLiteral("no answer")
               : outcome.strSqlState.isEmpty()
                   ? outcome.error.text()
                   : QStringLiteral("SQLSTATE %1, %2").arg(outcome.strSqlState, outcome.error.text());
    };
    ERowKnown known = ERowKnown::Unknown;
    CDatabaseSession::SOutcome answer;
    if (late && answerOf(late->Await(nWaitMs, &answer), answer, &known))
        return known;
    if (!bLookUp) {
        *pWhy = QStringLiteral("its commit has not answered");
        return ERowKnown::Unknown;
    }
    // Whether a row found absent stays absent: only the server's word that
    // the transaction can no longer commit says so. A server that gives no
    // word leaves it open until the worker that sent the COMMIT has ended
    // (after a restart, the earlier run's process has).
    bool bFinal = false;
    // The server says the transaction is rolled back.
    bool bAborted = false;
    // Why an absent row is not final.
    QString strOpen;
    if (witness.IsKnown()) {
        CDatabaseSession::SOutcome asked;
        const ETransaction transaction = m_pSession->AskTransaction(witness, true, &asked);
        if (late && answerOf(late->Await(0, &answer), answer, &known))
            return known;
        switch (transaction) {
        case ETransaction::Committed:
            // Stored, though the row may show only once the server's wait
            // for a synchronous standby ends.
            *pWhy = QStringLiteral("the server says its transaction is committed");
            return ERowKnown::Stored;
        case ETransaction::Aborted:
            // It can never commit: nothing of it is stored.
            bFinal = true;
            bAborted = true;
            break;
        case ETransaction::Forgotten:
            // Older than the server's commit log keeps: long ended.
            bFinal = true;
            break;
        case ETransaction::InProgress:
            strOpen = QStringLiteral("its transaction is still in progress on the server");
            break;
        case ETransaction::Unknown:
            strOpen = QStringLiteral("the server cannot say what became of its transaction: %1").arg(failure(asked));
            if (asked.bOverran) {
                if (pUnanswered)
                    *pUnanswered = true;
                *pWhy = strOpen;
                return ERowKnown::Unknown;
            }
            break;
        }
    } else {
        // Taken before the look-up: a commit that ends after this may have
        // taken effect after the look-up too.
        bFinal = !late || late->Ended();
        strOpen = QStringLiteral("its commit may still take effect");
    }
    CDatabaseSession::SOutcome lookUp;
    const CDatabaseSession::ERow row =
        m_pSession->FindRow(QString::fromLatin1(kTableName), strLog, strHostMac, &lookUp);
    if (late && answerOf(late->Await(0, &answer), answer, &known))
        return known;
    switch (row) {
    case CDatabaseSession::ERow::Found:
        *pWhy = QStringLiteral("its row is on the server");
        return ERowKnown::Stored;
    case CDatabaseSession::ERow::Absent:
        if (bFinal) {
            *pWhy = QStringLiteral("no row of it is on the server");
            return ERowKnown::NotStored;
        }
        *pWhy = QStringLiteral("no row of it is on the server yet, and %1").arg(strOpen);
        return ERowKnown::Unknown;
    case CDatabaseSession::ERow::Unknown:
        break;
    }
    // The server's word alone: a transaction rolled back stored nothing.
    if (bAborted) {
        *pWhy = QStringLiteral("the server says its transaction is aborted; its row cannot be looked up: %1")
                    .arg(failure(lookUp));
        return ERowKnown::NotStored;
    }
    if (pUnanswered)
        *pUnanswered = true;
    *pWhy = QStringLiteral("its row cannot be looked up: %1").arg(failure(lookUp));
    return ERowKnown::Unknown;
}

void CUploadTestData::SettlePending(const QString &strSkip, bool bLookUp)
{
    if (m_pPending->IsEmpty())
        return;
    QSet<QString> queued;
    for (const QString &strPath : m_pFtpClient->PendingUploads())
        queued.insert(strPath);
    int nNotLookedUp = 0;
    // A copy: an upload can take its log off the list at once.
    const QVector<CPendingLogs::SEntry> entries = m_pPending->Entries();
    for (const CPendingLogs::SEntry &entry : entries) {
        if (entry.strPath == strSkip)
            continue;
        if (entry.state == CPendingLogs::EState::RowUnknown) {
            const auto late = m_lateCommits.value(entry.strPath);
            QString strWhy;
            bool bUnanswered = false;
            // The witness of the commit this run sent last.
            const CCommitWitness witness = late ? late->Witness() : entry.witness;
            const ERowKnown known =
                LearnRow(entry.strPath, entry.strHostMac, witness, late, 0, bLookUp, &strWhy, &bUnanswered);
            if (known == ERowKnown::Unknown) {
                if (!bLookUp && !late) {
                    ++nNotLookedUp;
                    continue;
                }
                qWarning().noquote() << QStringLiteral("Database: whether an earlier run is stored is still unknown "
                                                       "(%1); its log stays listed:")
                                            .arg(strWhy)
                                     << entry.strPath;
                // The others would fail the same way: they wait.
                if (bUnanswered)
                    bLookUp = false;
                continue;
            }
            m_lateCommits.remove(entry.strPath);
            if (known != ERowKnown::Stored) {
                qWarning().noquote() << QStringLiteral("Database: an earlier run is not stored (%1), its log not "
                                                       "uploaded:")
                                            .arg(strWhy)
                                     << entry.strPath;
                m_pPending->Remove(entry.strPath);
                continue;
            }
            qInfo().noquote() << QStringLiteral("Database: an earlier run is stored (%1); its log is uploaded:")
                                     .arg(strWhy)
                              << entry.strPath;
            m_pPending->MarkOwed(entry.strPath);
        } else if (queued.contains(entry.strPath)) {
            continue;
        }
        m_pFtpClient->UploadOwedFile(entry.strPath);
    }
    if (nNotLookedUp > 0) {
        qInfo().noquote() << QStringLiteral("Database: %1 earlier runs whose row is unknown wait for an upload that "
                                            "reaches the database")
                                 .arg(nNotLookedUp);
    }
}

void CUploadTestData::ReportUnsettled() const
{
    for (const CPendingLogs::SEntry &entry : m_pPending->Entries()) {
        qWarning().noquote() << QStringLiteral("Upload not settled at the exit (%1): %2; %3")
                                    .arg(CPendingLogs::StateText(entry.state), entry.strPath,
                                         m_pPending->IsWritten()
                                             ? QStringLiteral("%1 keeps it for the next start")
                                                   .arg(QLatin1String(CPendingLogs::kFileName))
                                             : QStringLiteral("%1 could not be written, the log stays on the "
                                                              "station only")
                                                   .arg(QLatin1String(CPendingLogs::kFileName)));
    }
}

void CUploadTestData::SettleAtStart()
{
    if (!QFileInfo::exists(QString::fromLatin1(CPendingLogs::kFileName)))
        return;
    CUploadTestData *pUpload = GetInstance();
    if (!pUpload) {
        qWarning().noquote() << QStringLiteral("%1 lists logs whose upload is not settled, but there is no %2 that "
                                               "can be read: they stay listed")
                                    .arg(QLatin1String(CPendingLogs::kFileName), QLatin1String(kFileName));
        return;
    }
    pUpload->SettlePending(QString(), true);
}

void CUploadTestData::UploadTestData(CTestRecord &record)
{
    const int nResult = InsertToDatabase(record);
    // The database answered just now: the earlier runs' rows are looked for.
    SettlePending(record.GetLogUrl(), nResult == 1);
    if (nResult != 1)
        return;
    record.SetLogUrl(m_pFtpClient->UploadFile(record.GetLogUrl()));
}
