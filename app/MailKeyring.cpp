#include "app/MailKeyring.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace vantrel {

namespace {

MailKeyring::Result resultOf(QKeychain::Job* job) {
    MailKeyring::Result r;
    switch (job->error()) {
    case QKeychain::NoError:
        r.status = MailKeyring::Status::Ok;
        if (auto* reading = qobject_cast<QKeychain::ReadPasswordJob*>(job))
            r.password = reading->textData();
        break;
    case QKeychain::EntryNotFound:
        r.status = MailKeyring::Status::NotFound;
        break;
    default:
        r.status = MailKeyring::Status::NoKeyring;
        r.errorText = job->errorString();
        break;
    }
    return r;
}

MailKeyring::Result timedOut() {
    return {MailKeyring::Status::NoKeyring, {}, QStringLiteral("the keyring did not answer")};
}

// Runs `job` and calls `done` once: with the job's result, or with a time-out
// once `bound` has passed. A job that answers later deletes itself unheard.
void runJob(QObject* owner, QKeychain::Job* job, std::chrono::milliseconds bound,
            std::function<void(const MailKeyring::Result&)> done) {
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    auto answered = std::make_shared<bool>(false);
    auto* timer = new QTimer(owner);
    timer->setSingleShot(true);
    QObject::connect(job, &QKeychain::Job::finished, owner, [answered, timer, done](QKeychain::Job* j) {
        if (std::exchange(*answered, true))
            return;
        timer->deleteLater();
        done(resultOf(j));
    });
    QObject::connect(timer, &QTimer::timeout, owner, [answered, timer, done] {
        if (std::exchange(*answered, true))
            return;
        timer->deleteLater();
        done(timedOut());
    });
    timer->start(bound);
    job->start();
}

MailKeyring::Result waitFor(QObject* owner, QKeychain::Job* job, std::chrono::milliseconds bound) {
    MailKeyring::Result result = timedOut();
    QEventLoop loop;
    QPointer<QEventLoop> alive(&loop);
    bool finished = false;
    runJob(owner, job, bound, [&, alive](const MailKeyring::Result& r) {
        if (!alive)
            return;
        result = r;
        finished = true;
        loop.quit();
    });
    if (!finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return result;
}

} // namespace

void MailKeyring::read(const QString& key, Callback done, std::chrono::milliseconds bound) {
    auto* job = new QKeychain::ReadPasswordJob(QString::fromLatin1(kService));
    job->setKey(key);
    runJob(this, job, bound, std::move(done));
}

MailKeyring::Result MailKeyring::write(const QString& key, const QString& password,
                                       std::chrono::milliseconds bound) {
    auto* job = new QKeychain::WritePasswordJob(QString::fromLatin1(kService));
    job->setKey(key);
    job->setTextData(password);
    return waitFor(this, job, bound);
}

MailKeyring::Result MailKeyring::remove(const QString& key, std::chrono::milliseconds bound) {
    auto* job = new QKeychain::DeletePasswordJob(QString::fromLatin1(kService));
    job->setKey(key);
    return waitFor(this, job, bound);
}

} // namespace vantrel
