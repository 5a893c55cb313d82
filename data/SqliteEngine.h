#pragma once

#include "data/Engine.h"

#include <chrono>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace velkar {

// The SQLite failure a result code stands for.
DataFailure SqliteFailure(int code);
// Raises the failure `code` on `db` (null: the code's own words).
[[noreturn]] void RaiseSqlite(sqlite3* db, int code);

// A statement of its caller's own on `db`, for a read stepped by hand. Raises DataError.
using OwnStatement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;
OwnStatement PrepareOwn(sqlite3* db, const char* sql);

// A database file, or a private one in memory. How it is opened is Connection::Open's.
class SqliteSession : public EngineSession {
public:
    enum class Open { Existing, Unread, Create, Memory };

    // Throws DataError.
    SqliteSession(const QString& location, Open open, int busyTimeoutMs);
    // Works on a file opened elsewhere, which stays open when this is gone.
    explicit SqliteSession(sqlite3* borrowed);
    ~SqliteSession() override;
    SqliteSession(const SqliteSession&) = delete;
    SqliteSession& operator=(const SqliteSession&) = delete;

    sqlite3* handle() const { return m_db; }

    Engine engine() const override { return Engine::Sqlite; }
    bool isOpen() const override { return m_db != nullptr; }
    bool moved() const override;
    bool inTransaction() const override;
    void run(const QByteArray& script) override;
    std::unique_ptr<EngineStatement> prepare(const QByteArray& sql) override;
    void begin(bool write, bool withFirst) override;
    void commit() override;
    void rollback() noexcept override;
    void close() override;

    // Prepared statements kept between queries, so a statement run again is not compiled
    // again. Shared with the statements, which may outlive the session.
    struct KeptStatements;

private:
    // A lock held elsewhere is tried again until `timeoutMs` have passed since the first try.
    struct BusyWait {
        int timeoutMs = 0;
        std::chrono::steady_clock::time_point since;
        static int again(void* self, int tries);
    };

    sqlite3* m_db = nullptr;
    BusyWait m_busy;
    bool m_borrowed = false;
    std::shared_ptr<KeptStatements> m_statements;
};

// A statement on a file opened elsewhere (a read view); compiled for this one use.
std::unique_ptr<EngineStatement> PrepareOn(sqlite3* db, const QByteArray& sql);

} // namespace velkar
