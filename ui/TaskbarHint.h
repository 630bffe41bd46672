#pragma once

class QWidget;

namespace vantrel {

// Whether a top-level window has a task-bar button. On X11 this is the
// window's _NET_WM_STATE_SKIP_TASKBAR state: written into the property while
// the window is not mapped (the window manager reads it when the window is
// mapped), and asked of the window manager with a client message while it
// is. On other platforms nothing is done.
class TaskbarHint {
public:
    static void setSkipTaskbar(QWidget& window, bool skip);
    // The state as the window's property holds it now (false off X11).
    static bool skipsTaskbar(const QWidget& window);
};

} // namespace vantrel
