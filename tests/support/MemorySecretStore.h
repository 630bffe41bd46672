#pragma once

#include "monitor/SecretStore.h"

#include <map>
#include <string>

namespace vantrel::test {

// Secrets held in memory, as a test sets them.
class MemorySecretStore : public SecretStore {
public:
    std::map<std::string, std::string> secrets;
    std::optional<std::string> secret(const std::string& key) const override {
        auto it = secrets.find(key);
        if (it == secrets.end())
            return std::nullopt;
        return it->second;
    }
};

} // namespace vantrel::test
