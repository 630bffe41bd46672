#include "app/InstanceGuard.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QPointer>
#include <QSysInfo>

#include <cstdio>
#include <unistd.h>

namespace vantrel {

namespace {

// A start that would run beside one whose lock keeps changing gives up
// after judging it this often.
constexpr int kJudgements = 3;

void logLine(const QString& text) {
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

QString minutesText(long long minutes) {
    return minutes == 1 ? QStringLiteral("1 minute") : QStringLiteral("%1 minutes").arg(minutes);
}

} // namespace

InstanceGuard::InstanceGuard(QObject* parent)
    : QObject(parent), lock_(QDir::current().absoluteFilePath(QLatin1String(kLockFileName)).toStdString()),
      name_(serverName(QDir::currentPath())) {
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_.nextPendingConnection())
            answer(peer);
    });
    refreshTimer_.setInterval(kRefreshEvery);
    connect(&refreshTimer_, &QTimer::timeout, this, &InstanceGuard::refresh);
}

InstanceGuard::~InstanceGuard() {
    server_.close();
    lock_.release();
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
    const QString host = QSysInfo::machineHostName();
    const QString path = QString::fromStdString(lock_.path());
    const std::string contents = LockFile::contentsFor(
        QCoreApplication::applicationPid(),
        QFileInfo(QCoreApplication::applicationFilePath()).fileName().toStdString(), host.toStdString(),
        QSysInfo::machineUniqueId().toStdString(), QSysInfo::bootUniqueId().toStdString());
    auto answered = [this, askToShow] {
        if (askToShow)
            return Outcome::Handed;
        refusal_ = runningText(ownerPid_);
        return Outcome::Running;
    };
    auto first = [this] {
        listen();
        return Outcome::First;
    };
    for (int judged = 0; judged < kJudgements; ++judged) {
        const LockFile::Result made = lock_.create(contents);
        if (made == LockFile::Result::Taken)
            return first();
        if (made != LockFile::Result::Exists) {
            // No lock file can be made here: the socket alone tells.
            return askRunning(askToShow) ? answered() : first();
        }
        const std::optional<LockFile::Owner> owner = lock_.owner();
        if (!owner)
            continue; // gone meanwhile
        ownerPid_ = owner->pid;
        // A Vantrel of this folder on this host answers, whatever the lock says.
        if (askRunning(askToShow))
            return answered();
        const QString holder = QString::fromStdString(owner->host);
        if (!holder.isEmpty() && holder != host) {
            const long long minutes = (QDateTime::currentSecsSinceEpoch() - owner->refreshed) / 60;
            if (minutes < kStaleAfter.count()) {
                refusal_ =
                    QStringLiteral("Vantrel is already running in this folder on %1 (pid %2): its lock %3 "
                                   "was refreshed %4 ago. If no Vantrel runs there any more, remove %3; "
                                   "it is taken over anyway once it is %5 old.")
                        .arg(holder)
                        .arg(owner->pid)
                        .arg(path, minutesText(std::max(0LL, minutes)), minutesText(kStaleAfter.count()));
                return Outcome::Running;
            }
        }
        const QString left = holder.isEmpty()
                                 ? QStringLiteral("left empty or damaged")
                                 : QStringLiteral("left by pid %1 on %2").arg(owner->pid).arg(holder);
        switch (lock_.takeOver(*owner, contents)) {
        case LockFile::Result::Taken:
            logLine(QStringLiteral("Vantrel took over the lock %1, %2: no Vantrel answers for this folder.")
                        .arg(path, left));
            return first();
        case LockFile::Result::NoFolder:
            return first(); // nothing may be removed here: the socket alone guards the folder
        case LockFile::Result::Exists:
            continue; // another start was quicker: judge its lock
        case LockFile::Result::Failed:
            refusal_ =
                QStringLiteral("Vantrel cannot take over the lock %1, %2, although no Vantrel answers for "
                               "this folder: %3. Remove %1 and start Vantrel again.")
                    .arg(path, left, QString::fromLocal8Bit(lock_.error().c_str()));
            return Outcome::Running;
        }
    }
    refusal_ =
        QStringLiteral("The lock %1 keeps changing: another Vantrel is starting in this folder. If none "
                       "runs, remove %1 and start Vantrel again.")
            .arg(path);
    return Outcome::Running;
}

