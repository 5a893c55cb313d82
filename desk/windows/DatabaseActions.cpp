#include "desk/windows/DatabaseActions.h"

#include "base/Dialogs.h"
#include "base/Messages.h"
#include "base/Settings.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/AutoBackup.h"
#include "data/LegacyFile.h"
#include "data/Schema.h"
#include "data/Shift.h"
#include "desk/windows/LegacyImportDlg.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QKeyEvent>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <thread>

namespace velkar {

namespace {

constexpr int PollMs = 40;
constexpr int ShowAfterMs = 300;

// The copy can't be stopped half-way, so its window can't be closed before it ends.
class KeepOpen : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
            return true;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

DatabaseActions::DatabaseActions(Dialogs& dialogs, const Clock* clock, QString account)
    : m_dialogs(dialogs), m_clock(clock ? *clock : m_systemClock), m_account(std::move(account)) {}

QString DatabaseActions::workingPath() {
    const QString location = Schema::DatabaseLocation();
    return EngineOf(location) == Engine::Postgres ? location : QDir::current().filePath(location);
}

void DatabaseActions::rememberIn(Settings& settings) {
    m_settings = &settings;
    m_lastFolder = settings.lastBackupFolder();
}

QString DatabaseActions::startFolder() const {
    // A remembered folder may be gone by now (a stick pulled out).
    return !m_lastFolder.isEmpty() && QFileInfo(m_lastFolder).isDir() ? m_lastFolder
                                                                      : QDir::homePath();
}

QString
DatabaseActions::runWithProgress(const QString& label,
                                 const std::function<QString(const DatabaseCopy::Options&)>& work) {
    return RunWithProgress(label, copyOptions, work);
}

QString RunWithProgress(const QString& label, const DatabaseCopy::Options& copyOptions,
                        const std::function<QString(const DatabaseCopy::Options&)>& work) {
    std::atomic<int> done{0};
    std::atomic<int> total{0};
    std::atomic<bool> finished{false};
    DatabaseCopy::Options options = copyOptions;
    options.progress = [&](int d, int t) {
        done = d;
        total = t;
    };
    QString result;

    QProgressDialog window(label, QString(), 0, 0, QApplication::activeWindow());
    window.setWindowTitle(Messages::SystemPrompt());
    window.setWindowModality(Qt::ApplicationModal);
    window.setWindowFlag(Qt::WindowCloseButtonHint, false);
    window.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    window.setMinimumDuration(ShowAfterMs);
    window.setMinimumWidth(360);
    window.setAutoClose(false);
    window.setAutoReset(false);
    KeepOpen keepOpen;
    window.installEventFilter(&keepOpen);
    window.setValue(0);

    QEventLoop loop;
    QTimer poll;
    poll.setInterval(PollMs);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        // A range of 0 to 0 shows work of unknown length: the check after the copy.
        window.setMaximum(total);
        window.setValue(done);
        if (finished)
            loop.quit();
    });
    std::thread worker([&] {
        result = work(options);
        finished = true;
    });
    poll.start();
    loop.exec();
    worker.join();
    return result;
}

void DatabaseActions::BackupDatabase() {
    const QString folder = m_dialogs.chooseFolder(Messages::ChooseBackupFolder(), startFolder());
    if (folder.isEmpty())
        return;
    const QString working = workingPath();
    // Written before the copy, so the backup holds its own entry; a failed copy gets one more.
    const QString target = DatabaseCopy::BackupTarget(folder);
    Audit::AppendTo(working, m_account, Audit::Backup, Messages::BackupTarget(target),
                    m_clock.now(), copyOptions.lockTimeoutMs);
    QString keptAs;
    const QDateTime now = m_clock.now();
    const QString problem =
        runWithProgress(Messages::BackingUp(), [&](const DatabaseCopy::Options& options) {
            return DatabaseCopy::Backup(working, folder, options, now, &keptAs);
        });
    if (!problem.isEmpty()) {
        Audit::AppendTo(working, m_account, Audit::Backup,
                        Messages::BackupTargetFailed(target, problem), m_clock.now(),
                        copyOptions.lockTimeoutMs);
        m_dialogs.notice(Messages::BackupFailed(problem));
        return;
    }
    m_lastFolder = folder;
    if (m_settings)
        m_settings->setLastBackupFolder(folder);
    m_dialogs.notice(keptAs.isEmpty() ? Messages::BackupDone()
                                      : Messages::BackupDoneKeeping(target, keptAs));
}

