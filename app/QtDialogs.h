#pragma once

#include "base/Dialogs.h"

namespace velkar {

// The program's own boxes and choosers: Qt's standard dialogs. Calls from a worker thread are
// carried out on the user-interface thread while the worker waits.
class QtDialogs : public Dialogs {
public:
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
};

} // namespace velkar
