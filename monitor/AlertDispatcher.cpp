#include "monitor/AlertDispatcher.h"

#include "model/Clock.h"
#include "model/DateText.h"
#include "model/TextUtil.h"
#include "monitor/MonitorView.h"
#include "monitor/SiteMonitor.h"
#include "notify/AlertChannels.h"
#include "platform/SoundPlayer.h"

#include <charconv>

namespace vantrel {

void AlertDispatcher::sendErrorReport() {
    sendReport(kErrorSubject, monitor_.reportBody());
}

void AlertDispatcher::sendRecoveryReport() {
    sendReport(kRecoverySubject, monitor_.reportBody());
}

void AlertDispatcher::sendSlowReport() {
    sendReport(kSlowSubject, monitor_.reportBody());
}

void AlertDispatcher::sendReport(const char* subject, const std::string& text) {
    // In the quiet hours a mail may wait for their end.
    if (monitor_.mailsWait()) {
        monitor_.alertHold().holdMail({subject, text});
        return;
    }
    sendHeldReport(subject, text);
}

void AlertDispatcher::sendHeldReport(const std::string& subject, const std::string& text) {
    const Settings& s = monitor_.settings();
    // Every line of the report ends in exactly one CR LF on the wire. The
    // explanation follows only when the user asked for it.
    std::string explained = text;
    if (monitor_.extraSettings().mailExplain)
        explained += explanation(text);
    const std::string body = text::normalizeCrLf(explained);
    // The security and login as they are now: Preferences may have changed
    // them since the last report.
    monitor_.reportMailer().setSubmission(monitor_.mailSubmission());
    // A submission server lets its user send only from their own address:
    // a secured submission sends from YOUREMAIL, named YOURNAME.
    const bool secured = monitor_.extraSettings().mailSecurity != MailSecurity::None;
    monitor_.reportMailer().setSenderName(secured ? s.yourName : std::string());
    // Each address gets its own message, with itself as the sender unless
    // the submission is secured.
    for (const std::string* address : {&s.email1, &s.email2}) {
        if (address->empty() || monitor_.stopRequested())
            continue;
        SmtpMailer& mailer = monitor_.reportMailer();
        const std::string& sender = secured && !s.yourEmail.empty() ? s.yourEmail : *address;
        const bool ok = mailer.sendMail(*address, body, sender, s.smtpServer, subject);
        monitor_.alertSink().mailResult(ok, DateText::timeOfDay(monitor_.clock().now()),
                                        ok ? std::string() : mailer.errorText);
        monitor_.recordAlert("mail", ok, ok ? *address : *address + ": " + mailer.errorText);
    }
}

std::string AlertDispatcher::explanation(const std::string& report) const {
    const AlertMessage& m = explained_;
    std::string out;
    auto add = [&out](const char* label, const std::string& value) {
        if (!value.empty())
            out += std::string(label) + value + "\n";
    };
    // A report of a site with options names its reason already.
    if (report.find("Reason: ") == std::string::npos)
        add("Reason: ", m.reason);
    if (!m.downSince.empty())
        add("Down since: ", m.downSince + (m.duration.empty() ? "" : " (" + m.duration + ")"));
    add("Last good check: ", m.lastGood);
    add("The server sent: ", m.page);
    return out;
}

void AlertDispatcher::noteCheck(const std::string& judgedAgainst) {
    const SiteEntry& entry = monitor_.data().entry;
    const ExtraSettings& x = monitor_.extraSettings();
    const std::optional<AlertMessage> alert =
        channelAlerts_.checked(entry, judgedAgainst, monitor_.clock().now(), monitor_.fetcher().pageText,
                               ChannelAlerts::Reminders{x.remindEvery, x.remindMax});
    explained_ = channelAlerts_.explanation();
    if (alert && monitor_.alertChannels() && !monitor_.stopRequested())
        monitor_.alertChannels()->send(*alert, routeOf(entry.options.channels));
}

std::vector<int> AlertDispatcher::routeOf(const std::string& channels) {
    std::vector<int> numbers;
    size_t i = 0;
    while (i < channels.size()) {
        size_t end = channels.find(',', i);
        if (end == std::string::npos)
            end = channels.size();
        std::string_view part(channels.data() + i, end - i);
        while (!part.empty() && part.front() == ' ')
            part.remove_prefix(1);
        while (!part.empty() && part.back() == ' ')
            part.remove_suffix(1);
        int n = 0;
        const auto [p, ec] = std::from_chars(part.data(), part.data() + part.size(), n);
        if (ec == std::errc() && p == part.data() + part.size() && n > 0)
            numbers.push_back(n);
        i = end + 1;
    }
    // A text that names no channel at all ("none", "0") sends to none,
    // rather than falling back to every channel.
    if (numbers.empty() && !channels.empty())
        numbers.push_back(0);
    return numbers;
}

void AlertDispatcher::startErrorSound() {
    if (monitor_.stopRequested() || monitor_.quietNow())
        return;
    // Set on the user-interface thread, before anything plays, so no other
    // thread ever writes the setting.
    std::string& sound = monitor_.settings().errorSound;
    if (sound.empty())
        sound = kDefaultSound;
    // Do-not-disturb holds the sound for the summary at its end.
    if (monitor_.alertHold().doNotDisturb()) {
        monitor_.alertHold().holdSound(sound);
        return;
    }
    if (SoundPlayer* player = monitor_.soundPlayer())
        player->play(sound);
    monitor_.recordAlert("sound", true, sound);
}

void AlertDispatcher::callErrorUrl() {
    const std::string url = monitor_.data().entry.errorUrl;
    if (!text::contains(url, "http:") || monitor_.stopRequested())
        return;
    const size_t post = url.find("/POST ");
    bool ok = true;
    if (post == std::string::npos) {
        ok = monitor_.fetcher().fetchPage(url);
        monitor_.recordAlert("url", ok, ok ? "GET" : "GET failed: " + monitor_.fetcher().lastFetchError);
    } else if (post > 0) {
        ok = monitor_.poster().postErrorUrl(url);
        monitor_.recordAlert("url", ok, ok ? "POST" : "POST failed");
    }
    if (!ok && !monitor_.stopRequested())
        monitor_.view().messageBox(kUrlFailedText, "Error");
}

} // namespace vantrel
