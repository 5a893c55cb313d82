#pragma once

#include "base/Dialogs.h"

#include <QList>
#include <QMutex>
#include <QStringList>

#include <deque>
#include <functional>

namespace velkar {

// Records every box, chooser and progress window and answers as scripted, so no test or tool
// waits in a modal loop.
class FakeDialogs : public Dialogs {
public:
    struct Shown {
        QString text;
        Icon icon;
        QString caption; // as the title would read
        QObject* owner;
        bool question = false; // asked with ask(); `answer` is what it got
        bool answer = false;
    };

    void message(const QString& text, Icon icon, const QString& caption, QObject* owner) override;
    bool ask(const QString& text, QObject* owner) override;
    QString chooseFolder(const QString& title, const QString& startFolder) override;
    QString chooseOpenFile(const QString& filter, const QString& defaultSuffix,
                           const QString& startFolder) override;
    QString chooseSaveFile(const QString& filter, const QString& defaultSuffix,
                           const QString& startFolder) override;
    bool choosePrinter(QPrinter& printer) override;
    QString askText(const QString& prompt, QObject* owner) override;
    QString askPassword(const QString& prompt, QObject* owner) override;
    int choose(const QString& prompt, const QStringList& items, QObject* owner) override;
    std::unique_ptr<ProgressWindow> progress(const QString& label, int total,
                                             QObject* owner) override;

    // Answers for the next questions, in order; once they run out, 否, the default button.
    void answerQuestion(bool yes);
    // Forgets answers no question took.
    void forgetAnswers();
    // The questions asked, in order.
    QStringList questions() const;
    // Runs while a question is open, before it is answered: what happens meanwhile.
    std::function<void(const QString& question)> whileAsked;

    // Answers for the next choosers, in order; an empty text cancels.
    void answerFolder(const QString& folder);
    void answerFile(const QString& file);
    void answerPrinter(bool accept);
    // The next texts typed, in order; none left: cancelled. Each prompt is a shown box too.
    void answerText(const QString& text);
    // The next items picked, by index, in order; none left: cancelled. Each chooser is a shown
    // box too (its prompt), and its items are kept in `choices`.
    void answerChoice(int index);
    QList<QStringList> choices() const;

    QList<Shown> shown() const;
    QStringList texts() const;
    QString lastText() const;
    void clear();

    // What the choosers were asked, in order: "folder:<title>|<start>", "file:<filter>|<start>",
    // "save:<filter>|<start>". Open and save choosers take their answers from answerFile.
    QStringList requests() const;

    // Each box's text as it comes, for a tool that prints what a person would have read.
    void echoMessages(std::function<void(const QString&)> echo);

    // The progress windows opened, by label and total, and every step they showed, in order;
    // like the windows, only for the window thread. 取消 is pressed once a step reaches
    // `cancelProgressAt` (-1: never); `onProgressStep` sees each step as it is shown.
    QStringList progressLabels;
    QList<int> progressTotals;
    QList<int> progressSteps;
    int cancelProgressAt = -1;
    std::function<void(int done)> onProgressStep;

private:
    mutable QMutex m_mutex;
    QList<Shown> m_shown;
    QStringList m_requests;
    std::deque<QString> m_folders;
    std::deque<QString> m_files;
    std::deque<bool> m_printers;
    std::deque<QString> m_texts;
    std::deque<int> m_choices;
    QList<QStringList> m_offered;
    std::deque<bool> m_answers;
    std::function<void(const QString&)> m_echo;
};

} // namespace velkar
