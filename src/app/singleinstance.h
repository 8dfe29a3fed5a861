#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;
class QWidget;

// Makes sure that one station program runs per user and application id.
//
// A lock file decides atomically who is the running instance (a lock left by a
// crashed process is taken over, since its process id is gone); a local socket
// beside it carries messages from later starts. A message counts as delivered
// only when the running instance has read it and answered, so a process that is
// stopped or hung (whose socket still accepts connections) does not count.
//
// Both files live in the user's runtime folder ($XDG_RUNTIME_DIR), or in the
// temporary folder when there is none.
class CSingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit CSingleInstance(const QString& strAppId, QObject* parent = nullptr);
    ~CSingleInstance() override;

    // True when another process holds the id. The first call decides: when no
    // other process holds it, this object becomes the running instance and
    // starts listening for messages.
    bool IsRunning();

    // From a later start: sends strMessage to the running instance and waits up
    // to nTimeoutMs (scaled by CStationClock) for its answer. True when delivered.
    bool SendMessage(const QByteArray& message, int nTimeoutMs);

    // The window that is shown, raised and activated when a message arrives
    // (when bActivateOnMessage is set).
    void SetActivationWindow(QWidget* pWindow, bool bActivateOnMessage = true);

    // Paths of the lock file and of the socket (for diagnostics and tests).
    QString LockPath() const;
    QString ServerPath() const;

signals:
    void MessageReceived(const QByteArray& message);

private slots:
    void OnNewConnection();
    void ActivateWindow();

private:
    void ReadFrom(QLocalSocket* pSocket);

    QString m_strLockPath;
    QString m_strServerPath;
    std::unique_ptr<QLockFile> m_pLock;
    QLocalServer* m_pServer = nullptr;
    bool m_bDecided = false;
    bool m_bOtherRunning = false;
    QPointer<QWidget> m_pActivationWindow;
    bool m_bActivateOnMessage = false;
};
