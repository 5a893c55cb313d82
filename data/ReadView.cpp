#include "data/ReadView.h"

#include "base/Messages.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sqlite3.h>

namespace velkar {

namespace {

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
    return Messages::LockedTooLong((timeoutMs + 999) / 1000);
}

LockWait::LockWait(sqlite3* db, int timeoutMs) : m_db(db), m_deadline(timeoutMs) {
    sqlite3_busy_handler(
        m_db,
        [](void* deadline, int) -> int {
            if (static_cast<const QDeadlineTimer*>(deadline)->hasExpired())
                return 0;
            sqlite3_sleep(1);
            return 1;
        },
        &m_deadline);
}

LockWait::~LockWait() {
    sqlite3_busy_handler(m_db, nullptr, nullptr);
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

// Opens `path` and starts a read transaction, waiting at most `lockTimeoutMs` for a writer.
// Returns the extended result code.
int ReadView::begin(const QString& path, int flags, int lockTimeoutMs, QString* problem) {
    close();
    int rc =
        sqlite3_open_v2(path.toUtf8().constData(), &m_db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (m_db)
        sqlite3_extended_result_codes(m_db, 1);
    if (rc == SQLITE_OK) {
        LockWait wait(m_db, lockTimeoutMs);
        rc = sqlite3_exec(m_db, "BEGIN; SELECT count(*) FROM sqlite_master", nullptr, nullptr,
                          nullptr);
    }
    if (rc != SQLITE_OK) {
        *problem = errorText(m_db, rc);
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    return rc;
}

QString ReadView::open(const QString& path, int lockTimeoutMs) {
    QString problem;
    const int rc = begin(path, SQLITE_OPEN_READONLY, lockTimeoutMs, &problem);
    if (rc == SQLITE_OK)
        return {};
    const int primary = rc & 0xff;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
        return LockedText(lockTimeoutMs);
    // A hot journal (or a write-ahead log) asks for a write that reading may not make.
    if ((primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN) && QFileInfo(path).isFile())
        return openCopy(path, lockTimeoutMs);
    return problem;
}

QString ReadView::openCopy(const QString& path, int lockTimeoutMs) {
    // Nobody holds a lock on a file with a hot journal, so another program may roll it back
    // while it is copied; a copy taken while the files changed is taken again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        auto dir = std::make_unique<QTemporaryDir>();
        if (!dir->isValid())
            return Messages::CannotMakeTemporaryFolder();
        const QString copy = dir->filePath(QStringLiteral("copy.mdb"));
        const QList<qint64> before = stamp(path);
        bool copied = QFile::copy(path, copy);
        for (const char* companion : Companions) {
            const QString from = path + QLatin1String(companion);
            if (copied && QFileInfo::exists(from))
                copied = QFile::copy(from, copy + QLatin1String(companion));
        }
        if (!copied)
            return Messages::CannotRead(path);
        if (stamp(path) != before)
            continue;
        QString problem;
        // Read-write, so that SQLite rolls the copy back as it would the file itself.
        if (begin(copy, SQLITE_OPEN_READWRITE, lockTimeoutMs, &problem) != SQLITE_OK)
            return problem;
        m_copy = std::move(dir);
        return {};
    }
    return Messages::ChangedWhileReading(path);
}

} // namespace velkar
