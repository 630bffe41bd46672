#include "app/SiteOptionsController.h"

#include "app/KeyringSecretStore.h"
#include "monitor/MonitorView.h"
#include "monitor/SiteMonitor.h"
#include "monitor/SiteRequest.h"
#include "ui/SiteOptionsDlg.h"

#include <QMessageBox>
#include <QPushButton>

#include <set>

namespace vantrel {

SiteOptionsController::SiteOptionsController(SiteMonitor& engine, MonitorView& view,
                                             KeyringSecretStore& secrets, QWidget* window)
    : QObject(window), engine_(engine), view_(view), secrets_(secrets), window_(window),
      button_(new QPushButton(QStringLiteral("Ad&vanced..."), window)) {
    button_->setAutoDefault(false);
    button_->setAccessibleName(button_->text().remove(QLatin1Char('&')));
    connect(button_, &QPushButton::clicked, this, &SiteOptionsController::open);
}

SiteOptionsDlg* SiteOptionsController::dialog() const {
    return dialog_;
}

void SiteOptionsController::open() {
    if (dialog_) {
        dialog_->raise();
        dialog_->activateWindow();
        return;
    }
    // What is typed in the boxes counts: the dialog shows that test string.
    view_.gather();
    dialog_ = new SiteOptionsDlg(engine_.data().entry, &secrets_, window_);
    dialog_->setAttribute(Qt::WA_DeleteOnClose);
    dialog_->setWindowModality(Qt::WindowModal);
    connect(dialog_, &QDialog::accepted, this, &SiteOptionsController::apply);
    dialog_->open();
}

void SiteOptionsController::apply() {
    if (!dialog_)
        return;
    // The boxes keep what was typed in them meanwhile; the dialog adds the
    // test string and the options.
    view_.gather();
    SiteEntry& entry = engine_.data().entry;
    const SiteEntry edited = dialog_->entry();
    entry.testString = edited.testString;
    entry.options = edited.options;
    view_.show();
    const std::string secret = dialog_->secret();
    if (secret.empty() || entry.url.empty())
        return;
    secrets_.store(SiteRequest::secretKey(entry.url), secret, [this](const QString& error) {
        if (error.isEmpty())
            return;
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Login Secret"),
                                    QStringLiteral("The keyring did not take the login secret (%1). Vantrel "
                                                   "uses it until it ends; to keep it without a keyring, put "
                                                   "it in the secrets file.")
                                        .arg(error),
                                    QMessageBox::Ok, window_);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
}

void SiteOptionsController::prefetchSecrets() {
    std::set<std::string> keys;
    const SiteList& sites = engine_.sites();
    for (int i = 0; i < sites.rowCount(); ++i)
        if (!sites.row(i).options.auth.empty())
            keys.insert(SiteRequest::secretKey(sites.row(i).url));
    if (!keys.empty())
        secrets_.prefetch({keys.begin(), keys.end()});
}

} // namespace vantrel
