#pragma once

#include "monitor/AlertSink.h"
#include "monitor/DialogData.h"
#include "monitor/MonitorView.h"

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace vantrel {
class SiteMonitor;
}

namespace vantrel::test {

// The main window held in memory: "controls" are a second DialogData that
// gather and show copy from and to; everything else is recorded. It also
// records the announcements, as the engine's alert sink when given as one.
class FakeMonitorView : public MonitorView, public AlertSink {
public:
    struct Box {
        std::string text;
        std::string caption;
        MessageButtons buttons;
    };

    // The engine whose bound values gather and show copy; must be set before
    // the engine uses the view.
    SiteMonitor* engine = nullptr;
    DialogData controls;

    std::vector<Box> boxes;
    std::deque<MessageAnswer> answers;     // answers to give, in order; then Ok/Yes
    std::function<void(const Box&)> onBox; // runs while a box is "open"

    std::string monitorCaption;
    std::string windowCaption;
    std::vector<std::chrono::milliseconds> timerPeriods;
    std::vector<std::string> tray; // "on", "off", "alert" in call order
    bool offline = false;
    std::vector<std::string> certificates; // "title url days" of each warning
    int minimized = 0;
    int autoSizes = 0;
    int showCount = 0;
    bool toolTips = false;
    int marked = -1;
    struct MailResult {
        bool ok;
        std::string when;
        std::string errorText;
    };
    std::vector<MailResult> mailResults;
    std::vector<std::vector<SiteChange>> siteChangeSummaries; // one entry per summary
    std::vector<std::string> verdictTexts;                    // the status bar's, each pass at fault
    std::vector<std::string> verdictNotifications;

    void gather() override;
    void show() override;
    MessageAnswer messageBox(const std::string& text, const std::string& caption, MessageButtons buttons,
                             MessageIcon icon) override;
    void setMonitorButtonCaption(const std::string& caption) override { monitorCaption = caption; }
    void setWindowCaption(const std::string& caption) override { windowCaption = caption; }
    void setCheckTimer(std::chrono::milliseconds period) override { timerPeriods.push_back(period); }
    void minimizeWindow() override { ++minimized; }
    void enableToolTips(bool on) override { toolTips = on; }
    void autoSizeColumns() override { ++autoSizes; }
    int markedRow() const override { return marked; }
    void showTrayOn() override { tray.push_back("on"); }
    void showTrayOff() override { tray.push_back("off"); }
    void showTrayAlert() override { tray.push_back("alert"); }
    void mailResult(bool ok, const std::string& when, const std::string& errorText) override {
        mailResults.push_back({ok, when, errorText});
    }
    void alertResult(bool, const std::string&, const std::string&) override {}
    void siteChanges(const std::vector<SiteChange>& changes) override {
        siteChangeSummaries.push_back(changes);
    }
    void saveFailed(const std::string& text, const std::string& caption) override {
        messageBox(text, caption, MessageButtons::Ok, MessageIcon::None);
    }
    void setOffline(bool on) override { offline = on; }
    void connectionVerdict(const std::string& statusText, const std::string& notification) override {
        verdictTexts.push_back(statusText);
        if (!notification.empty())
            verdictNotifications.push_back(notification);
    }
    void certificateEnding(const std::string& title, const std::string& url, int daysLeft) override {
        certificates.push_back(title + " " + url + " " + std::to_string(daysLeft));
    }
};

} // namespace vantrel::test
