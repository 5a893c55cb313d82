#include "data/Schema.h"

#include "data/AdoConn.h"

#include <QFileInfo>

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

} // namespace

namespace Schema {

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
