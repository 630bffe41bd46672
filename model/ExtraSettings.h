#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vantrel {

// How the mail client protects its connection: not at all (the plain
// dialogue), STARTTLS after the greeting, or TLS from the first byte.
enum class MailSecurity { None, StartTls, Tls };

// Whether report mails go out during quiet hours or wait for their end.
enum class QuietMail { Send, Hold };

// The settings that vantrel.ini has no keys for. They live in a file of their
// own beside it, so that vantrel.ini keeps exactly its twelve keys. The
// defaults leave every file, log line, mail and request as it is without
// them. Each field has a row in the table of the file's keys
// (ExtraSettingsKeys.h); the initial values here are the keys' defaults.
struct ExtraSettings {
    // Mail submission: security and login. The password itself is never kept
    // here; mailPasswordFile names a file readable only by the user that holds
    // it where no keyring answers (a headless server).
    MailSecurity mailSecurity = MailSecurity::None;
    std::string mailUser;
    std::string mailPasswordFile;

    // Desktop notifications for failed checks and recoveries.
    bool notifications = true;

    // Check passes: pages fetched at once, attempts before a failure counts,
    // the guard that keeps an offline machine from reporting every site, and
    // the days before a certificate's end that raise a warning (0: off).
    int parallelFetches = 8;
    int confirmAttempts = 1;
    bool offlineGuard = true;
    int certWarnDays = 14;

    // Check history: kept at all, for how many days, its hourly and daily
    // roll-ups for how many days, up to how many MiB; and
    // the address ("host:port", empty: off) where a headless run serves its
    // counters as metrics text, with the file of the bearer token its
    // requests must carry (empty: none).
    bool history = true;
    int historyDays = 90;
    int historyKeepDays = 730;
    int historyMaxMb = 1024;
    // The history pane's height in the window (-1: the default, 0: collapsed).
    int historyPane = -1;
    std::string metricsAddress;
    std::string metricsTokenFile;

    // Alert channels (CHANNEL1, CHANNEL2, ...): the kind, a blank and the
    // endpoint; beside each, where no keyring answers, the file readable
    // only by its owner that holds its secret, and for a generic webhook its
    // JSON template. A site may be limited to some of them (its CHANNELS).
    std::map<int, std::string> channels;
    std::map<int, std::string> channelTokenFiles;
    std::map<int, std::string> channelTemplates;
    // While a site stays down, the channels are reminded every this many
    // minutes (0: never), at most this many times an outage.
    int remindEvery = 0;
    int remindMax = 12;
    // Report mails carry the explanation the channels get (the reason, how
    // long the site has been down, the last good check, the page's start).
    bool mailExplain = false;
    // Alerts: every site snoozed until a time ("10 Dec 2026 18:00:00"; empty:
    // none), the quiet hours ("22:00-07:00"; empty: none) that silence sound
    // and desktop notifications, and whether mail waits for their end.
    std::string snoozeAll;
    std::string quietHours;
    QuietMail quietMail = QuietMail::Send;
    // Where the main window was and how large, as WindowPlacement's text;
    // empty: the size it starts with and the window manager's placement.
    std::string windowGeometry;

    // Lines of the file that no key of the table took, written back as they
    // were so that nothing the user wrote is lost: keys this version does
    // not know (a newer one's, say), and values it refused, which stay in
    // the file while their key keeps its default.
    std::vector<std::pair<std::string, std::string>> otherLines;

    bool operator==(const ExtraSettings&) const = default;
};

} // namespace vantrel
