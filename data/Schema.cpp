#include "data/Schema.h"

#include "base/Messages.h"
#include "base/Settings.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/ReadView.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <functional>
#include <iterator>
#include <thread>
#include <vector>

#include <sqlite3.h>

namespace velkar {

namespace {

// Every column is required; 金额 holds whole yuan only, so a malformed amount is refused.
const char* const CreateStatements = R"sql(
BEGIN;
CREATE TABLE userecord (
    卡序号 TEXT NOT NULL,
    卡号   TEXT NOT NULL UNIQUE,
    姓名   TEXT NOT NULL,
    身份证 TEXT NOT NULL,
    电话   TEXT NOT NULL,
    地址   TEXT NOT NULL
);
CREATE TABLE employees (
    卡号 TEXT NOT NULL,
    日期 TEXT NOT NULL,
    金额 INTEGER NOT NULL CHECK (typeof(金额) = 'integer')
);
CREATE INDEX employees_card ON employees (卡号);
CREATE INDEX employees_date ON employees (日期);
CREATE TABLE permission (
    用户名 TEXT NOT NULL,
    密码   TEXT NOT NULL
);
)sql";

// The same tables on a server. Each keeps SQLite's implicit rowid as a last column of that name,
// so that statements name rows alike on both engines and a row written without column names
// fills the same columns; text compares byte by byte, as in SQLite.
const char* const ServerCreateStatements = R"sql(
CREATE TABLE velkar_version (version integer NOT NULL);
INSERT INTO velkar_version VALUES (0);
CREATE TABLE userecord (
    卡序号 text COLLATE "C" NOT NULL,
    卡号   text COLLATE "C" NOT NULL UNIQUE,
    姓名   text COLLATE "C" NOT NULL,
    身份证 text COLLATE "C" NOT NULL,
    电话   text COLLATE "C" NOT NULL,
    地址   text COLLATE "C" NOT NULL,
    rowid  bigserial PRIMARY KEY
);
CREATE TABLE employees (
    卡号  text COLLATE "C" NOT NULL,
    日期  text COLLATE "C" NOT NULL,
    金额  integer NOT NULL,
    rowid bigserial PRIMARY KEY
);
-- SQLite's indexes end in the rowid; named here, a card's or a range's rows come in rowid
-- order from the index alone instead of being sorted after.
CREATE INDEX employees_card ON employees (卡号, rowid);
CREATE INDEX employees_date ON employees (日期, rowid);
CREATE TABLE permission (
    用户名 text COLLATE "C" NOT NULL,
    密码   text COLLATE "C" NOT NULL,
    rowid  bigserial PRIMARY KEY
);
)sql";

QString hashPlainPasswords(const Connection& db, PasswordHash::Cost cost);

// Migration N takes a database from version N - 1 to N: its SQL for the engine, then its C++
// step when it has one, in the transaction of the whole upgrade. Append only: a published step
// never changes, because databases in the field were made by it. New facts go into new tables,
// so the three delivered tables keep their columns and value forms.
struct Migration {
    const char* sql;
    const char* serverSql;
    QString (*step)(const Connection& db, PasswordHash::Cost cost); // nullptr: SQL does it all
};

