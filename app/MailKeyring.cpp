#include "app/MailKeyring.h"

#include <qt6keychain/keychain.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>

#include <memory>
#include <utility>

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

// One operation's answer: the first of the job's result, a time-out and a
// silent service counts; later ones are not heard.
struct Answer {
    MailKeyring::Callback done;
    QTimer timer;
    bool given = false;
    void give(const MailKeyring::Result& r) {
        if (std::exchange(given, true))
            return;
        timer.stop();
        done(r);
    }
};

} // namespace

void MailKeyring::run(QKeychain::Job* job, Callback done) {
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    ++pending_;
    auto answer = std::make_shared<Answer>();
    answer->done = [this, done = std::move(done)](const Result& r) {
        --pending_;
        done(r);
    };
    answer->timer.setSingleShot(true);
    connect(&answer->timer, &QTimer::timeout, this, [answer] { answer->give(timedOut()); });
    connect(job, &QKeychain::Job::finished, this, [answer](QKeychain::Job* j) { answer->give(resultOf(j)); });
    // The job may wait for a prompt the keyring shows: allowed as long as the
    // service itself answers. A ping that gets no reply within the quiet
    // bound means the service hangs. A service that is not on the bus at all
    // is left to the job, which may reach another keyring.
    answer->timer.start(promptBound_);
    QDBusMessage ping = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(ping, static_cast<int>(bound_.count())), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [answer](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusError::ErrorType error = w->error().type();
        if (w->isError() &&
            (error == QDBusError::NoReply || error == QDBusError::Timeout || error == QDBusError::TimedOut))
            answer->give(timedOut());
    });
    job->start();
}

void MailKeyring::read(const QString& key, Callback done) {
    start(Operation::Read, key, {}, std::move(done));
}

void MailKeyring::write(const QString& key, const QString& password, Callback done) {
    start(Operation::Write, key, password, std::move(done));
}

void MailKeyring::remove(const QString& key, Callback done) {
    start(Operation::Remove, key, {}, std::move(done));
}

void MailKeyring::start(Operation op, const QString& key, const QString& password, Callback done) {
    if (backend_) {
        ++pending_;
        backend_(op, key, password, [this, done = std::move(done)](const Result& r) {
            --pending_;
            done(r);
        });
        return;
    }
    const QString service = QString::fromLatin1(kService);
    QKeychain::Job* job = nullptr;
    if (op == Operation::Read) {
        auto* reading = new QKeychain::ReadPasswordJob(service);
        reading->setKey(key);
        job = reading;
    } else if (op == Operation::Write) {
        auto* writing = new QKeychain::WritePasswordJob(service);
        writing->setKey(key);
        writing->setTextData(password);
        job = writing;
    } else {
        auto* deleting = new QKeychain::DeletePasswordJob(service);
        deleting->setKey(key);
        job = deleting;
    }
    run(job, std::move(done));
}

} // namespace vantrel
