#include "singleinstance.h"

#include "stationclock.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QWidget>
#include <QtEndian>

#include <unistd.h>

namespace {
// A message is a 32-bit big-endian length and the bytes; the answer is one byte.
constexpr char kAck = 0x06;
constexpr int kHeaderSize = 4;
// Later starts only ever send short messages; anything longer is not ours.
constexpr quint32 kMaxMessage = 64 * 1024;

QString InstanceFolder()
{
    QString dir;
    if (qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
        dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty() || !QDir(dir).exists())
        dir = QDir::tempPath();
    return dir;
}
} // namespace

CSingleInstance::CSingleInstance(const QString& strAppId, QObject* parent)
    : QObject(parent)
{
    // The id holds blanks and braces; the file names use a short hash of it
    // and of the user, so two users of one machine never meet.
    const QByteArray key = strAppId.toUtf8() + '\0' + QByteArray::number(qulonglong(::getuid()));
    const QString name = QStringLiteral("kestrel-")
        + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16));
    const QDir dir(InstanceFolder());
    m_strLockPath = dir.filePath(name + QStringLiteral(".lock"));
    m_strServerPath = dir.filePath(name + QStringLiteral(".sock"));
    m_pLock = std::make_unique<QLockFile>(m_strLockPath);
    // Stale only when the process that wrote it is gone, never by age: a
    // station runs for days.
    m_pLock->setStaleLockTime(0);
}

CSingleInstance::~CSingleInstance()
{
    if (m_pServer) {
        m_pServer->close();
        QLocalServer::removeServer(m_strServerPath);
    }
}

QString CSingleInstance::LockPath() const
{
    return m_strLockPath;
}

QString CSingleInstance::ServerPath() const
{
    return m_strServerPath;
}

bool CSingleInstance::IsRunning()
{
    if (m_bDecided)
        return m_bOtherRunning;
    m_bDecided = true;

    if (!m_pLock->tryLock(0)) {
        if (m_pLock->error() == QLockFile::LockFailedError) {
            m_bOtherRunning = true;
            return true;
        }
        // The folder cannot take the lock file: run without the guard rather
        // than refuse to start a station.
        qWarning().noquote() << "Single instance: cannot create the lock file" << m_strLockPath
                             << "- starting without the single-instance guard.";
        return false;
    }

    // A socket file left by a crashed instance would make listen() fail.
    QLocalServer::removeServer(m_strServerPath);
    m_pServer = new QLocalServer(this);
    m_pServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_pServer->listen(m_strServerPath)) {
        qWarning().noquote() << "Single instance: cannot listen on" << m_strServerPath << ":"
                             << m_pServer->errorString();
    } else {
        connect(m_pServer, &QLocalServer::newConnection, this, &CSingleInstance::OnNewConnection);
    }
    return false;
}

void CSingleInstance::OnNewConnection()
{
    while (QLocalSocket* pSocket = m_pServer->nextPendingConnection()) {
        connect(pSocket, &QLocalSocket::disconnected, pSocket, &QObject::deleteLater);
        connect(pSocket, &QLocalSocket::readyRead, this, [this, pSocket] { ReadFrom(pSocket); });
        if (pSocket->bytesAvailable() > 0)
            ReadFrom(pSocket);
    }
}

void CSingleInstance::ReadFrom(QLocalSocket* pSocket)
{
    if (pSocket->bytesAvailable() < kHeaderSize)
        return;
    uchar header[kHeaderSize];
    if (pSocket->peek(reinterpret_cast<char*>(header), kHeaderSize) != kHeaderSize)
        return;
    const quint32 nLength = qFromBigEndian<quint32>(header);
    if (nLength > kMaxMessage) {
        qWarning() << "Single instance: dropped a message of" << nLength << "bytes.";
        pSocket->abort();
        return;
    }
    if (pSocket->bytesAvailable() < kHeaderSize + qint64(nLength))
        return; // the rest follows
    pSocket->read(kHeaderSize);
    const QByteArray message = pSocket->read(nLength);
    pSocket->write(&kAck, 1);
    pSocket->flush();

    qInfo() << "Another start of the station asked for this window.";
    if (m_bActivateOnMessage)
        ActivateWindow();
    emit MessageReceived(message);
}

bool CSingleInstance::SendMessage(const QByteArray& message, int nTimeoutMs)
{
    if (quint32(message.size()) > kMaxMessage)
        return false;
    QDeadlineTimer deadline(CStationClock::Timeout(nTimeoutMs));
    auto remaining = [&deadline] { return int(qMax<qint64>(1, deadline.remainingTime())); };

    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(m_strServerPath);
        if (socket.waitForConnected(remaining()))
            break;
        // The running instance may still be starting to listen.
        if (deadline.hasExpired())
            return false;
        CStationClock::Sleep(qMin(20, remaining()));
        if (deadline.hasExpired())
            return false;
    }

    QByteArray frame(kHeaderSize, '\0');
    qToBigEndian<quint32>(quint32(message.size()), frame.data());
    frame += message;
    socket.write(frame);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(remaining()))
            return false;
    }
    while (socket.bytesAvailable() < 1) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(remaining()))
            return false;
    }
    char answer = 0;
    return socket.read(&answer, 1) == 1 && answer == kAck;
}

void CSingleInstance::SetActivationWindow(QWidget* pWindow, bool bActivateOnMessage)
{
    m_pActivationWindow = pWindow;
    m_bActivateOnMessage = bActivateOnMessage;
}

void CSingleInstance::ActivateWindow()
{
    QWidget* pWindow = m_pActivationWindow;
    if (!pWindow)
        return;
    pWindow->setWindowState(pWindow->windowState() & ~Qt::WindowMinimized);
    pWindow->show();
    pWindow->raise();
    pWindow->activateWindow();
}