const Migration Migrations[] = {
    // 1: the command journal. A row is written before a command frame goes out and resolved
    // when the reader reports the card again; booked rows name the employees row they added.
    {R"sql(
CREATE TABLE journal (
    id               INTEGER PRIMARY KEY,
    card_no          TEXT    NOT NULL,
    operation        TEXT    NOT NULL CHECK (operation IN ('recharge', 'clear')),
    amount           INTEGER NOT NULL CHECK (amount >= 0),
    balance_before   INTEGER NOT NULL CHECK (balance_before BETWEEN 0 AND 65535),
    balance_expected INTEGER NOT NULL CHECK (balance_expected BETWEEN 0 AND 65535),
    operator         TEXT    NOT NULL,
    desk             TEXT    NOT NULL,
    sent_at          TEXT    NOT NULL,
    state            TEXT    NOT NULL DEFAULT 'pending'
                     CHECK (state IN ('pending', 'booked', 'not_executed', 'mismatch')),
    resolved_at      TEXT,
    balance_seen     INTEGER,
    record_id        INTEGER
);
CREATE INDEX journal_pending ON journal (card_no) WHERE state = 'pending';
)sql",
     R"sql(
CREATE TABLE journal (
    id               bigserial PRIMARY KEY,
    card_no          text COLLATE "C" NOT NULL,
    operation        text    NOT NULL CHECK (operation IN ('recharge', 'clear')),
    amount           integer NOT NULL CHECK (amount >= 0),
    balance_before   integer NOT NULL CHECK (balance_before BETWEEN 0 AND 65535),
    balance_expected integer NOT NULL CHECK (balance_expected BETWEEN 0 AND 65535),
    operator         text COLLATE "C" NOT NULL,
    desk             text COLLATE "C" NOT NULL,
    sent_at          text COLLATE "C" NOT NULL,
    state            text    NOT NULL DEFAULT 'pending'
                     CHECK (state IN ('pending', 'booked', 'not_executed', 'mismatch')),
    resolved_at      text COLLATE "C",
    balance_seen     integer,
    record_id        bigint
);
CREATE INDEX journal_pending ON journal (card_no) WHERE state = 'pending';
)sql",
     nullptr},
    // 2: passwords at rest as salted hashes; the plain passwords are hashed in place.
    {"", "", hashPlainPasswords},
    // 3: indexes that hold the amounts, so that a list's total is summed from an index alone
    // (its rows' positions come from the date and card indexes alone).
    {R"sql(
CREATE INDEX employees_date_amount ON employees (日期, 金额);
CREATE INDEX employees_card_amount ON employees (卡号, 金额);
)sql",
     R"sql(
CREATE INDEX employees_date_amount ON employees (日期, 金额);
CREATE INDEX employees_card_amount ON employees (卡号, 金额);
)sql",
     nullptr},
    // 4: the operators' audit trail, appended only. Each row's hash covers its id, its content
    // and the previous row's hash, so a row changed, deleted or added by hand breaks the chain;
    // AUTOINCREMENT keeps the highest id ever given, so even the last row can't vanish unseen.
    // The settlement reads who booked each record from journal_booked alone, in one pass.
    {R"sql(
CREATE TABLE audit (
    id      INTEGER PRIMARY KEY AUTOINCREMENT,
    time    TEXT NOT NULL,
    account TEXT NOT NULL,
    desk    TEXT NOT NULL,
    action  TEXT NOT NULL,
    details TEXT NOT NULL,
    hash    TEXT NOT NULL
);
CREATE INDEX audit_time ON audit (time);
CREATE INDEX audit_account ON audit (account, time);
CREATE INDEX audit_action ON audit (action, time);
CREATE INDEX journal_booked ON journal (record_id, operator, operation) WHERE state = 'booked';
)sql",
     // A server's sequences ignore rollbacks, so the highest id given is kept in a table; the
     // sequence only numbers a row added by hand after the others, as SQLite would.
     R"sql(
