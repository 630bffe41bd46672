#include "ui/WidgetWindow.h"

#include "ui/TrayIcon.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace vantrel {

WidgetWindow::WidgetWindow(QWidget& widget) : QObject(&widget), widget_(widget) {
    widget_.installEventFilter(this);
}

bool WidgetWindow::trayAvailable() const {
    return TrayIcon::trayAvailable();
}

bool WidgetWindow::isMinimized() const {
    return widget_.isMinimized();
}

void WidgetWindow::showNormal() {
    widget_.showNormal();
    widget_.raise();
    widget_.activateWindow();
}

void WidgetWindow::showMinimized() {
    widget_.showMinimized();
}

void WidgetWindow::hideUnminimized() {
    widget_.setWindowState(widget_.windowState() & ~Qt::WindowMinimized);
    widget_.hide();
}

void WidgetWindow::later(void (*step)(void*), void* context) {
    QTimer::singleShot(0, this, [step, context] { step(context); });
}

bool WidgetWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &widget_) {
        if (event->type() == QEvent::WindowStateChange) {
            // After the widget has taken the new state.
            QTimer::singleShot(0, this, [this] { visibility_.stateChanged(); });
        } else if (event->type() == QEvent::Show && !watchingHandle_ && widget_.windowHandle()) {
            widget_.windowHandle()->installEventFilter(this);
            watchingHandle_ = true;
        }
    } else if (event->type() == QEvent::Expose) {
        auto* window = qobject_cast<QWindow*>(watched);
        if (window && window->isExposed())
            visibility_.exposed();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace vantrel
