#include "app/ScrollThrough.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <QWindow>

namespace vantrel {

namespace {

QAbstractItemView* listOf(QWidget* widget) {
    for (QWidget* w = widget; w; w = w->parentWidget()) {
        if (auto* view = qobject_cast<QAbstractItemView*>(w))
            return view;
        if (w->isWindow())
            break;
    }
    return nullptr;
}

// The top-level widget that `window` shows.
QWidget* topOf(QObject* window) {
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->windowHandle() == window)
            return top;
    return nullptr;
}

// The widget of `window` at `position`, a point in the window.
QWidget* widgetUnder(QObject* window, const QPointF& position) {
    QWidget* top = topOf(window);
    return top ? top->childAt(position.toPoint()) : nullptr;
}

} // namespace

ScrollThrough::Way ScrollThrough::route(QObject* window, QEvent* event) {
    switch (event->type()) {
    case QEvent::Wheel:
        return listOf(widgetUnder(window, static_cast<QWheelEvent*>(event)->position())) ? Way::Deliver
                                                                                         : Way::Hold;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        auto* bar = qobject_cast<QScrollBar*>(widgetUnder(window, mouse->position()));
        if (!bar || !listOf(bar) || (dragged_ && dragged_ != bar))
            return Way::Hold;
        dragged_ = bar;
        return Way::Deliver;
    }
    case QEvent::MouseMove:
        return dragged_ ? Way::Deliver : Way::Hold;
    case QEvent::MouseButtonRelease: {
        if (!dragged_)
            return Way::Hold;
        // The drag ends with the last button let go.
        if (static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton)
            dragged_ = nullptr;
        return Way::Deliver;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        return pagingKey(window, event);
    default:
        return Way::Hold;
    }
}

ScrollThrough::Way ScrollThrough::pagingKey(QObject* window, QEvent* event) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() != Qt::NoModifier && key->modifiers() != Qt::KeypadModifier)
        return Way::Hold;
    QAbstractSlider::SliderAction action = QAbstractSlider::SliderNoAction;
    switch (key->key()) {
    case Qt::Key_PageUp:
        action = QAbstractSlider::SliderPageStepSub;
        break;
    case Qt::Key_PageDown:
        action = QAbstractSlider::SliderPageStepAdd;
        break;
    case Qt::Key_Home:
        action = QAbstractSlider::SliderToMinimum;
        break;
    case Qt::Key_End:
        action = QAbstractSlider::SliderToMaximum;
        break;
    default:
        return Way::Hold;
    }
    // The window's own focus, which it keeps while another window is active.
    QWidget* top = topOf(window);
    QAbstractItemView* view = top ? listOf(top->focusWidget()) : nullptr;
    if (!view)
        return Way::Hold;
    if (event->type() == QEvent::KeyPress)
        view->verticalScrollBar()->triggerAction(action);
    return Way::Done;
}

} // namespace vantrel
