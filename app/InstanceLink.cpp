#include "app/InstanceLink.h"

#include "app/InstanceGuard.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>

namespace vantrel {

namespace {

// Reads one line within what is left of `timer`'s `limitMs`; empty when none came.
QByteArray lineWithin(QLocalSocket& socket, const QElapsedTimer& timer, qint64 limitMs) {
    while (!socket.canReadLine() && socket.state() == QLocalSocket::ConnectedState &&
           timer.elapsed() < limitMs)
        socket.waitForReadyRead(static_cast<int>(std::min<qint64>(limitMs - timer.elapsed(), 1000)));
    return socket.canReadLine() ? socket.readLine() : QByteArray();
}

} // namespace

InstanceLink::InstanceLink() = default;
InstanceLink::~InstanceLink() = default;

std::optional<FolderReply> InstanceLink::ask(const FolderRequest& request, std::chrono::milliseconds wait,
                                             std::string& problem) {
    QLocalSocket socket;
    socket.connectToServer(InstanceGuard::serverName(QDir::currentPath()));
    if (!socket.waitForConnected(InstanceGuard::kAnswerMs))
        return std::nullopt; // nobody listens: no instance runs here
    const std::string line = request.toLine();
    socket.write(line.data(), static_cast<qint64>(line.size()));
    socket.flush();
    QElapsedTimer timer;
    timer.start();
    const QByteArray pid = lineWithin(socket, timer, InstanceGuard::kAnswerMs).trimmed();
    if (pid.isEmpty())
        return std::nullopt; // a socket left behind, or a lock holder that does not serve
    timer.restart();
    const QByteArray answer = lineWithin(socket, timer, wait.count());
    if (answer.isEmpty()) {
        problem = socket.state() == QLocalSocket::ConnectedState
                      ? "The Vantrel running here (pid " + pid.toStdString() + ") did not answer in time."
                      : "The Vantrel running here (pid " + pid.toStdString() +
                            ") takes no commands (an older version?).";
        return std::nullopt;
    }
    std::string why;
    std::optional<FolderReply> reply = FolderReply::fromLine(answer.toStdString(), why);
    if (!reply)
        problem =
            "The Vantrel running here (pid " + pid.toStdString() + ") answered something unreadable: " + why;
    return reply;
}

bool InstanceLink::lock(std::string& why) {
    guard_ = std::make_unique<InstanceGuard>();
    if (guard_->acquire(false) == InstanceGuard::Outcome::First)
        return true;
    why = guard_->refusalText().toStdString();
    guard_.reset();
    return false;
}

void InstanceLink::unlock() {
    guard_.reset();
}

} // namespace vantrel
