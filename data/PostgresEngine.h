#pragma once

#include "data/Engine.h"
#include "data/SessionPool.h"

#include <memory>

struct pg_conn;

namespace velkar {

// The failure a server's SQLSTATE stands for (null or empty: none was given).
DataFailure ServerFailure(const char* sqlState, bool sessionLost);

// A session on the server a `postgresql://` location names; one closed in good order goes back
// to the session pool.
class PostgresSession : public EngineSession {
public:
    // Waits up to `busyTimeoutMs` for a lock; throws DataError.
    PostgresSession(const QString& location, int busyTimeoutMs);
    ~PostgresSession() override;
    PostgresSession(const PostgresSession&) = delete;
    PostgresSession& operator=(const PostgresSession&) = delete;

    pg_conn* server() const { return m_conn; }

    Engine engine() const override { return Engine::Postgres; }
    bool isOpen() const override { return m_conn != nullptr; }
    bool moved() const override;
    bool inTransaction() const override;
    void run(const QByteArray& script) override;
    std::unique_ptr<EngineStatement> prepare(const QByteArray& sql) override;
    void begin(bool write) override;
    void commit() override;
    void rollback() noexcept override;
    void close() override;

    // What the session keeps for its next user: the statements prepared on it, and whether
    // its users changed more than rows.
    struct Kept {
        std::shared_ptr<SessionPool::Prepared> prepared;
        bool changed = false;
        void markChanged();
    };

private:
    pg_conn* m_conn = nullptr;
    std::unique_ptr<Kept> m_kept;
    QByteArray m_sessionKey; // where the session goes back to on close
};

// `?` and `?N` become `$N`, outside quoted text and names.
QByteArray ServerPlaceholders(const QByteArray& sql);

} // namespace velkar
