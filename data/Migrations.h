#pragma once

#include "data/PasswordHash.h"

#include <QString>

namespace velkar {

class Connection;

// The schema's texts, kept apart from the code that applies and checks them.
namespace SchemaText {

// The delivered tables of version 0, in a file and on a server.
extern const char* const CreateStatements;
extern const char* const ServerCreateStatements;

// Migration N takes a database from version N - 1 to N: its SQL for the engine, then its C++
// step when it has one, in the transaction of the whole upgrade. Append only: a published step
// never changes, because databases in the field were made by it. New facts go into new tables,
// so the three delivered tables keep their columns and value forms.
struct Migration {
    const char* sql;
    const char* serverSql;
    QString (*step)(const Connection& db, PasswordHash::Cost cost); // nullptr: SQL does it all
};

// One a version, from 1 to Schema::CurrentVersion.
extern const Migration Migrations[];

// Versions 7 to 9, which keep the day totals, the cardholders' prefix counts and the card totals.
extern const Migration DayTotalsMigration;
extern const Migration CardholderPrefixesMigration;
extern const Migration CardTotalsMigration;

} // namespace SchemaText

} // namespace velkar
