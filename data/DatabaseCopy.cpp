#include "data/DatabaseCopy.h"

#include "data/Schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <memory>

namespace {

constexpr int BusyTimeoutMs = 10000;
// All pages in one step: a step-wise copy starts over whenever another connection writes.
constexpr int AllPages = -1;

using Db = std::unique_ptr<sqlite3, int (*)(sqlite3*)>;

Db open(const QString& path, int flags, QString* problem) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &raw, flags, nullptr);
    Db db(raw, sqlite3_close);
    if (rc != SQLITE_OK) {
        *problem =
            raw ? QString::fromUtf8(sqlite3_errmsg(raw)) : QString::fromUtf8(sqlite3_errstr(rc));
        return Db(nullptr, sqlite3_close);
    }
    sqlite3_busy_timeout(raw, BusyTimeoutMs);
    return db;
}

// Copies every page of `from` into `to`, waiting for writers instead of failing.
QString copyPages(sqlite3* from, sqlite3* to) {
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    if (!backup)
        return QString::fromUtf8(sqlite3_errmsg(to));
    int rc;
    do {
        rc = sqlite3_backup_step(backup, AllPages);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            sqlite3_sleep(20);
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        return QString::fromUtf8(sqlite3_errstr(rc));
    return {};
}

// A complete copy of `source` in the new file `target`.
QString copyToNewFile(const QString& source, const QString& target) {
    QString problem;
    Db from = open(source, SQLITE_OPEN_READONLY, &problem);
    if (!from)
        return problem;
    QFile::remove(target);
    Db to = open(target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &problem);
    if (!to)
        return problem;
    problem = copyPages(from.get(), to.get());
    to.reset();
    if (problem.isEmpty())
        problem = Schema::CheckDatabase(target);
    if (!problem.isEmpty())
        QFile::remove(target);
    return problem;
}

} // namespace

namespace DatabaseCopy {

QString BackupTarget(const QString& folder) {
    return QDir(folder).filePath(Schema::DatabaseFileName);
}

QString Backup(const QString& workingPath, const QString& folder) {
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return QStringLiteral("文件夹不存在：%1").arg(folder);
    if (!QFileInfo::exists(workingPath))
        return QStringLiteral("数据库文件不存在：%1").arg(workingPath);
    const QString target = BackupTarget(folder);
    if (QFileInfo(target).canonicalFilePath() == QFileInfo(workingPath).canonicalFilePath())
        return QStringLiteral("不能备份到数据库所在的文件夹");
    const QString part = target + QStringLiteral(".part");
    QString problem = copyToNewFile(workingPath, part);
    if (!problem.isEmpty())
        return problem;
    // The earlier backup is replaced only by a complete, checked copy.
    if (QFile::exists(target) && !QFile::remove(target)) {
        QFile::remove(part);
        return QStringLiteral("无法替换 %1").arg(target);
    }
    if (!QFile::rename(part, target)) {
        QFile::remove(part);
        return QStringLiteral("无法写入 %1").arg(target);
    }
    return {};
}

QString Restore(const QString& chosen, const QString& workingPath) {
    QString problem = Schema::CheckDatabase(chosen);
    if (!problem.isEmpty())
        return problem;
    if (QFileInfo(chosen).canonicalFilePath() == QFileInfo(workingPath).canonicalFilePath())
        return {}; // already the working database

    Db from = open(chosen, SQLITE_OPEN_READONLY, &problem);
    if (!from)
        return problem;
    if (QFileInfo::exists(workingPath)) {
        problem = copyToNewFile(workingPath, workingPath + QStringLiteral(".bak"));
        if (!problem.isEmpty())
            return QStringLiteral("无法保留原数据库：%1").arg(problem);
    }
    // Into the working file through the engine, so open connections see the new data whole.
    Db to = open(workingPath, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &problem);
    if (!to)
        return problem;
    problem = copyPages(from.get(), to.get());
    to.reset();
    // A restored older file is brought up to date like the working file at start.
    if (problem.isEmpty())
        problem = Schema::Upgrade(workingPath);
    if (problem.isEmpty())
        problem = Schema::CheckDatabase(workingPath);
    return problem;
}

} // namespace DatabaseCopy
