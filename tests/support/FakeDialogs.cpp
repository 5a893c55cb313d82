#include "FakeDialogs.h"

#include <QMutexLocker>

namespace velkar {

void FakeDialogs::message(const QString& text, Icon icon, const QString& caption, QObject* owner) {
    QMutexLocker lock(&m_mutex);
    m_shown.append({text, icon, caption.isEmpty() ? applicationName() : caption, owner});
    if (m_echo)
        m_echo(text);
}

bool FakeDialogs::ask(const QString& text, QObject* owner) {
    if (whileAsked)
        whileAsked(text);
    QMutexLocker lock(&m_mutex);
    bool yes = false;
    if (!m_answers.empty()) {
        yes = m_answers.front();
        m_answers.pop_front();
    }
    m_shown.append({text, Icon::None, Messages::SystemPrompt(), owner, true, yes});
    if (m_echo)
        m_echo(text);
    return yes;
}

void FakeDialogs::answerQuestion(bool yes) {
    QMutexLocker lock(&m_mutex);
    m_answers.push_back(yes);
}

void FakeDialogs::forgetAnswers() {
    QMutexLocker lock(&m_mutex);
    m_answers.clear();
}

QStringList FakeDialogs::questions() const {
    QMutexLocker lock(&m_mutex);
    QStringList asked;
    for (const Shown& s : m_shown)
        if (s.question)
            asked << s.text;
    return asked;
}

void FakeDialogs::echoMessages(std::function<void(const QString&)> echo) {
    QMutexLocker lock(&m_mutex);
    m_echo = std::move(echo);
}

std::unique_ptr<ProgressWindow> FakeDialogs::progress(const QString& label, int total, QObject*) {
    struct Window : ProgressWindow {
        FakeDialogs& d;
        explicit Window(FakeDialogs& d) : d(d) {}
        bool advance(int done) override {
            d.progressSteps << done;
            if (d.onProgressStep)
                d.onProgressStep(done);
            return d.cancelProgressAt < 0 || done < d.cancelProgressAt;
        }
    };
    progressLabels << label;
    progressTotals << total;
    return std::make_unique<Window>(*this);
}

QString FakeDialogs::askPassword(const QString& prompt, QObject* owner) {
    return askText(prompt, owner);
}

int FakeDialogs::choose(const QString& prompt, const QStringList& items, QObject* owner) {
    message(prompt, Icon::None, {}, owner);
    QMutexLocker lock(&m_mutex);
    m_offered << items;
    if (m_choices.empty())
        return -1;
    const int picked = m_choices.front();
    m_choices.pop_front();
    return picked >= 0 && picked < items.size() ? picked : -1;
}

void FakeDialogs::answerChoice(int index) {
    QMutexLocker lock(&m_mutex);
    m_choices.push_back(index);
}

QList<QStringList> FakeDialogs::choices() const {
    QMutexLocker lock(&m_mutex);
    return m_offered;
}

QString FakeDialogs::askText(const QString& prompt, QObject* owner) {
    message(prompt, Icon::None, {}, owner);
    QMutexLocker lock(&m_mutex);
    if (m_texts.empty())
        return {};
    QString answer = m_texts.front();
    m_texts.pop_front();
    return answer;
}

void FakeDialogs::answerText(const QString& text) {
    QMutexLocker lock(&m_mutex);
    m_texts.push_back(text);
}

QString FakeDialogs::chooseFolder(const QString& title, const QString& startFolder) {
    QMutexLocker lock(&m_mutex);
    m_requests << QStringLiteral("folder:%1|%2").arg(title, startFolder);
    if (m_folders.empty())
        return {};
    QString answer = m_folders.front();
    m_folders.pop_front();
    return answer;
}

QString FakeDialogs::chooseOpenFile(const QString& filter, const QString&,
                                    const QString& startFolder) {
    QMutexLocker lock(&m_mutex);
    m_requests << QStringLiteral("file:%1|%2").arg(filter, startFolder);
    if (m_files.empty())
        return {};
    QString answer = m_files.front();
    m_files.pop_front();
    return answer;
}

bool FakeDialogs::choosePrinter(QPrinter&) {
    QMutexLocker lock(&m_mutex);
    m_requests << QStringLiteral("printer");
    if (m_printers.empty())
        return false;
    const bool answer = m_printers.front();
    m_printers.pop_front();
    return answer;
}

void FakeDialogs::answerFolder(const QString& folder) {
    QMutexLocker lock(&m_mutex);
    m_folders.push_back(folder);
}

QString FakeDialogs::chooseSaveFile(const QString& filter, const QString&,
                                    const QString& startFolder) {
    QMutexLocker lock(&m_mutex);
    m_requests << QStringLiteral("save:%1|%2").arg(filter, startFolder);
    if (m_files.empty())
        return {};
    QString answer = m_files.front();
    m_files.pop_front();
    return answer;
}

void FakeDialogs::answerFile(const QString& file) {
    QMutexLocker lock(&m_mutex);
    m_files.push_back(file);
}

void FakeDialogs::answerPrinter(bool accept) {
    QMutexLocker lock(&m_mutex);
    m_printers.push_back(accept);
}

QList<FakeDialogs::Shown> FakeDialogs::shown() const {
    QMutexLocker lock(&m_mutex);
    return m_shown;
}

QStringList FakeDialogs::texts() const {
    QMutexLocker lock(&m_mutex);
    QStringList texts;
    for (const Shown& s : m_shown)
        texts << s.text;
    return texts;
}

QString FakeDialogs::lastText() const {
    QMutexLocker lock(&m_mutex);
    return m_shown.isEmpty() ? QString() : m_shown.constLast().text;
}

void FakeDialogs::clear() {
    QMutexLocker lock(&m_mutex);
    m_shown.clear();
    m_requests.clear();
}

QStringList FakeDialogs::requests() const {
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

} // namespace velkar
