#pragma once

#include "app/MailKeyring.h"
#include "monitor/FileSecretStore.h"
#include "monitor/SecretStore.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vantrel {

// The secrets of site logins as the desktop keeps them: in the keyring, under
// the service "Vantrel". The keyring answers asynchronously and the engine
// asks in the middle of a pass, so the secrets are read ahead into memory and
// the engine's questions are answered from there. A secret the keyring does
// not hold comes from the secrets file (FileSecretStore), as in a headless run.
class KeyringSecretStore : public SecretStore {
public:
    KeyringSecretStore() = default;

    std::optional<std::string> secret(const std::string& key) const override;

    // Reads the secrets under `keys` from the keyring; `done` runs once all
    // have answered (each within the keyring's bounds).
    void readAhead(const std::vector<std::string>& keys, std::function<void()> done);
    // Whether no read ahead is under way.
    bool ready() const { return reading_ == 0; }
    // Keeps `secret` under `key`: in memory at once, in the keyring when it
    // answers. `failed` runs with the keyring's reason when it did not take it.
    void store(const std::string& key, const std::string& secret, std::function<void(const QString&)> failed);

    MailKeyring& keyring() { return keyring_; }

private:
    MailKeyring keyring_;
    FileSecretStore file_;
    std::map<std::string, std::string> known_;
    int reading_ = 0;
};

} // namespace vantrel
