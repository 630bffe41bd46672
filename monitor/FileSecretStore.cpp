#include "monitor/FileSecretStore.h"

#include "platform/SecretsFile.h"

#include <cstdio>

namespace vantrel {

std::optional<std::string> FileSecretStore::secret(const std::string& key) const {
    SecretsFile::Result file = SecretsFile::read(path_);
    if (file.status != SecretsFile::Status::Ok) {
        if (file.status != SecretsFile::Status::Missing && !told_) {
            std::fprintf(stderr, "%s\n", file.message.c_str());
            std::fflush(stderr);
            told_ = true;
        }
        return std::nullopt;
    }
    auto it = file.secrets.find(key);
    if (it == file.secrets.end())
        return std::nullopt;
    return std::move(it->second);
}

} // namespace vantrel
