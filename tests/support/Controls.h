#pragma once

#include <QWidget>

namespace velkar {

// The control of a window by its object name in the window's template.
template <typename T = QWidget> T* control(QWidget* window, const char* name) {
    return window->findChild<T*>(QLatin1String(name));
}

} // namespace velkar