CREATE TABLE audit (
    id      bigserial PRIMARY KEY,
    time    text COLLATE "C" NOT NULL,
    account text COLLATE "C" NOT NULL,
    desk    text COLLATE "C" NOT NULL,
    action  text COLLATE "C" NOT NULL,
    details text COLLATE "C" NOT NULL,
    hash    text COLLATE "C" NOT NULL
);
CREATE TABLE audit_sequence (seq bigint NOT NULL);
INSERT INTO audit_sequence VALUES (0);
CREATE INDEX audit_time ON audit (time);
CREATE INDEX audit_account ON audit (account, time);
CREATE INDEX audit_action ON audit (action, time);
CREATE INDEX journal_booked ON journal (record_id, operator, operation) WHERE state = 'booked';
)sql",
     nullptr},
    // 5: a card's life. cards: each card the ledger has seen or marked, its state (a lost card
    // takes no command) and its last balance seen at any desk, which stands in for a card that
    // is gone. replacements: a lost card's balance carried to a new card; corrections: a
    // mistaken recharge taken back. journal_links ties each command of either to it, and
    // cash_paid holds what the desk paid out in cash (the part below one yuan).
    {R"sql(
CREATE TABLE cards (
    card_no        TEXT    NOT NULL PRIMARY KEY,
    state          TEXT    NOT NULL DEFAULT 'active' CHECK (state IN ('active', 'lost')),
    since          TEXT,
    account        TEXT,
    reason         TEXT,
    replaced_by    TEXT,
    last_balance   INTEGER CHECK (last_balance BETWEEN 0 AND 65535),
    last_seen_at   TEXT,
    last_seen_desk TEXT
);
CREATE INDEX cards_state ON cards (state, card_no);
CREATE TABLE replacements (
    id         INTEGER PRIMARY KEY,
    old_card   TEXT    NOT NULL,
    new_card   TEXT    NOT NULL UNIQUE,
    balance    INTEGER NOT NULL CHECK (balance BETWEEN 0 AND 65535),
    state      TEXT    NOT NULL DEFAULT 'open' CHECK (state IN ('open', 'done')),
    operator   TEXT    NOT NULL,
    desk       TEXT    NOT NULL,
    started_at TEXT    NOT NULL,
    done_at    TEXT
);
CREATE TABLE corrections (
    id         INTEGER PRIMARY KEY,
    record_id  INTEGER NOT NULL UNIQUE,
    card_no    TEXT    NOT NULL,
    amount     INTEGER NOT NULL CHECK (amount > 0),
    target     INTEGER NOT NULL CHECK (target BETWEEN 0 AND 65535),
    state      TEXT    NOT NULL DEFAULT 'open' CHECK (state IN ('open', 'done')),
    operator   TEXT    NOT NULL,
    desk       TEXT    NOT NULL,
    started_at TEXT    NOT NULL,
    done_at    TEXT
);
CREATE TABLE journal_links (
    journal_id INTEGER NOT NULL PRIMARY KEY,
    kind       TEXT    NOT NULL CHECK (kind IN ('replacement', 'correction')),
    ref        INTEGER NOT NULL
);
CREATE INDEX journal_links_ref ON journal_links (kind, ref);
CREATE INDEX journal_card ON journal (card_no, id);
CREATE TABLE cash_paid (
    id       INTEGER PRIMARY KEY,
    kind     TEXT    NOT NULL CHECK (kind IN ('replacement', 'correction')),
    ref      INTEGER NOT NULL,
    card_no  TEXT    NOT NULL,
    amount   INTEGER NOT NULL CHECK (amount BETWEEN 0 AND 65535),
    operator TEXT    NOT NULL,
    desk     TEXT    NOT NULL,
    paid_at  TEXT    NOT NULL,
    UNIQUE (kind, ref)
);
)sql",
     R"sql(
