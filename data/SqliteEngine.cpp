#include "data/SqliteEngine.h"

#include "base/PrivateFile.h"

#include <QHash>

#include <sqlite3.h>

#include <chrono>
#include <thread>
#include <unordered_map>
#include <vector>

namespace velkar {

DataFailure SqliteFailure(int code) {
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return DataFailure::Busy;
    case SQLITE_FULL:
        return DataFailure::Full;
    case SQLITE_READONLY:
        return DataFailure::ReadOnly;
    case SQLITE_CONSTRAINT:
        return DataFailure::Constraint;
    case SQLITE_CANTOPEN:
        return DataFailure::NotOpen;
    default:
        return DataFailure::Other;
    }
}

void RaiseSqlite(sqlite3* db, int code) {
    throw DataError(SqliteFailure(code), db ? QString::fromUtf8(sqlite3_errmsg(db))
                                            : QString::fromUtf8(sqlite3_errstr(code)));
}

OwnStatement PrepareOwn(sqlite3* db, const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    if (const int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr); rc != SQLITE_OK)
        RaiseSqlite(db, rc);
    return {stmt, &sqlite3_finalize};
}

struct SqliteSession::KeptStatements {
    // Idle statements by their text; several when the same text runs nested.
    std::unordered_map<QByteArray, std::vector<sqlite3_stmt*>> idle;
    bool open = true;

    sqlite3_stmt* take(const QByteArray& text) {
        const auto found = idle.find(text);
        if (found == idle.end() || found->second.empty())
            return nullptr;
        sqlite3_stmt* stmt = found->second.back();
        found->second.pop_back();
        return stmt;
    }
    void finalizeAll() {
        for (auto& [text, statements] : idle)
            for (sqlite3_stmt* stmt : statements)
                sqlite3_finalize(stmt);
        idle.clear();
        open = false;
    }
};

namespace {

class SqliteStatement : public EngineStatement {
public:
    SqliteStatement(sqlite3* db, QByteArray text,
                    std::shared_ptr<SqliteSession::KeptStatements> kept)
        : m_db(db), m_kept(std::move(kept)), m_text(std::move(text)) {
        if (!m_db)
            throw DataError(DataFailure::NotOpen, QStringLiteral("no open database connection"));
        if (m_kept)
            m_stmt = m_kept->take(m_text);
        if (m_stmt)
            return;
        const int rc = sqlite3_prepare_v3(m_db, m_text.constData(), int(m_text.size()),
                                          m_kept ? SQLITE_PREPARE_PERSISTENT : 0, &m_stmt, nullptr);
        if (rc != SQLITE_OK)
            RaiseSqlite(m_db, rc);
    }

    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    ~SqliteStatement() override {
        if (m_stmt && m_kept && m_kept->open) {
            sqlite3_reset(m_stmt);
            sqlite3_clear_bindings(m_stmt);
            m_kept->idle[m_text].push_back(m_stmt);
            return;
        }
        sqlite3_finalize(m_stmt);
    }

    void bind(int index, const QString& value) override {
        const QByteArray bytes = value.toUtf8();
        const int rc = sqlite3_bind_text(m_stmt, index, bytes.constData(), int(bytes.size()),
                                         SQLITE_TRANSIENT);
        if (rc != SQLITE_OK)
            RaiseSqlite(m_db, rc);
    }

    void bind(int index, std::int64_t value) override {
        const int rc = sqlite3_bind_int64(m_stmt, index, value);
        if (rc != SQLITE_OK)
            RaiseSqlite(m_db, rc);
    }

    bool next() override {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        RaiseSqlite(m_db, rc);
    }

    void reset() override {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }

    int columnCount() const override { return sqlite3_column_count(m_stmt); }

    QString columnName(int column) const override {
        return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
    }

    bool isNull(int column) const override {
        return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
    }

    std::int64_t integer(int column) const override { return sqlite3_column_int64(m_stmt, column); }

    const char* utf8(int column, int* length) const override {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        *length = sqlite3_column_bytes(m_stmt, column);
        return bytes ? bytes : "";
    }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
    std::shared_ptr<SqliteSession::KeptStatements> m_kept; // where m_stmt goes back to
    QByteArray m_text;
};

} // namespace

