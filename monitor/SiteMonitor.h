#pragma once

#include "model/ExtraSettings.h"
#include "model/Settings.h"
#include "model/SiteList.h"
#include "model/SiteListEdit.h"
#include "model/SystemClock.h"
#include "monitor/AlertDispatcher.h"
#include "monitor/AlertHold.h"
#include "monitor/AlertSink.h"
#include "monitor/CheckCounters.h"
#include "monitor/CheckHistory.h"
#include "monitor/CheckLog.h"
#include "monitor/CheckSchedule.h"
#include "monitor/DialogData.h"
#include "monitor/MonitorServices.h"
#include "monitor/MonitorView.h"
#include "monitor/OfflineGuard.h"
#include "monitor/PageFetcher.h"
#include "monitor/SleepWake.h"
#include "monitor/SlowStreaks.h"
#include "monitor/TriageCommands.h"
#include "monitor/WriteFailureNotice.h"
#include "notify/DirectEventPump.h"
#include "notify/ErrorUrlPoster.h"
#include "notify/SmtpMailer.h"

#include <chrono>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantrel {

class AlertChannels;
class CheckPass;

// The state of one run of the program and the operations on it that need no
// window: the settings, the rows, the current entry and counters, the data
// files and the monitoring switch. The main window owns one and implements
// MonitorView for it.
class SiteMonitor {
public:
    explicit SiteMonitor(MonitorView& view, MonitorServices services = {});
    ~SiteMonitor();
    SiteMonitor(const SiteMonitor&) = delete;
    SiteMonitor& operator=(const SiteMonitor&) = delete;

    // Read-only views of the engine's state; it changes only through the
    // commands below.
    const Settings& settings() const { return settings_; }
    // The settings vantrel.ini has no keys for, kept in vantrel-extra.ini.
    const ExtraSettings& extraSettings() const { return extraSettings_; }
    const SiteList& sites() const { return sites_; }
    // The current entry and the counters the window's boxes show.
    const DialogData& data() const { return data_; }
    // The mail login's password, from the desktop keyring or the password
    // file; the engine keeps it in memory only.
    void setMailPassword(std::string password) { mailPassword_ = std::move(password); }
    const std::string& mailPassword() const { return mailPassword_; }
    bool monitoringOn() const { return monitoringOn_; }

    // The mailer of the report mails, which also sends Preferences' test;
    // its fields are what the last report mail left.
    const SmtpMailer& mailer() const { return mailer_; }
    // Preferences' test message, to and from `address`, through that mailer
    // with the dialog's submission and replies read up to
    // kTestReplyReadSize bytes. Its outcome is its own: the report mails'
    // stays as it was. A tick that comes meanwhile starts no pass inside the
    // test's wait; passDueAfterTest() then says its pass is still to run.
    SmtpSend sendTestMail(const std::string& address, const std::string& server,
                          const MailSubmission& submission);
    bool passDueAfterTest() const { return passDueAfterTest_; }
    // What the last page fetch received.
    const HttpResponse& lastResponse() const { return fetcher_.lastResponse; }
    // How report mails are submitted: the security and login of the extra
    // settings with the password above.
    MailSubmission mailSubmission() const {
        return MailSubmission{extraSettings_.mailSecurity, extraSettings_.mailUser, mailPassword_};
    }
    // The chat and push channels the alerts also go to (none: only the
    // report mails, the sound and the error URL).
    void setAlertChannels(AlertChannels* channels) { alertChannels_ = channels; }
    // The body of the last report mail the passes built.
    const std::string& reportBody() const { return reportBody_; }
    bool passRunning() const { return passRunning_; }