CREATE TABLE cards (
    card_no        text COLLATE "C" NOT NULL PRIMARY KEY,
    state          text    NOT NULL DEFAULT 'active' CHECK (state IN ('active', 'lost')),
    since          text COLLATE "C",
    account        text COLLATE "C",
    reason         text COLLATE "C",
    replaced_by    text COLLATE "C",
    last_balance   integer CHECK (last_balance BETWEEN 0 AND 65535),
    last_seen_at   text COLLATE "C",
    last_seen_desk text COLLATE "C"
);
CREATE INDEX cards_state ON cards (state, card_no);
CREATE TABLE replacements (
    id         bigserial PRIMARY KEY,
    old_card   text COLLATE "C" NOT NULL,
    new_card   text COLLATE "C" NOT NULL UNIQUE,
    balance    integer NOT NULL CHECK (balance BETWEEN 0 AND 65535),
    state      text    NOT NULL DEFAULT 'open' CHECK (state IN ('open', 'done')),
    operator   text COLLATE "C" NOT NULL,
    desk       text COLLATE "C" NOT NULL,
    started_at text COLLATE "C" NOT NULL,
    done_at    text COLLATE "C"
);
CREATE TABLE corrections (
    id         bigserial PRIMARY KEY,
    record_id  bigint  NOT NULL UNIQUE,
    card_no    text COLLATE "C" NOT NULL,
    amount     integer NOT NULL CHECK (amount > 0),
    target     integer NOT NULL CHECK (target BETWEEN 0 AND 65535),
    state      text    NOT NULL DEFAULT 'open' CHECK (state IN ('open', 'done')),
    operator   text COLLATE "C" NOT NULL,
    desk       text COLLATE "C" NOT NULL,
    started_at text COLLATE "C" NOT NULL,
    done_at    text COLLATE "C"
);
CREATE TABLE journal_links (
    journal_id bigint  NOT NULL PRIMARY KEY,
    kind       text    NOT NULL CHECK (kind IN ('replacement', 'correction')),
    ref        bigint  NOT NULL
);
CREATE INDEX journal_links_ref ON journal_links (kind, ref);
CREATE INDEX journal_card ON journal (card_no, id);
CREATE TABLE cash_paid (
    id       bigserial PRIMARY KEY,
    kind     text    NOT NULL CHECK (kind IN ('replacement', 'correction')),
    ref      bigint  NOT NULL,
    card_no  text COLLATE "C" NOT NULL,
    amount   integer NOT NULL CHECK (amount BETWEEN 0 AND 65535),
    operator text COLLATE "C" NOT NULL,
    desk     text COLLATE "C" NOT NULL,
    paid_at  text COLLATE "C" NOT NULL,
    UNIQUE (kind, ref)
);
)sql",
     nullptr},
    // 6: shifts, from a login to 交班. A shift's bookings are those of its desk's commands whose
    // records lie after first_record up to last_record; a desk's next shift starts where its
    // last closed one ended, so every booking falls into exactly one. Its figures are kept as
    // they were at 交班 (shift_total, amounts in yuan, cash in tenths): expected is the cash its
    // bookings and its desk's payouts (cash_paid after first_paid up to last_paid) moved,
    // cash_float the change the drawer held besides. shift_number keeps the highest Z number
    // each desk was given, which a restore carries over.
    {R"sql(
CREATE TABLE shift (
    id           INTEGER PRIMARY KEY,
    desk         TEXT    NOT NULL,
    operator     TEXT    NOT NULL,
    opened_at    TEXT    NOT NULL,
    first_record INTEGER NOT NULL,
    closed_at    TEXT,
    closed_by    TEXT,
    last_record  INTEGER,
    z_number     INTEGER,
    expected     INTEGER,
    counted      INTEGER,
    seal         TEXT,
    audit_id     INTEGER,
    cash_float   INTEGER,
    first_paid   INTEGER NOT NULL,
    last_paid    INTEGER,
    CHECK ((closed_at IS NULL) = (z_number IS NULL)),
    UNIQUE (desk, z_number)
);
CREATE UNIQUE INDEX shift_open ON shift (desk) WHERE closed_at IS NULL;
CREATE INDEX shift_time ON shift (opened_at);
CREATE TABLE shift_total (
    shift_id INTEGER NOT NULL,
    kind     TEXT    NOT NULL,
    count    INTEGER NOT NULL,
    amount   INTEGER NOT NULL,
    cash     INTEGER NOT NULL,
    PRIMARY KEY (shift_id, kind)
);
CREATE TABLE shift_number (
    desk   TEXT    PRIMARY KEY,
    last_z INTEGER NOT NULL
);
)sql",
     R"sql(
CREATE TABLE shift (
    id           bigserial PRIMARY KEY,
    desk         text COLLATE "C" NOT NULL,
    operator     text COLLATE "C" NOT NULL,
    opened_at    text COLLATE "C" NOT NULL,
    first_record bigint  NOT NULL,
    closed_at    text COLLATE "C",
    closed_by    text COLLATE "C",
    last_record  bigint,
    z_number     bigint,
    expected     bigint,
    counted      bigint,
    seal         text COLLATE "C",
    audit_id     bigint,
    cash_float   bigint,
    first_paid   bigint  NOT NULL,
    last_paid    bigint,
    CHECK ((closed_at IS NULL) = (z_number IS NULL)),
    UNIQUE (desk, z_number)
);
CREATE UNIQUE INDEX shift_open ON shift (desk) WHERE closed_at IS NULL;
CREATE INDEX shift_time ON shift (opened_at);
CREATE TABLE shift_total (
    shift_id bigint  NOT NULL,
    kind     text COLLATE "C" NOT NULL,
    count    bigint  NOT NULL,
    amount   bigint  NOT NULL,
    cash     bigint  NOT NULL,
    PRIMARY KEY (shift_id, kind)
);
CREATE TABLE shift_number (
    desk   text COLLATE "C" PRIMARY KEY,
    last_z bigint  NOT NULL
);
)sql",
     nullptr},
};
static_assert(std::size(Migrations) == Schema::CurrentVersion);

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

