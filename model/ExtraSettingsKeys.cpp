#include "model/ExtraSettingsKeys.h"

#include "model/DateText.h"
#include "model/ExtraSettingsFile.h"
#include "model/QuietHours.h"
#include "model/WindowPlacement.h"

#include <stdexcept>
#include <string>

namespace vantrel {

// One row a key. The comment is the key's one-line description, as the
// Preferences dialog and the manual give it.
const std::vector<SettingKey>& extraSettingKeys() {
    using F = ExtraSettingsFile;
    using K = SettingKey;
    static const std::vector<SettingKey> keys = {
        K::choice(
            "MAILSECURITY", &ExtraSettings::mailSecurity, {"none", "starttls", "tls"},
            "how the connection to the mail server is protected: none (port 25), starttls (port 587) or "
            "tls from the first byte (port 465)"),
        K::text("MAILUSER", &ExtraSettings::mailUser,
                "the user name for the mail server's login; empty: no login"),
        K::text("MAILPASSWORDFILE", &ExtraSettings::mailPasswordFile,
                "where no keyring answers, a file readable only by its owner that holds the mail password",
                K::Type::Path),
        K::yesNo("NOTIFICATIONS", &ExtraSettings::notifications,
                 "desktop notifications for failures and recoveries"),
        K::number("PARALLEL", &ExtraSettings::parallelFetches, 1, F::kMaxParallelFetches,
                  "pages fetched at once during a pass"),
        K::number("CONFIRM", &ExtraSettings::confirmAttempts, 1, F::kMaxConfirmAttempts,
                  "attempts before a failed check counts"),
        K::yesNo("OFFLINEGUARD", &ExtraSettings::offlineGuard,
                 "no failure reports while this computer is offline"),
        K::number("CERTWARNDAYS", &ExtraSettings::certWarnDays, 0, F::kMaxCertWarnDays,
                  "days before a site's certificate ends that raise a warning; 0: off"),
        K::yesNo("HISTORY", &ExtraSettings::history, "keep the check history"),
        K::number("HISTORYDAYS", &ExtraSettings::historyDays, 1, F::kMaxHistoryDays, "days of history kept"),
        K::number("HISTORYKEEPDAYS", &ExtraSettings::historyKeepDays, 1, F::kMaxHistoryDays,
                  "days the daily roll-ups of the history are kept"),
        K::number("HISTORYMAXMB", &ExtraSettings::historyMaxMb, F::kMinHistoryMb, F::kMaxHistoryMb,
                  "the largest size of the history file, in MiB"),
        K::number(
            "HISTORYPANE", &ExtraSettings::historyPane, -1, F::kMaxHistoryPane,
            "the height of the window's history pane in pixels as last left; 0: collapsed; -1: the default")
            .writtenWhenChanged(),
        K::text("METRICS", &ExtraSettings::metricsAddress,
                "host:port where a run without a display serves its counters as metrics text; empty: off"),
        K::text(
            "METRICSTOKENFILE", &ExtraSettings::metricsTokenFile,
            "a file readable only by its owner that holds the bearer token every metrics request must carry; "
            "empty: none",
            K::Type::Path),
        K::family("CHANNEL", "", &ExtraSettings::channels,
                  "an alert channel: its kind (ntfy, gotify, matrix, slack, discord, telegram or webhook), a "
                  "blank and its endpoint"),
        K::family(
            "CHANNEL", "TOKENFILE", &ExtraSettings::channelTokenFiles,
            "where no keyring answers, a file readable only by its owner that holds the channel's token",
            K::Type::Path),
        K::family("CHANNEL", "TEMPLATE", &ExtraSettings::channelTemplates,
                  "a webhook channel's JSON body, with placeholders such as {title} and {state}; empty: the "
                  "default body"),
        K::number("REMINDEVERY", &ExtraSettings::remindEvery, 0, F::kMaxRemindEvery,
                  "minutes between reminders on the channels while a site stays down; 0: off"),
        K::number("REMINDMAX", &ExtraSettings::remindMax, 0, F::kMaxReminders,
                  "reminders at most while a site stays down"),
        K::yesNo("MAILEXPLAIN", &ExtraSettings::mailExplain,
                 "report mails explain the failure: reason, time down, last good check, the page's start"),
        K::text("SNOOZEALL", &ExtraSettings::snoozeAll,
                "every site raises no alert until this time (\"10 Dec 2026 18:00:00\"); empty: none",
                K::Type::Text,
                [](std::string_view v) { return v.empty() || DateText::parseDateTime(v).has_value(); }),
        K::text("QUIETHOURS", &ExtraSettings::quietHours,
                "hours without sound or desktop notifications (\"22:00-07:00\"); empty: none", K::Type::Text,
                [](std::string_view v) { return v.empty() || QuietHours::parse(v).has_value(); }),
        K::choice("QUIETMAIL", &ExtraSettings::quietMail, {"send", "hold"},
                  "whether report mails go out during the quiet hours or wait for their end"),
        K::text("WINDOWGEOMETRY", &ExtraSettings::windowGeometry,
                "where the window was when Vantrel last ended and its size, as x,y,width,height; empty: "
                "the first start's size and placement",
                K::Type::Text,
                [](std::string_view v) { return v.empty() || WindowPlacement::parse(v).has_value(); }),
    };
    return keys;
}

const SettingKey& extraSettingKey(std::string_view pattern) {
    for (const SettingKey& key : extraSettingKeys())
        if (key.pattern() == pattern)
            return key;
    throw std::out_of_range("no setting " + std::string(pattern));
}

} // namespace vantrel
