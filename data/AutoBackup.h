#pragma once

#include "data/DatabaseCopy.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace velkar {

// Backups that make themselves: each a checked copy of the working database under a name that
// tells when it was made, in one folder, the oldest removed beyond a count.
namespace AutoBackup {

inline constexpr int DefaultKeep = 30;

// DataBase-2024-05-06_160000.mdb, then DataBase-2024-05-06_160000-2.mdb and on when taken.
QString FileName(const QDateTime& at, int attempt = 1);
// When the backup named `fileName` was made; invalid for a name that is no backup's.
QDateTime MadeAt(const QString& fileName);
// The folder's backups (by their names), newest first; other files are none of ours.
QStringList Backups(const QString& folder);
std::optional<QDateTime> Newest(const QString& folder);

struct Result {
    QString problem; // empty once the copy is in place
    QString path;
    QStringList removed;
    QString rotateProblem; // a backup beyond the count that could not be removed
};

// Copies the working database into `folder` (made when missing) under FileName(at), checked
// before it takes that name; then, and only then, removes the folder's oldest backups beyond
// `keep`.
Result Run(const QString& workingPath, const QString& folder, int keep, const QDateTime& at,
           const DatabaseCopy::Options& options = {});

// Removes the oldest backups beyond `keep` (at least one is kept). Returns those removed; why
// one could not be goes to `problem`.
QStringList Rotate(const QString& folder, int keep, QString* problem = nullptr);

// True when the newest backup is more than a day older than `now`, or there is none.
bool Overdue(const std::optional<QDateTime>& newest, const QDateTime& now);

} // namespace AutoBackup

} // namespace velkar
