#include "data/AdoConn.h"

#include "base/Dialogs.h"
#include "base/PrivateFile.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace velkar {

namespace {
thread_local std::uint64_t t_statements = 0;
} // namespace

std::uint64_t StatementsOnThisThread() {
    return t_statements;
}

namespace {

constexpr int ErrorNotOpen = -1;
constexpr int ErrorNoCurrentRow = -2;
constexpr int ErrorUnknownColumn = -3;
constexpr int ErrorNullCell = -4;

QString quoted(const QString& name) {
    QString q = name;
    q.replace('"', "\"\"");
    return '"' + q + '"';
}

// A recordset's columns, named, so that the key a server table keeps as a column is not read
// twice.
QString columnList(const Statement& statement) {
    QStringList names;
    for (const QString& c : Schema::ColumnNames(statement.columns))
        names << quoted(c);
    return names.join(QStringLiteral(", "));
}

[[noreturn]] void raiseNotOpen() {
    throw DataError(ErrorNotOpen, QStringLiteral("no open database connection"));
}

// Server failures carry no SQLite code; the SQLSTATE is in the description.
constexpr int ErrorServer = -5;
// The one lock every write transaction on a server takes, as SQLite's takes its file's.
constexpr const char* ServerWriteLock = "SELECT pg_advisory_xact_lock(5647153)";
constexpr Oid TypeUnknown = 0;
constexpr Oid TypeInt8 = 20;

// Takes `result`.
[[noreturn]] void raiseServer(pg_conn* conn, pg_result* result = nullptr) {
    // The server's own sentence, without its severity and context lines.
    const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    QString why = QString::fromUtf8(primary ? primary : "").trimmed();
    PQclear(result);
    if (why.isEmpty())
        why = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
    if (why.isEmpty())
        why = QStringLiteral("lost the connection to the server");
    throw DataError(ErrorServer, why);
}

void executeServer(pg_conn* conn, const char* sql) {
    pg_result* result = PQexec(conn, sql);
    const ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY) {
        PQclear(result);
        return;
    }
    raiseServer(conn, result);
}

// `?` and `?N` become `$N`, outside quoted text and names.
QByteArray serverPlaceholders(const QByteArray& sql) {
    QByteArray out;
    out.reserve(sql.size() + 16);
    int next = 0;
    char quote = 0;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (quote) {
            if (c == quote)
                quote = 0;
            out += c;
        } else if (c == '\'' || c == '"') {
            quote = c;
            out += c;
        } else if (c == '?') {
            qsizetype j = i + 1;
            while (j < sql.size() && sql[j] >= '0' && sql[j] <= '9')
                ++j;
            out += '$';
            out += j > i + 1 ? sql.mid(i + 1, j - i - 1) : QByteArray::number(++next);
            i = j - 1;
        } else {
            out += c;
        }
    }
    return out;
}

// Opening a server session costs a process on the server and several round trips; a session
// closed in good order waits here for the next connection to the same location, one a location;
// one idle for more than a minute is closed instead. It is used again only after a round trip
// shows it alive and returns it to the state a new one starts in.
class IdleSessions {
public:
    static IdleSessions& instance() {
        static auto* sessions = new IdleSessions; // outlives every connection of the process
        return *sessions;
    }

    pg_conn* take(const QByteArray& key) {
        pg_conn* found = nullptr;
        std::vector<pg_conn*> expired;
        {
            const std::lock_guard lock(m_mutex);
            const auto now = Clock::now();
            for (auto i = m_idle.begin(); i != m_idle.end();) {
                if (now - i->since > MaxIdle) {
                    expired.push_back(i->session);
                    i = m_idle.erase(i);
                } else if (!found && i->key == key) {
                    found = i->session;
                    i = m_idle.erase(i);
                } else {
                    ++i;
                }
            }
        }
        for (pg_conn* session : expired)
            PQfinish(session);
        if (found && !reset(found)) {
            PQfinish(found);
            found = nullptr;
        }
        return found;
    }