    // The window's commands on that state. What the window's boxes and
    // counters hold now (the view's gather):
    void setDialogData(DialogData data) { data_ = std::move(data); }
    // The settings as Preferences leaves them; the caller saves them.
    void applySettings(const Settings& settings, const ExtraSettings& extra) {
        settings_ = settings;
        extraSettings_ = extra;
    }
    // Adds imported sites on top of the rows (the last of `sites` ends up
    // first), keeping what is typed in the entry boxes, and shows them.
    void importSites(const std::vector<SiteEntry>& sites) {
        view_.gather();
        if (!sites.empty())
            sites_.insertAllAtTop(sites);
        updateSiteCount();
        view_.autoSizeColumns();
        view_.show();
    }
    // A change to the rows decided elsewhere (a folder command); the caller
    // updates the count and the view as the command needs.
    void editSites(const SiteListEdit& edit) { edit.applyTo(sites_); }
    // The current entry as a dialog of its own left it (the check options).
    void setEntry(SiteEntry entry) { data_.entry = std::move(entry); }
    // The height the user gave the history pane, kept at the end.
    void setHistoryPane(int height) { extraSettings_.historyPane = height; }

    // The check history (none: nothing is kept) and the counters since the
    // start. Every decided check and every alert is recorded in both; a
    // history that cannot be written never stops a check.
    const CheckHistory* history() const { return history_; }
    void setHistory(CheckHistory* history) { history_ = history; }
    const CheckCounters& counters() const { return counters_; }
    void recordCheck(const CheckRecord& record);
    void recordAlert(const std::string& channel, bool ok, const std::string& detail);
    // An alert's outcome that came from elsewhere (a channel's delivery),
    // kept in the history as it is.
    void recordDelivery(const AlertRecord& record) {
        if (history_)
            history_->recordAlert(record);
    }
    // A stretch the sites were not monitored (asleep, offline, this
    // machine's connection at fault), kept in the history.
    void recordUnmonitored(std::time_t from, std::time_t to, const std::string& reason);

    // Alerts held back by a snooze, the quiet hours or do-not-disturb.
    const AlertHold& alertHold() const { return alertHold_; }
    // The commands of the tray and the desktop: snooze a row's alerts until
    // a time (or all rows', or take a snooze back), switch do-not-disturb,
    // and let go of what was held once its time came.
    void snooze(int row, std::time_t until) { triage_.snooze(row, until); }
    void snoozeAll(std::time_t until) { triage_.snoozeAll(until); }
    void clearSnooze(int row) { triage_.clearSnooze(row); }
    void clearSnoozeAll() { triage_.clearSnoozeAll(); }
    void setDoNotDisturb(bool on) { triage_.setDoNotDisturb(on); }
    std::optional<std::time_t> nextRelease() const { return triage_.nextRelease(); }
    void releaseHeld() { triage_.release(); }
    // What the engine does around sleep and network changes (SleepWake).
    void beforeSleep() { sleepWake_.beforeSleep(); }
    void resumed() { sleepWake_.resumed(); }
    void networkChanged(bool up) { sleepWake_.networkChanged(up); }
    void setDnsProbe(SleepWake::DnsProbe probe) { sleepWake_.setDnsProbe(std::move(probe)); }
    bool asleep() const { return sleepWake_.asleep(); }
    // The network went and has not come back.
    bool networkGone() const { return sleepWake_.offline(); }
    // Inside QUIETHOURS now: no sound and no desktop notification.
    bool quietNow() const;
    // Inside them with QUIETMAIL=hold: report mails wait for their end.
    bool mailsWait() const;

