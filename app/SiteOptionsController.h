#pragma once

#include <QObject>
#include <QPointer>

class QPushButton;
class QWidget;

namespace vantrel {

class KeyringSecretStore;
class MonitorView;
class SiteMonitor;
class SiteOptionsDlg;

// The "Advanced..." button beside the entry boxes and the dialog it opens:
// the options of the current entry, edited beside its eight fields. The
// options ride with the engine's current entry, so Add and Update take them
// along, Clear resets them and choosing a row shows that row's. A login
// secret typed in the dialog goes to the secret store under the site's key,
// never into the entry. The dialog is window-modal and opened without
// waiting for it: the window's passes go on meanwhile.
class SiteOptionsController : public QObject {
    Q_OBJECT
public:
    SiteOptionsController(SiteMonitor& engine, MonitorView& view, KeyringSecretStore& secrets,
                          QWidget* window);

    QPushButton* button() const { return button_; }
    // Opens the dialog with the current entry's test string and options.
    void open();
    // The dialog while it is open, for tests.
    SiteOptionsDlg* dialog() const;
    // Reads ahead the secrets of the listed sites that log in, so the first
    // pass finds them.
    void prefetchSecrets();

private:
    void apply();

    SiteMonitor& engine_;
    MonitorView& view_;
    KeyringSecretStore& secrets_;
    QWidget* window_;
    QPushButton* button_;
    QPointer<SiteOptionsDlg> dialog_;
};

} // namespace vantrel