int SqliteSession::BusyWait::again(void* self, int tries) {
    using namespace std::chrono;
    auto* wait = static_cast<BusyWait*>(self);
    const auto now = steady_clock::now();
    if (tries == 0)
        wait->since = now;
    if (now - wait->since >= milliseconds(wait->timeoutMs))
        return 0;
    // Tried often: a desk that books without pause leaves the lock free only between its
    // transactions, and SQLite's own back-off, up to 100 ms a sleep, keeps missing those gaps.
    // A slow disk's commit holds the lock for hundreds of milliseconds, so the brief tries last
    // a second of waiting, not a count of them; only a longer wait slows down to save the core.
    std::this_thread::sleep_for(now - wait->since < seconds(1) ? microseconds(200)
                                                               : milliseconds(1));
    return 1;
}

std::unique_ptr<EngineStatement> PrepareOn(sqlite3* db, const QByteArray& sql) {
    return std::make_unique<SqliteStatement>(db, sql, nullptr);
}

SqliteSession::SqliteSession(const QString& location, Open open, int busyTimeoutMs) {
    const int flags = open == Open::Create   ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE
                      : open == Open::Memory ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY
                                             : SQLITE_OPEN_READWRITE;
    const QByteArray path = open == Open::Memory ? QByteArray(":memory:") : location.toUtf8();
    const int rc = sqlite3_open_v2(path.constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString why =
            m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(m_db);
        m_db = nullptr;
        throw DataError(SqliteFailure(rc), why);
    }
    // SQLite makes the file as it opens it, empty until the first write; its journals take
    // the file's mode.
    if (open == Open::Create)
        PrivateFile::Restrict(location);
    m_busy.timeoutMs = busyTimeoutMs;
    if (busyTimeoutMs > 0)
        sqlite3_busy_handler(m_db, &BusyWait::again, &m_busy);
    if (open != Open::Existing)
        return;
    // Opening is lazy: read the schema now so that a file that is no database fails here.
    char* error = nullptr;
    const int check = sqlite3_exec(m_db, "PRAGMA schema_version", nullptr, nullptr, &error);
    if (check != SQLITE_OK) {
        const QString why = QString::fromUtf8(error ? error : sqlite3_errstr(check));
        sqlite3_free(error);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw DataError(SqliteFailure(check), why);
    }
}

SqliteSession::SqliteSession(sqlite3* borrowed) : m_db(borrowed), m_borrowed(true) {}

SqliteSession::~SqliteSession() {
    close();
}

bool SqliteSession::moved() const {
    int moved = 0;
    return m_db &&
           sqlite3_file_control(m_db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK &&
           moved != 0;
}

bool SqliteSession::inTransaction() const {
    return m_db && sqlite3_get_autocommit(m_db) == 0;
}

void SqliteSession::run(const QByteArray& script) {
    if (!m_db)
        throw DataError(DataFailure::NotOpen, QStringLiteral("no open database connection"));
    char* error = nullptr;
    const int rc = sqlite3_exec(m_db, script.constData(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        const QString why = QString::fromUtf8(error ? error : sqlite3_errmsg(m_db));
        sqlite3_free(error);
        throw DataError(SqliteFailure(rc), why);
    }
}

std::unique_ptr<EngineStatement> SqliteSession::prepare(const QByteArray& sql) {
    if (!m_statements)
        m_statements = std::make_shared<KeptStatements>();
    return std::make_unique<SqliteStatement>(m_db, sql, m_statements);
}

void SqliteSession::begin(bool write, bool) {
    prepare(write ? QByteArrayLiteral("BEGIN IMMEDIATE") : QByteArrayLiteral("BEGIN"))->next();
}

void SqliteSession::commit() {
    prepare(QByteArrayLiteral("COMMIT"))->next();
}

void SqliteSession::rollback() noexcept {
    if (m_db)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteSession::close() {
    if (m_statements) {
        m_statements->finalizeAll();
        m_statements.reset();
    }
    if (m_db && !m_borrowed)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

} // namespace velkar
