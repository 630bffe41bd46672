#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace vantrel {

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Exclamation };
enum class MessageAnswer { Ok, Yes, No };

// Everything the engine needs from the main window. The Qt dialog implements
// it; tests implement it in memory.
class MonitorView {
public:
    virtual ~MonitorView() = default;

    // Gather: copy the controls into the engine's DialogData.
    virtual void gather() = 0;
    // Show: copy the engine's DialogData into the controls.
    virtual void show() = 0;

    // A modal message box; returns the button chosen.
    virtual MessageAnswer messageBox(const std::string& text, const std::string& caption,
                                     MessageButtons buttons = MessageButtons::Ok,
                                     MessageIcon icon = MessageIcon::None) = 0;

    virtual void setMonitorButtonCaption(const std::string& caption) = 0;
    virtual void setWindowCaption(const std::string& caption) = 0;
    // Starts or restarts the check timer with this period.
    virtual void setCheckTimer(std::chrono::milliseconds period) = 0;
    virtual void minimizeWindow() = 0;
    virtual void enableToolTips(bool on) = 0;
    // Size every list column to the larger of its widest cell and its header.
    // May be deferred and coalesced: only the result after a command counts.
    virtual void autoSizeColumns() = 0;
    // The list's selection mark: the row the user most recently selected, or -1.
    virtual int markedRow() const = 0;

    virtual void showTrayOn() = 0; // the three-second on-animation, without blocking
    virtual void showTrayOff() = 0;
    virtual void showTrayAlert() = 0;
    // A site of the pass is slow and none has failed.
    virtual void showTraySlow() { showTrayAlert(); }
    // Whether the last pass found the machine offline: the tray tip and the
    // window say "Offline" while it is.
    virtual void setOffline(bool offline) = 0;
    // A pass whose failures are this machine's fault (no network, a resolver
    // that answers nothing, a captive portal): the words for the status bar,
    // and once a spell the text of one desktop notification (else empty).
    virtual void connectionVerdict(const std::string& statusText, const std::string& notification) {
        (void)statusText, (void)notification;
    }
    // The checks of a pass or of a Check Now have ended and none runs: an end
    // or a command the user asked for meanwhile can go ahead.
    virtual void checksEnded() {}
};

} // namespace vantrel
