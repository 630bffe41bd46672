#include "ui/WindowGeometry.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <vector>

namespace vantrel {

WindowGeometry::WindowGeometry(QWidget& window) : QObject(&window), window_(window) {
    window_.installEventFilter(this);
}

void WindowGeometry::restore(const std::string& stored) {
    const std::optional<WindowPlacement> placement = WindowPlacement::parse(stored);
    if (!placement)
        return;
    std::vector<WindowPlacement> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect r = screen->availableGeometry();
        screens.push_back({r.x(), r.y(), r.width(), r.height()});
    }
    const WindowPlacement::Fitted fitted = placement->fittedTo(screens);
    // The inside's corner, not the frame's: the frame's size is known only
    // once the window manager has framed the window, and a guess there
    // would move the window a little at every start.
    if (fitted.keepPosition)
        window_.setGeometry(placement->x, placement->y, fitted.width, fitted.height);
    else
        window_.resize(fitted.width, fitted.height); // the window's minimum size still holds
}

std::optional<std::string> WindowGeometry::changedFrom(const std::string& stored) const {
    if (!last_ || WindowPlacement::parse(stored) == last_)
        return std::nullopt;
    return last_->text();
}

bool WindowGeometry::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Expose:
    case QEvent::WindowStateChange:
        follow();
        break;
    case QEvent::Show:
        if (watched == &window_ && !watchingHandle_ && window_.windowHandle()) {
            window_.windowHandle()->installEventFilter(this); // its exposure
            watchingHandle_ = true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void WindowGeometry::follow() {
    // Only the normal state on screen counts: a maximised window comes back
    // at its normal size, and a hidden or minimised one keeps where it was.
    const QWindow* handle = window_.windowHandle();
    if (!window_.isVisible() || !handle || !handle->isExposed() ||
        (window_.windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    const QRect inside = window_.geometry();
    last_ = WindowPlacement{inside.x(), inside.y(), inside.width(), inside.height()};
}

} // namespace vantrel
