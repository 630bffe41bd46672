#include "platform/MailPasswordFile.h"

namespace vantrel {

MailPasswordFile::Result MailPasswordFile::read(const std::string& path) {
    SecretFile::Result r = SecretFile::read(path, "mail password file");
    return Result{r.status, std::move(r.secret), std::move(r.message)};
}

} // namespace vantrel
