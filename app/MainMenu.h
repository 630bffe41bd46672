#pragma once

class QMenuBar;

namespace vantrel {

class CSiteMonitorDlg;

// The main window's menu bar: File, Entry, Options and Help, each item
// leading to the window's command of the same name.
class MainMenu {
public:
    static QMenuBar* create(CSiteMonitorDlg& window);
};

} // namespace vantrel
