#pragma once

#include "monitor/SecretStore.h"

#include <string>

namespace vantrel {

// The secrets of a headless run: read from a secrets file (SecretsFile)
// each time one is asked for, so an edited file counts at the next check.
// A file that cannot be used is told once on standard error; a missing file
// is simply no secret.
class FileSecretStore : public SecretStore {
public:
    static constexpr const char* kFileName = "vantrel-secrets";

    explicit FileSecretStore(std::string path = kFileName) : path_(std::move(path)) {}
    std::optional<std::string> secret(const std::string& key) const override;

private:
    std::string path_;
    mutable bool told_ = false;
};

} // namespace vantrel
