#pragma once

#include "monitor/MonitorView.h"

#include <iosfwd>

namespace vantrel {

// The engine's view for a pass run from the command line: there are no
// controls (the engine's DialogData is the only copy), message boxes become
// lines on standard error and every question is answered No, and the tray
// and the timer do not exist.
class ConsoleMonitorView : public MonitorView {
public:
    explicit ConsoleMonitorView(std::ostream& err) : err_(err) {}

    void gather() override {}
    void show() override {}
    MessageAnswer messageBox(const std::string& text, const std::string& caption, MessageButtons buttons,
                             MessageIcon icon) override;
    void setMonitorButtonCaption(const std::string&) override {}
    void setWindowCaption(const std::string&) override {}
    void setCheckTimer(std::chrono::milliseconds) override {}
    void minimizeWindow() override {}
    void enableToolTips(bool) override {}
    void autoSizeColumns() override {}
    int markedRow() const override { return -1; }
    void showTrayOn() override {}
    void showTrayOff() override {}
    void showTrayAlert() override {}
    void setOffline(bool offline) override;

private:
    std::ostream& err_;
};

} // namespace vantrel
