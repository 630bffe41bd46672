#pragma once

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

} // namespace vantrel::test
