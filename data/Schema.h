#pragma once

#include "data/PasswordHash.h"
#include "data/Statements.h"

#include <QString>
#include <QStringList>

namespace velkar {

class Connection;
class Settings;

namespace Audit {
struct Checkpoint;
}

namespace Schema {

// A column list of the statement catalogue, as names.
inline QStringList ColumnNames(const char* columns) {
    return QString::fromUtf8(columns).split(QStringLiteral(", "));
}
inline const QStringList CardholderColumns = ColumnNames(Statements::CardholderColumns);
inline const QStringList RecordColumns = ColumnNames(Statements::RecordColumns);
inline const QStringList AccountColumns = ColumnNames(Statements::AccountColumns);
inline const QStringList AccountNames{"管理员",  "操作员1", "操作员2", "操作员3",
                                      "操作员4", "操作员5", "操作员6"};
inline const QString DeliveredPassword = QStringLiteral("604817");
inline const QString DatabaseFileName = QStringLiteral("DataBase.mdb");

// The database the program works on: VELKAR_DATABASE when it is set (a postgresql:// URI, or a
// file), else DataBase.mdb in the working folder. The settings' choice reaches it through
// VELKAR_DATABASE, set at start when the environment leaves it empty.
QString DatabaseLocation();

// The database a desk started by this user would work on, from outside its working folder (the
// tools): VELKAR_DATABASE, else the settings' Database, else DataBase.mdb; a file relative to
// the working folder (VELKAR_DIR, else the settings' WorkingFolder).
QString DeskDatabase(const Settings& settings);

// The form of the file, counted in PRAGMA user_version. Version 0 is the delivered three-table
// file; each later version is one migration.
inline constexpr int CurrentVersion = 9;

// Creates the delivered database: three tables and the seven accounts, brought to `version`.
// Never touches an existing file, nor a server database that holds anything. Returns an empty text
// on success, else why it failed.
QString CreateDatabase(const QString& path, PasswordHash::Cost cost = PasswordHash::ProgramCost,
                       int version = CurrentVersion);

// Makes this program's tables and the seven accounts on a server database that holds nothing yet,
// inside the caller's open write transaction, so that a rollback leaves it empty again. Raises
// DataError, also when the database holds anything.
void CreateOnServer(const Connection& db, PasswordHash::Cost cost = PasswordHash::ProgramCost);

// How closely the pages are looked at. Full: PRAGMA integrity_check, which also matches every
// index against its table; for any file that comes from outside. Quick: PRAGMA quick_check,
// several times faster; for a page-for-page copy of the program's own working file.
enum class Pages { Full, Quick };

// Whether what the rows hold is checked too: the CHECK rules and the audit trail's hash chain.
// Unchecked only for a page-for-page copy of the working file (a backup), which must be made
// whatever its rows hold.
enum class Rows { Checked, Unchecked };

// Why the file is not a sound database of this program, or an empty text when it is: intact
// (CHECK rules included), of a version this program knows, with exactly the tables and
// indexes this program makes for that version and nothing else, the seven accounts in their
// order, and an audit trail whose chain no hand has broken. The one check of velkar-db check,
// a restore, an import and the desk's start. Never changes the file, also when a crash left
// a journal to roll back beside it. Waits at most `lockTimeoutMs` for another program's write
// to end. `trailHead`, when given and the chain was found intact, receives its newest entry.
QString CheckDatabase(const QString& path, int lockTimeoutMs = 10000, Pages pages = Pages::Full,
                      Rows rows = Rows::Checked, Audit::Checkpoint* trailHead = nullptr);

// The file's version, or -1 with `problem` set when it can't be read.
int FileVersion(const QString& path, QString* problem);

// Brings the file to CurrentVersion: every missing migration in one transaction, so a failure
// leaves the file as it was. A file newer than this program is refused. Empty text on success.
// Passwords stored by a migration are hashed at `cost`.
QString Upgrade(const QString& path, PasswordHash::Cost cost = PasswordHash::ProgramCost);

// The refusal for a file of a version this program does not know.
QString TooNewText(int version);

} // namespace Schema

} // namespace velkar
