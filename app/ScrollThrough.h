#pragma once

#include <QPointer>

class QEvent;
class QObject;
class QScrollBar;

namespace vantrel {

// Which input that reaches a window only scrolls a list: the wheel over a
// list, a press on a list's scroll bar and the drag that follows it, and
// the paging keys (Page Up/Down, Home, End) in a list with the focus. Such
// input goes through while the engine waits and other input is held back,
// so a long list stays smooth to scroll during a pass. A paging key scrolls
// the list itself and moves no marked row: marking a row loads it into the
// entry boxes, which is the held input's business.
class ScrollThrough {
public:
    enum class Way {
        Hold,    // not scrolling: held back with the rest
        Deliver, // scrolls a list: goes to its window now
        Done,    // a paging key: the list has scrolled, the key goes nowhere
    };
    // What becomes of `event`, an input event about to reach `window`.
    Way route(QObject* window, QEvent* event);

private:
    static Way pagingKey(QObject* window, QEvent* event);

    QPointer<QScrollBar> dragged_; // the scroll bar a pressed button holds
};

} // namespace vantrel
