#include "app/KeyringSecretStore.h"

#include "ui/QtText.h"

#include <qt6keychain/keychain.h>

#include <QTimer>

#include <memory>
#include <utility>

namespace vantrel {

namespace {

// Starts `job` and calls `done` once: with the job's error text (empty on
// success), or with a time-out once `bound` has passed. A job answering
// after that deletes itself unheard.
void runBounded(QObject* owner, QKeychain::Job* job, std::chrono::milliseconds bound,
                std::function<void(QKeychain::Job*, const QString&)> done) {
    job->setAutoDelete(true);
    job->setInsecureFallback(false); // never a file in the clear
    auto answered = std::make_shared<bool>(false);
    auto* timer = new QTimer(owner);
    timer->setSingleShot(true);
    QObject::connect(job, &QKeychain::Job::finished, owner, [answered, timer, done](QKeychain::Job* j) {
        if (std::exchange(*answered, true))
            return;
        timer->deleteLater();
        done(j, j->error() == QKeychain::NoError ? QString() : j->errorString());
    });
    QObject::connect(timer, &QTimer::timeout, owner, [answered, timer, done] {
        if (std::exchange(*answered, true))
            return;
        timer->deleteLater();
        done(nullptr, QStringLiteral("the keyring did not answer"));
    });
    timer->start(bound);
    job->start();
}

} // namespace

KeyringSecretStore::KeyringSecretStore(std::unique_ptr<SecretStore> fallback, QObject* parent)
    : QObject(parent), fallback_(std::move(fallback)) {}

KeyringSecretStore::~KeyringSecretStore() = default;

std::optional<std::string> KeyringSecretStore::secret(const std::string& key) const {
    if (auto it = known_.find(key); it != known_.end())
        return it->second;
    return fallback_ ? fallback_->secret(key) : std::nullopt;
}

void KeyringSecretStore::prefetch(const std::vector<std::string>& keys, std::function<void()> done,
                                  std::chrono::milliseconds bound) {
    auto left = std::make_shared<size_t>(keys.size());
    if (keys.empty()) {
        if (done)
            done();
        return;
    }
    for (const std::string& key : keys) {
        auto* job = new QKeychain::ReadPasswordJob(QString::fromLatin1(kService));
        job->setKey(QtText::toQt(key));
        ++pending_;
        runBounded(this, job, bound, [this, key, left, done](QKeychain::Job* j, const QString& error) {
            --pending_;
            // A secret stored in this run while the read was under way is newer.
            if (error.isEmpty() && j && !known_.count(key))
                known_[key] = QtText::fromQt(static_cast<QKeychain::ReadPasswordJob*>(j)->textData());
            if (--*left == 0 && done)
                done();
        });
    }
}

void KeyringSecretStore::store(const std::string& key, const std::string& secret,
                               std::function<void(const QString&)> done, std::chrono::milliseconds bound) {
    known_[key] = secret;
    auto* job = new QKeychain::WritePasswordJob(QString::fromLatin1(kService));
    job->setKey(QtText::toQt(key));
    job->setTextData(QtText::toQt(secret));
    ++pending_;
    runBounded(this, job, bound, [this, done](QKeychain::Job*, const QString& error) {
        --pending_;
        if (done)
            done(error);
    });
}

} // namespace vantrel
