#include "app/MailPasswordController.h"

#include "monitor/MonitorView.h"
#include "monitor/SiteMonitor.h"
#include "platform/MailPasswordFile.h"
#include "ui/QtText.h"

#include <utility>

namespace vantrel {

MailPasswordController::MailPasswordController(SiteMonitor& engine, MonitorView& window, Later later)
    : engine_(engine), window_(window), later_(std::move(later)) {}

QString MailPasswordController::key() const {
    return MailKeyring::keyFor(QtText::toQt(engine_.extraSettings().mailUser),
                               QtText::toQt(engine_.settings().smtpServer));
}

void MailPasswordController::load() {
    if (engine_.extraSettings().mailUser.empty())
        return; // no login, no password
    keyring_.read(key(), [this](const MailKeyring::Result& r) {
        if (r.status == MailKeyring::Status::Ok && !r.password.isEmpty())
            engine_.setMailPassword(QtText::fromQt(r.password));
        else if (!engine_.extraSettings().mailPasswordFile.empty())
            // Its box, if any, must not open in the middle of a pass.
            later_([this] { readPasswordFile(); });
    });
}

void MailPasswordController::readPasswordFile() {
    const MailPasswordFile::Result r = MailPasswordFile::read(engine_.extraSettings().mailPasswordFile);
    if (r.status == MailPasswordFile::Status::Ok) {
        engine_.setMailPassword(r.password);
        return;
    }
    // Said once a run: a check pass must not stop at the same box every time.
    if (!std::exchange(passwordFileWarned_, true))
        window_.messageBox(r.message, "Mail Password", MessageButtons::Ok, MessageIcon::Exclamation);
}

MailPasswordController::Before MailPasswordController::before() const {
    return {key(), engine_.mailPassword(), engine_.extraSettings().mailPasswordFile};
}

void MailPasswordController::afterPreferences(const Before& before, const std::string& typed) {
    // A keyring read still under way when the dialog opened may have brought
    // the password since: only a password changed in the dialog replaces it.
    if (typed != before.password)
        engine_.setMailPassword(typed);
    store(before);
    if (engine_.mailPassword().empty() && !engine_.extraSettings().mailUser.empty() &&
        engine_.extraSettings().mailPasswordFile != before.passwordFile) {
        passwordFileWarned_ = false;
        readPasswordFile();
    }
}

void MailPasswordController::store(const Before& before) {
    const std::string& password = engine_.mailPassword();
    const QString now = key();
    if (engine_.extraSettings().mailUser.empty() || (password == before.password && now == before.key))
        return;
    if (!before.password.empty() && (now != before.key || password.empty()))
        keyring_.remove(before.key, [](const MailKeyring::Result&) {}); // nothing to say if it was not there
    if (password.empty())
        return;
    // The answer may wait for the keyring's own prompt; the window goes on meanwhile.
    keyring_.write(now, QtText::toQt(password), [this](const MailKeyring::Result& r) {
        if (r.status == MailKeyring::Status::Ok || !engine_.extraSettings().mailPasswordFile.empty())
            return;
        const std::string text = "The keyring did not take the mail password (" +
                                 QtText::fromQt(r.errorText) +
                                 "). Vantrel uses it until it ends; to keep it without a keyring, name a "
                                 "password file in Preferences, Advanced.";
        later_([this, text] {
            window_.messageBox(text, "Mail Password", MessageButtons::Ok, MessageIcon::Exclamation);
        });
    });
}

} // namespace vantrel