QString hashPlainPasswords(const Connection& db, PasswordHash::Cost cost) {
    try {
        std::vector<std::pair<std::int64_t, QString>> accounts;
        {
            Query q(db, QStringLiteral("SELECT rowid, 密码 FROM permission"));
            while (q.next())
                accounts.emplace_back(q.integer(0), q.text(1));
        }
        std::vector<QString> passwords;
        for (const auto& account : accounts)
            passwords.push_back(account.second);
        const std::vector<QString> hashes = PasswordHash::HashAll(passwords, cost);
        for (std::size_t i = 0; i < accounts.size(); ++i) {
            if (hashes[i].isEmpty())
                return Messages::PasswordHashFailed();
            Query update(db, QStringLiteral("UPDATE permission SET 密码 = ? WHERE rowid = ?"));
            update.bind(1, hashes[i]);
            update.bind(2, accounts[i].first);
            update.next();
        }
        return {};
    } catch (const DataError& e) {
        return e.description();
    }
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

// ---- What counts as a Velkar database -------------------------------------------------------

struct SchemaObject {
    QString type, name, table, sql;
};

const char* const SchemaQuery = "SELECT type, name, tbl_name, sql FROM sqlite_master";

QList<SchemaObject> schemaOf(sqlite3* db, QString* problem) {
    QList<SchemaObject> objects;
    for (const QStringList& row : rows(db, SchemaQuery, problem))
        objects.append({row[0], row[1], row[2], row[3]});
    return objects;
}

// The schema this program makes for a file of `version`: the delivered form and the
// migrations up to it, built by the very steps that build files.
QList<SchemaObject> expectedSchema(int version, QString* problem) {
    try {
        const Connection db(QString(), Connection::Open::Memory, 0);
        *problem = execute(db.handle(), CreateStatements);
        if (problem->isEmpty())
            *problem = migrate(db, 0, version, PasswordHash::CheapestCost);
        if (problem->isEmpty())
            *problem = execute(db.handle(), "COMMIT");
        return problem->isEmpty() ? schemaOf(db.handle(), problem) : QList<SchemaObject>{};
    } catch (const DataError& e) {
        *problem = e.description();
        return {};
    }
}

QString kindText(const QString& type) {
    if (type == QLatin1String("table"))
        return Messages::KindTable();
    if (type == QLatin1String("index"))
        return Messages::KindIndex();
    if (type == QLatin1String("view"))
        return Messages::KindView();
    if (type == QLatin1String("trigger"))
        return Messages::KindTrigger();
    return type;
}

// Names the first column in which two definitions of one table differ.
QString tableDifference(sqlite3* file, sqlite3* expected, const QString& table) {
    const QByteArray sql =
        "SELECT name, type, \"notnull\", dflt_value, pk FROM pragma_table_info(" +
        ("'" + table.toUtf8().replace("'", "''") + "'") + ")";
    QString ignored;
    const QList<QStringList> have = rows(file, sql.constData(), &ignored);
    const QList<QStringList> want = rows(expected, sql.constData(), &ignored);
    for (qsizetype i = 0; i < std::max(have.size(), want.size()); ++i) {
        if (i >= have.size())
            return Messages::ColumnMissing(table, want[i][0]);
        if (i >= want.size())
            return Messages::ColumnExtra(table, have[i][0]);
        if (have[i][0] != want[i][0])
            return Messages::ColumnOrder(table, i + 1, have[i][0], want[i][0]);
        if (have[i][1].compare(want[i][1], Qt::CaseInsensitive) != 0)
            return Messages::ColumnType(table, have[i][0],
                                        have[i][1].isEmpty() ? Messages::NoType() : have[i][1],
                                        want[i][1]);
        if (have[i][2] != want[i][2])
            return Messages::ColumnNotNull(table, have[i][0], want[i][2] == QLatin1String("1"));
    }
    return Messages::ConstraintsDiffer(table);
}

// Why the schema of `db` (of `version`) is not exactly the one this program makes.
QString schemaProblem(sqlite3* db, int version) {
    QString problem;
    const QList<SchemaObject> want = expectedSchema(version, &problem);
    if (!problem.isEmpty())
        return problem;
    const QList<SchemaObject> have = schemaOf(db, &problem);
    if (!problem.isEmpty())
        return problem;
    const auto find = [](const QList<SchemaObject>& in, const QString& name) {
        for (const SchemaObject& o : in)
            if (o.name == name)
                return &o;
        return static_cast<const SchemaObject*>(nullptr);
    };
    const auto extra = [&](const char* type) {
        for (const SchemaObject& o : have)
            if (o.type == QLatin1String(type) && !find(want, o.name))
                return Messages::ObjectExtra(kindText(o.type), o.name);
        return QString();
    };
    // Triggers first: they are what turns a file against the program.
    if (problem = extra("trigger"); !problem.isEmpty())
        return problem;
    for (const SchemaObject& o : want) {
        const SchemaObject* h = find(have, o.name);
        if (!h)
            return Messages::ObjectMissing(kindText(o.type), o.name);
        if (h->type != o.type)
            return Messages::ObjectKindDiffers(o.name, kindText(h->type), kindText(o.type));
    }
    for (const char* type : {"view", "table", "index"})
        if (problem = extra(type); !problem.isEmpty())
            return problem;
    for (const SchemaObject& o : want) {
        const SchemaObject* h = find(have, o.name);
        if (h->table == o.table && h->sql == o.sql)
            continue;
        if (o.type != QLatin1String("table"))
            return Messages::ObjectDefinitionDiffers(kindText(o.type), o.name);
        try {
            const Connection reference(QString(), Connection::Open::Memory, 0);
            execute(reference.handle(), o.sql.toUtf8().constData());
            return tableDifference(db, reference.handle(), o.name);
        } catch (const DataError& e) {
            return e.description();
        }
    }
    return {};
}

QString accountsProblem(const Connection& db, int version) {
    QList<QStringList> accounts;
    try {
        Query q(db, QString::fromUtf8(Statements::AccountList));
        while (q.next())
            accounts.append({q.text(0), q.text(1)});
    } catch (const DataError& e) {
        return e.description();
    }
    QStringList names;
    for (const QStringList& account : accounts)
        names << account[0];
    if (names != Schema::AccountNames)
        return Messages::AccountsDiffer(Schema::AccountNames.join(QStringLiteral("、")),
                                        accounts.size());
    // From version 2 on no password lies in the database as text.
    if (version >= 2)
        for (const QStringList& account : accounts)
            if (!PasswordHash::IsHash(account[1]))
                return Messages::PasswordNotHashed(account[0]);
    return {};
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
        throw DataError(-1, problem);
}

// The objects of `db`'s public schema that differ from those this program makes for `version`,
// built by the very steps that build a server database in a schema thrown away after.
QString serverSchemaProblem(const Connection& db, int version) {
    const QStringList have = serverObjects(db, QStringLiteral("public"));
    db.run(QStringLiteral("SAVEPOINT expected; CREATE SCHEMA velkar_expected; "
                          "SET LOCAL search_path TO velkar_expected"));
    createOnServer(db, version, PasswordHash::CheapestCost, false);
    const QStringList want = serverObjects(db, QStringLiteral("velkar_expected"));
    db.run(QStringLiteral("ROLLBACK TO SAVEPOINT expected"));
    for (const QString& w : want)
        if (!have.contains(w))
            return Messages::StatementMissing(w);
    for (const QString& h : have)
        if (!want.contains(h))
            return Messages::StatementExtra(h);
    return {};
}

// The expressions of the CHECK rules in a table's definition, as written there.
QStringList checkClauses(const QString& sql) {
    QStringList clauses;
    static const QRegularExpression check(QStringLiteral(R"(\bCHECK\s*\()"),
                                          QRegularExpression::CaseInsensitiveOption);
    qsizetype from = 0;
    for (QRegularExpressionMatch m = check.match(sql, from); m.hasMatch();
         m = check.match(sql, from)) {
        const qsizetype open = m.capturedEnd() - 1;
        int depth = 0;
        QChar quote;
        qsizetype i = open;
        for (; i < sql.size(); ++i) {
            const QChar c = sql[i];
            if (!quote.isNull()) {
                if (c == quote)
                    quote = QChar();
            } else if (c == u'\'' || c == u'"') {
                quote = c;
            } else if (c == u'(') {
                ++depth;
            } else if (c == u')' && --depth == 0) {
                break;
            }
        }
        clauses << sql.mid(open + 1, i - open - 1);
        from = i + 1;
    }
    return clauses;
}

// A file opened read-only, as the check opens it, has its CHECK rules skipped by SQLite's own
// integrity check: they are tested here, each table in one pass. The rules are the program's
// own for the version, never the file's text.
QString rulesProblem(sqlite3* db, int version) {
    QString problem;
    for (const SchemaObject& o : expectedSchema(version, &problem)) {
        if (o.type != QLatin1String("table"))
            continue;
        QStringList broken;
        for (const QString& clause : checkClauses(o.sql))
            broken << QStringLiteral("NOT coalesce((%1), 1)").arg(clause);
        if (broken.isEmpty())
            continue;
        const QString sql = QString::fromUtf8(Statements::RowsBreakingRules)
                                .arg(o.name, broken.join(QStringLiteral(" OR ")));
        const QList<QStringList> found = rows(db, sql.toUtf8().constData(), &problem);
        if (!problem.isEmpty())
            return problem;
        if (const qint64 count = found.value(0).value(0).toLongLong(); count > 0)
            return Messages::RowsBreakRules(o.name, count);
    }
    return problem;
}

// SQLite's full check, split so that the cores share it: quick_check over the whole file (each
// page's structure, which pages are in use, NOT NULL) and integrity_check of each table, which
// matches its indexes against it. Together they are the full check. Each part reads on a
// connection of its own, started while `view` holds its read, so all see the same state;
// `alongside` runs on this thread meanwhile. Returns the findings, nothing when all is sound.
QStringList pageFindings(sqlite3* view, QString* problem, const std::function<void()>& alongside) {
    std::vector<QByteArray> checks;
    {
        const QList<QStringList> tables =
            rows(view,
                 "SELECT name FROM sqlite_master WHERE type = 'table' AND "
                 "coalesce(sql, '') NOT LIKE 'CREATE VIRTUAL%'",
                 problem);
        if (!problem->isEmpty())
            return {};
        // The largest first, so that no core is left with a large one at the end.
        std::vector<std::pair<qint64, QByteArray>> bySize;
        for (const QStringList& table : tables) {
            QString ignored;
            const QByteArray name = table.value(0).toUtf8();
            const QByteArray quoted = '"' + QByteArray(name).replace('"', "\"\"") + '"';
            const qint64 size =
                rows(view, ("SELECT max(rowid) FROM " + quoted).constData(), &ignored)
                    .value(0)
                    .value(0)
                    .toLongLong();
            bySize.emplace_back(size, "PRAGMA integrity_check(" + quoted + ")");
        }
        std::stable_sort(bySize.begin(), bySize.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        for (auto& [size, sql] : bySize)
            checks.push_back(std::move(sql));
        checks.insert(checks.begin() + std::min<std::ptrdiff_t>(1, std::ssize(checks)),
                      QByteArray("PRAGMA quick_check"));
    }
    const char* file = sqlite3_db_filename(view, "main");
    std::vector<QStringList> found(checks.size());
    std::vector<QString> failed(checks.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&](sqlite3* db) {
        for (std::size_t i; (i = next++) < checks.size();) {
            for (const QStringList& line : rows(db, checks[i].constData(), &failed[i]))
                if (line.value(0) != QLatin1String("ok"))
                    found[i] << line.value(0);
        }
    };
    // A connection that can't start its read (a writer waiting to commit) leaves its share to
    // the others, the view itself at the end.
    const auto reader = [&]() -> sqlite3* {
        sqlite3* db = nullptr;
        if (file && *file &&
            sqlite3_open_v2(file, &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
            execute(db, "BEGIN; SELECT count(*) FROM sqlite_master").isEmpty() &&
            execute(db, "PRAGMA cache_size = -65536").isEmpty())
            return db;
        sqlite3_close(db);
        return nullptr;
    };
    const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 2u, 4u);
    std::vector<std::thread> workers;
    for (unsigned w = 0; w < cores && w < checks.size(); ++w) {
        sqlite3* db = reader();
        if (!db)
            break;
        workers.emplace_back([&work, db] {
            work(db);
            sqlite3_close(db);
        });
    }
    if (alongside)
        alongside();
    for (std::thread& worker : workers)
        worker.join();
    work(view);
    // A part that could not finish counts as a finding beside the others'; alone, as its reason.
    QStringList findings;
    QString firstFailure;
    for (std::size_t i = 0; i < checks.size(); ++i) {
        findings << found[i];
        if (!failed[i].isEmpty() && firstFailure.isEmpty())
            firstFailure = failed[i];
    }
    if (findings.isEmpty())
        *problem = firstFailure;
    else if (!firstFailure.isEmpty())
        findings << firstFailure;
    return findings;
}

// The version that brought the audit trail.
constexpr int TrailVersion = 4;

// Why the trail's hash chain is broken, or an empty text; read through the caller's open read.
template <typename Handle>
QString trailProblem(Handle db, int version, Schema::Rows rows, Audit::Checkpoint* head) {
    if (rows == Schema::Rows::Unchecked || version < TrailVersion)
        return {};
    try {
        if (const auto broken = Audit::Verify(db, head))
            return broken->text;
    } catch (const DataError& e) {
        return e.description();
    }
    return {};
}

QString checkServer(const QString& location, int lockTimeoutMs, Schema::Rows rows,
                    Audit::Checkpoint* trailHead) {
    try {
        const Connection db(location, lockTimeoutMs);
        const Transaction read(db, Transaction::Read);
        QString problem;
        const int version = readVersion(db, &problem);
        if (!problem.isEmpty())
            return problem;
        if (version > Schema::CurrentVersion)
            return Schema::TooNewText(version);
        if (version < 0)
            return Messages::InvalidVersion(version);
        problem = serverSchemaProblem(db, version);
        if (problem.isEmpty())
            problem = accountsProblem(db, version);
        if (problem.isEmpty())
            problem = trailProblem<const Connection&>(db, version, rows, trailHead);
        return problem;
    } catch (const DataError& e) {
        return e.description();
    }
}

} // namespace

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
        throw DataError(-1, Messages::ServerDatabaseNotEmpty());
    createOnServer(db, CurrentVersion, cost, true);
}

