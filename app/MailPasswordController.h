#pragma once

#include "app/MailKeyring.h"

#include <QString>

#include <functional>
#include <string>

namespace vantrel {

class MonitorView;
class SiteMonitor;

// The mail login's password: read at start-up from the keyring, or where none
// answers or it holds none, from the password file; stored in the keyring
// when Preferences changes it. Nothing here waits: the keyring answers by
// callback, and a box it has to show opens only when no pass runs (`later`).
class MailPasswordController {
public:
    // `later` runs a step now, or once the pass under way has ended.
    using Later = std::function<void(std::function<void()>)>;

    // Its boxes open in `window`.
    MailPasswordController(SiteMonitor& engine, MonitorView& window, Later later);

    MailKeyring& keyring() { return keyring_; }

    // Starts reading the password; the engine gets it when it is found.
    void load();

    // What Preferences may change, taken before the dialog opens.
    struct Before {
        QString key;
        std::string password;
        std::string passwordFile;
    };
    Before before() const;
    // After Preferences: `typed` is the password as the dialog left it. The
    // engine takes it when it was changed there, the keyring gets it, and a
    // newly named password file is read.
    void afterPreferences(const Before& before, const std::string& typed);

private:
    QString key() const;
    void readPasswordFile();
    void store(const Before& before);

    SiteMonitor& engine_;
    MonitorView& window_;
    Later later_;
    MailKeyring keyring_;
    bool passwordFileWarned_ = false;
};

} // namespace vantrel