void InstanceGuard::listen() {
    // A socket file left by a killed instance would block the name; the lock
    // says no other instance of this folder uses it.
    QLocalServer::removeServer(name_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(name_); // without it a later start cannot show this window, and says so
    if (lock_.held())
        refreshTimer_.start();
}

// The running instance names its pid, shows its window unless the request
// says "ask" (an older version sends nothing: its connection is the
// request), and hangs up. A command from the command line is answered
// with its reply line before the connection ends.
void InstanceGuard::answer(QLocalSocket* peer) {
    connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
    peer->write(QByteArray::number(QCoreApplication::applicationPid()) + '\n');
    auto decide = [this, peer](bool anyway) {
        if (peer->property("answered").toBool())
            return;
        const bool command = peer->peek(8) == "command ";
        // A long command line may come in pieces: it is waited for, not taken as "show".
        if (!peer->canReadLine() && (!anyway || command))
            return;
        peer->setProperty("answered", true);
        const QByteArray line = peer->readLine();
        if (command) {
            runCommand(peer, line);
            return;
        }
        if (!line.startsWith("ask"))
            emit showRequested();
        peer->disconnectFromServer();
    };
    connect(peer, &QLocalSocket::readyRead, peer, [decide] { decide(false); });
    QTimer::singleShot(kAnswerMs / 2, peer, [decide] { decide(true); });
    QTimer::singleShot(kCommandArrivalMs, peer, [peer] {
        if (!peer->property("answered").toBool())
            peer->disconnectFromServer();
    });
}

void InstanceGuard::runCommand(QLocalSocket* peer, const QByteArray& line) {
    QPointer<QLocalSocket> to(peer);
    Reply reply = [to](const QByteArray& answer) {
        if (!to)
            return; // the asker gave up
        to->write(answer.endsWith('\n') ? answer : answer + '\n');
        to->flush();
        to->disconnectFromServer();
    };
    if (!commandHandler_) {
        reply(R"({"v":1,"status":3,"message":"This Vantrel is starting and takes no commands yet."})");
        return;
    }
    commandHandler_(line, std::move(reply));
}

bool InstanceGuard::askRunning(bool toShow) {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(kAnswerMs))
        return false;
    socket.write(toShow ? "show\n" : "ask\n");
    socket.flush();
    QElapsedTimer waited;
    waited.start();
    while (!socket.canReadLine() && socket.state() == QLocalSocket::ConnectedState &&
           waited.elapsed() < kAnswerMs)
        socket.waitForReadyRead(static_cast<int>(kAnswerMs - waited.elapsed()));
    bool ok = false;
    const qint64 pid = socket.canReadLine() ? socket.readLine().trimmed().toLongLong(&ok) : 0;
    if (ok && pid > 0)
        ownerPid_ = pid;
    if (socket.state() == QLocalSocket::ConnectedState)
        socket.waitForDisconnected(static_cast<int>(std::max<qint64>(0, kAnswerMs - waited.elapsed())));
    return true;
}

void InstanceGuard::refresh() {
    if (lock_.refresh() || lossLogged_)
        return;
    lossLogged_ = true;
    const std::optional<LockFile::Owner> owner = lock_.owner();
    logLine(QStringLiteral("The lock %1 is no longer this Vantrel's (it names pid %2 on %3).")
                .arg(QString::fromStdString(lock_.path()))
                .arg(owner ? owner->pid : 0)
                .arg(owner ? QString::fromStdString(owner->host) : QStringLiteral("no host")));
}

} // namespace vantrel
