#pragma once

#include "base/Messages.h"

#include <QString>
#include <QStringList>

#include <memory>

class QObject;
class QPrinter;

namespace velkar {

// How far a long task got, shown in a window with 取消 while the object lives.
class ProgressWindow {
public:
    virtual ~ProgressWindow() = default;
    // Shows `done` steps of the total and lets the windows repaint; false once 取消 was pressed.
    virtual bool advance(int done) = 0;
};

// Every message box, chooser and print dialog of the program goes through this interface, so
// that tests can answer them without a modal loop.
class Dialogs {
public:
    enum class Icon { None, Exclamation };

    virtual ~Dialogs() = default;

    // An empty caption shows the application's name. May be called from any thread; a worker
    // that calls it waits until the box is closed.
    virtual void message(const QString& text, Icon icon = Icon::None, const QString& caption = {},
                         QObject* owner = nullptr) = 0;

    // A yes-or-no question before something that can't be undone, captioned "系统提示". 否 is
    // the default button and Esc answers it too, so only a deliberate 是 goes ahead. Same
    // threads as message().
    virtual bool ask(const QString& text, QObject* owner = nullptr) = 0;

    // Empty result: cancelled.
    virtual QString chooseFolder(const QString& title, const QString& startFolder) = 0;
    virtual QString chooseOpenFile(const QString& filter, const QString& defaultSuffix,
                                   const QString& startFolder) = 0;
    // The file to write; `defaultSuffix` is added when the name typed has none.
    virtual QString chooseSaveFile(const QString& filter, const QString& defaultSuffix,
                                   const QString& startFolder) = 0;

    // False: cancelled.
    virtual bool choosePrinter(QPrinter& printer) = 0;

    // A line of text typed in answer to `prompt`; empty: cancelled (or nothing typed).
    virtual QString askText(const QString& prompt, QObject* owner = nullptr) = 0;
    // The same with what is typed hidden, and kept as typed; empty: cancelled.
    virtual QString askPassword(const QString& prompt, QObject* owner = nullptr) = 0;
    // One of `items` picked, by its index; -1: cancelled. Nothing is picked before the person
    // picks it.
    virtual int choose(const QString& prompt, const QStringList& items,
                       QObject* owner = nullptr) = 0;

    // A progress window for a task of `total` steps run on the window thread. By default none
    // is shown and nothing is cancelled.
    virtual std::unique_ptr<ProgressWindow> progress(const QString& label, int total,
                                                     QObject* owner = nullptr);

    // The box forms used throughout the program.
    void plain(const QString& text, QObject* owner = nullptr) {
        message(text, Icon::None, {}, owner);
    }
    void warning(const QString& text, QObject* owner = nullptr) {
        message(text, Icon::Exclamation, {}, owner);
    }
    void notice(const QString& text, QObject* owner = nullptr) {
        message(text, Icon::Exclamation, Messages::SystemPrompt(), owner);
    }
};

inline std::unique_ptr<ProgressWindow> Dialogs::progress(const QString&, int, QObject*) {
    struct Unseen : ProgressWindow {
        bool advance(int) override { return true; }
    };
    return std::make_unique<Unseen>();
}

// The application's name, the title of boxes without a caption of their own.
inline QString applicationName() {
    return QStringLiteral("Velkar");
}

} // namespace velkar