    void give(const QByteArray& key, pg_conn* session) {
        if (PQstatus(session) == CONNECTION_OK && PQtransactionStatus(session) == PQTRANS_IDLE) {
            const std::lock_guard lock(m_mutex);
            const bool kept = std::any_of(m_idle.begin(), m_idle.end(),
                                          [&](const Idle& idle) { return idle.key == key; });
            if (!kept) {
                m_idle.push_back({key, session, Clock::now()});
                return;
            }
        }
        PQfinish(session);
    }

    void closeAll() {
        std::vector<Idle> idle;
        {
            const std::lock_guard lock(m_mutex);
            idle.swap(m_idle);
        }
        for (const Idle& i : idle)
            PQfinish(i.session);
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr auto MaxIdle = std::chrono::seconds(60);
    // A live server answers in milliseconds; past this the session is given up for a new one,
    // so that a dead network adds little to the new one's own time-out.
    static constexpr int AnswerWithinMs = 2000;

    struct Idle {
        QByteArray key;
        pg_conn* session;
        Clock::time_point since;
    };

    // Settings, plans and locks of the session's last user go; those it was opened with stay.
    static bool reset(pg_conn* session) {
        // Whatever the server sent meanwhile (its goodbye on a shutdown) is read first.
        if (!PQconsumeInput(session) || PQstatus(session) != CONNECTION_OK ||
            PQtransactionStatus(session) != PQTRANS_IDLE || !PQsendQuery(session, "DISCARD ALL"))
            return false;
        const auto until = Clock::now() + std::chrono::milliseconds(AnswerWithinMs);
        while (PQisBusy(session)) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            pollfd answer{PQsocket(session), POLLIN, 0};
            if (left.count() <= 0 || poll(&answer, 1, int(left.count())) <= 0 ||
                !PQconsumeInput(session))
                return false;
        }
        bool ok = true;
        while (pg_result* result = PQgetResult(session)) {
            ok = ok && PQresultStatus(result) == PGRES_COMMAND_OK;
            PQclear(result);
        }
        return ok && PQstatus(session) == CONNECTION_OK;
    }

    std::mutex m_mutex;
    std::vector<Idle> m_idle;
};

[[noreturn]] void raise(sqlite3* db, int code) {
    throw DataError(code, db ? QString::fromUtf8(sqlite3_errmsg(db))
                             : QString::fromUtf8(sqlite3_errstr(code)));
}

} // namespace

DataError::DataError(int code, const QString& description)
    : std::runtime_error(description.toStdString()), m_code(code), m_description(description) {}

// ---------------------------------------------------------------------------------------------

Engine EngineOf(const QString& location) {
    return location.startsWith(QLatin1String("postgresql://")) ||
                   location.startsWith(QLatin1String("postgres://"))
               ? Engine::Postgres
               : Engine::Sqlite;
}

Connection::Connection(const QString& location, Open open, int busyTimeoutMs) {
    if (EngineOf(location) == Engine::Postgres) {
        // Defaults first: what the location itself says wins. A desk that loses its power or
        // its network in the middle of a write would hold the ledger's write lock until the
        // server noticed: the server asks a silent desk after 10 s, gives up after 30 s more,
        // and ends a transaction left idle for a minute.
        const QByteArray uri = location.toUtf8();
        m_sessionKey = uri + '\n' + QByteArray::number(busyTimeoutMs);
        m_server = IdleSessions::instance().take(m_sessionKey);
        if (m_server)
            return;
        const QByteArray options = "-c lock_timeout=" + QByteArray::number(busyTimeoutMs) +
                                   " -c tcp_keepalives_idle=10 -c tcp_keepalives_interval=10"
                                   " -c tcp_keepalives_count=3"
                                   " -c idle_in_transaction_session_timeout=60000";
        // The desk asks a silent server the same way, so a statement never waits on a dead
        // network for longer than the ledger's retry would.
        const char* const keys[] = {"connect_timeout",
                                    "client_encoding",
                                    "application_name",
                                    "keepalives_idle",
                                    "keepalives_interval",
                                    "keepalives_count",
                                    "tcp_user_timeout",
                                    "options",
                                    "dbname",
                                    nullptr};
        const char* const values[] = {"5",
                                      "UTF8",
                                      "velkar",
                                      "10",
                                      "10",
                                      "3",
                                      "40000",
                                      options.constData(),
                                      uri.constData(),
                                      nullptr};
        m_server = PQconnectdbParams(keys, values, 1);
        if (PQstatus(m_server) != CONNECTION_OK) {
            const QString why = QString::fromUtf8(PQerrorMessage(m_server)).trimmed();
            PQfinish(m_server);
            m_server = nullptr;
            throw DataError(ErrorServer, why);
        }
        return;
    }
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
        throw DataError(rc, why);
    }
    // SQLite makes the file as it opens it, empty until the first write; its journals take
    // the file's mode.
    if (open == Open::Create)
        PrivateFile::Restrict(location);
    sqlite3_busy_timeout(m_db, busyTimeoutMs);
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
        throw DataError(check, why);
    }
}

