#include "data/Connection.h"

#include "data/PostgresEngine.h"
#include "data/SessionPool.h"
#include "data/SqliteEngine.h"

namespace velkar {

namespace {
thread_local std::uint64_t t_statements = 0;

[[noreturn]] void raiseNotOpen() {
    throw DataError(DataFailure::NotOpen, QStringLiteral("no open database connection"));
}
} // namespace

std::uint64_t StatementsOnThisThread() {
    return t_statements;
}

DataError::DataError(DataFailure failure, const QString& description)
    : std::runtime_error(description.toStdString()), m_failure(failure),
      m_description(description) {}

Engine EngineOf(const QString& location) {
    return location.startsWith(QLatin1String("postgresql://")) ||
                   location.startsWith(QLatin1String("postgres://"))
               ? Engine::Postgres
               : Engine::Sqlite;
}

Connection::Connection(const QString& location, Open open, int busyTimeoutMs)
    : m_engine(EngineOf(location)) {
    if (m_engine == Engine::Postgres)
        m_session = std::make_unique<PostgresSession>(location, busyTimeoutMs);
    else
        m_session = std::make_unique<SqliteSession>(
            location, static_cast<SqliteSession::Open>(open), busyTimeoutMs);
}

Connection::Connection(sqlite3* borrowed) : m_session(std::make_unique<SqliteSession>(borrowed)) {}

Connection::~Connection() = default;

sqlite3* Connection::handle() const {
    return m_engine == Engine::Sqlite && m_session
               ? static_cast<const SqliteSession&>(*m_session).handle()
               : nullptr;
}

pg_conn* Connection::server() const {
    return m_engine == Engine::Postgres && m_session
               ? static_cast<PostgresSession&>(*m_session).server()
               : nullptr;
}

EngineSession& Connection::session() const {
    if (!isOpen())
        raiseNotOpen();
    return *m_session;
}

void Connection::close() {
    if (m_session)
        m_session->close();
}

bool Connection::moved() const {
    return m_session && m_session->moved();
}

bool Connection::inTransaction() const {
    return m_session && m_session->inTransaction();
}

void Connection::run(const QString& script) const {
    ++t_statements;
    session().run(script.toUtf8());
}

void Connection::CloseIdleSessions() {
    SessionPool::CloseAll();
}

Transaction::Transaction(const Connection& connection, Kind kind) : m_connection(connection) {
    ++t_statements;
    connection.session().begin(kind != Read, kind == WriteWithFirst);
}

Transaction::~Transaction() {
    if (m_open && m_connection.isOpen())
        m_connection.m_session->rollback();
}

void Transaction::commit() {
    m_connection.session().commit();
    m_open = false;
}

void Transaction::commitThen(Query& then) {
    ++t_statements;
    m_connection.session().commitThen(*then.m_statement);
    m_open = false;
}

bool Transaction::commitAfter(Query& last, Query& then) {
    ++t_statements;
    if (!m_connection.session().commitAfter(*last.m_statement, *then.m_statement))
        return false;
    m_open = false;
    return true;
}

Query::Query(const Connection& connection, const QString& sql) {
    ++t_statements;
    m_statement = connection.session().prepare(sql.toUtf8());
}

Query::Query(const Connection& connection, const Dialects& sql)
    : Query(connection, QString::fromUtf8(connection.engine() == Engine::Postgres ? sql.postgres
                                                                                  : sql.sqlite)) {}

Query::Query(sqlite3* db, const QString& sql) {
    ++t_statements;
    m_statement = PrepareOn(db, sql.toUtf8());
}

Query::~Query() = default;

QString Query::text(int column) const {
    int length = 0;
    const char* bytes = utf8(column, &length);
    return QString::fromUtf8(bytes, length);
}

} // namespace velkar
