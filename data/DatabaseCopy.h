#pragma once

#include "data/LegacyImport.h"
#include "data/PasswordHash.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>

namespace velkar {

// Whole-database copies through the engine's online backup, in steps, so a copy is never torn
// and the caller can show its progress. Both run on any thread; neither leaves a half-written
// file behind. Each returns an empty text on success, else why it failed.
namespace DatabaseCopy {

struct Options {
    // The longest wait for another program that holds a file locked.
    int lockTimeoutMs = 10000;
    // Pages copied so far and all pages, after every step, then (0, 0) while the copy is
    // checked; called on the copying thread.
    std::function<void(int done, int total)> progress;
    // The cost of hashing the passwords of a restored older file.
    PasswordHash::Cost passwordCost = PasswordHash::ProgramCost;
    int pagesPerStep = 2048;
};

// Copies the working database to DataBase.mdb inside `folder` once the copy is complete and
// checked. An earlier backup there is never replaced: it is first kept under its own name made
// from `now` (KeptName), which `keptAs` receives (empty when there was none). A server
// database is copied table by table from one snapshot into a new Velkar file.
QString Backup(const QString& workingPath, const QString& folder, const Options& options = {},
               const QDateTime& now = QDateTime::currentDateTime(), QString* keptAs = nullptr);

// What replacing the working database by a restore gives up.
struct RestoreCost {
    QString newestRecord; // 日期 of the newest record in the chosen file; empty: none
    // Records and journal rows of the working database the chosen file lacks; -1 when they
    // could not be counted (`uncounted` says why), as with a damaged working file.
    qint64 recordsLost = 0;
    qint64 journalLost = 0;
    QString uncounted;
    QString keptName; // where the working file will be kept; empty when there is none
};

// A restore in two steps, so that the operator can be asked in between. prepare() makes the
// new working file beside the old one (copied, checked and brought up to date) and counts what
// replacing costs; replace() puts it in the working file's place. Either runs on any thread;
// an object let go before replace() leaves nothing behind.
class PendingRestore {
public:
    PendingRestore(QString chosen, QString workingPath, QDateTime now);
    ~PendingRestore();
    PendingRestore(const PendingRestore&) = delete;
    PendingRestore& operator=(const PendingRestore&) = delete;

    QString prepare(const Options& options = {});
    const RestoreCost& cost() const { return m_cost; }
    // The working database kept beside it under a name of its own made from `now` (KeptName),
    // never over an earlier one; `keptAs` receives that name.
    QString replace(const Options& options = {}, QString* keptAs = nullptr);

private:
    struct Part;
    QString m_chosen;
    QString m_working;
    QDateTime m_now;
    std::unique_ptr<Part> m_part;
    RestoreCost m_cost;
};

// Copies the working database to the new file `target`, which must not exist yet, as Backup
// copies it: checked before it takes its name.
QString BackupFile(const QString& workingPath, const QString& target, const Options& options = {});

// Both steps without a question in between: replaces the working database by a copy of
// `chosen` when that is a sound database of this program, brought up to date.
QString Restore(const QString& chosen, const QString& workingPath, const QDateTime& now,
                const Options& options = {}, QString* keptAs = nullptr);

// Replaces the working database, as Restore does, by a new database imported from the legacy
// desk's Access file `chosen`: the import runs into a new file beside the working one, which
// then takes its place, the replaced one kept under KeptName. `report` receives the import's
// report, also written beside the working file (LegacyImport::ReportPath); `account` is who the
// new trail's first entry names. The progress is the import's.
QString RestoreLegacy(const QString& chosen, const QString& workingPath, const QDateTime& now,
                      const QString& account, const Options& options = {},
                      LegacyImport::Report* report = nullptr, QString* keptAs = nullptr);

// Where a backup into `folder` goes.
QString BackupTarget(const QString& folder);

// The name a restore keeps the replaced working database under, and a backup an earlier
// backup: DataBase.mdb.<time>.bak, then DataBase.mdb.<time>-2.bak and on while the earlier
// names are taken.
QString KeptName(const QString& workingPath, const QDateTime& now, int attempt = 1);

// The refusal to restore the working database onto itself.
QString SameFileText();

// The refusal to restore onto a server: its administrator restores it with the server's tools.
QString ServerRestoreText();

// Loads the Velkar file `file` (checked, and brought up to date on a copy) into the server
// database `location`, which must hold no cardholder, record, journal or audit entry yet: a
// counter moves onto the shared ledger. All or nothing.
QString Import(const QString& file, const QString& location, const Options& options = {});

} // namespace DatabaseCopy

} // namespace velkar
