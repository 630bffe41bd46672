#include "monitor/SiteMonitor.h"

#include "model/DataFile.h"
#include "model/DateText.h"
#include "model/ExtraSettingsFile.h"
#include "model/QuietHours.h"
#include "model/SettingsFile.h"
#include "model/SiteListFile.h"
#include "model/TextUtil.h"
#include "monitor/CheckPass.h"
#include "monitor/FileSecretStore.h"
#include "monitor/MonitorView.h"
#include "platform/CurlHttpClient.h"
#include "platform/InterfaceNetworkStatus.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace vantrel {

namespace {

// The platform timer counts milliseconds in a signed 32-bit number; longer
// periods are clamped to the largest whole number of minutes that fits.
constexpr long long kMaxIntervalMinutes = 2147483647LL / 60000LL; // about 24.8 days

bool fileExists(const char* path) {
    return ::access(path, F_OK) == 0;
}

// Without a sink of its own the engine announces nothing but a failed save,
// which it says in a box of the view as it always has.
class BoxOnlyAlertSink : public AlertSink {
public:
    explicit BoxOnlyAlertSink(MonitorView& view) : view_(view) {}
    void siteChanges(const std::vector<SiteChange>&) override {}
    void certificateEnding(const std::string&, const std::string&, int) override {}
    void mailResult(bool, const std::string&, const std::string&) override {}
    void alertResult(bool, const std::string&, const std::string&) override {}
    void saveFailed(const std::string& text, const std::string& caption) override {
        view_.messageBox(text, caption);
    }

private:
    MonitorView& view_;
};

} // namespace

SiteMonitor::SiteMonitor(MonitorView& view, MonitorServices services)
    : view_(view), defaultHttp_(services.http ? nullptr : std::make_unique<CurlHttpClient>()),
      defaultNetwork_(services.network ? nullptr : std::make_unique<InterfaceNetworkStatus>()),
      defaultSecrets_(services.secrets ? nullptr : std::make_unique<FileSecretStore>()),
      pump_(services.pump ? services.pump : &defaultPump_),
      clock_(services.clock ? services.clock : &defaultClock_),
      http_(services.http ? services.http : defaultHttp_.get()), sound_(services.sound),
      network_(services.network ? services.network : defaultNetwork_.get()),
      secrets_(services.secrets ? services.secrets : defaultSecrets_.get()),
      defaultAlertSink_(services.alerts ? nullptr : std::make_unique<BoxOnlyAlertSink>(view)),
      alertSink_(services.alerts ? services.alerts : defaultAlertSink_.get()), fetcher_(*http_, *pump_),
      mailer_(kMainReplyReadSize, *pump_, *clock_), poster_(*http_, *pump_), log_(view_), alerts_(*this),
      historyNotice_(nullptr, "History") {}

SiteMonitor::~SiteMonitor() = default;

void SiteMonitor::onTimer() {
    if (passRunning_ || sleepWake_.asleep())
        return;
    // The tick's pass waits for the test mail's end rather than run inside its wait.
    passDueAfterTest_ = mailTestRunning_ && monitoringOn_;
    if (!mailTestRunning_)
        runCheckPass();
}

SmtpSend SiteMonitor::sendTestMail(const std::string& address, const std::string& server,
                                   const MailSubmission& submission) {
    SmtpSend send;
    send.replyReadSize = kTestReplyReadSize;
    send.submission = submission;
    const bool outer = std::exchange(mailTestRunning_, true);
    mailer_.sendMail(send, address, kTestMailText, address, server, kTestMailText);
    mailTestRunning_ = outer;
    return send;
}

void SiteMonitor::requestStop() {
    quitting_ = true;
    pump_->stopSignal().request();
}

bool SiteMonitor::stopRequested() const {
    return pump_->stopRequested();
}

void SiteMonitor::runCheckPass() {
    if (!monitoringOn_ || passRunning_ || stopRequested() || sleepWake_.asleep())
        return;
    runGuarded([](CheckPass& pass) { pass.run(); });
}

void SiteMonitor::runGuarded(const std::function<void(CheckPass&)>& checks) {
    {
        passRunning_ = true;
        struct Reset {
            bool& flag;
            ~Reset() { flag = false; }
        } reset{passRunning_};
        CheckPass pass(*this);
        checks(pass);
    }
    afterChecks();
}

void SiteMonitor::afterChecks() {
    sleepWake_.passEnded();
    triage_.passEnded();
    // Rows asked for while the checks ran.
    if (!queuedChecks_.empty()) {
        std::vector<int> queued;
        queued.swap(queuedChecks_);
        checkNow(queued);
    }
    if (!passRunning_)
        view_.checksEnded();
}