struct Connection::KeptStatements {
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

Connection::~Connection() {
    close();
}

bool Connection::moved() const {
    if (m_server)
        return PQstatus(m_server) != CONNECTION_OK;
    int moved = 0;
    return m_db &&
           sqlite3_file_control(m_db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK &&
           moved != 0;
}

bool Connection::inTransaction() const {
    if (m_server)
        return PQtransactionStatus(m_server) != PQTRANS_IDLE;
    return m_db && sqlite3_get_autocommit(m_db) == 0;
}

void Connection::run(const QString& script) const {
    ++t_statements;
    const QByteArray text = script.toUtf8();
    if (m_server)
        return executeServer(m_server, text.constData());
    if (!m_db)
        raiseNotOpen();
    char* error = nullptr;
    const int rc = sqlite3_exec(m_db, text.constData(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        const QString why = QString::fromUtf8(error ? error : sqlite3_errmsg(m_db));
        sqlite3_free(error);
        throw DataError(rc, why);
    }
}

void Connection::close() {
    if (m_statements) {
        m_statements->finalizeAll();
        m_statements.reset();
    }
    if (m_db && m_borrowed) {
        m_db = nullptr;
    } else if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    if (m_server) {
        IdleSessions::instance().give(m_sessionKey, m_server);
        m_server = nullptr;
    }
}

void Connection::CloseIdleSessions() {
    IdleSessions::instance().closeAll();
}

// ---------------------------------------------------------------------------------------------

Transaction::Transaction(const Connection& connection, Kind kind) : m_connection(connection) {
    ++t_statements;
    if (connection.engine() == Engine::Postgres) {
        executeServer(connection.server(),
                      kind == Write ? "BEGIN" : "BEGIN ISOLATION LEVEL REPEATABLE READ");
        if (kind == Write) {
            try {
                executeServer(connection.server(), ServerWriteLock);
            } catch (const DataError&) {
                PQclear(PQexec(connection.server(), "ROLLBACK"));
                throw;
            }
        }
        return;
    }
    Query(connection, QLatin1String(kind == Write ? "BEGIN IMMEDIATE" : "BEGIN")).next();
}

Transaction::~Transaction() {
    if (!m_open || !m_connection.isOpen())
        return;
    if (m_connection.engine() == Engine::Postgres)
        PQclear(PQexec(m_connection.server(), "ROLLBACK"));
    else
        sqlite3_exec(m_connection.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
    if (m_connection.engine() == Engine::Postgres) {
        // A server turns the COMMIT of a failed transaction into a rollback without an error.
        if (PQtransactionStatus(m_connection.server()) != PQTRANS_INTRANS)
            raiseServer(m_connection.server());
        executeServer(m_connection.server(), "COMMIT");
    } else {
        Query(m_connection, QStringLiteral("COMMIT")).next();
    }
    m_open = false;
}

// ---------------------------------------------------------------------------------------------

struct Query::Server {
    pg_conn* conn;
    QByteArray sql;
    std::vector<QByteArray> values;
    std::vector<bool> bound;
    std::vector<Oid> types;
    pg_result* result = nullptr;
    int row = -1;

    ~Server() { PQclear(result); }
};

Query::Query(const Connection& connection, const QString& sql) {
    ++t_statements;
    if (!connection.isOpen())
        raiseNotOpen();
    if (connection.engine() == Engine::Postgres) {
        m_server = std::make_unique<Server>();
        m_server->conn = connection.server();
        m_server->sql = serverPlaceholders(sql.toUtf8());
        return;
    }
    m_db = connection.handle();
    auto& kept = connection.m_statements;
    if (!kept)
        kept = std::make_shared<Connection::KeptStatements>();
    m_kept = kept;
    m_text = sql.toUtf8();
    m_stmt = m_kept->take(m_text);
    if (!m_stmt)
        prepare(m_text);
}

Query::Query(sqlite3* db, const QString& sql) : m_db(db) {
    ++t_statements;
    if (!m_db)
        raiseNotOpen();
    prepare(sql.toUtf8());
}

void Query::prepare(const QByteArray& text) {
    const int rc = sqlite3_prepare_v3(m_db, text.constData(), int(text.size()),
                                      m_kept ? SQLITE_PREPARE_PERSISTENT : 0, &m_stmt, nullptr);
    if (rc != SQLITE_OK)
        raise(m_db, rc);
}

Query::Query(const Connection& connection, const Dialects& sql)
    : Query(connection, QString::fromUtf8(connection.engine() == Engine::Postgres ? sql.postgres
                                                                                  : sql.sqlite)) {}

Query::~Query() {
    if (m_stmt && m_kept && m_kept->open) {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        m_kept->idle[m_text].push_back(m_stmt);
        return;
    }
    sqlite3_finalize(m_stmt);
}

void Query::bind(int index, const QString& value) {
    if (m_server) {
        const size_t i = size_t(index - 1);
        if (m_server->values.size() <= i) {
            m_server->values.resize(i + 1);
            m_server->bound.resize(i + 1);
            m_server->types.resize(i + 1, TypeUnknown);
        }
        // Untyped: the server reads the text as the column it meets wants, as SQLite does.
        m_server->values[i] = value.toUtf8();
        m_server->bound[i] = true;
        m_server->types[i] = TypeUnknown;
        return;
    }
    const QByteArray bytes = value.toUtf8();
    const int rc =
        sqlite3_bind_text(m_stmt, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK)
        raise(m_db, rc);
}

void Query::bind(int index, std::int64_t value) {
    if (m_server) {
        bind(index, QString::number(value));
        m_server->types[size_t(index - 1)] = TypeInt8;
        return;
    }
    const int rc = sqlite3_bind_int64(m_stmt, index, value);
    if (rc != SQLITE_OK)
        raise(m_db, rc);
}

void Query::execute() const {
    Server& s = *m_server;
    if (s.result)
        return;
    std::vector<const char*> values;
    for (size_t i = 0; i < s.values.size(); ++i)
        values.push_back(s.bound[i] ? s.values[i].constData() : nullptr);
    // Without parameters a text may hold several statements (the schema's).
    s.result = values.empty() ? PQexec(s.conn, s.sql.constData())
                              : PQexecParams(s.conn, s.sql.constData(), int(values.size()),
                                             s.types.data(), values.data(), nullptr, nullptr, 0);
    const ExecStatusType status = PQresultStatus(s.result);
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK && status != PGRES_EMPTY_QUERY) {
        pg_result* failed = s.result;
        s.result = nullptr;
        raiseServer(s.conn, failed);
    }
}

bool Query::next() {
    if (m_server) {
        execute();
        return ++m_server->row < PQntuples(m_server->result);
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    raise(m_db, rc);
}

void Query::reset() {
    if (m_server) {
        PQclear(m_server->result);
        m_server->result = nullptr;
        m_server->row = -1;
        m_server->values.clear();
        m_server->bound.clear();
        m_server->types.clear();
        return;
    }
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

int Query::columnCount() const {
    if (m_server) {
        execute();
        return PQnfields(m_server->result);
    }
    return sqlite3_column_count(m_stmt);
}

QString Query::columnName(int column) const {
    if (m_server) {
        execute();
        return QString::fromUtf8(PQfname(m_server->result, column));
    }
    return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
}

QString Query::text(int column) const {
    int length = 0;
    const char* bytes = utf8(column, &length);
    return QString::fromUtf8(bytes, length);
}

bool Query::isNull(int column) const {
    if (m_server)
        return PQgetisnull(m_server->result, m_server->row, column) != 0;
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

std::int64_t Query::integer(int column) const {
    if (m_server) {
        const char* value = PQgetvalue(m_server->result, m_server->row, column);
        // Truth values read as SQLite gives them.
        if (value[0] == 't' && value[1] == 0)
            return 1;
        return std::strtoll(value, nullptr, 10);
    }
    return sqlite3_column_int64(m_stmt, column);
}

const char* Query::utf8(int column, int* length) const {
    if (m_server) {
        *length = PQgetlength(m_server->result, m_server->row, column);
        return PQgetvalue(m_server->result, m_server->row, column);
    }
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    *length = sqlite3_column_bytes(m_stmt, column);
    return bytes ? bytes : "";
}

// ---------------------------------------------------------------------------------------------

Recordset::Recordset(std::shared_ptr<Connection> connection, const Statement& statement,
                     QStringList parameters)
    : m_connection(std::move(connection)), m_statement(statement),
      m_parameters(std::move(parameters)) {
    load();
    m_open = true;
}

QString SelectText(const Statement& statement, const std::vector<Criterion>& filter) {
    QStringList conditions;
    if (statement.where)
        conditions << QStringLiteral("(%1)").arg(QString::fromUtf8(statement.where));
    for (const Criterion& c : filter)
        conditions << quoted(c.column) + QStringLiteral(" = ?");
    QString sql = QStringLiteral("SELECT rowid, %1 FROM %2")
                      .arg(columnList(statement), quoted(statement.table));
    if (!conditions.isEmpty())
        sql += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    if (statement.orderBy)
        sql += QStringLiteral(" ORDER BY ") + QString::fromUtf8(statement.orderBy);
    return sql;
}

void Recordset::load() {
    if (!m_connection || !m_connection->isOpen())
        raiseNotOpen();
    const QString sql = SelectText(m_statement, m_filter);

    // Rows are read on first use, so that the usual open, filter, requery reads only the
    // filtered rows, and opening for an append reads none.
    auto query = std::make_unique<Query>(*m_connection, sql);
    int index = 1;
    for (const QString& p : m_parameters)
        query->bind(index++, p);
    for (const Criterion& c : m_filter)
        query->bind(index++, c.value);
    QStringList columns;
    for (int c = 1; c < query->columnCount(); ++c)
        columns << query->columnName(c);
    m_columns = columns;
    m_pending = std::move(query);
    m_rows.clear();
    m_position = 0;
    m_adding = false;
    m_deleted = false;
    m_edits.clear();
}

void Recordset::fetch() const {
    if (!m_pending)
        return;
    std::unique_ptr<Query> query = std::move(m_pending);
    const int count = query->columnCount();
    std::vector<Row> rows;
    while (query->next()) {
        Row row;
        row.rowid = query->integer(0);
        row.cells.reserve(count - 1);
        row.present.reserve(count - 1);
        for (int c = 1; c < count; ++c) {
            const bool present = !query->isNull(c);
            row.present << present;
            row.cells << (present ? query->text(c) : QString());
        }
        rows.push_back(std::move(row));
    }
    m_rows = std::move(rows);
}

void Recordset::requireOpen() const {
    if (!m_open)
        throw DataError(ErrorNotOpen, QStringLiteral("the recordset is not open"));
}

void Recordset::requireCurrent() const {
    requireOpen();
    fetch();
    if (m_deleted || m_position < 0 || m_position >= int(m_rows.size()))
        throw DataError(ErrorNoCurrentRow,
                        QStringLiteral("either BOF or EOF is true, or the current record has "
                                       "been deleted"));
}

int Recordset::columnIndex(const QString& column) const {
    const int i = m_columns.indexOf(column);
    if (i < 0)
        throw DataError(ErrorUnknownColumn,
                        QStringLiteral("item cannot be found in the collection: %1").arg(column));
    return i;
}

bool Recordset::IsEOF() const {
    requireOpen();
    fetch();
    return m_position >= int(m_rows.size());
}

bool Recordset::IsBOF() const {
    requireOpen();
    fetch();
    return m_position < 0 || m_rows.empty();
}

int Recordset::RecordCount() const {
    requireOpen();
    fetch();
    return int(m_rows.size());
}

void Recordset::Filter(const Criterion& criterion) {
    requireOpen();
    columnIndex(criterion.column); // only the statement's own columns can be named
    m_filter.assign(1, criterion);
}

void Recordset::ClearFilter() {
    requireOpen();
    m_filter.clear();
}

void Recordset::Requery() {
    requireOpen();
    load();
}

void Recordset::MoveFirst() {
    requireOpen();
    m_position = 0;
    m_deleted = false;
}

void Recordset::MoveNext() {
    requireOpen();
    fetch();
    if (m_position >= int(m_rows.size()))
        throw DataError(ErrorNoCurrentRow, QStringLiteral("cannot move past the last record"));
    ++m_position;
    m_deleted = false;
}

void Recordset::MovePrevious() {
    requireOpen();
    fetch();
    if (m_position < 0)
        throw DataError(ErrorNoCurrentRow, QStringLiteral("cannot move before the first record"));
    --m_position;
    m_deleted = false;
}

void Recordset::MoveLast() {
    requireOpen();
    fetch();
    if (m_rows.empty())
        throw DataError(ErrorNoCurrentRow, QStringLiteral("the recordset has no records"));
    m_position = int(m_rows.size()) - 1;
    m_deleted = false;
}

void Recordset::Move(int index) {
    requireOpen();
    fetch();
    if (index < 0)
        throw DataError(ErrorNoCurrentRow, QStringLiteral("cannot move before the first record"));
    m_position = std::min(index, int(m_rows.size()));
    m_deleted = false;
}

QString Recordset::GetCollect(const QString& column) const {
    requireCurrent();
    const int c = columnIndex(column);
    for (const auto& [index, value] : m_edits)
        if (index == c)
            return value;
    if (m_adding)
        throw DataError(ErrorNullCell, QStringLiteral("invalid use of null: %1").arg(column));
    const Row& row = m_rows[size_t(m_position)];
    if (!row.present[c])
        throw DataError(ErrorNullCell, QStringLiteral("invalid use of null: %1").arg(column));
    return row.cells[c];
}

void Recordset::PutCollect(const QString& column, const QString& value) {
    if (!m_adding)
        requireCurrent();
    const int c = columnIndex(column);
    for (auto& edit : m_edits)
        if (edit.first == c) {
            edit.second = value;
            return;
        }
    m_edits.emplace_back(c, value);
}

void Recordset::AddNew() {
    requireOpen();
    m_adding = true;
    m_deleted = false;
    m_edits.clear();
}

void Recordset::Update() {
    requireOpen();
    if (m_deleted && !m_adding)
        return;
    if (!m_adding && m_edits.empty())
        return;
    if (!m_adding)
        requireCurrent();
    const QString table = quoted(m_statement.table);
    QStringList names;
    for (const auto& edit : m_edits)
        names << quoted(m_columns[edit.first]);
    QString sql;
    if (m_adding) {
        QStringList marks;
        for (qsizetype i = 0; i < names.size(); ++i)
            marks << QStringLiteral("?");
        sql = names.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table)
                              : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                    .arg(table, names.join(','), marks.join(','));
        sql += QStringLiteral(" RETURNING rowid");
    } else {
        sql = QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?")
                  .arg(table, names.join(QStringLiteral(" = ?, ")));
    }
    Query query(*m_connection, sql);
    int index = 1;
    for (const auto& edit : m_edits)
        query.bind(index++, edit.second);
    if (!m_adding)
        query.bind(index, m_rows[size_t(m_position)].rowid);
    const bool added = query.next();
    const std::int64_t rowid =
        m_adding ? (added ? query.integer(0) : 0) : m_rows[size_t(m_position)].rowid;
    query.reset(); // ends the statement, and with it an insert's own transaction

    // Read the stored row back, so cells show what the store made of the texts (00100 -> 100).
    Query back(
        *m_connection,
        QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?").arg(columnList(m_statement), table));
    back.bind(1, rowid);
    Row row{rowid, {}, {}};
    if (back.next()) {
        for (int c = 0; c < back.columnCount(); ++c) {
            row.present << !back.isNull(c);
            row.cells << back.text(c);
        }
    }
    if (m_adding && m_pending) {
        // Nothing was read yet: the recordset holds just the row it added, so that appending
        // to a large table never reads the table.
        m_pending.reset();
        m_rows.clear();
        m_rows.push_back(std::move(row));
        m_position = 0;
    } else if (m_adding) {
        const auto found = std::find_if(m_rows.begin(), m_rows.end(),
                                        [rowid](const Row& r) { return r.rowid == rowid; });
        if (found == m_rows.end()) {
            m_rows.push_back(std::move(row));
            m_position = int(m_rows.size()) - 1;
        } else {
            m_position = int(found - m_rows.begin());
        }
    } else {
        m_rows[size_t(m_position)] = std::move(row);
    }
    m_adding = false;
    m_edits.clear();
}

void Recordset::Delete() {
    requireCurrent();
    Query query(*m_connection,
                QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(quoted(m_statement.table)));
    query.bind(1, m_rows[size_t(m_position)].rowid);
    query.next();
    m_rows.erase(m_rows.begin() + m_position);
    m_deleted = true;
    m_edits.clear();
}

void Recordset::Close() {
    m_open = false;
    m_pending.reset();
    m_rows.clear();
    m_connection.reset();
}

// ---------------------------------------------------------------------------------------------

CAdoConn::CAdoConn(Dialogs* dialogs, QString path) : m_dialogs(dialogs), m_path(std::move(path)) {}

CAdoConn::~CAdoConn() {
    m_recordset.reset();
    m_connection.reset();
}

void CAdoConn::report(const QString& description) {
    if (m_dialogs)
        m_dialogs->warning(description);
}

void CAdoConn::OpenConnection() {
    m_connection.reset();
    try {
        m_connection = std::make_shared<Connection>(m_path);
    } catch (const DataError& e) {
        report(e.description());
    }
}

RecordsetPtr CAdoConn::OpenRecordset(const Statement& statement, const QStringList& parameters) {
    m_recordset = std::make_shared<Recordset>();
    try {
        if (!m_connection)
            raiseNotOpen();
        m_recordset = std::make_shared<Recordset>(m_connection, statement, parameters);
    } catch (const DataError& e) {
        report(e.description());
    }
    return m_recordset;
}

void CAdoConn::CloseRecordset() {
    if (m_recordset && m_recordset->State() == Recordset::StateOpen)
        m_recordset->Close();
}

Connection& CAdoConn::require() const {
    if (!isConnected())
        raiseNotOpen();
    return *m_connection;
}

void CAdoConn::CloseConnection() {
    if (!m_connection)
        raiseNotOpen();
    m_connection->close();
}

HeldConnection::HeldConnection(Dialogs* dialogs, QString path)
    : m_dialogs(dialogs), m_path(std::move(path)) {}

std::shared_ptr<Connection> HeldConnection::get() {
    if (m_connection && m_connection->isOpen() && !m_connection->moved())
        return m_connection;
    CAdoConn conn(m_dialogs, m_path);
    conn.OpenConnection();
    m_connection = conn.isConnected() ? conn.connection() : nullptr;
    return m_connection;
}

std::shared_ptr<Connection> HeldConnection::require() {
    std::shared_ptr<Connection> connection = get();
    if (!connection)
        raiseNotOpen();
    return connection;
}

} // namespace velkar
