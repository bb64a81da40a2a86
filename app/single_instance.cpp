#include "app/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {
constexpr char kRaiseRequest[] = "raise\n";
}

CSingleInstance::CSingleInstance(const QString& name, const QString& folder)
    : m_name(name), m_folder(folder) {}

CSingleInstance::~CSingleInstance() {
    if (m_server) m_server->close();
    if (m_lockFd >= 0) ::close(m_lockFd);  // releases the lock
}

QString CSingleInstance::RuntimeFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() ? QDir::tempPath() : folder;
}

QString CSingleInstance::LockPath() const { return QDir(m_folder).filePath(m_name + QStringLiteral(".lock")); }

QString CSingleInstance::SocketPath() const {
    return QDir(m_folder).filePath(m_name + QStringLiteral(".socket"));
}

bool CSingleInstance::Acquire() {
    if (m_lockFd >= 0) return true;
    const QByteArray path = QFile::encodeName(LockPath());
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    // Without a lock file the program cannot tell; it runs rather than refuse.
    if (fd < 0) return true;
    // The lock is held as long as the descriptor stays open, and the
    // system drops it when the process ends, however it ends.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_lockFd = fd;

    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a copy that died is stale: this process holds the lock.
    QLocalServer::removeServer(SocketPath());
    connect(m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnNewConnection);
    m_server->listen(SocketPath());
    return true;
}

bool CSingleInstance::AskRunningCopyToRaise(int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(SocketPath());
    if (!socket.waitForConnected(timeoutMs)) return false;
    socket.write(kRaiseRequest);
    const bool sent = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(timeoutMs);
    return sent;
}

void CSingleInstance::OnNewConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->readAll().contains(kRaiseRequest)) return;
            if (m_onRaise) m_onRaise();
        });
    }
}
