#pragma once

#include "data/Engine.h"
#include "data/Statements.h"

#include <QString>

#include <cstdint>
#include <memory>

struct sqlite3;
struct pg_conn;

namespace velkar {

class Query;

// One open database: a file, or a session on the server a `postgresql://` location names.
// Shared by the recordsets opened on it, so it closes when the last of them is released.
class Connection {
public:
    // How a file is opened. Existing: read at once, so that a file that is no database fails
    // here. Unread: read on first use (a copy's target; the working file a lock is taken on).
    // Create: made when missing. Memory: a private database in memory, the location ignored.
    enum class Open { Existing, Unread, Create, Memory };

    // Waits up to `busyTimeoutMs` for another program's lock, opening included (0: never
    // waits); a server that does not answer fails after the connect time-out. Throws DataError.
    explicit Connection(const QString& location, int busyTimeoutMs = 10000)
        : Connection(location, Open::Existing, busyTimeoutMs) {}
    Connection(const QString& location, Open open, int busyTimeoutMs);
    // Works on a file opened elsewhere, which stays open when this is gone.
    explicit Connection(sqlite3* borrowed);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    Engine engine() const { return m_engine; }
    // The engine's own handle, for the few data/ steps that need its C API (a file's online
    // backup, a server's COPY); null on the other engine or once closed.
    sqlite3* handle() const;
    pg_conn* server() const;
    void close();
    // What is written now would not reach the database the location names: the file was
    // deleted, renamed or replaced under the open connection, or the server session was lost.
    bool moved() const;
    bool isOpen() const { return m_session && m_session->isOpen(); }
    bool inTransaction() const;
    // Runs statements without parameters, one after the other (a schema's). Throws DataError.
    void run(const QString& script) const;

    // A server session closed in good order is kept a while for the next connection to the
    // same location; this closes the kept ones now.
    static void CloseIdleSessions();

private:
    friend class Query;
    friend class Transaction;
    EngineSession& session() const; // throws DataError once closed

    std::unique_ptr<EngineSession> m_session;
    Engine m_engine = Engine::Sqlite;
};

// A transaction that rolls back unless committed. Write transactions are taken one at a time
// over the whole database, on both engines, so that the rules of one desk hold for several;
// a read transaction sees one state of the database throughout.
class Transaction {
public:
    // WriteWithFirst: a write whose lock a server takes with its first statement, in the same
    // round trip; a busy lock then fails that statement rather than the constructor.
    enum Kind { Read, Write, WriteWithFirst };
    Transaction(const Connection& connection, Kind kind); // throws DataError
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit(); // throws DataError
    // Commits, then runs `then` in the same round trip where the engine allows it: a read
    // that needs the commit but must not hold the write lock.
    void commitThen(Query& then); // throws DataError
    // Runs `last`, commits, then runs `then`, in one round trip: a write whose answer decides
    // nothing before the commit, on an engine where a round trip costs. False when the engine
    // did nothing: the transaction is open, and `last` not run. Throws DataError.
    bool commitAfter(Query& last, Query& then);

private:
    const Connection& m_connection;
    bool m_open = true;
};

// How many statements, transactions and scripts this thread has started: a test's way to see
// that a thread left the ledger alone.
std::uint64_t StatementsOnThisThread();

// A prepared statement read row by row. Parameters are written `?` or `?N` on both engines.
class Query {
public:
    Query(const Connection& connection, const QString& sql); // throws DataError
    Query(const Connection& connection, const Dialects& sql);
    // On a file opened elsewhere (a read view).
    Query(sqlite3* db, const QString& sql);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    void bind(int index, const QString& value) { m_statement->bind(index, value); } // 1-based
    void bind(int index, std::int64_t value) { m_statement->bind(index, value); }
    bool next() { return m_statement->next(); } // throws DataError
    // A write inside a write transaction whose answer nobody reads: a server gets it with the
    // transaction's next statement or its commit, and raises any failure of it there.
    void defer() { m_statement->defer(); }
    void reset() { m_statement->reset(); }
    int columnCount() const { return m_statement->columnCount(); }
    QString columnName(int column) const { return m_statement->columnName(column); }
    QString text(int column) const;
    bool isNull(int column) const { return m_statement->isNull(column); }
    std::int64_t integer(int column) const { return m_statement->integer(column); }
    // The cell's UTF-8 bytes, valid until the next step.
    const char* utf8(int column, int* length) const { return m_statement->utf8(column, length); }

private:
    friend class Transaction;
    std::unique_ptr<EngineStatement> m_statement;
};

} // namespace velkar
