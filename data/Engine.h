#pragma once

#include "data/DataError.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

namespace velkar {

// The two engines a ledger can live in: the desk's own file, or a server the desks share.
enum class Engine { Sqlite, Postgres };

// Where a location names a server database (a postgresql:// URI) rather than a file.
Engine EngineOf(const QString& location);

// One prepared statement of an engine, read row by row. Parameters are 1-based; every failure
// is a DataError.
class EngineStatement {
public:
    virtual ~EngineStatement() = default;
    virtual void bind(int index, const QString& value) = 0;
    virtual void bind(int index, std::int64_t value) = 0;
    virtual bool next() = 0;
    // Runs a write whose answer nobody reads; an engine may send it with the next statement.
    virtual void defer() { next(); }
    virtual void reset() = 0;
    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    virtual bool isNull(int column) const = 0;
    virtual std::int64_t integer(int column) const = 0;
    // The cell's UTF-8 bytes, valid until the next step.
    virtual const char* utf8(int column, int* length) const = 0;
};

// One open database of an engine: what Connection, Transaction and Query ask of it.
class EngineSession {
public:
    virtual ~EngineSession() = default;
    virtual Engine engine() const = 0;
    virtual bool isOpen() const = 0;
    // What is written now would not reach the database the location names.
    virtual bool moved() const = 0;
    virtual bool inTransaction() const = 0;
    // Statements without parameters, one after the other.
    virtual void run(const QByteArray& script) = 0;
    // `?` and `?N` placeholders on both engines.
    virtual std::unique_ptr<EngineStatement> prepare(const QByteArray& sql) = 0;
    // Write transactions are taken one at a time over the whole database. `withFirst`: an
    // engine may take the lock with the transaction's first statement instead of now.
    virtual void begin(bool write, bool withFirst) = 0;
    virtual void commit() = 0;
    // Commits, and runs `then` in the same round trip where the engine allows it; its rows, or
    // its failure, come with its next() as usual. A failed commit leaves it unrun.
    virtual void commitThen(EngineStatement& then) {
        (void)then;
        commit();
    }
    // Runs `last` inside the transaction, commits and runs `then`, all in one round trip; the
    // rows of each, or its failure, come with its next() as usual. A failure of `last` leaves
    // the transaction uncommitted. Only a server has the round trips to save: false when the
    // engine did nothing, and the caller steps `last` and commits itself.
    virtual bool commitAfter(EngineStatement& last, EngineStatement& then) {
        (void)last;
        (void)then;
        return false;
    }
    virtual void rollback() noexcept = 0;
    virtual void close() = 0;
};

} // namespace velkar
