#include "ui/WindowVisibility.h"

#include "ui/WindowSystem.h"

namespace vantrel {

void WindowVisibility::minimize() {
    window_.showMinimized();
    if (window_.trayAvailable())
        window_.later(&WindowVisibility::hideIfStillMinimized, this);
}

void WindowVisibility::restore() {
    state_ = State::Restoring;
    leftoverUndone_ = false;
    window_.showNormal();
}

void WindowVisibility::exposed() {
    if (state_ == State::Restoring && !window_.isMinimized())
        state_ = State::Shown;
}

void WindowVisibility::stateChanged() {
    if (!window_.isMinimized())
        return;
    if (state_ == State::Restoring && !leftoverUndone_) {
        // Left over from before the restore (a minimise the window manager
        // carried out late, with or without a tray): the window has not been
        // on screen since it was asked for, so no user can have minimised it.
        leftoverUndone_ = true;
        window_.showNormal();
        return;
    }
    if (!window_.trayAvailable())
        return;
    window_.later(&WindowVisibility::hideIfStillMinimized, this);
}

void WindowVisibility::hideIfStillMinimized(void* self) {
    auto* v = static_cast<WindowVisibility*>(self);
    if (!v->window_.isMinimized())
        return;
    v->window_.hideUnminimized();
    v->state_ = State::InTray;
}

} // namespace vantrel
