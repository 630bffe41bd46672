#include "app/KeyringSecretStore.h"

#include "ui/QtText.h"

#include <memory>
#include <utility>

namespace vantrel {

std::optional<std::string> KeyringSecretStore::secret(const std::string& key) const {
    if (auto it = known_.find(key); it != known_.end())
        return it->second;
    return file_.secret(key);
}

void KeyringSecretStore::readAhead(const std::vector<std::string>& keys, std::function<void()> done) {
    if (keys.empty()) {
        done();
        return;
    }
    auto left = std::make_shared<size_t>(keys.size());
    auto finish = std::make_shared<std::function<void()>>(std::move(done));
    for (const std::string& key : keys) {
        ++reading_;
        keyring_.read(QtText::toQt(key), [this, key, left, finish](const MailKeyring::Result& r) {
            --reading_;
            if (r.status == MailKeyring::Status::Ok && !known_.count(key))
                known_[key] = QtText::fromQt(r.password);
            if (--*left == 0)
                (*finish)();
        });
    }
}

void KeyringSecretStore::store(const std::string& key, const std::string& secret,
                               std::function<void(const QString&)> failed) {
    known_[key] = secret;
    keyring_.write(QtText::toQt(key), QtText::toQt(secret),
                   [failed = std::move(failed)](const MailKeyring::Result& r) {
                       if (r.status != MailKeyring::Status::Ok)
                           failed(r.errorText);
                   });
}

} // namespace vantrel