QString DatabaseActions::AutoBackupInto(const QString& folder, int keep) {
    const QString working = workingPath();
    const QDateTime now = m_clock.now();
    Audit::AppendTo(working, m_account, Audit::Backup, Messages::AutoBackupTarget(folder), now,
                    copyOptions.lockTimeoutMs);
    AutoBackup::Result result;
    const QString problem =
        runWithProgress(Messages::BackingUp(), [&](const DatabaseCopy::Options& options) {
            result = AutoBackup::Run(working, folder, keep, now, options);
            return result.problem;
        });
    if (!problem.isEmpty()) {
        Audit::AppendTo(working, m_account, Audit::Backup,
                        Messages::BackupTargetFailed(folder, problem), m_clock.now(),
                        copyOptions.lockTimeoutMs);
        return problem;
    }
    return result.rotateProblem;
}

bool DatabaseActions::OnRestore(const std::function<void()>& replaced) {
    if (EngineOf(workingPath()) == Engine::Postgres) {
        m_dialogs.notice(Messages::RestoreFailed(DatabaseCopy::ServerRestoreText()));
        return false;
    }
    const QString chosen =
        m_dialogs.chooseOpenFile(QStringLiteral("(*.mdb)"), QStringLiteral("mdb"), startFolder());
    if (chosen.isEmpty())
        return false;
    // Told by what the file holds, whatever it is called.
    if (LegacyFile::IsAccessFile(chosen))
        return RestoreLegacy(chosen, replaced);
    const QString working = workingPath();
    const QDateTime now = m_clock.now();
    DatabaseCopy::PendingRestore restore(chosen, working, now);
    QString problem =
        runWithProgress(Messages::Restoring(), [&](const DatabaseCopy::Options& options) {
            return restore.prepare(options);
        });
    if (!problem.isEmpty()) {
        m_dialogs.notice(Messages::RestoreFailed(problem));
        return false;
    }
    // Nothing is replaced before the operator has read what it costs.
    const DatabaseCopy::RestoreCost& cost = restore.cost();
    if (!m_dialogs.ask(Messages::ConfirmRestore(chosen, cost.newestRecord, cost.recordsLost,
                                                cost.journalLost, cost.uncounted, cost.keptName),
                       QApplication::activeWindow()))
        return false;
    QString keptAs;
    problem = runWithProgress(Messages::Restoring(), [&](const DatabaseCopy::Options& options) {
        return restore.replace(options, &keptAs);
    });
    if (!problem.isEmpty()) {
        m_dialogs.notice(Messages::RestoreFailed(problem));
        return false;
    }
    // Z numbers the replaced file gave are never given again.
    Shifts::CarryNumbers(keptAs, working, copyOptions.lockTimeoutMs);
    // Told in the file now in place, which is the one read from here on.
    Audit::AppendTo(working, m_account, Audit::Restore, Messages::RestoredFrom(chosen, keptAs), now,
                    copyOptions.lockTimeoutMs);
    if (replaced)
        replaced();
    m_dialogs.notice(keptAs.isEmpty() ? Messages::RestoreDone()
                                      : Messages::RestoreDoneKeeping(keptAs));
    return true;
}

bool DatabaseActions::RestoreLegacy(const QString& chosen, const std::function<void()>& replaced) {
    const QString working = workingPath();
    CLegacyImportDlg window(QApplication::activeWindow());
    window.offer(chosen, working);
    if (window.exec() != QDialog::Accepted)
        return false;
    const QDateTime now = m_clock.now();
    QString keptAs;
    LegacyImport::Report report;
    const QString problem =
        runWithProgress(Messages::ImportingLegacy(), [&](const DatabaseCopy::Options& options) {
            return DatabaseCopy::RestoreLegacy(chosen, working, now, m_account, options, &report,
                                               &keptAs);
        });
    if (!problem.isEmpty()) {
        m_dialogs.notice(Messages::RestoreFailed(problem));
        return false;
    }
    Shifts::CarryNumbers(keptAs, working, copyOptions.lockTimeoutMs);
    // Told in the file now in place, after the import's own first entry.
    Audit::AppendTo(working, m_account, Audit::Restore, Messages::RestoredFrom(chosen, keptAs), now,
                    copyOptions.lockTimeoutMs);
    if (replaced)
        replaced();
    window.showReport(Messages::LegacyImportDone(keptAs, LegacyImport::ReportPath(working)),
                      LegacyImport::ReportText(report));
    window.exec();
    return true;
}

} // namespace velkar
