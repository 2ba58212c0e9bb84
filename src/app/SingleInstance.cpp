#include "SingleInstance.h"

#include "collection/Logging.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <unistd.h>

namespace vexlor {

namespace {

constexpr QByteArrayView showRequest = "show\n";

} // namespace

SingleInstance::SingleInstance(QString runtimeDirectory, QString name, QObject* parent)
    : QObject(parent)
    , m_directory(std::move(runtimeDirectory))
    , m_name(std::move(name))
{
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
    if (m_lock)
        m_lock->unlock();
}

QString SingleInstance::defaultRuntimeDirectory()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime;
    return QDir::tempPath() + QStringLiteral("/vexlor-%1").arg(::getuid());
}

QString SingleInstance::lockPath() const
{
    return m_directory + u'/' + m_name + QStringLiteral(".lock");
}

QString SingleInstance::socketPath() const
{
    return m_directory + u'/' + m_name + QStringLiteral(".socket");
}

SingleInstance::Claim SingleInstance::claim()
{
    if (!QDir().mkpath(m_directory))
        return Claim::failed;
    // A folder of our own under the shared temporary directory is private.
    QFile::setPermissions(m_directory, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    m_lock = std::make_unique<QLockFile>(lockPath());
    // Never stale by age: only a lock whose process is gone is taken over.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return listen() ? Claim::primary : Claim::failed;

    if (m_lock->error() == QLockFile::LockFailedError) {
        qint64 pid = 0;
        QString host;
        QString application;
        // tryLock already takes over a lock whose pid is gone; a lock it
        // could not read is removed the same way once it is stale.
        if (!m_lock->getLockInfo(&pid, &host, &application) && m_lock->removeStaleLockFile() && m_lock->tryLock(0))
            return listen() ? Claim::primary : Claim::failed;
        askRunningToShow();
        m_lock.reset();
        return Claim::alreadyRunning;
    }
    m_lock.reset();
    return Claim::failed;
}

bool SingleInstance::listen()
{
    // We hold the lock, so a socket file left here belongs to a dead deck.
    QLocalServer::removeServer(socketPath());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(socketPath())) {
        qCWarning(lcApp, "[SingleInstance] cannot listen on %s: %s", qPrintable(socketPath()),
                 qPrintable(m_server->errorString()));
        return true; // still the only deck; a second start just cannot reach it
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                while (socket->canReadLine()) {
                    if (socket->readLine() == showRequest.toByteArray())
                        emit showRequested();
                }
                if (socket->bytesAvailable() > 64) // not one of ours
                    socket->abort();
            });
        }
    });
    return true;
}

bool SingleInstance::askRunningToShow()
{
    // The running deck may still be starting and not listen yet: try for a
    // couple of seconds.
    const QDeadlineTimer deadline(3000);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(500)) {
            socket.write(showRequest.data(), showRequest.size());
            const bool sent = socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            if (socket.state() != QLocalSocket::UnconnectedState)
                socket.waitForDisconnected(1000);
            return sent;
        }
        QThread::msleep(100);
    }
    qCWarning(lcApp, "[SingleInstance] a deck is running but did not answer on %s", qPrintable(socketPath()));
    return false;
}

} // namespace vexlor