void SiteMonitor::checkNow(const std::vector<int>& rows) {
    if (stopRequested() || sleepWake_.asleep())
        return;
    if (passRunning_) {
        queuedChecks_.insert(queuedChecks_.end(), rows.begin(), rows.end());
        return;
    }
    runGuarded([&rows](CheckPass& pass) { pass.runRows(rows); });
}

bool SiteMonitor::quietNow() const {
    const std::optional<QuietHours> quiet = QuietHours::parse(extraSettings_.quietHours);
    return quiet && quiet->contains(clock_->now());
}

bool SiteMonitor::mailsWait() const {
    return extraSettings_.quietMail == QuietMail::Hold && quietNow();
}

void SiteMonitor::recordUnmonitored(std::time_t from, std::time_t to, const std::string& reason) {
    if (history_)
        history_->recordUnmonitored(from, to, reason);
}

bool SiteMonitor::writeSiteList() {
    const bool ok =
        !siteListFileHeld_ && DataFile::save(SiteListFile::kFileName, SiteListFile::serialize(sites_));
    if (!ok)
        alertSink_->saveFailed(kSaveErrorText, kSaveErrorCaption);
    return ok;
}

bool SiteMonitor::checkMarked(std::vector<bool> rows) {
    if (passRunning_ || stopRequested())
        return false;
    {
        passRunning_ = true;
        struct Reset {
            bool& flag;
            ~Reset() { flag = false; }
        } reset{passRunning_};
        CheckPass(*this, std::move(rows)).run();
    }
    afterChecks();
    return true;
}

void SiteMonitor::recordCheck(const CheckRecord& record) {
    counters_.add(record);
    if (history_) {
        history_->recordCheck(record);
        // Said once when the history cannot be written, and once when it can again.
        if (history_->available())
            historyNotice_.succeeded("the history");
        else
            historyNotice_.failed("the history", history_->problem());
    }
}

void SiteMonitor::recordAlert(const std::string& channel, bool ok, const std::string& detail) {
    counters_.addAlert(ok);
    if (history_)
        history_->recordAlert({clock_->now(), data_.entry.url, data_.entry.title, channel, ok, detail});
}

std::chrono::milliseconds SiteMonitor::checkPeriodFor(const std::string& interval) {
    long long minutes = std::clamp(text::atoiLike(interval), 5LL, kMaxIntervalMinutes);
    return std::chrono::milliseconds(minutes * 60000LL);
}

std::chrono::milliseconds SiteMonitor::checkPeriod() const {
    return checkPeriodFor(settings_.interval);
}

std::chrono::milliseconds SiteMonitor::nextPassDelay() const {
    return schedule_.nextDelay(sites_, clock_->now(), checkPeriod());
}

bool SiteMonitor::keepUnreadable(const char* name, std::string_view bytes) {
    const std::optional<std::string> kept =
        DataFile::keepCopy(name, bytes, DateText::fileStamp(clock_->now()));
    if (!kept)
        return false;
    view_.messageBox(std::string(name) + " could not be read and was kept as " + *kept + ".",
                     kUnreadableCaption, MessageButtons::Ok, MessageIcon::Exclamation);
    return true;
}

void SiteMonitor::loadSettings() {
    view_.gather();
    if (auto bytes = DataFile::readOrCreate(SettingsFile::kFileName)) {
        if (SettingsFile::parse(*bytes, settings_) == 0 && !bytes->empty())
            settingsFileHeld_ = !keepUnreadable(SettingsFile::kFileName, *bytes);
    } else {
        // A file that holds bytes no one may read (no read permission) cannot be kept either.
        settingsFileHeld_ = DataFile::holdsBytes(SettingsFile::kFileName);
    }
    const ExtraSettingsFile::Loaded extra =
        ExtraSettingsFile::load(extraSettings_, DateText::fileStamp(clock_->now()));
    extraFileHeld_ = extra.held;
    for (const std::string& problem : extra.problems)
        std::fprintf(stderr, "%s\n", problem.c_str());
    std::fflush(stderr);
    if (!extra.message.empty())
        view_.messageBox(extra.message, kUnreadableCaption, MessageButtons::Ok, MessageIcon::Exclamation);
    view_.show();
}

bool SiteMonitor::saveSettings() {
    view_.show();
    bool ok =
        !settingsFileHeld_ && DataFile::save(SettingsFile::kFileName, SettingsFile::serialize(settings_));
    // A held extra file is never written over; settings changed from their
    // defaults then cannot be saved, which is said.
    if (ok && extraFileHeld_)
        ok = extraSettings_ == ExtraSettings{};
    else if (ok && (extraSettings_ != ExtraSettings{} || fileExists(ExtraSettingsFile::kFileName)))
        ok = DataFile::save(ExtraSettingsFile::kFileName, ExtraSettingsFile::serialize(extraSettings_));
    if (!ok) {
        alertSink_->saveFailed(kSaveErrorText, kSaveErrorCaption);
        return false;
    }
    return true;
}

