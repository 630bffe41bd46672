#pragma once

namespace vantrel {

// What WindowVisibility asks of the window and the desktop it lives on. The
// main window's adapter (WidgetWindow) speaks to Qt; tests fake it in memory.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // Whether a tray can bring the window back once it is hidden.
    virtual bool trayAvailable() const = 0;
    virtual bool isMinimized() const = 0;
    // Shown, not minimised, raised and given the focus.
    virtual void showNormal() = 0;
    // Minimised, with its task-bar button.
    virtual void showMinimized() = 0;
    // Hidden, and no longer minimised: a window left minimised while hidden is
    // mapped iconic again by the next show under X11 window managers.
    virtual void hideUnminimized() = 0;
    // Runs `step` once the current event has been handled (the window
    // manager reports a state before the window system has settled it).
    virtual void later(void (*step)(void*), void* context) = 0;
};

} // namespace vantrel
