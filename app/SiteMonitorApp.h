#pragma once

namespace vantrel {

// The application: prepares the platform, runs the main window and ends the
// program when the window ends.
class CSiteMonitorApp {
public:
    // The exit status when the save at the end failed (its message was
    // shown and the old file kept), so a script or a service manager sees
    // that the list was not stored.
    static constexpr int kExitSaveFailed = 3;

    // Runs the whole program; returns the process exit status.
    int InitInstance(bool headless);
};

} // namespace vantrel
