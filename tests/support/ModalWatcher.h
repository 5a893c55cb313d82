#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace velkar {

// Answers modal windows as they open, so a test can drive a handler that runs one: each new
// modal window is recorded by its title and handed to `answer`, which should end it.
class ModalWatcher : public QObject {
public:
    explicit ModalWatcher(std::function<void(QWidget*)> answer);
    QStringList titles() const { return m_titles; }

    // Clicks the push button named `name`.
    static void click(QWidget* window, const char* name);
    // An answer that clicks `id` in the window titled `title` and closes any other.
    static std::function<void(QWidget*)> clicking(const QString& title, const char* name);

private:
    void poll();

    std::function<void(QWidget*)> m_answer;
    QTimer m_timer;
    QPointer<QWidget> m_last;
    QStringList m_titles;
};

} // namespace velkar
