#pragma once

#include "platform/LockFile.h"

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>

namespace vantrel {

// One monitor per folder. Two monitors on one site list would mail every
// alert twice, and whichever ended last would overwrite the other's list.
//
// The first instance holds a lock file beside the data files and listens on
// a local socket named after the folder; a later start in the same folder
// asks on that socket, which makes the running instance show its window, and
// ends. On this host the socket decides: a folder is busy only while a
// Vantrel there answers, so a lock whose holder does not answer is stale,
// whatever pid it names (this process's own after a restart in a container,
// another folder's Vantrel, none at all in a file cut short), and is taken
// over, which is logged. A lock from another host (a home folder shared over
// the network) cannot be asked: its holder refreshes it every minute, and it
// is stale once it is kStaleAfter old; until then the start names that host
// and ends. Folders that differ are different monitors and run side by side.
class InstanceGuard : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kLockFileName = ".vantrel.lock";
    // Exit status of a start that found another instance in its folder and
    // could not hand over to it.
    static constexpr int kAlreadyRunningStatus = 1;
    static constexpr std::chrono::minutes kRefreshEvery{1};
    static constexpr std::chrono::minutes kStaleAfter{10};
    // How long a Vantrel on this host has to answer on its socket.
    static constexpr int kAnswerMs = 2000;

    enum class Outcome {
        First,   // this instance runs the folder
        Handed,  // another instance runs here and was asked to show its window
        Running, // this start cannot run here; refusalText() says why
    };

    explicit InstanceGuard(QObject* parent = nullptr);
    ~InstanceGuard() override;

    // Takes the folder in the current directory. When a Vantrel here
    // answers, `askToShow` decides whether it is asked to show its window.
    // A folder that takes no lock file (no write permission bits,
    // read-only) is guarded by the socket alone.
    Outcome acquire(bool askToShow);
    // The pid of the instance that holds the folder, after Handed or Running.
    qint64 ownerPid() const { return ownerPid_; }
    // After Running: what holds the folder, and which file to remove if
    // nothing does any more.
    QString refusalText() const { return refusal_; }

    // The text for a start that found another instance on this host.
    static QString runningText(qint64 pid);
    // The local socket name for a folder, the same for every spelling of its path.
    static QString serverName(const QString& folder);

    // Commands from the command line ("command {json}" lines, see
    // FolderRequest) go to `handler`, which answers through `reply` with one
    // line, now or later; the connection then ends. Without a handler a
    // command is answered as failed.
    using Reply = std::function<void(const QByteArray& line)>;
    using CommandHandler = std::function<void(const QByteArray& line, Reply reply)>;
    void setCommandHandler(CommandHandler handler) { commandHandler_ = std::move(handler); }
    // The longest a command line may take to arrive.
    static constexpr int kCommandArrivalMs = 10000;

signals:
    // Another start in this folder asks for the window.
    void showRequested();

private:
    bool askRunning(bool toShow);
    void answer(class QLocalSocket* peer);
    void runCommand(class QLocalSocket* peer, const QByteArray& line);
    void listen();
    void refresh();

    LockFile lock_;
    QLocalServer server_;
    QTimer refreshTimer_;
    QString name_;
    qint64 ownerPid_ = 0;
    QString refusal_;
    bool lossLogged_ = false;
    CommandHandler commandHandler_;
};

} // namespace vantrel
