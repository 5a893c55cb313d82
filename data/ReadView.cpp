#include "data/ReadView.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sqlite3.h>

namespace {

constexpr int RetryMs = 20;
// The files a rollback needs besides the database itself.
const char* const Companions[] = {"-journal", "-wal"};

// Size and modification time of the file and its companions: equal before and after a copy
// means no other program touched them meanwhile.
QList<qint64> stamp(const QString& path) {
    QList<qint64> s;
    for (const QString& name :
         {path, path + QLatin1String(Companions[0]), path + QLatin1String(Companions[1])}) {
        const QFileInfo info(name);
        s << (info.exists() ? info.size() : -1)
          << (info.exists() ? info.lastModified().toMSecsSinceEpoch() : -1);
    }
    return s;
}

QString errorText(sqlite3* db, int rc) {
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
}

} // namespace

QString LockedText(int timeoutMs) {
    return QStringLiteral("数据库文件被其他程序锁定超过 %1 秒").arg((timeoutMs + 999) / 1000);
}

ReadView::ReadView() = default;

ReadView::~ReadView() {
    close();
}

void ReadView::close() {
    sqlite3_close(m_db);
    m_db = nullptr;
    m_copy.reset();
}

// Opens `path` and starts a read transaction, without waiting for locks. Returns the extended
// result code.
int ReadView::begin(const QString& path, int flags, QString* problem) {
    close();
    int rc = sqlite3_open_v2(path.toUtf8().constData(), &m_db, flags, nullptr);
    if (m_db)
        sqlite3_extended_result_codes(m_db, 1);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(m_db, "BEGIN; SELECT count(*) FROM sqlite_master", nullptr, nullptr,
                          nullptr);
    if (rc != SQLITE_OK) {
        *problem = errorText(m_db, rc);
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    return rc;
}

QString ReadView::open(const QString& path, int lockTimeoutMs) {
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        QString problem;
        const int rc = begin(path, SQLITE_OPEN_READONLY, &problem);
        if (rc == SQLITE_OK)
            return {};
        const int primary = rc & 0xff;
        if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
            if (waited.elapsed() >= lockTimeoutMs)
                return LockedText(lockTimeoutMs);
            sqlite3_sleep(RetryMs);
            continue;
        }
        // A hot journal (or a write-ahead log) asks for a write that reading may not make.
        if (primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN) {
            if (QFileInfo(path).isFile())
                return openCopy(path);
        }
        return problem;
    }
}

QString ReadView::openCopy(const QString& path) {
    // Nobody holds a lock on a file with a hot journal, so another program may roll it back
    // while it is copied; a copy taken while the files changed is taken again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        auto dir = std::make_unique<QTemporaryDir>();
        if (!dir->isValid())
            return QStringLiteral("无法建立临时文件夹");
        const QString copy = dir->filePath(QStringLiteral("copy.mdb"));
        const QList<qint64> before = stamp(path);
        bool copied = QFile::copy(path, copy);
        for (const char* companion : Companions) {
            const QString from = path + QLatin1String(companion);
            if (copied && QFileInfo::exists(from))
                copied = QFile::copy(from, copy + QLatin1String(companion));
        }
        if (!copied)
            return QStringLiteral("无法读取 %1").arg(path);
        if (stamp(path) != before)
            continue;
        QString problem;
        // Read-write, so that SQLite rolls the copy back as it would the file itself.
        if (begin(copy, SQLITE_OPEN_READWRITE, &problem) != SQLITE_OK)
            return problem;
        m_copy = std::move(dir);
        return {};
    }
    return QStringLiteral("%1 在读取时一直被修改").arg(path);
}
