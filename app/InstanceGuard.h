#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <functional>

namespace vantrel {

// One monitor per folder. Two monitors on one site list would mail every
// alert twice, and whichever ended last would overwrite the other's list.
// The first instance holds a lock file beside the data files and listens on
// a local socket named after the folder; a later start in the same folder
// finds the lock, asks the running instance to show its window and ends.
// A lock left by a process that no longer runs is taken over. Folders that
// differ are different monitors and run side by side.
class InstanceGuard : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kLockFileName = ".vantrel.lock";
    // Exit status of a start that found another instance in its folder and
    // could not hand over to it.
    static constexpr int kAlreadyRunningStatus = 1;

    enum class Outcome {
        First,   // this instance runs the folder (or the folder takes no lock file)
        Handed,  // another instance runs here and was asked to show its window
        Running, // another instance runs here and could not be asked
    };

    explicit InstanceGuard(QObject* parent = nullptr);
    ~InstanceGuard() override;

    // Takes the lock in the current directory. When another instance holds
    // it, `askToShow` decides whether that instance is asked to show its
    // window. A folder where no lock file can be written (read-only, full)
    // does not stop the start: nothing could be saved there by two instances.
    Outcome acquire(bool askToShow);
    // The pid of the instance that holds the lock, after Handed or Running.
    qint64 ownerPid() const { return ownerPid_; }

    // The text for a start that found another instance.
    static QString runningText(qint64 pid);
    // The local socket name for a folder, the same for every spelling of its path.
    static QString serverName(const QString& folder);

signals:
    // Another start in this folder asks for the window.
    void showRequested();

private:
    void listen();
    bool askRunningToShow() const;

    QLockFile lock_;
    QLocalServer server_;
    QString name_;
    qint64 ownerPid_ = 0;
};

} // namespace vantrel
