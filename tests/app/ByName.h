#pragma once

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QString>
#include <QWidget>

namespace vantrel::test {

// The child control of type T whose accessible name is `name`, as assistive
// tools find it; nullptr when there is none.
template <typename T> T* byName(QWidget& parent, const QString& name) {
    for (T* child : parent.findChildren<T*>())
        if (child->accessibleName() == name)
            return child;
    return nullptr;
}

// The menu bar item `item` of the popup `menu`, both as written with their
// mnemonics; nullptr when there is none.
inline QAction* menuItem(QWidget& window, const QString& menu, const QString& item) {
    for (QAction* popup : window.findChild<QMenuBar*>()->actions()) {
        if (popup->text() != menu || !popup->menu())
            continue;
        for (QAction* a : popup->menu()->actions())
            if (a->text() == item)
                return a;
    }
    return nullptr;
}

} // namespace vantrel::test
