#include "data/Schema.h"

#include "base/Messages.h"
#include "base/Settings.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/Migrations.h"
#include "data/ReadView.h"
#include "data/SchemaSteps.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <iterator>

#include <sqlite3.h>

namespace velkar {

using SchemaText::CreateStatements;
using SchemaText::Migrations;
using SchemaText::ServerCreateStatements;

namespace SchemaSteps {

int readVersion(sqlite3* db, QString* problem) {
    sqlite3_stmt* stmt = nullptr;
    int version = -1;
    if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        version = sqlite3_column_int(stmt, 0);
    else
        *problem = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(stmt);
    return version;
}

QString execute(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) == SQLITE_OK)
        return {};
    const QString why = QString::fromUtf8(error ? error : sqlite3_errmsg(db));
    sqlite3_free(error);
    return why;
}

QString columnText(sqlite3_stmt* stmt, int column) {
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)),
                             sqlite3_column_bytes(stmt, column));
}

// The rows of a statement without parameters, each as its columns' texts; a null cell reads as
// a null QString.
QList<QStringList> rows(sqlite3* db, const char* sql, QString* problem) {
    QList<QStringList> result;
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    while (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        QStringList row;
        for (int c = 0; c < sqlite3_column_count(stmt); ++c)
            row << (sqlite3_column_type(stmt, c) == SQLITE_NULL ? QString() : columnText(stmt, c));
        result << row;
        rc = SQLITE_OK;
    }
    if (rc != SQLITE_DONE)
        *problem = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(stmt);
    return result;
}

// Takes an open transaction from version `from` to `to`, stamping the version.
QString migrate(const Connection& db, int from, int to, PasswordHash::Cost cost) {
    const bool server = db.engine() == Engine::Postgres;
    try {
        for (int step = from; step < to; ++step) {
            db.run(QString::fromUtf8(server ? Migrations[step].serverSql : Migrations[step].sql));
            if (Migrations[step].step)
                if (const QString problem = Migrations[step].step(db, cost); !problem.isEmpty())
                    return problem;
        }
        if (from != to)
            db.run(server ? QStringLiteral("UPDATE velkar_version SET version = %1").arg(to)
                          : QStringLiteral("PRAGMA user_version = %1").arg(to));
        return {};
    } catch (const DataError& e) {
        return e.description();
    }
}

QString NotMadeText() {
    return Messages::NotOurServerDatabase();
}

int readVersion(const Connection& db, QString* problem) {
    if (db.engine() == Engine::Sqlite)
        return readVersion(db.handle(), problem);
    try {
        Query made(db, QStringLiteral("SELECT to_regclass('velkar_version') IS NOT NULL"));
        if (made.next() && made.integer(0) == 0) {
            *problem = NotMadeText();
            return -1;
        }
        Query q(db, QStringLiteral("SELECT version FROM velkar_version"));
        if (q.next())
            return int(q.integer(0));
        *problem = Messages::EmptyVersionTable();
    } catch (const DataError& e) {
        *problem = e.description();
    }
    return -1;
}

void addAccounts(const Connection& db) {
    for (const QString& name : Schema::AccountNames) {
        Query insert(db, QString::fromUtf8(Statements::AddAccount));
        insert.bind(1, name);
        insert.bind(2, Schema::DeliveredPassword);
        insert.next();
    }
}

QString createVersionZero(const Connection& connection) {
    try {
        connection.run(QString::fromUtf8(CreateStatements));
        addAccounts(connection);
        return {};
    } catch (const DataError& e) {
        return e.description();
    }
}

// ---- The same on a server ---------------------------------------------------------------------

// Every object of a schema, each as one line of text naming what defines it, with the schema's
// own name left out so that two schemas compare. What belongs to an installed extension (such as
// amcheck, PostgreSQL's own checker, which a server's administrator may add) is the server's, not
// the ledger's: its members, the relations that hang on them (indexes, sequences, storage) and
// what is defined on those are left out.
const char* const ServerObjects = R"sql(
WITH member AS (
  SELECT objid FROM pg_depend WHERE classid = 'pg_class'::regclass AND deptype = 'e'
), extension_relation AS (
  SELECT objid AS oid FROM member
  UNION
  SELECT d.objid FROM pg_depend d JOIN member m ON d.refobjid = m.objid
   WHERE d.classid = 'pg_class'::regclass AND d.refclassid = 'pg_class'::regclass
     AND d.deptype IN ('a', 'i')
  UNION
  SELECT i.indexrelid FROM pg_index i JOIN member m ON i.indrelid = m.objid
  UNION
  SELECT d.objid FROM pg_depend d JOIN pg_depend t ON t.objid = d.refobjid
   WHERE d.classid = 'pg_class'::regclass AND d.refclassid = 'pg_type'::regclass
     AND d.deptype = 'i' AND t.classid = 'pg_type'::regclass AND t.deptype = 'e'
), extension_function AS (
  SELECT objid AS oid FROM pg_depend WHERE classid = 'pg_proc'::regclass AND deptype = 'e'
)
SELECT 'relation ' || c.relname || ' ' || c.relkind::text
  FROM pg_class c WHERE c.relnamespace = $1::text::regnamespace
   AND c.oid NOT IN (SELECT oid FROM extension_relation)
UNION ALL
SELECT 'column ' || c.relname || '.' || a.attname || ' ' || format_type(a.atttypid, a.atttypmod)
       || CASE WHEN a.attnotnull THEN ' not null' ELSE '' END
       || coalesce(' collate ' || co.collname, '')
       || coalesce(' default ' || pg_get_expr(d.adbin, d.adrelid), '')
  FROM pg_attribute a JOIN pg_class c ON c.oid = a.attrelid
  LEFT JOIN pg_collation co ON co.oid = a.attcollation AND co.collname <> 'default'
  LEFT JOIN pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum
 WHERE c.relnamespace = $1::text::regnamespace AND c.relkind = 'r' AND a.attnum > 0
   AND NOT a.attisdropped AND c.oid NOT IN (SELECT oid FROM extension_relation)
