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
// sent; a link on any level below the working folder, Data/ itself too, or
// anything but a plain file is refused) and returns at once the URL the file will have: "ftp://" + host +
// path, without port. The file goes to the same path below the server's
// root; missing folders are made level by level. It is sent under a
// temporary name beside it ("log.xml.part") and renamed to its own name
// (RNFR/RNTO, after a DELE of that name whose refusal is ignored) only once
// the server has answered the whole transfer, so the log's name never holds
// a cut file, even when the station is killed during a transfer. It is
// opened again only when its transfer starts, so waiting uploads hold no
// files, and what goes is what that descriptor reads. A log sent again is
// first looked for under its own name (SIZE): the same size there settles
// it without a transfer (and without the DELE). Until its rename is
// answered the upload stays pending under its id.
//
// Each server reply is awaited 15 s, plus the file's time at 1 KiB/s (the
// final reply comes once the server has read the whole file, which on a slow
// link takes longer than any reply); the connection and login 5 s; a
// transfer that moves no byte for 15 s ends.
//
// Failures:
//   - server unreachable (no host, unknown host, bad port, refused, timed out,
//     connection lost): the uploads queued behind are not tried and one modal
//     box asks Retry (every pending file again, in id order, under new ids)
//     or Cancel (they stay pending);
//   - login, transfer or rename refused: a Warning in the run log (a refused
//     rename names CURLE_QUOTE_ERROR), still pending;
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
    // The same for a log that may be on the server already (owed from an
    // earlier run, whose delivery was not settled): the server is asked the
    // size of the log's own name first (SIZE), and the same size as the
    // local log counts as delivered without a transfer. Another size, no
    // such file, or a server without SIZE: the log is sent as by UploadFile.
    // The pending uploads sent again after a failure are asked the same way.
    QString UploadOwedFile(const QString &strRelativePath);

    // Pending uploads: id -> relative path.
    QMap<int, QString> PendingUploads() const { return m_mapPending; }
    // No transfer running or waiting to run, and no box open.
    bool IsIdle() const;

    // Whether strRelativePath may be uploaded: it begins with "/", has no
    // empty, "." or ".." part and holds no '\\', CR, LF or NUL. pReason says
    // why not.
    static bool IsSafeRelativePath(const QString &strRelativePath, QString *pReason = nullptr);

    // Outcome of one transfer, as the worker reports it.
    // Present: the log was on the server already (see UploadOwedFile).
    enum class EResult { Done, Present, Unreachable, LoginRefused, Refused, RenameRefused, Stopped };

signals:
    // What became of each path given to UploadFile, on the client's thread.
    // strRelativePath is on the server under its own name: its rename was
    // answered, and it has left the pending uploads.
    void UploadDelivered(const QString &strRelativePath);
    // A try to send strRelativePath failed (strReason). It stays pending, but
    // for a new upload whose file does not open (not sent at all). Emitted
    // inside UploadFile for the latter.
    void UploadFailed(const QString &strRelativePath, const QString &strReason);
    // strRelativePath will not be sent: its file is gone from the station or
    // may not be sent (see IsSafeRelativePath and the checks of the local
    // file). It is not pending (any more). Emitted inside UploadFile for a
    // new upload.
    void UploadDropped(const QString &strRelativePath);

public slots:
    // The end of transfer commandId (error: it failed).
    void FtpCommandFinished(int commandId, bool error);

private:
    struct SJob;
    struct SWorker;

    // What a local log is for an upload.
    enum class ELocal { Ok, Gone, Refused, Unopenable };
    // Opens strRelativePath below the working folder, following no link on
    // any level (a link, Data/ itself too, is refused), a plain file only;
    // *pFile (when given) gets the open file. A refusal is named in the run
    // log; *pReason gets the system's reason for Unopenable.
    ELocal OpenLocal(const QString &strRelativePath, std::unique_ptr<QFile> *pFile, QString *pReason) const;
    // Queues the file when it opens (and closes it again); bResend: it is
    // pending already; bMayBeThere: its final name is asked first.
    ELocal Enqueue(const QString &strRelativePath, bool bResend, bool bMayBeThere);
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
