#include "users/windows/EnterKey.h"

#include <QKeyEvent>
#include <QPushButton>

namespace velkar {

bool HandleEnterKey(QWidget* window, QKeyEvent* event, const std::function<void()>& action) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return false;
    if (auto* button = qobject_cast<QPushButton*>(window->focusWidget()))
        button->click();
    else
        action();
    return true;
}

} // namespace velkar
