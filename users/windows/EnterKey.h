#pragma once

#include <functional>

class QKeyEvent;
class QWidget;

namespace velkar {

// Enter in an account window clicks the button that has the focus, or else carries out the
// window's own `action`; it never just closes the window. False for any other key.
bool HandleEnterKey(QWidget* window, QKeyEvent* event, const std::function<void()>& action);

} // namespace velkar