UNION ALL
SELECT 'index ' || c.relname || ' ' || pg_get_indexdef(c.oid)
  FROM pg_class c WHERE c.relnamespace = $1::text::regnamespace AND c.relkind = 'i'
   AND c.oid NOT IN (SELECT oid FROM extension_relation)
UNION ALL
SELECT 'constraint ' || t.relname || ' ' || k.conname || ' ' || pg_get_constraintdef(k.oid)
  FROM pg_constraint k JOIN pg_class t ON t.oid = k.conrelid
 WHERE k.connamespace = $1::text::regnamespace
   AND t.oid NOT IN (SELECT oid FROM extension_relation)
UNION ALL
SELECT 'trigger ' || t.relname || ' ' || g.tgname
  FROM pg_trigger g JOIN pg_class t ON t.oid = g.tgrelid
 WHERE t.relnamespace = $1::text::regnamespace AND NOT g.tgisinternal
   AND t.oid NOT IN (SELECT oid FROM extension_relation)
UNION ALL
SELECT 'function ' || p.proname FROM pg_proc p WHERE p.pronamespace = $1::text::regnamespace
   AND p.oid NOT IN (SELECT oid FROM extension_function)
UNION ALL
SELECT 'rule ' || r.tablename || ' ' || r.rulename FROM pg_rules r WHERE r.schemaname = $1::text
   AND format('%I.%I', r.schemaname, r.tablename)::regclass
       NOT IN (SELECT oid FROM extension_relation)
)sql";

QStringList serverObjects(const Connection& db, const QString& schema) {
    QStringList objects;
    Query q(db, QString::fromUtf8(ServerObjects));
    q.bind(1, schema);
    while (q.next())
        objects << q.text(0)
                       .replace(schema + QLatin1Char('.'), QString())
                       .replace(QStringLiteral("public."), QString());
    objects.sort();
    return objects;
}

// Run in the caller's transaction.
void createOnServer(const Connection& db, int version, PasswordHash::Cost cost, bool accounts) {
    db.run(QString::fromUtf8(ServerCreateStatements));
    if (accounts)
        addAccounts(db);
    if (const QString problem = migrate(db, 0, version, cost); !problem.isEmpty())
        throw DataError(DataFailure::Other, problem);
}

} // namespace SchemaSteps

using namespace SchemaSteps;

namespace Schema {

QString DatabaseLocation() {
    const QString chosen = qEnvironmentVariable("VELKAR_DATABASE");
    return chosen.isEmpty() ? DatabaseFileName : chosen;
}

QString DeskDatabase(const Settings& settings) {
    QString chosen = qEnvironmentVariable("VELKAR_DATABASE");
    if (chosen.isEmpty())
        chosen = settings.database();
    if (chosen.isEmpty())
        chosen = DatabaseFileName;
    if (EngineOf(chosen) == Engine::Postgres)
        return chosen;
    return QDir::cleanPath(QDir(ChosenWorkingFolder(settings)).absoluteFilePath(chosen));
}

QString TooNewText(int version) {
    return Messages::TooNew(version, CurrentVersion);
}

int FileVersion(const QString& path, QString* problem) {
    try {
        Connection connection(path);
        return readVersion(connection, problem);
    } catch (const DataError& e) {
        *problem = e.description();
        return -1;
    }
}

QString Upgrade(const QString& path, PasswordHash::Cost cost) {
    try {
        Connection connection(path);
        // Taken before the version is read, so two programs starting together upgrade once.
        Transaction transaction(connection, Transaction::Write);
        QString problem;
        const int version = readVersion(connection, &problem);
        if (problem.isEmpty() && version > CurrentVersion)
            problem = TooNewText(version);
        if (problem.isEmpty() && version < CurrentVersion)
            problem = migrate(connection, version, CurrentVersion, cost);
        if (problem.isEmpty())
            transaction.commit();
        return problem;
    } catch (const DataError& e) {
        return e.description();
    }
}

QString CreateDatabase(const QString& path, PasswordHash::Cost cost, int version) {
    if (version < 0 || version > CurrentVersion)
        return TooNewText(version);
    if (EngineOf(path) == Engine::Postgres) {
        try {
            const Connection db(path);
            Transaction transaction(db, Transaction::Write);
            if (!serverObjects(db, QStringLiteral("public")).isEmpty())
                return Messages::ServerDatabaseNotEmpty();
            createOnServer(db, version, cost, true);
            transaction.commit();
            return {};
        } catch (const DataError& e) {
            return e.description();
        }
    }
    if (QFileInfo::exists(path))
        return Messages::AlreadyExists(path);
    QString problem;
    try {
        const Connection db(path, Connection::Open::Create, 0);
        // The delivered form first, then the same steps that bring a delivered file up to date,
        // all in one transaction.
        problem = createVersionZero(db);
        if (problem.isEmpty())
            problem = migrate(db, 0, version, cost);
        if (problem.isEmpty())
            problem = execute(db.handle(), "COMMIT");
    } catch (const DataError& e) {
        problem = e.description();
    }
    if (!problem.isEmpty())
        QFile::remove(path);
    return problem;
}

void CreateOnServer(const Connection& db, PasswordHash::Cost cost) {
    if (!serverObjects(db, QStringLiteral("public")).isEmpty())
        throw DataError(DataFailure::Other, Messages::ServerDatabaseNotEmpty());
    createOnServer(db, CurrentVersion, cost, true);
}

} // namespace Schema

} // namespace velkar
