#pragma once

#include <QMap>
#include <QObject>
#include <QString>

#include <deque>
#include <memory>

class QFile;

// Uploads test logs to the FTP server of "ServerInfo.ini", one transfer at a
// time on a worker thread (libcurl), so that the GUI thread never waits for
// the network.
//
// UploadFile(path) takes a path below the working folder ("/Data/X1/1A2B/
// log.xml"), checks that the local file opens (a file that does not is not
// sent) and returns at once the URL the file will have: "ftp://" + host +
// path, without port. The file goes to the same path below the server's
// root; missing folders are made level by level. It is opened again only
// when its transfer starts, so waiting uploads hold no files. Until its
// transfer succeeds the upload stays pending under its id.
//
// Failures:
//   - server unreachable (no host, unknown host, bad port, refused, timed out,
//     connection lost): the uploads queued behind are not tried and one modal
//     box asks Retry (every pending file again, in id order, under new ids)
//     or Cancel (they stay pending);
//   - login or transfer refused: a Warning in the run log, still pending;
//   - a pending file that exists but does not open when it is sent again or
//     when its transfer starts: a Warning, still pending, the next upload
//     goes on; one that no longer exists: a Warning, off the list;
//   - after every successful transfer the other pending files go again.
// The box and every decision run on the GUI thread; nothing connects before
// the first transfer. Pending files left when the program quits are named
// in the run log.
class CFtpClient : public QObject
{
    Q_OBJECT

public:
    // nPort outside 1..65535 makes the server unreachable.
    CFtpClient(const QString &strHost, int nPort, const QString &strUser, const QString &strPassword,
               QObject *parent = nullptr);
    ~CFtpClient() override;

    QString UploadFile(const QString &strRelativePath);

    // Pending uploads: id -> relative path.
    QMap<int, QString> PendingUploads() const { return m_mapPending; }
    // No transfer running or waiting to run, and no box open.
    bool IsIdle() const;

    // Whether strRelativePath may be uploaded: it begins with "/", has no
    // empty, "." or ".." part and holds no '\\', CR, LF or NUL. pReason says
    // why not.
    static bool IsSafeRelativePath(const QString &strRelativePath, QString *pReason = nullptr);

    // Outcome of one transfer, as the worker reports it.
    enum class EResult { Done, Unreachable, LoginRefused, Refused, Stopped };

signals:
    // An upload left the pending list for good: delivered, or dropped (its
    // file is gone or refused, said in the run log).
    void UploadSettled(const QString &strRelativePath, bool bDelivered);

public slots:
    // The end of transfer commandId (error: it failed).
    void FtpCommandFinished(int commandId, bool error);

private:
    struct SJob;
    struct SWorker;

    // What a local log is for an upload.
    enum class ELocal { Ok, Gone, Refused, Unopenable };
    // Checks strRelativePath (pCanonical: the file to send) and names a
    // refusal in the run log.
    ELocal CheckLocal(const QString &strRelativePath, QString *pCanonical) const;
    // Queues the file when it opens (and closes it again); bResend: it is
    // pending already.
    ELocal Enqueue(const QString &strRelativePath, bool bResend);
    // Opens job's file as its transfer starts; false: not sent now (gone
    // or refused: off the pending list; unopenable: still pending).
    bool OpenForTransfer(SJob &job);

    void StartNext();
    void ReuploadPending();
    void AskRetry();
    void Shutdown();
    void OnTransferDone(int nId, EResult result, const QString &strMessage);

    QMap<int, QString> m_mapPending;
    QString m_strHost;
    int m_nPort;
    QString m_strUser;
    QString m_strPassword;

    int m_nLastId = 0;
    std::deque<std::unique_ptr<SJob>> m_queue;
    std::unique_ptr<SJob> m_current;
    EResult m_lastResult = EResult::Done;
    QString m_strLastMessage;
    bool m_bAsking = false;
    bool m_bShutdown = false;
    std::unique_ptr<SWorker> m_worker;
};
