#pragma once

#include "model/SiteEntry.h"
#include "ui/BoundText.h"
#include "ui/WholeTextTip.h"

namespace vantrel {

class MainWindowForm;
class SiteMonitor;

// Copies the engine's current entry and counters to the window's boxes and
// back (the MonitorView's gather and show). A pass never overwrites boxes
// the user changed since they were shown: it keeps its own copy of the
// entry, and the user's edit stays until the pass is over.
class EntryBinding {
public:
    EntryBinding(SiteMonitor& engine, MainWindowForm& form) : engine_(engine), form_(form) {}

    void gather();
    void show();
    // Whether a pass left the boxes holding the user's edits.
    bool held() const { return held_; }

private:
    SiteMonitor& engine_;
    MainWindowForm& form_;
    SiteEntry shown_; // the entry the boxes last showed
    bool held_ = false;
    BoundText status_;
    WholeTextTip wholeTip_;
};

} // namespace vantrel
