#pragma once

namespace vantrel {

// The application: prepares the platform, runs the main window and ends the
// program when the window ends.
class CSiteMonitorApp {
public:
    // Runs the whole program; returns the process exit status.
    int InitInstance(bool headless);
};

} // namespace vantrel
