#include "data/Schema.h"

#include "data/AdoConn.h"

#include <QFileInfo>

#include <iterator>

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

// Migration N takes a file from version N - 1 to N. Append only: a published step never
// changes, because files in the field were made by it. New facts go into new tables, so the
// three delivered tables keep their columns and value forms.
const char* const Migrations[] = {
    // 1: the command journal. A row is written before a command frame goes out and resolved
    // when the reader reports the card again; booked rows name the employees row they added.
    R"sql(
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

QString Upgrade(const QString& path) {
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
        for (int step = version; problem.isEmpty() && step < CurrentVersion; ++step)
            problem = execute(db, Migrations[step]);
        const QByteArray stamp = "PRAGMA user_version = " + QByteArray::number(CurrentVersion);
        if (problem.isEmpty() && version < CurrentVersion)
            problem = execute(db, stamp.constData());
        if (problem.isEmpty())
            problem = execute(db, "COMMIT");
        if (!problem.isEmpty())
            execute(db, "ROLLBACK");
        return problem;
    } catch (const DataError& e) {
        return e.description();
    }
}

QString CreateDatabase(const QString& path) {
    if (QFileInfo::exists(path))
        return QStringLiteral("%1 already exists; it is left as it is").arg(path);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.toUtf8().constData(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    QString problem;
    char* error = nullptr;
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, CreateStatements, nullptr, nullptr, &error);
    if (rc == SQLITE_OK) {
        sqlite3_stmt* insert = nullptr;
        rc = sqlite3_prepare_v2(db, "INSERT INTO permission (用户名, 密码) VALUES (?, ?)", -1,
                                &insert, nullptr);
        for (const QString& name : AccountNames) {
            if (rc != SQLITE_OK)
                break;
            const QByteArray n = name.toUtf8();
            const QByteArray p = DeliveredPassword.toUtf8();
            sqlite3_bind_text(insert, 1, n.constData(), int(n.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 2, p.constData(), int(p.size()), SQLITE_TRANSIENT);
            rc = sqlite3_step(insert) == SQLITE_DONE ? SQLITE_OK : SQLITE_ERROR;
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
    }
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        problem = QString::fromUtf8(error ? error : (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
        sqlite3_free(error);
    }
    sqlite3_close(db);
    // The delivered form first, then the same steps that bring a delivered file up to date.
    if (problem.isEmpty())
        problem = Upgrade(path);
    if (!problem.isEmpty())
        QFile::remove(path);
    return problem;
}

QString CheckDatabase(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("%1 does not exist").arg(path);
    if (!info.isFile())
        return QStringLiteral("%1 is not a file").arg(path);
    try {
        // Read-only, so that checking never changes the file.
        sqlite3* raw = nullptr;
        int rc = sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
        std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
        if (rc != SQLITE_OK)
            return QString::fromUtf8(sqlite3_errmsg(raw));
        sqlite3_stmt* stmt = nullptr;
        rc = sqlite3_prepare_v2(raw, "PRAGMA integrity_check", -1, &stmt, nullptr);
        if (rc != SQLITE_OK)
            return QString::fromUtf8(sqlite3_errmsg(raw));
        QStringList findings;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            findings << QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            return QString::fromUtf8(sqlite3_errmsg(raw));
        if (findings != QStringList{QStringLiteral("ok")})
            return QStringLiteral("integrity check failed: %1")
                .arg(findings.mid(0, 5).join(QStringLiteral("; ")));
        QString problem;
        const int version = readVersion(raw, &problem);
        if (!problem.isEmpty())
            return problem;
        if (version > CurrentVersion)
            return TooNewText(version);

        const std::pair<const char*, QStringList> tables[] = {
            {"userecord", CardholderColumns},
            {"employees", RecordColumns},
            {"permission", AccountColumns},
        };
        for (const auto& [table, required] : tables) {
            sqlite3_stmt* info = nullptr;
            sqlite3_prepare_v2(raw, "SELECT name FROM pragma_table_info(?)", -1, &info, nullptr);
            sqlite3_bind_text(info, 1, table, -1, SQLITE_STATIC);
            QStringList present;
            while (sqlite3_step(info) == SQLITE_ROW)
                present << QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(info, 0)));
            sqlite3_finalize(info);
            if (present.isEmpty())
                return QStringLiteral("table %1 is missing").arg(QString::fromUtf8(table));
            for (const QString& column : required)
                if (!present.contains(column))
                    return QStringLiteral("table %1 has no column %2")
                        .arg(QString::fromUtf8(table), column);
        }
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

} // namespace Schema
