#pragma once

#include "model/Settings.h"
#include "model/SiteList.h"
#include "monitor/DialogData.h"

#include <chrono>
#include <string>

namespace vantrel {

class MonitorView;

// The state of one run of the program and the operations on it that need no
// window: the settings, the rows, the current entry and counters, the data
// files and the monitoring switch. The main window owns one and implements
// MonitorView for it.
class SiteMonitor {
public:
    explicit SiteMonitor(MonitorView& view);

    Settings& settings() { return settings_; }
    const Settings& settings() const { return settings_; }
    SiteList& sites() { return sites_; }
    const SiteList& sites() const { return sites_; }
    DialogData& data() { return data_; }
    const DialogData& data() const { return data_; }
    MonitorView& view() { return view_; }
    bool monitoringOn() const { return monitoringOn_; }

    // The data files, by bare names in the current directory.
    void loadSettings();
    bool saveSettings();
    void loadSiteList();
    bool saveSiteList();

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

    // The check timer's period for the current INTERVAL.
    std::chrono::milliseconds checkPeriod() const;
    static std::chrono::milliseconds checkPeriodFor(const std::string& interval);

    static constexpr const char* kSaveErrorText = "Save to File";
    static constexpr const char* kSaveErrorCaption = "Error Writing File";

protected:
    void setMonitoringOn(bool on) { monitoringOn_ = on; }

private:
    MonitorView& view_;
    Settings settings_;
    SiteList sites_;
    DialogData data_;
    bool monitoringOn_ = false;
};

} // namespace vantrel
