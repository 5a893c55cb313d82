#include "app/QtDialogs.h"

#include "base/Messages.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>

namespace velkar {

namespace {

// Runs `work` on the user-interface thread and returns when it is done.
template <typename Work> void onUiThread(Work work) {
    if (!qApp || QThread::currentThread() == qApp->thread())
        work();
    else
        QMetaObject::invokeMethod(qApp, work, Qt::BlockingQueuedConnection);
}

} // namespace

void QtDialogs::message(const QString& text, Icon icon, const QString& caption, QObject* owner) {
    onUiThread([&] {
        QMessageBox box(icon == Icon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                        caption.isEmpty() ? applicationName() : caption, text, QMessageBox::Ok,
                        qobject_cast<QWidget*>(owner));
        box.button(QMessageBox::Ok)->setText(Messages::OkButton());
        box.exec();
    });
}

bool QtDialogs::ask(const QString& text, QObject* owner) {
    bool yes = false;
    onUiThread([&] {
        QMessageBox box(QMessageBox::Question, Messages::SystemPrompt(), text,
                        QMessageBox::Yes | QMessageBox::No, qobject_cast<QWidget*>(owner));
        box.button(QMessageBox::Yes)->setText(Messages::YesButton());
        box.button(QMessageBox::No)->setText(Messages::NoButton());
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        yes = box.exec() == QMessageBox::Yes;
    });
    return yes;
}

QString QtDialogs::chooseFolder(const QString& title, const QString& startFolder) {
    QString chosen;
    onUiThread([&] {
        chosen = QFileDialog::getExistingDirectory(nullptr, title, startFolder,
                                                   QFileDialog::ShowDirsOnly);
    });
    return chosen;
}

QString QtDialogs::chooseOpenFile(const QString& filter, const QString& defaultSuffix,
                                  const QString& startFolder) {
    QString chosen;
    onUiThread([&] {
        QFileDialog dialog(nullptr, QString(), startFolder, filter);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setDefaultSuffix(defaultSuffix);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().constFirst();
    });
    return chosen;
}

QString QtDialogs::chooseSaveFile(const QString& filter, const QString& defaultSuffix,
                                  const QString& startFolder) {
    QString chosen;
    onUiThread([&] {
        QFileDialog dialog(nullptr, QString(), startFolder, filter);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(defaultSuffix);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().constFirst();
    });
    return chosen;
}

bool QtDialogs::choosePrinter(QPrinter& printer) {
    bool accepted = false;
    onUiThread([&] {
        QPrintDialog dialog(&printer);
        // Reports always print whole: no page ranges or selections to offer.
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
        dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
        dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
        accepted = dialog.exec() == QDialog::Accepted;
    });
    return accepted;
}

QString QtDialogs::askText(const QString& prompt, QObject* owner) {
    QString typed;
    onUiThread([&] {
        typed = QInputDialog::getText(qobject_cast<QWidget*>(owner), applicationName(), prompt)
                    .trimmed();
    });
    return typed;
}

QString QtDialogs::askPassword(const QString& prompt, QObject* owner) {
    QString typed;
    onUiThread([&] {
        typed = QInputDialog::getText(qobject_cast<QWidget*>(owner), applicationName(), prompt,
                                      QLineEdit::Password);
    });
    return typed;
}

int QtDialogs::choose(const QString& prompt, const QStringList& items, QObject* owner) {
    int picked = -1;
    onUiThread([&] {
        QInputDialog dialog(qobject_cast<QWidget*>(owner));
        dialog.setWindowTitle(applicationName());
        dialog.setLabelText(prompt);
        dialog.setOption(QInputDialog::UseListViewForComboBoxItems);
        dialog.setComboBoxItems(items);
        dialog.setComboBoxEditable(false);
        dialog.setOkButtonText(Messages::OkButton());
        dialog.setCancelButtonText(Messages::CancelButton());
        if (dialog.exec() == QDialog::Accepted)
            picked = int(items.indexOf(dialog.textValue()));
    });
    return picked;
}

namespace {

class ProgressDialog : public ProgressWindow {
public:
    ProgressDialog(const QString& label, int total, QWidget* owner)
        : m_window(label, Messages::CancelButton(), 0, total, owner) {
        m_window.setWindowTitle(applicationName());
        m_window.setWindowModality(Qt::WindowModal);
        m_window.setMinimumDuration(300);
        m_window.setAutoClose(false);
        m_window.setAutoReset(false);
        m_served.start();
    }

    bool advance(int done) override {
        // Events every few frames: a page takes far less than a frame to draw.
        if (m_served.elapsed() >= 30) {
            m_window.setValue(done);
            QCoreApplication::processEvents();
            m_served.restart();
        }
        return !m_window.wasCanceled();
    }

private:
    QProgressDialog m_window;
    QElapsedTimer m_served;
};

} // namespace

std::unique_ptr<ProgressWindow> QtDialogs::progress(const QString& label, int total,
                                                    QObject* owner) {
    return std::make_unique<ProgressDialog>(label, total, qobject_cast<QWidget*>(owner));
}

} // namespace velkar