    // The data files, by bare names in the current directory. A file that
    // is not empty but gave the reader nothing at all (no site, no known
    // setting: other line ends, another program's file, random bytes) is
    // kept in a copy beside it, "<name>.unreadable-<date>-<time>", before
    // anything can write over it, and the user is told once. When no copy
    // can be made, or a file that holds bytes cannot be read at all (no read
    // permission), saves of that file are refused for the rest of the run,
    // so that it is never overwritten. The settings also load and save
    // vantrel-extra.ini beside vantrel.ini; that file is read only when it
    // exists and written only once it exists or a setting in it differs from
    // its default, so a user who never changes one never gets it.
    void loadSettings();
    bool saveSettings();
    // Keeps the window's place (WindowPlacement's text) in vantrel-extra.ini
    // at the end, where vantrel.ini is not written and no one waits for a
    // message: only that key of the file as it is now changes, so an edit
    // made by hand while the program ran is kept. False when the file was
    // not written (held, unreadable, or the write failed).
    bool saveWindowPlacement(const std::string& placement);
    // The same for the height of the window's history pane.
    bool saveHistoryPane(int height);
    void loadSiteList();
    bool saveSiteList();
    // Writes the rows to the site list file as saveSiteList does, but
    // quietly: no box, and the current entry is left as it is. For changes
    // made from outside the window (the command line), which say themselves
    // whether the file was written.
    bool writeSiteListFile();

    // Row transfers through the current entry.
    void loadRow(int i);
    void storeRow(int i);
    void insertAtTop();
    void reverseRows();
    void clearEntry();
    void updateSiteCount();

    // Start-up from the settings onwards: load both files, switch tool tips,
    // apply the stored monitoring state (which writes the settings file and
    // minimises the window). The list columns exist before this is called.
    void startUp();
    void applyMonitorSetting();
    void toggleMonitor();
    // Switches monitoring on or off: the setting, the Status field and the
    // check counter, the button's caption, the settings file, the timer.
    void setMonitoring(bool on);

    // A tick of the check timer: runs a pass while monitoring is on. A tick
    // that comes while a pass is still running (it waits in a message box or
    // for the network) is ignored; that pass re-arms the timer when it ends.
    void onTimer();
    void runCheckPass();
    // Checks the rows marked in `rows` now, whether monitoring is on or not
    // and whatever their own intervals say. False, checking nothing, while
    // a pass runs or the program is ending.
    bool checkMarked(std::vector<bool> rows);
    // Checks the chosen rows at once through the same one-site check as a
    // pass, leaving the timer as it is; during a pass they are queued and
    // checked as soon as it ends.
    void checkNow(const std::vector<int>& rows);
    // Writes the site list file without touching the entry boxes; false
    // (and said) when it could not be written.
    bool writeSiteList();

    // The program is to end: a pass under way stops at its next safe point
    // (the network call it waits for ends early, no further site is checked
    // and no further alert goes out) and no new pass starts. The rows keep
    // every result the pass reached; the caller ends the program once
    // passRunning() is false.
    void requestStop();
    bool stopRequested() const;
    // True once the program is to end (a stop for sleep is taken back).
    bool quitting() const { return quitting_; }

    // The check timer's period for the current INTERVAL.
    std::chrono::milliseconds checkPeriod() const;
    // Until the next pass: the check period, unless sites have intervals of
    // their own (CheckSchedule).
    std::chrono::milliseconds nextPassDelay() const;
    static std::chrono::milliseconds checkPeriodFor(const std::string& interval);

    static constexpr int kMainReplyReadSize = 1024;
    static constexpr std::size_t kTestReplyReadSize = 13000;
    static constexpr const char* kTestMailText = "Vantrel Test Email"; // the subject and the body
    static constexpr const char* kSaveErrorText = "Save to File";
    static constexpr const char* kSaveErrorCaption = "Error Writing File";
    static constexpr const char* kUnreadableCaption = "Unreadable File";

private:
    // The parts of a pass work on what the passes share.
    friend class AlertDispatcher;
    friend class CheckPass;
    friend class PassDownloads;
    friend class TriageCommands;
    friend class SiteEditor;
    friend class SleepWake;

