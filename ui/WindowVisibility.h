#pragma once

namespace vantrel {

class WindowSystem;

// The one state machine for showing, hiding, minimising to the tray,
// restoring and raising the main window, on an XEmbed tray, a
// StatusNotifierItem tray, with no tray at all, and under Wayland.
//
// Minimising hides the window only where a tray can bring it back; without a
// tray it stays minimised with its task-bar button. A window brought back
// from the tray may be reported minimised once more by an X11 window manager
// before it appears on screen (the iconic state it kept from before it was
// hidden): that report is not the user's, and the window is shown again. Once
// the window has been on screen, every minimise is the user's and is kept.
class WindowVisibility {
public:
    enum class State {
        Shown,     // on screen, or minimised to the task bar without a tray
        Restoring, // asked to come back, not on screen yet
        InTray,    // hidden; the tray brings it back
    };

    explicit WindowVisibility(WindowSystem& window) : window_(window) {}

    State state() const { return state_; }

    // The program minimises the window (at start, or when monitoring starts).
    void minimize();
    // The tray, a second start or a signal asks for the window.
    void restore();
    // The window system reports the window on screen.
    void exposed();
    // The window system reports a change of the minimised state.
    void stateChanged();

private:
    static void hideIfStillMinimized(void* self);

    WindowSystem& window_;
    State state_ = State::Shown;
    bool leftoverUndone_ = false; // once a restore: a window manager that insists is obeyed
};

} // namespace vantrel
