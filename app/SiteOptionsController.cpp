#include "app/SiteOptionsController.h"

#include "app/KeyringSecretStore.h"
#include "app/PassGate.h"
#include "monitor/MonitorView.h"
#include "monitor/SiteMonitor.h"
#include "monitor/SiteRequest.h"
#include "ui/QtText.h"
#include "ui/SiteOptionsDlg.h"

#include <string>
#include <vector>

namespace vantrel {

SiteOptionsController::SiteOptionsController(SiteMonitor& engine, KeyringSecretStore& secrets,
                                             MonitorView& window, PassGate& gate, QWidget* dialogParent)
    : engine_(engine), secrets_(secrets), window_(window), gate_(gate), dialogParent_(dialogParent) {}

void SiteOptionsController::readSecretsAhead(std::function<void()> done) {
    std::vector<std::string> keys;
    for (int r = 0; r < engine_.sites().rowCount(); ++r)
        if (!engine_.sites().row(r).options.auth.empty())
            keys.push_back(SiteRequest::secretKey(engine_.sites().row(r).url));
    secrets_.readAhead(keys, std::move(done));
}

void SiteOptionsController::openOptions() {
    gate_.whenNoPass([this] { showDialog(); });
}

void SiteOptionsController::showDialog() {
    window_.gather();
    SiteOptionsDlg dlg(engine_.data().entry, &secrets_, dialogParent_);
    if (dlg.exec() != QDialog::Accepted)
        return;
    // The test string and the options go into the entry; Add and Update take
    // them along with the boxes.
    SiteEntry entry = engine_.data().entry;
    const SiteEntry chosen = dlg.entry();
    entry.testString = chosen.testString;
    entry.options = chosen.options;
    engine_.setEntry(entry);
    window_.show();
    const std::string secret = dlg.secret();
    if (secret.empty())
        return;
    secrets_.store(SiteRequest::secretKey(entry.url), secret, [this](const QString& why) {
        const std::string text = "The keyring did not take the site's secret (" + QtText::fromQt(why) +
                                 "). Vantrel uses it until it ends.";
        gate_.whenNoPass([this, text] {
            window_.messageBox(text, "Site Secret", MessageButtons::Ok, MessageIcon::Exclamation);
        });
    });
}

} // namespace vantrel