QString CheckDatabase(const QString& path, int lockTimeoutMs, Pages pages, Rows checked,
                      Audit::Checkpoint* trailHead) {
    if (EngineOf(path) == Engine::Postgres)
        return checkServer(path, lockTimeoutMs, checked, trailHead);
    const QFileInfo info(path);
    if (!info.exists())
        return Messages::DoesNotExist(path);
    if (!info.isFile())
        return Messages::NotAFile(path);
    ReadView view;
    QString problem = view.open(path, lockTimeoutMs);
    if (!problem.isEmpty())
        return problem;
    sqlite3* db = view.handle();
    // Matching the indexes against their tables reads them in key order; a larger cache than
    // the default 2 MB makes that a good deal faster on a large file.
    execute(db, "PRAGMA cache_size = -65536");
    // What the rows hold is read meanwhile, and counts only once the pages are found sound.
    QString rowsProblem;
    const auto readRows = [&] {
        const int version = readVersion(db, &rowsProblem);
        if (!rowsProblem.isEmpty())
            return;
        if (version > CurrentVersion) {
            rowsProblem = TooNewText(version);
            return;
        }
        if (version < 0) {
            rowsProblem = Messages::InvalidVersion(version);
            return;
        }
        rowsProblem = schemaProblem(db, version);
        if (rowsProblem.isEmpty())
            rowsProblem = accountsProblem(Connection(db), version);
        if (rowsProblem.isEmpty() && checked == Rows::Checked)
            rowsProblem = rulesProblem(db, version);
        if (rowsProblem.isEmpty())
            rowsProblem = trailProblem<sqlite3*>(db, version, checked, trailHead);
    };
    QStringList findings;
    if (pages == Pages::Full) {
        findings = pageFindings(db, &problem, readRows);
    } else {
        for (const QStringList& line : rows(db, "PRAGMA quick_check(6)", &problem))
            if (line.value(0) != QLatin1String("ok"))
                findings << line.value(0);
        if (problem.isEmpty() && findings.isEmpty())
            readRows();
    }
    if (problem.isEmpty() && !findings.isEmpty())
        problem = Messages::IntegrityCheckFailed(findings.mid(0, 5).join(QStringLiteral("; ")));
    if (problem.isEmpty())
        problem = rowsProblem;
    if (!problem.isEmpty() && trailHead)
        *trailHead = {};
    return problem;
}

} // namespace Schema

} // namespace velkar