bool SiteMonitor::saveWindowPlacement(const std::string& placement) {
    return saveWindowKey([&placement](ExtraSettings& s) { s.windowGeometry = placement; });
}

bool SiteMonitor::saveHistoryPane(int height) {
    return saveWindowKey([height](ExtraSettings& s) { s.historyPane = height; });
}

bool SiteMonitor::saveWindowKey(const std::function<void(ExtraSettings&)>& set) {
    set(extraSettings_);
    if (extraFileHeld_)
        return false;
    ExtraSettings onDisk;
    if (fileExists(ExtraSettingsFile::kFileName)) {
        const std::optional<std::string> bytes = DataFile::readOrCreate(ExtraSettingsFile::kFileName);
        // What no one can read now is not written over at the end either.
        if (!bytes || (ExtraSettingsFile::parse(*bytes, onDisk).lines == 0 && !bytes->empty()))
            return false;
    }
    set(onDisk);
    return DataFile::save(ExtraSettingsFile::kFileName, ExtraSettingsFile::serialize(onDisk));
}

void SiteMonitor::loadSiteList() {
    view_.gather();
    view_.setWindowCaption("Vantrel: vantrel.dat");
    if (auto bytes = DataFile::readOrCreate(SiteListFile::kFileName)) {
        std::vector<SiteEntry> records = SiteListFile::parse(*bytes, data_.entry);
        if (records.empty() && !bytes->empty())
            siteListFileHeld_ = !keepUnreadable(SiteListFile::kFileName, *bytes);
        sites_.insertAllAtTop(records);
        if (!records.empty()) {
            view_.autoSizeColumns();
            updateSiteCount();
        }
    } else {
        siteListFileHeld_ = DataFile::holdsBytes(SiteListFile::kFileName);
    }
    clearEntry();
}

bool SiteMonitor::writeSiteListFile() {
    return !siteListFileHeld_ && DataFile::save(SiteListFile::kFileName, SiteListFile::serialize(sites_));
}

bool SiteMonitor::saveSiteList() {
    const bool ok = writeSiteListFile();
    if (!ok)
        alertSink_->saveFailed(kSaveErrorText, kSaveErrorCaption);
    clearEntry();
    return ok;
}

void SiteMonitor::loadRow(int i) {
    if (!sites_.isValidRow(i))
        return;
    data_.entry = sites_.row(i);
    view_.show();
}

void SiteMonitor::storeRow(int i) {
    view_.gather();
    if (!data_.entry.title.empty() && sites_.isValidRow(i))
        sites_.setRow(i, data_.entry);
    view_.autoSizeColumns();
}

void SiteMonitor::insertAtTop() {
    sites_.insertAtTop(data_.entry);
}

void SiteMonitor::reverseRows() {
    sites_.reverseRows();
    data_.siteCount = sites_.rowCount();
}

void SiteMonitor::clearEntry() {
    view_.gather();
    data_.entry.clear();
    view_.show();
}

void SiteMonitor::updateSiteCount() {
    data_.siteCount = sites_.rowCount();
    view_.show();
}

void SiteMonitor::startUp() {
    loadSettings();
    loadSiteList();
    if (settings_.toolTips == "yes") {
        view_.enableToolTips(true);
        view_.show();
    } else {
        view_.enableToolTips(false);
    }
    if (settings_.toolTips.empty()) {
        settings_.toolTips = "yes";
        view_.enableToolTips(true);
        view_.show();
    }
    applyMonitorSetting();
    view_.show();
}

void SiteMonitor::setMonitoring(bool on) {
    view_.gather();
    settings_.monitor = on ? "yes" : "no";
    if (on) {
        data_.statusText = "Monitor.";
        schedule_.start(clock_->now());
    } else {
        data_.statusText = "Off.";
        data_.checkCount = 0;
    }
    view_.setMonitorButtonCaption(on ? "Stop Monitor" : "Monitor");
    saveSettings();
    monitoringOn_ = on;
    if (on)
        view_.setCheckTimer(nextPassDelay());
}

void SiteMonitor::applyMonitorSetting() {
    // Anything but "no" is on.
    setMonitoring(settings_.monitor != "no");
    view_.show();
    // Every start minimises the window, whether monitoring is on or off.
    view_.minimizeWindow();
}

void SiteMonitor::toggleMonitor() {
    // Anything but "yes" is off here, so a toggle turns it on.
    const bool on = settings_.monitor != "yes";
    setMonitoring(on);
    if (on)
        view_.showTrayOn();
    else
        view_.showTrayOff();
    view_.show();
}

} // namespace vantrel
