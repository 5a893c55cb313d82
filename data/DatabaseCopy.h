#pragma once

#include <QString>

// Whole-database copies through the engine's online backup, so a copy taken while another
// connection writes is never torn. Each returns an empty text on success, else why it failed.
namespace DatabaseCopy {

// Copies the working database to DataBase.mdb inside `folder`, replacing an earlier backup
// there only once the new copy is complete and checked.
QString Backup(const QString& workingPath, const QString& folder);

// Replaces the working database by `chosen` when it is a sound database of this program. The
// database it replaces is kept beside it as DataBase.mdb.bak.
QString Restore(const QString& chosen, const QString& workingPath);

// Where a backup into `folder` goes.
QString BackupTarget(const QString& folder);

} // namespace DatabaseCopy
