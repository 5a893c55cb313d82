#include "ModalWatcher.h"

#include "Controls.h"

#include <QApplication>
#include <QPushButton>

namespace velkar {

ModalWatcher::ModalWatcher(std::function<void(QWidget*)> answer) : m_answer(std::move(answer)) {
    connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::poll);
    m_timer.start(20);
}

void ModalWatcher::poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == m_last)
        return;
    m_last = modal;
    m_titles << modal->windowTitle();
    m_answer(modal);
}

void ModalWatcher::click(QWidget* window, const char* name) {
    if (auto* button = control<QPushButton>(window, name))
        button->click();
}

std::function<void(QWidget*)> ModalWatcher::clicking(const QString& title, const char* name) {
    return [title, name](QWidget* window) {
        if (window->windowTitle() == title)
            click(window, name);
        else
            window->close();
    };
}

} // namespace velkar
