#pragma once

#include "data/Engine.h"
#include "data/SessionPool.h"

#include <memory>
#include <vector>

struct pg_conn;
struct pg_result;

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

    // For talking to the server directly: what the session holds back goes out first.
    pg_conn* server();

    Engine engine() const override { return Engine::Postgres; }
    bool isOpen() const override { return m_conn != nullptr; }
    bool moved() const override;
    bool inTransaction() const override;
    void run(const QByteArray& script) override;
    std::unique_ptr<EngineStatement> prepare(const QByteArray& sql) override;
    void begin(bool write, bool withFirst) override;
    void commit() override;
    void commitThen(EngineStatement& then) override;
    bool commitAfter(EngineStatement& last, EngineStatement& then) override;
    void rollback() noexcept override;
    void close() override;

    // A statement ready to go out, with its own copy of what it sends.
    struct Call {
        QByteArray name; // prepared on the session; else the text goes
        QByteArray sql;
        std::vector<QByteArray> values;
        std::vector<bool> bound;
        std::vector<unsigned> types;
        // The values as libpq takes them: null where none was bound.
        std::vector<const char*> pointers() const;
        int send(pg_conn* conn) const;
    };
    // Goes out with the next statement that is answered, or the commit, in one round trip:
    // for writes inside a write transaction whose answers nobody reads. Any failure of it is
    // raised there. Outside a transaction it runs at once.
    void defer(Call call);
    // Runs `call` after what waits; its answer, or raises the first failure.
    pg_result* answer(const Call& call);
    // Sends what waits now.
    void flush();

    // What the session keeps for its next user: the statements prepared on it, and whether
    // its users changed more than rows.
    struct Kept {
        std::shared_ptr<SessionPool::Prepared> prepared;
        bool changed = false;
        void markChanged();
    };

private:
    // What waits and then `calls`, answered in one round trip. Raises the first failure of
    // those that waited; returns the answers to `calls`, none after a lost session.
    std::vector<pg_result*> together(const std::vector<const Call*>& calls);
    // `last` (when given), the commit and `then` in one round trip.
    void commitAround(EngineStatement* last, EngineStatement& then);

    pg_conn* m_conn = nullptr;
    std::vector<Call> m_deferred; // a write transaction's BEGIN and lock among them
    std::unique_ptr<Kept> m_kept;
    QByteArray m_sessionKey; // where the session goes back to on close
};

// `?` and `?N` become `$N`, outside quoted text and names.
QByteArray ServerPlaceholders(const QByteArray& sql);

} // namespace velkar
