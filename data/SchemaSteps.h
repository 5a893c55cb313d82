#pragma once

#include "data/PasswordHash.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

struct sqlite3;

namespace velkar {

class Connection;

// The steps that make, upgrade and read a ledger's schema, shared by its making (Schema.cpp)
// and its check (SchemaCheck.cpp).
namespace SchemaSteps {

int readVersion(sqlite3* db, QString* problem);
int readVersion(const Connection& db, QString* problem);
// Runs `sql`; why it failed, or an empty text.
QString execute(sqlite3* db, const char* sql);
// The rows of a statement without parameters, each as its columns' texts; a null cell reads as
// a null QString.
QList<QStringList> rows(sqlite3* db, const char* sql, QString* problem);
// Takes an open transaction from version `from` to `to`, stamping the version.
QString migrate(const Connection& db, int from, int to, PasswordHash::Cost cost);
QString createVersionZero(const Connection& connection);
// Every object of a server schema as one line of text.
QStringList serverObjects(const Connection& db, const QString& schema);
// Run in the caller's transaction.
void createOnServer(const Connection& db, int version, PasswordHash::Cost cost, bool accounts);
// SQLite's full check of the file `view` reads, shared among the cores; `alongside` runs
// meanwhile. The findings, none when all is sound.
QStringList pageFindings(sqlite3* view, QString* problem, const std::function<void()>& alongside);

} // namespace SchemaSteps

} // namespace velkar
