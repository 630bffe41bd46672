#pragma once

#include "model/SiteEntry.h"
#include "ui/BoundText.h"
#include "ui/PacedDisplay.h"
#include "ui/WholeTextTip.h"

#include <optional>
#include <string>

namespace vantrel {

class MainWindowForm;
class SiteMonitor;

// Copies the engine's current entry and counters to the window's boxes and
// back (the MonitorView's gather and show). A pass never overwrites boxes
// the user changed since they were shown: it keeps its own copy of the
// entry, and the user's edit stays until the pass is over.
//
// During a burst of the engine's work the status line and the two counters,
// like the entry boxes, keep only their last values and show them when the
// burst ends; gather gives the kept values back all the same.
class EntryBinding : public PacedDisplay::Member {
public:
    EntryBinding(SiteMonitor& engine, MainWindowForm& form);
    ~EntryBinding() override;
    EntryBinding(const EntryBinding&) = delete;
    EntryBinding& operator=(const EntryBinding&) = delete;

    void gather();
    void show();
    void showKept() override;
    // Whether a pass left the boxes holding the user's edits.
    bool held() const { return held_; }

private:
    // The status line and the counters, as the engine last gave them.
    struct Line {
        std::string status;
        int sites = 0;
        int checks = 0;
    };
    void showLine(const Line& line);

    SiteMonitor& engine_;
    MainWindowForm& form_;
    SiteEntry shown_; // the entry the boxes last showed
    bool held_ = false;
    std::optional<Line> kept_; // given during a burst, not shown yet
    BoundText status_;
    WholeTextTip wholeTip_;
};

} // namespace vantrel
