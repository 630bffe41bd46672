#pragma once

#include <optional>
#include <string>

namespace vantrel {

// Where the engine finds the secrets it sends but never stores: tokens and
// passwords of site logins and alert channels. On a desktop they live in the
// keyring, which answers asynchronously, so the program reads them ahead and
// the engine asks this store, which answers at once; a headless run reads
// them from files only their owner may read.
class SecretStore {
public:
    virtual ~SecretStore() = default;
    // The secret kept under `key`, or nothing when none is known.
    virtual std::optional<std::string> secret(const std::string& key) const = 0;
};

} // namespace vantrel
