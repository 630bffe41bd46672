#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <utility>

namespace QKeychain {
class Job;
}

namespace vantrel {

// The mail password in the desktop keyring (the Secret Service, through
// QtKeychain), under the service "Vantrel" and the key "<user>@<server>".
// Nothing is ever written to a file in the clear: QtKeychain's fallback to a
// plain settings file is off. Every operation answers through its callback on
// the user-interface thread, never in a wait, and within its bound.
//
// A keyring may ask the user before it answers (a Secret Service prompt for a
// new keyring's password, or to unlock one). That is the keyring working, not
// failing: while the service still answers on the bus, an operation waits up
// to kPromptBound for the prompt to be answered, and a dismissed prompt is
// the failure. Only a service that does not answer at all within kBound
// fails early.
class MailKeyring : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kService = "Vantrel";
    static constexpr std::chrono::milliseconds kBound{std::chrono::seconds(5)};
    static constexpr std::chrono::milliseconds kPromptBound{std::chrono::minutes(5)};

    enum class Status { Ok, NotFound, NoKeyring };
    struct Result {
        Status status = Status::NoKeyring;
        QString password;
        QString errorText; // why the keyring did not answer
    };
    using Callback = std::function<void(const Result&)>;

    explicit MailKeyring(QObject* parent = nullptr) : QObject(parent) {}

    static QString keyFor(const QString& user, const QString& server) { return user + '@' + server; }

    // Each starts its operation; `done` runs once, with NoKeyring when the
    // keyring fails, the prompt is dismissed, or no answer comes in time.
    void read(const QString& key, Callback done);
    void write(const QString& key, const QString& password, Callback done);
    void remove(const QString& key, Callback done);

    // Where the operations go instead of QtKeychain: tests put a fake
    // keyring here. It answers through `done`, at once or later.
    enum class Operation { Read, Write, Remove };
    using Backend =
        std::function<void(Operation, const QString& key, const QString& password, Callback done)>;
    void setBackend(Backend backend) { backend_ = std::move(backend); }

    // Operations started and not answered yet.
    int pending() const { return pending_; }
    // Bounds of the next operations (tests shorten them).
    void setBounds(std::chrono::milliseconds quiet, std::chrono::milliseconds prompt) {
        bound_ = quiet;
        promptBound_ = prompt;
    }

private:
    void start(Operation op, const QString& key, const QString& password, Callback done);
    void run(QKeychain::Job* job, Callback done);

    Backend backend_;
    int pending_ = 0;
    std::chrono::milliseconds bound_ = kBound;
    std::chrono::milliseconds promptBound_ = kPromptBound;
};

} // namespace vantrel
