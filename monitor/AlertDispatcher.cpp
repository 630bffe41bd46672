#include "monitor/AlertDispatcher.h"

#include "model/Clock.h"
#include "model/DateText.h"
#include "model/TextUtil.h"
#include "monitor/MonitorView.h"
#include "monitor/SiteMonitor.h"
#include "platform/SoundPlayer.h"

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
    // Every line of the report ends in exactly one CR LF on the wire.
    const std::string body = text::normalizeCrLf(text);
    // The security and login as they are now: Preferences may have changed
    // them since the last report.
    monitor_.mailer().setSubmission(monitor_.mailSubmission());
    // Each address gets its own message, with itself as the sender.
    for (const std::string* address : {&s.email1, &s.email2}) {
        if (address->empty() || monitor_.stopRequested())
            continue;
        SmtpMailer& mailer = monitor_.mailer();
        const bool ok = mailer.sendMail(*address, body, *address, s.smtpServer, subject);
        monitor_.view().reportMailResult(ok, DateText::timeOfDay(monitor_.clock().now()),
                                         ok ? std::string() : mailer.errorText);
        monitor_.recordAlert("mail", ok, ok ? *address : *address + ": " + mailer.errorText);
    }
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
