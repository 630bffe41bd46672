#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>

namespace vantrel {

// The mail password in the desktop keyring (the Secret Service, through
// QtKeychain), under the service "Vantrel" and the key "<user>@<server>".
// Nothing is ever written to a file in the clear: QtKeychain's fallback to a
// plain settings file is off. Every operation ends within its bound, so a
// keyring that never answers holds up neither start-up nor a dialog.
class MailKeyring : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kService = "Vantrel";
    static constexpr std::chrono::milliseconds kBound{std::chrono::seconds(5)};

    enum class Status { Ok, NotFound, NoKeyring };
    struct Result {
        Status status = Status::NoKeyring;
        QString password;
        QString errorText; // why the keyring did not answer
    };
    using Callback = std::function<void(const Result&)>;

    explicit MailKeyring(QObject* parent = nullptr) : QObject(parent) {}

    static QString keyFor(const QString& user, const QString& server) { return user + '@' + server; }

    // Starts reading; `done` runs once on the user-interface thread, with
    // NoKeyring when the keyring fails or stays silent past `bound`.
    void read(const QString& key, Callback done, std::chrono::milliseconds bound = kBound);
    // Store and remove wait for their answer, within `bound`, in a local
    // event loop that holds user input back.
    Result write(const QString& key, const QString& password, std::chrono::milliseconds bound = kBound);
    Result remove(const QString& key, std::chrono::milliseconds bound = kBound);
};

} // namespace vantrel