    // What the parts of a pass and the editor change, and the services the
    // engine was given; never handed out to the window.
    Settings& mutableSettings() { return settings_; }
    ExtraSettings& mutableExtraSettings() { return extraSettings_; }
    SiteList& mutableSites() { return sites_; }
    DialogData& mutableData() { return data_; }
    MonitorView& view() { return view_; }
    EventPump& pump() { return *pump_; }
    Clock& clock() { return *clock_; }
    SoundPlayer* soundPlayer() { return sound_; }
    NetworkStatus& network() { return *network_; }
    AlertSink& alertSink() { return *alertSink_; }
    CheckLog& log() { return log_; }
    AlertChannels* alertChannels() const { return alertChannels_; }
    // The secrets of site logins and alert channels; by default those of the
    // secrets file in the current directory (FileSecretStore).
    const SecretStore* secrets() const { return secrets_; }
    PageFetcher& fetcher() { return fetcher_; }
    SmtpMailer& reportMailer() { return mailer_; }
    ErrorUrlPoster& poster() { return poster_; }
    AlertDispatcher& alerts() { return alerts_; }
    std::string& reportText() { return reportBody_; }
    std::string& previousStatus() { return previousStatus_; }
    // What the passes remember from one to the next: the offline verdict and
    // the statuses kept through an offline spell, and the day each site's
    // certificate warning last went out.
    OfflineGuard& offlineGuard() { return offlineGuard_; }
    std::map<std::string, std::string>& certificateWarned() { return certificateWarned_; }
    // Which sites are due once sites have intervals of their own, and how
    // many checks in a row each site has been slow.
    CheckSchedule& schedule() { return schedule_; }
    SlowStreaks& slowStreaks() { return slowStreaks_; }
    AlertHold& alertHold() { return alertHold_; }

    // Runs `checks` as a pass: no other pass starts meanwhile, and what
    // waited for the end runs after it.
    void runGuarded(const std::function<void(CheckPass&)>& checks);
    // Sets a key the window keeps for itself, in memory and in the file as
    // it is on disk.
    bool saveWindowKey(const std::function<void(ExtraSettings&)>& set);
    // After a pass or a check now: what waited for its end.
    void afterChecks();
    // Keeps the unreadable file `name`; false when it could not be kept.
    bool keepUnreadable(const char* name, std::string_view bytes);

    MonitorView& view_;
    DirectEventPump defaultPump_;
    SystemClock defaultClock_;
    std::unique_ptr<HttpClient> defaultHttp_;
    std::unique_ptr<NetworkStatus> defaultNetwork_;
    std::unique_ptr<SecretStore> defaultSecrets_;
    EventPump* pump_;
    Clock* clock_;
    HttpClient* http_;
    SoundPlayer* sound_;
    NetworkStatus* network_;
    const SecretStore* secrets_;
    std::unique_ptr<AlertSink> defaultAlertSink_;
    AlertSink* alertSink_;
    Settings settings_;
    ExtraSettings extraSettings_;
    std::string mailPassword_;
    SiteList sites_;
    DialogData data_;
    bool monitoringOn_ = false;
    bool passRunning_ = false;
    bool mailTestRunning_ = false;
    bool passDueAfterTest_ = false; // a tick came while a test mail was out
    bool settingsFileHeld_ = false; // unreadable and not kept: never written
    bool siteListFileHeld_ = false;
    bool extraFileHeld_ = false;
    std::string reportBody_;
    std::string previousStatus_;
    OfflineGuard offlineGuard_;
    std::map<std::string, std::string> certificateWarned_;
    CheckSchedule schedule_;
    SlowStreaks slowStreaks_;
    PageFetcher fetcher_;
    SmtpMailer mailer_;
    ErrorUrlPoster poster_;
    CheckLog log_;
    AlertDispatcher alerts_;
    CheckHistory* history_ = nullptr;
    AlertChannels* alertChannels_ = nullptr;
    WriteFailureNotice historyNotice_;
    CheckCounters counters_;
    AlertHold alertHold_;
    std::vector<int> queuedChecks_;
    bool quitting_ = false;
    TriageCommands triage_{*this};
    SleepWake sleepWake_{*this};
};

} // namespace vantrel
