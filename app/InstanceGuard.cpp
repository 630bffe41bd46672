#include "app/InstanceGuard.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>

#include <unistd.h>

namespace vantrel {

namespace {

constexpr int kConnectMs = 2000;
constexpr int kHangUpMs = 2000;

} // namespace

InstanceGuard::InstanceGuard(QObject* parent)
    : QObject(parent), lock_(QDir::current().absoluteFilePath(QLatin1String(kLockFileName))),
      name_(serverName(QDir::currentPath())) {
    // Only a lock of a process that no longer runs is stale, however old it is.
    lock_.setStaleLockTime(0);
    // A connection is the request itself: a start that finds the folder taken
    // has nothing else to say, so nothing is read that a quick close could lose.
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        bool asked = false;
        while (QLocalSocket* peer = server_.nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            peer->disconnectFromServer();
            asked = true;
        }
        if (asked)
            emit showRequested();
    });
}

InstanceGuard::~InstanceGuard() {
    server_.close();
    lock_.unlock();
}

QString InstanceGuard::serverName(const QString& folder) {
    const QString canonical = QDir(folder).canonicalPath();
    // The user id keeps the names of different users apart in the shared socket folder.
    const QByteArray key =
        QByteArray::number(static_cast<qulonglong>(::getuid())) + '\0' + canonical.toUtf8();
    return QStringLiteral("vantrel-") +
           QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(32));
}

QString InstanceGuard::runningText(qint64 pid) {
    return QStringLiteral("Vantrel is already running in this folder (pid %1)").arg(pid);
}

InstanceGuard::Outcome InstanceGuard::acquire(bool askToShow) {
    if (lock_.tryLock(0)) {
        listen();
        return Outcome::First;
    }
    if (lock_.error() != QLockFile::LockFailedError)
        return Outcome::First; // no lock file can be made here
    QString host, app;
    if (!lock_.getLockInfo(&ownerPid_, &host, &app))
        ownerPid_ = 0;
    return askToShow && askRunningToShow() ? Outcome::Handed : Outcome::Running;
}

void InstanceGuard::listen() {
    // A socket file left by a killed instance would block the name; the lock
    // says no other instance of this folder uses it.
    QLocalServer::removeServer(name_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(name_); // without it a later start cannot show this window, and says so
}

bool InstanceGuard::askRunningToShow() const {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(kConnectMs))
        return false;
    // The running instance shows its window and hangs up.
    if (socket.state() == QLocalSocket::ConnectedState)
        socket.waitForDisconnected(kHangUpMs);
    return true;
}

} // namespace vantrel
