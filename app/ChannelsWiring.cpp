#include "app/ChannelsWiring.h"

#include "app/SiteMonitorDlg.h"
#include "model/DateText.h"
#include "monitor/SecretStore.h"
#include "platform/SecretFile.h"
#include "ui/ChannelsPage.h"
#include "ui/QtText.h"

#include <QPointer>

#include <cstdio>
#include <memory>

namespace vantrel {

std::atomic<int> ChannelsWiring::secretsGeneration_{0};

ChannelsWiring::ChannelsWiring(CSiteMonitorDlg& dialog, bool headless, QObject* parent)
    : QObject(parent), dialog_(dialog), headless_(headless), hub_(ChannelOutbox::kFileName, this) {
    poll_.setInterval(2000);
    connect(&poll_, &QTimer::timeout, this, &ChannelsWiring::applyIfChanged);
}

ChannelsWiring::~ChannelsWiring() {
    ChannelsPage::setSecrets({});
    dialog_.engine().setAlertChannels(nullptr);
}

void ChannelsWiring::start() {
    // The Channels page of Preferences reads a channel's secret from the
    // running senders and keeps a typed one in the keyring.
    ChannelsPage::setSecrets(
        {[this](const std::string& key) {
             for (const AlertChannel& c : hub_.channels())
                 if (c.secretKey() == key)
                     return c.secret;
             return std::string();
         },
         [this](const std::string& key, const std::string& secret) {
             // The keyring answers later; the senders read the secrets again then.
             dialog_.keyring().write(
                 QtText::toQt(key), QtText::toQt(secret),
                 [this, self = QPointer<ChannelsWiring>(this), key](const MailKeyring::Result& r) {
                     if (!self)
                         return; // the program is ending
                     if (r.status != MailKeyring::Status::Ok)
                         tell("The keyring did not take the token of " + key.substr(8) + " (" +
                              QtText::fromQt(r.errorText) + "); name a token file for it instead.");
                     secretsChanged();
                 });
         }});
    std::string error;
    if (!hub_.loadOutbox(&error))
        tell(error);
    dialog_.engine().setAlertChannels(&hub_);
    applyIfChanged();
    poll_.start();
}

void ChannelsWiring::applyIfChanged() {
    const ExtraSettings& x = dialog_.engine().extraSettings();
    if (pending_ > 0 || (x.channels == applied_[0] && x.channelTokenFiles == applied_[1] &&
                         x.channelTemplates == applied_[2] && appliedGeneration_ == secretsGeneration_))
        return;
    applied_[0] = x.channels;
    applied_[1] = x.channelTokenFiles;
    applied_[2] = x.channelTemplates;
    appliedGeneration_ = secretsGeneration_;
    apply();
}

void ChannelsWiring::apply() {
    const ExtraSettings& x = dialog_.engine().extraSettings();
    auto channels = std::make_shared<std::vector<AlertChannel>>();
    for (const auto& [number, value] : x.channels) {
        std::string error;
        std::optional<AlertChannel> c = AlertChannel::parse(number, value, &error);
        if (!c) {
            tell("CHANNEL" + std::to_string(number) + " is not used: " + error);
            continue;
        }
        if (auto t = x.channelTemplates.find(number); t != x.channelTemplates.end())
            c->bodyTemplate = t->second;
        channels->push_back(std::move(*c));
    }
    // The secrets: a token file named for the channel, else the keyring,
    // else (no keyring answers) the secrets file.
    auto configure = [this, channels] {
        if (--pending_ == 0)
            hub_.configure(*channels);
    };
    pending_ = 1;
    for (AlertChannel& c : *channels) {
        if (auto f = x.channelTokenFiles.find(c.number);
            f != x.channelTokenFiles.end() && !f->second.empty()) {
            const SecretFile::Result r = SecretFile::read(f->second, "channel token file");
            if (r.status == SecretFile::Status::Ok)
                c.secret = r.secret;
            else
                tell("CHANNEL" + std::to_string(c.number) + ": " + r.message);
            continue;
        }
        const SecretStore* store = &dialog_.secrets();
        if (headless_) {
            c.secret = store->secret(c.secretKey()).value_or(std::string());
            continue;
        }
        ++pending_;
        const int number = c.number;
        dialog_.keyring().read(QtText::toQt(c.secretKey()),
                               [self = QPointer<ChannelsWiring>(this), channels, number, store,
                                configure](const MailKeyring::Result& r) {
                                   if (!self)
                                       return; // the program is ending
                                   for (AlertChannel& each : *channels) {
                                       if (each.number != number)
                                           continue;
                                       if (r.status == MailKeyring::Status::Ok)
                                           each.secret = QtText::fromQt(r.password);
                                       else
                                           each.secret = store->secret(each.secretKey()).value_or("");
                                   }
                                   configure();
                               });
    }
    configure();
}

void ChannelsWiring::delivered(const DeliveryReport& report) {
    // On the channel's thread: the window is told on its own.
    QMetaObject::invokeMethod(
        this, [this, report] { show(report); }, Qt::QueuedConnection);
}

void ChannelsWiring::show(const DeliveryReport& report) {
    const std::time_t now = dialog_.clock().now();
    std::string detail = report.channel + " (" + report.site + "): " + report.detail;
    if (!report.ok)
        detail += report.givenUp ? ", given up" : ", tried again later";
    if (!report.ok && headless_)
        std::fprintf(stderr, "Alert failed %s: %s\n", DateText::timeOfDay(now).c_str(), detail.c_str());
    dialog_.desktop().alerts().alertResult(report.ok, DateText::timeOfDay(now), detail);
    dialog_.engine().recordDelivery({now, report.url, report.site, "channel", report.ok, detail});
}

void ChannelsWiring::tell(const std::string& line) {
    std::fprintf(stderr, "Vantrel: %s\n", line.c_str());
    if (!headless_)
        dialog_.desktop().alerts().alertResult(false, DateText::timeOfDay(dialog_.clock().now()), line);
}

} // namespace vantrel
