#pragma once

#include "monitor/SecretStore.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vantrel {

// The login secrets of the sites on a desktop, kept in the keyring (the
// Secret Service, through QtKeychain) under the service "Vantrel". The
// engine asks synchronously while the keyring answers asynchronously, so
// the secrets of the listed sites are read ahead (prefetch) and kept in
// memory; a key the keyring does not hold, or every key when no keyring
// answers, is looked up in the fallback store (the secrets file of
// headless runs). Nothing here waits in a loop of its own: each keyring job
// reports through a callback, and a silent keyring counts as absent once
// its bound has passed.
class KeyringSecretStore : public QObject, public SecretStore {
    Q_OBJECT
public:
    static constexpr const char* kService = "Vantrel";
    static constexpr std::chrono::milliseconds kBound{std::chrono::seconds(5)};

    explicit KeyringSecretStore(std::unique_ptr<SecretStore> fallback, QObject* parent = nullptr);
    ~KeyringSecretStore() override;

    std::optional<std::string> secret(const std::string& key) const override;

    // Reads these keys from the keyring; `done` runs once, after every key
    // was answered or the bound passed.
    void prefetch(const std::vector<std::string>& keys, std::function<void()> done = {},
                  std::chrono::milliseconds bound = kBound);
    // Keeps `secret` under `key`: in memory at once, so the next check sends
    // it, and in the keyring; `done` runs once with an empty text when the
    // keyring took it, or with the reason it did not.
    void store(const std::string& key, const std::string& secret,
               std::function<void(const QString&)> done = {}, std::chrono::milliseconds bound = kBound);

    // Keyring jobs that have not answered yet.
    int pending() const { return pending_; }

private:
    std::unique_ptr<SecretStore> fallback_;
    std::map<std::string, std::string> known_;
    int pending_ = 0;
};

} // namespace vantrel
