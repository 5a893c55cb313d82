#include "data/Schema.h"

#include "data/AdoConn.h"
#include "data/ReadView.h"

#include <QFileInfo>

#include <iterator>
#include <memory>

#include <sqlite3.h>

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

QString hashPlainPasswords(sqlite3* db, PasswordHash::Cost cost);

// Migration N takes a file from version N - 1 to N: its SQL, then its C++ step when it has one,
// in the transaction of the whole upgrade. Append only: a published step never changes, because
// files in the field were made by it. New facts go into new tables, so the three delivered
// tables keep their columns and value forms.
struct Migration {
    const char* sql;
    QString (*step)(sqlite3* db, PasswordHash::Cost cost); // nullptr when SQL does it all
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
     nullptr},
    // 2: passwords at rest as salted hashes; the plain passwords are hashed in place.
    {"", hashPlainPasswords},
    // 3: indexes that hold the amounts, so that a list's total is summed from an index alone
    // (its rows' positions come from the date and card indexes alone).
    {R"sql(
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

QString hashPlainPasswords(sqlite3* db, PasswordHash::Cost cost) {
    QString problem;
    const QList<QStringList> accounts = rows(db, "SELECT rowid, 密码 FROM permission", &problem);
    if (!problem.isEmpty())
        return problem;
    sqlite3_stmt* update = nullptr;
    if (sqlite3_prepare_v2(db, "UPDATE permission SET 密码 = ? WHERE rowid = ?", -1, &update,
                           nullptr) != SQLITE_OK)
        return QString::fromUtf8(sqlite3_errmsg(db));
    for (const QStringList& account : accounts) {
        const QByteArray hash = PasswordHash::Hash(account[1], cost).toUtf8();
        if (hash.isEmpty()) {
            problem = QStringLiteral("密码散列失败（内存不足）");
            break;
        }
        sqlite3_bind_text(update, 1, hash.constData(), int(hash.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(update, 2, account[0].toLongLong());
        if (sqlite3_step(update) != SQLITE_DONE) {
            problem = QString::fromUtf8(sqlite3_errmsg(db));
            break;
        }
        sqlite3_reset(update);
    }
    sqlite3_finalize(update);
    return problem;
}

// Takes an open transaction from version `from` to `to`, stamping the version.
QString migrate(sqlite3* db, int from, int to, PasswordHash::Cost cost) {
    QString problem;
    for (int step = from; problem.isEmpty() && step < to; ++step) {
        problem = execute(db, Migrations[step].sql);
        if (problem.isEmpty() && Migrations[step].step)
            problem = Migrations[step].step(db, cost);
    }
    const QByteArray stamp = "PRAGMA user_version = " + QByteArray::number(to);
    if (problem.isEmpty() && from != to)
        problem = execute(db, stamp.constData());
    return problem;
}

QString createVersionZero(sqlite3* db) {
    QString problem = execute(db, CreateStatements);
    sqlite3_stmt* insert = nullptr;
    if (problem.isEmpty() &&
        sqlite3_prepare_v2(db, "INSERT INTO permission (用户名, 密码) VALUES (?, ?)", -1, &insert,
                           nullptr) != SQLITE_OK)
        problem = QString::fromUtf8(sqlite3_errmsg(db));
    for (const QString& name : Schema::AccountNames) {
        if (!problem.isEmpty())
            break;
        const QByteArray n = name.toUtf8();
        const QByteArray p = Schema::DeliveredPassword.toUtf8();
        sqlite3_bind_text(insert, 1, n.constData(), int(n.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, p.constData(), int(p.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(insert) != SQLITE_DONE)
            problem = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    return problem;
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
    sqlite3* raw = nullptr;
    sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY, nullptr);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
    *problem = execute(raw, CreateStatements);
    if (problem->isEmpty())
        *problem = migrate(raw, 0, version, PasswordHash::CheapestCost);
    if (problem->isEmpty())
        *problem = execute(raw, "COMMIT");
    return problem->isEmpty() ? schemaOf(raw, problem) : QList<SchemaObject>{};
}

QString kindText(const QString& type) {
    if (type == QLatin1String("table"))
        return QStringLiteral("表");
    if (type == QLatin1String("index"))
        return QStringLiteral("索引");
    if (type == QLatin1String("view"))
        return QStringLiteral("视图");
    if (type == QLatin1String("trigger"))
        return QStringLiteral("触发器");
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
            return QStringLiteral("表 %1 缺少列 %2").arg(table, want[i][0]);
        if (i >= want.size())
            return QStringLiteral("表 %1 有多余的列 %2").arg(table, have[i][0]);
        if (have[i][0] != want[i][0])
            return QStringLiteral("表 %1 的第 %2 列是 %3，应为 %4")
                .arg(table)
                .arg(i + 1)
                .arg(have[i][0], want[i][0]);
        if (have[i][1].compare(want[i][1], Qt::CaseInsensitive) != 0)
            return QStringLiteral("表 %1 的列 %2 声明为 %3，应为 %4")
                .arg(table, have[i][0],
                     have[i][1].isEmpty() ? QStringLiteral("无类型") : have[i][1], want[i][1]);
        if (have[i][2] != want[i][2])
            return QStringLiteral("表 %1 的列 %2 %3 NOT NULL")
                .arg(table, have[i][0],
                     want[i][2] == QLatin1String("1") ? QStringLiteral("缺少")
                                                      : QStringLiteral("多了"));
    }
    return QStringLiteral("表 %1 的约束与本程序建立的不同").arg(table);
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
                return QStringLiteral("含有本程序不建立的%1 %2").arg(kindText(o.type), o.name);
        return QString();
    };
    // Triggers first: they are what turns a file against the program.
    if (problem = extra("trigger"); !problem.isEmpty())
        return problem;
    for (const SchemaObject& o : want) {
        const SchemaObject* h = find(have, o.name);
        if (!h)
            return QStringLiteral("缺少%1 %2").arg(kindText(o.type), o.name);
        if (h->type != o.type)
            return QStringLiteral("%1 是%2，应为%3")
                .arg(o.name, kindText(h->type), kindText(o.type));
    }
    for (const char* type : {"view", "table", "index"})
        if (problem = extra(type); !problem.isEmpty())
            return problem;
    for (const SchemaObject& o : want) {
        const SchemaObject* h = find(have, o.name);
        if (h->table == o.table && h->sql == o.sql)
            continue;
        if (o.type != QLatin1String("table"))
            return QStringLiteral("%1 %2 的定义与本程序建立的不同").arg(kindText(o.type), o.name);
        sqlite3* raw = nullptr;
        sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY, nullptr);
        std::unique_ptr<sqlite3, int (*)(sqlite3*)> reference(raw, sqlite3_close);
        execute(raw, o.sql.toUtf8().constData());
        return tableDifference(db, raw, o.name);
    }
    return {};
}

QString accountsProblem(sqlite3* db, int version) {
    QString problem;
    const QList<QStringList> accounts =
        rows(db, "SELECT 用户名, 密码 FROM permission ORDER BY rowid", &problem);
    if (!problem.isEmpty())
        return problem;
    QStringList names;
    for (const QStringList& account : accounts)
        names << account[0];
    if (names != Schema::AccountNames)
        return QStringLiteral("permission 表应依次含有七个账户 %1，实有 %2 个")
            .arg(Schema::AccountNames.join(QStringLiteral("、")))
            .arg(accounts.size());
    // From version 2 on no password lies in the file as text.
    if (version >= 2)
        for (const QStringList& account : accounts)
            if (!PasswordHash::IsHash(account[1]))
                return QStringLiteral("账户 %1 的密码不是散列值").arg(account[0]);
    return {};
}

} // namespace

namespace Schema {

QString TooNewText(int version) {
    return QStringLiteral("数据库文件的版本（%1）高于本程序支持的版本（%2），请使用新版程序打开")
        .arg(version)
        .arg(CurrentVersion);
}

int FileVersion(const QString& path, QString* problem) {
    try {
        Connection connection(path);
        return readVersion(connection.handle(), problem);
    } catch (const DataError& e) {
        *problem = e.description();
        return -1;
    }
}

QString Upgrade(const QString& path, PasswordHash::Cost cost) {
    try {
        Connection connection(path);
        sqlite3* db = connection.handle();
        // Taken before the version is read, so two programs starting together upgrade once.
        QString problem = execute(db, "BEGIN IMMEDIATE");
        if (!problem.isEmpty())
            return problem;
        const int version = readVersion(db, &problem);
        if (problem.isEmpty() && version > CurrentVersion)
            problem = TooNewText(version);
        if (problem.isEmpty() && version < CurrentVersion)
            problem = migrate(db, version, CurrentVersion, cost);
        if (problem.isEmpty())
            problem = execute(db, "COMMIT");
        if (!problem.isEmpty())
            execute(db, "ROLLBACK");
        return problem;
    } catch (const DataError& e) {
        return e.description();
    }
}

QString CreateDatabase(const QString& path, PasswordHash::Cost cost, int version) {
    if (QFileInfo::exists(path))
        return QStringLiteral("%1 already exists; it is left as it is").arg(path);
    if (version < 0 || version > CurrentVersion)
        return TooNewText(version);
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    // The delivered form first, then the same steps that bring a delivered file up to date,
    // all in one transaction.
    QString problem = rc == SQLITE_OK
                          ? createVersionZero(db)
                          : QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    if (problem.isEmpty())
        problem = migrate(db, 0, version, cost);
    if (problem.isEmpty())
        problem = execute(db, "COMMIT");
    sqlite3_close(db);
    if (!problem.isEmpty())
        QFile::remove(path);
    return problem;
}

QString CheckDatabase(const QString& path, int lockTimeoutMs, Pages pages) {
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("%1 不存在").arg(path);
    if (!info.isFile())
        return QStringLiteral("%1 不是文件").arg(path);
    ReadView view;
    QString problem = view.open(path, lockTimeoutMs);
    if (!problem.isEmpty())
        return problem;
    sqlite3* db = view.handle();
    // Matching the indexes against their tables reads them in key order; a larger cache than
    // the default 2 MB makes that a good deal faster on a large file.
    execute(db, "PRAGMA cache_size = -65536");
    const QList<QStringList> findings = rows(
        db, pages == Pages::Full ? "PRAGMA integrity_check(6)" : "PRAGMA quick_check(6)", &problem);
    if (!problem.isEmpty())
        return problem;
    if (findings != QList<QStringList>{{QStringLiteral("ok")}}) {
        QStringList lines;
        for (const QStringList& finding : findings.mid(0, 5))
            lines << finding.value(0);
        return QStringLiteral("完整性检查未通过：%1").arg(lines.join(QStringLiteral("; ")));
    }
    const int version = readVersion(db, &problem);
    if (!problem.isEmpty())
        return problem;
    if (version > CurrentVersion)
        return TooNewText(version);
    if (version < 0)
        return QStringLiteral("版本号 %1 无效").arg(version);
    problem = schemaProblem(db, version);
    if (problem.isEmpty())
        problem = accountsProblem(db, version);
    return problem;
}

} // namespace Schema
