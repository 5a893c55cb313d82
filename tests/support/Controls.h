#pragma once

#include <QWidget>

namespace velkar {

// The control of a window by its template number (the `controlId` property).
template <typename T = QWidget> T* control(QWidget* window, int id) {
    for (T* child : window->findChildren<T*>())
        if (child->property("controlId").toInt() == id)
            return child;
    return nullptr;
}

} // namespace velkar
