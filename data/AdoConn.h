#pragma once

#include "data/Schema.h"
#include "data/Statements.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;
struct pg_conn;
struct pg_result;

namespace velkar {

class Dialogs;

// Raised by every failing data operation; carries the engine's description.
class DataError : public std::runtime_error {
public:
    DataError(int code, const QString& description);
    int code() const { return m_code; }
    QString description() const { return m_description; }

private:
    int m_code;
    QString m_description;
};

// The two engines a ledger can live in: the desk's own file, or a server the desks share.
enum class Engine { Sqlite, Postgres };

// Where a location names a server database (a postgresql:// URI) rather than a file.
Engine EngineOf(const QString& location);

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
    explicit Connection(sqlite3* borrowed) : m_db(borrowed), m_borrowed(true) {}
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    Engine engine() const { return m_server ? Engine::Postgres : Engine::Sqlite; }
    sqlite3* handle() const { return m_db; } // null on a server
    pg_conn* server() const { return m_server; }
    void close();
    // What is written now would not reach the database the location names: the file was
    // deleted, renamed or replaced under the open connection, or the server session was lost.
    bool moved() const;
    bool isOpen() const { return m_db != nullptr || m_server != nullptr; }
    bool inTransaction() const;
    // Runs statements without parameters, one after the other (a schema's). Throws DataError.
    void run(const QString& script) const;

    // A server session closed in good order is kept a while for the next connection to the
    // same location; this closes the kept ones now.
    static void CloseIdleSessions();

    // Prepared statements of a file kept between queries, so a statement run again is not
    // compiled again. Shared with the queries, which may outlive the connection.
    struct KeptStatements;

private:
    friend class Query;
    sqlite3* m_db = nullptr;
    pg_conn* m_server = nullptr;
    mutable std::shared_ptr<KeptStatements> m_statements;
    QByteArray m_sessionKey; // where a server session goes back to on close
    bool m_borrowed = false;
};

// A transaction that rolls back unless committed. Write transactions are taken one at a time
// over the whole database, on both engines, so that the rules of one desk hold for several;
// a read transaction sees one state of the database throughout.
class Transaction {
public:
    enum Kind { Read, Write };
    Transaction(const Connection& connection, Kind kind); // throws DataError
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit(); // throws DataError

private:
    const Connection& m_connection;
    bool m_open = true;
};

// The text a recordset reads `statement` by: the rowid, then the statement's columns, narrowed
// by `filter` too.
QString SelectText(const Statement& statement, const std::vector<Criterion>& filter = {});

// How many statements, transactions and scripts this thread has started: a test's way to see
// that a thread left the ledger alone.
std::uint64_t StatementsOnThisThread();

// A prepared statement read row by row; for the bulk reads that need no recordset. Parameters
// are written `?` or `?N` on both engines.
class Query {
public:
    Query(const Connection& connection, const QString& sql); // throws DataError
    Query(const Connection& connection, const Dialects& sql);
    // On a file opened elsewhere (a read view).
    Query(sqlite3* db, const QString& sql);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    void bind(int index, const QString& value); // 1-based
    void bind(int index, std::int64_t value);
    bool next(); // throws DataError
    void reset();
    int columnCount() const;
    QString columnName(int column) const;
    QString text(int column) const;
    bool isNull(int column) const;
    std::int64_t integer(int column) const;
    // The cell's UTF-8 bytes, valid until the next step.
    const char* utf8(int column, int* length) const;

private:
    struct Server;
    void prepare(const QByteArray& text);
    void execute() const;

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
    std::shared_ptr<Connection::KeptStatements> m_kept; // where m_stmt goes back to; may be null
    QByteArray m_text;
    std::unique_ptr<Server> m_server;
};

// The rows of one statement, kept in memory, with a current row and the record operations of
// the windows: moves, end test, filter, requery, reading and writing cells as text.
class Recordset {
public:
    static constexpr int StateClosed = 0;
    static constexpr int StateOpen = 1;

    Recordset() = default;
    Recordset(std::shared_ptr<Connection> connection, const Statement& statement,
              QStringList parameters); // throws DataError

    int State() const { return m_open ? StateOpen : StateClosed; }
    bool IsEOF() const; // throws DataError when not open
    bool IsBOF() const;
    int RecordCount() const;
    QStringList Columns() const { return m_columns; }

    // Narrows the statement's rows to those matching the criterion; applied by Requery.
    void Filter(const Criterion& criterion);
    void ClearFilter();
    void Requery();

    void MoveFirst();
    void MoveNext();
    void MovePrevious();
    void MoveLast();
    void Move(int index); // from the first row

    QString GetCollect(const QString& column) const;
    void PutCollect(const QString& column, const QString& value);
    // A row added before any row was read becomes the recordset's only row.
    void AddNew();
    void Update();
    void Delete();
    void Close();

private:
    struct Row {
        std::int64_t rowid;
        QStringList cells; // null cells are absent from `present`
        QList<bool> present;
    };

    void requireOpen() const;
    void requireCurrent() const;
    int columnIndex(const QString& column) const;
    void load();
    void fetch() const;

    std::shared_ptr<Connection> m_connection;
    Statement m_statement{nullptr, nullptr, nullptr, nullptr};
    QStringList m_parameters;
    std::vector<Criterion> m_filter;
    QStringList m_columns;
    mutable std::unique_ptr<Query> m_pending; // rows not read yet
    mutable std::vector<Row> m_rows;
    int m_position = 0; // -1: before the first row; size(): past the last
    bool m_open = false;
    bool m_adding = false;
    bool m_deleted = false;
    std::vector<std::pair<int, QString>> m_edits;
};

using RecordsetPtr = std::shared_ptr<Recordset>;

// The short-lived connection object every data operation makes for itself: it opens the
// database, one statement at a time, and reports failures to connect or to open a statement
// through the message interface itself, then returns normally.
class CAdoConn {
public:
    // `dialogs` may be null (tools): failures are then not shown. `path` is the database
    // file, by default the one in the current directory.
    explicit CAdoConn(Dialogs* dialogs = nullptr, QString path = Schema::DatabaseLocation());
    virtual ~CAdoConn();

    void OpenConnection();
    // Always returns a recordset; one that failed to open raises DataError on use.
    RecordsetPtr OpenRecordset(const Statement& statement, const QStringList& parameters = {});
    void CloseRecordset();
    void CloseConnection(); // throws DataError when no connection is open

    bool isConnected() const { return m_connection && m_connection->isOpen(); }
    // The open connection; throws DataError when there is none (its failure was shown).
    Connection& require() const;
    std::shared_ptr<Connection> connection() const { return m_connection; }

private:
    void report(const QString& description);

    Dialogs* m_dialogs;
    QString m_path;
    std::shared_ptr<Connection> m_connection;
    RecordsetPtr m_recordset;
};

// A window's one read connection: opened when first asked for, kept for the window's lifetime
// so that its page cache stays warm, and opened again once the file under it was replaced (a
// restore) or closed.
class HeldConnection {
public:
    explicit HeldConnection(Dialogs* dialogs = nullptr, QString path = Schema::DatabaseLocation());

    // Null when the file can't be opened; the failure was shown as CAdoConn shows it.
    std::shared_ptr<Connection> get();
    // As get(), but throws DataError where that gives null.
    std::shared_ptr<Connection> require();

private:
    Dialogs* m_dialogs;
    QString m_path;
    std::shared_ptr<Connection> m_connection;
};

} // namespace velkar
