#include "data/PostgresEngine.h"

#include "data/SessionPool.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace velkar {

namespace {

// The one lock every write transaction on a server takes, as SQLite's takes its file's.
constexpr const char* WriteLock = "SELECT pg_advisory_xact_lock(5647153)";
constexpr Oid TypeUnknown = 0;
constexpr Oid TypeInt8 = 20;

// Takes `result`.
[[noreturn]] void raiseServer(pg_conn* conn, pg_result* result = nullptr) {
    // The server's own sentence, without its severity and context lines.
    const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    const DataFailure failure =
        ServerFailure(result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr,
                      PQstatus(conn) != CONNECTION_OK);
    QString why = QString::fromUtf8(primary ? primary : "").trimmed();
    PQclear(result);
    if (why.isEmpty())
        why = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
    if (why.isEmpty())
        why = QStringLiteral("lost the connection to the server");
    throw DataError(failure, why);
}

bool succeeded(pg_result* result) {
    const ExecStatusType status = PQresultStatus(result);
    return status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK || status == PGRES_EMPTY_QUERY;
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

// What a statement's text does, by its first word: plain ones read and write rows and leave
// the session as they found it. Anything else (a setting, a lock held past the transaction, a
// table of the session's own, a schema change) marks the session changed.
bool leavesSessionAlone(const QByteArray& sql) {
    const QByteArray text = sql.trimmed().toLower();
    qsizetype start = 0;
    while (start < text.size() && text[start] == '(')
        ++start;
    bool plain = false;
    for (const char* word : {"select", "insert", "update", "delete", "with", "values"})
        if (text.mid(start).startsWith(word))
            plain = true;
    return plain && !text.contains("set_config") && !text.contains("pg_advisory_lock");
}

// More than one statement: only the simple protocol runs those (the schema's scripts).
bool severalStatements(const QByteArray& sql) {
    char quote = 0;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ';' && !sql.mid(i + 1).trimmed().isEmpty()) {
            return true;
        }
    }
    return false;
}

// A server keeps this many statements prepared a session; beyond them, texts made on the fly.
constexpr std::size_t MostPrepared = 256;

class PostgresStatement : public EngineStatement {
public:
    PostgresStatement(PostgresSession& session, pg_conn* conn, const QByteArray& sql,
                      PostgresSession::Kept* kept)
        : m_session(session), m_conn(conn), m_sql(ServerPlaceholders(sql)), m_kept(kept) {
        m_plain = leavesSessionAlone(m_sql);
        m_simple = severalStatements(m_sql);
    }
    ~PostgresStatement() override {
        PQclear(m_result);
        PQclear(m_failure);
    }
    PostgresStatement(const PostgresStatement&) = delete;
    PostgresStatement& operator=(const PostgresStatement&) = delete;

    void bind(int index, const QString& value) override {
        const size_t i = size_t(index - 1);
        if (m_values.size() <= i) {
            m_values.resize(i + 1);
            m_bound.resize(i + 1);
            m_types.resize(i + 1, TypeUnknown);
        }
        // Untyped: the server reads the text as the column it meets wants, as SQLite does.
        m_values[i] = value.toUtf8();
        m_bound[i] = true;
        m_types[i] = TypeUnknown;
    }

    void bind(int index, std::int64_t value) override {
        bind(index, QString::number(value));
        m_types[size_t(index - 1)] = TypeInt8;
    }

    bool next() override {
        execute();
        return ++m_row < PQntuples(m_result);
    }

    void reset() override {
        PQclear(m_result);
        m_result = nullptr;
        PQclear(std::exchange(m_failure, nullptr));
        m_row = -1;
        m_values.clear();
        m_bound.clear();
        m_types.clear();
    }

    int columnCount() const override {
        execute();
        return PQnfields(m_result);
    }

    QString columnName(int column) const override {
        execute();
        return QString::fromUtf8(PQfname(m_result, column));
    }

    void defer() override {
        if (m_simple)
            execute();
        else
            m_session.defer(call());
    }

    bool isNull(int column) const override { return PQgetisnull(m_result, m_row, column) != 0; }

    std::int64_t integer(int column) const override {
        const char* value = PQgetvalue(m_result, m_row, column);
        // Truth values read as SQLite gives them.
        if (value[0] == 't' && value[1] == 0)
            return 1;
        return std::strtoll(value, nullptr, 10);
    }

    const char* utf8(int column, int* length) const override {
        *length = PQgetlength(m_result, m_row, column);
        return PQgetvalue(m_result, m_row, column);
    }

private:
    // The name the session knows this text and these parameter types by, prepared now when
    // it is new; empty when the statement is sent as text.
    QByteArray preparedName() const {
        if (!m_plain || m_simple || !m_kept)
            return {};
        QByteArray key = m_sql;
        key += '\0';
        key.append(reinterpret_cast<const char*>(m_types.data()),
                   qsizetype(m_types.size() * sizeof(Oid)));
        auto& names = m_kept->prepared->names;
        if (const auto found = names.find(key); found != names.end())
            return found->second;
        if (names.size() >= MostPrepared)
            return {};
        QByteArray name = "velkar_" + QByteArray::number(++m_kept->prepared->made);
        pg_result* made = PQprepare(m_conn, name.constData(), m_sql.constData(),
                                    int(m_types.size()), m_types.data());
        if (PQresultStatus(made) != PGRES_COMMAND_OK)
            raiseServer(m_conn, made);
        PQclear(made);
        names.emplace(std::move(key), name);
        return name;
    }

    // Ready to go out: named now when it is new.
    PostgresSession::Call call() const {
        if (m_kept && !m_plain)
            m_kept->markChanged();
        return {preparedName(), m_sql, m_values, m_bound, m_types};
    }

    // The answer it got after a commit; a failure is raised when it is read. Takes `result`;
    // none: the session was lost on the way.
    void take(pg_result* result) {
        if (result && succeeded(result))
            m_result = result;
        else
            m_failure = result ? result : PQmakeEmptyPGresult(m_conn, PGRES_FATAL_ERROR);
    }

    void execute() const {
        if (m_result)
            return;
        if (m_failure)
            raiseServer(m_conn, std::exchange(m_failure, nullptr));
        if (!m_simple) {
            m_result = m_session.answer(call());
            return;
        }
        // Several statements in one text go as a simple query, which a pipeline can't carry.
        m_session.flush();
        if (m_kept && !m_plain)
            m_kept->markChanged();
        m_result = PQexec(m_conn, m_sql.constData());
        if (!succeeded(m_result))
            raiseServer(m_conn, std::exchange(m_result, nullptr));
    }

    friend class velkar::PostgresSession;

    PostgresSession& m_session;
    pg_conn* m_conn;
    QByteArray m_sql;
    PostgresSession::Kept* m_kept;
    bool m_plain = false;
    bool m_simple = false;
    std::vector<QByteArray> m_values;
    std::vector<bool> m_bound;
    std::vector<Oid> m_types;
    mutable pg_result* m_result = nullptr;
    mutable pg_result* m_failure = nullptr; // answered in a pipeline, raised when read
    int m_row = -1;
};

} // namespace

DataFailure ServerFailure(const char* sqlState, bool sessionLost) {
    if (!sqlState || !*sqlState)
        return sessionLost ? DataFailure::ServerGone : DataFailure::Other;
    const auto is = [sqlState](const char* code) { return std::strcmp(sqlState, code) == 0; };
    const auto inClass = [sqlState](const char* cls) {
        return std::strncmp(sqlState, cls, 2) == 0;
    };
    if (inClass("23"))
        return DataFailure::Constraint;
    if (is("53100"))
        return DataFailure::Full;
    if (is("55P03"))
        return DataFailure::Busy;
    if (is("25006"))
        return DataFailure::ReadOnly;
    if (inClass("08") || is("57P01") || is("57P02") || is("57P03"))
        return DataFailure::ServerGone;
    return sessionLost ? DataFailure::ServerGone : DataFailure::Other;
}

QByteArray ServerPlaceholders(const QByteArray& sql) {
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

PostgresSession::PostgresSession(const QString& location, int busyTimeoutMs) {
    // Defaults first: what the location itself says wins. A desk that loses its power or its
    // network in the middle of a write would hold the ledger's write lock until the server
    // noticed: the server asks a silent desk after 10 s, gives up after 30 s more, and ends a
    // transaction left idle for a minute.
    const QByteArray uri = location.toUtf8();
    m_sessionKey = uri + '\n' + QByteArray::number(busyTimeoutMs);
    m_kept = std::make_unique<Kept>();
    SessionPool::Session kept = SessionPool::Take(m_sessionKey);
    if (kept.conn) {
        m_conn = kept.conn;
        m_kept->prepared = std::move(kept.prepared);
        return;
    }
    m_kept->prepared = std::make_shared<SessionPool::Prepared>();
    const QByteArray options = "-c lock_timeout=" + QByteArray::number(busyTimeoutMs) +
                               " -c tcp_keepalives_idle=10 -c tcp_keepalives_interval=10"
                               " -c tcp_keepalives_count=3"
                               " -c idle_in_transaction_session_timeout=60000";
    // The desk asks a silent server the same way, so a statement never waits on a dead network
    // for longer than the ledger's retry would.
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
    const char* const values[] = {
        "5",    "UTF8", "velkar", "10", "10", "3", "40000", options.constData(), uri.constData(),
        nullptr};
    m_conn = PQconnectdbParams(keys, values, 1);
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const QString why = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
        PQfinish(m_conn);
        m_conn = nullptr;
        throw DataError(DataFailure::ServerGone, why);
    }
}

PostgresSession::~PostgresSession() {
    close();
}

bool PostgresSession::moved() const {
    return m_conn && PQstatus(m_conn) != CONNECTION_OK;
}

bool PostgresSession::inTransaction() const {
    return m_conn && (!m_deferred.empty() || PQtransactionStatus(m_conn) != PQTRANS_IDLE);
}

pg_conn* PostgresSession::server() {
    flush();
    return m_conn;
}

std::vector<const char*> PostgresSession::Call::pointers() const {
    std::vector<const char*> out;
    for (size_t i = 0; i < values.size(); ++i)
        out.push_back(bound[i] ? values[i].constData() : nullptr);
    return out;
}

int PostgresSession::Call::send(pg_conn* conn) const {
    const std::vector<const char*> pointers = this->pointers();
    return !name.isEmpty() ? PQsendQueryPrepared(conn, name.constData(), int(pointers.size()),
                                                 pointers.data(), nullptr, nullptr, 0)
                           : PQsendQueryParams(conn, sql.constData(), int(pointers.size()),
                                               types.data(), pointers.data(), nullptr, nullptr, 0);
}

namespace {

// Sends `calls` as one pipeline and reads their answers, in order: none for those after a lost
// session. Only a lost session stays in pipeline mode, and the pool never takes it back.
std::vector<pg_result*> pipeline(pg_conn* conn,
                                 const std::vector<const PostgresSession::Call*>& calls) {
    std::vector<pg_result*> answers(calls.size(), nullptr);
    if (PQenterPipelineMode(conn) != 1)
        return answers;
    bool sent = true;
    for (const PostgresSession::Call* call : calls)
        sent = sent && call->send(conn) == 1;
    if (sent && PQpipelineSync(conn) == 1) {
        // Each statement's answer ends with a null; the sync's comes last, alone.
        for (pg_result*& answer : answers)
            while (pg_result* r = PQgetResult(conn)) {
                if (!answer)
                    answer = r;
                else
                    PQclear(r);
            }
        while (pg_result* r = PQgetResult(conn)) {
            const bool sync = PQresultStatus(r) == PGRES_PIPELINE_SYNC;
            PQclear(r);
            if (sync)
                break;
        }
    }
    PQexitPipelineMode(conn);
    return answers;
}

} // namespace

std::vector<pg_result*> PostgresSession::together(const std::vector<const Call*>& calls) {
    std::vector<const Call*> all;
    for (const Call& waiting : m_deferred)
        all.push_back(&waiting);
    all.insert(all.end(), calls.begin(), calls.end());
    std::vector<pg_result*> answers = pipeline(m_conn, all);
    const std::size_t waited = m_deferred.size();
    m_deferred.clear();
    // The first failure is the one to tell: what followed it was never run. A transaction
    // left open is rolled back by its owner.
    const auto bad = [](pg_result* answer) { return !answer || !succeeded(answer); };
    const auto waitedEnd = answers.begin() + std::ptrdiff_t(waited);
    if (const auto failed = std::find_if(answers.begin(), waitedEnd, bad); failed != waitedEnd) {
        pg_result* told = std::exchange(*failed, nullptr);
        for (pg_result* answer : answers)
            PQclear(answer);
        raiseServer(m_conn, told);
    }
    std::for_each(answers.begin(), waitedEnd, PQclear);
    answers.erase(answers.begin(), waitedEnd);
    return answers;
}

void PostgresSession::defer(Call call) {
    if (!inTransaction()) {
        PQclear(answer(call));
        return;
    }
    m_deferred.push_back(std::move(call));
}

pg_result* PostgresSession::answer(const Call& call) {
    pg_result* result = nullptr;
    if (m_deferred.empty()) {
        const std::vector<const char*> pointers = call.pointers();
        result = !call.name.isEmpty()
                     ? PQexecPrepared(m_conn, call.name.constData(), int(pointers.size()),
                                      pointers.data(), nullptr, nullptr, 0)
                 : pointers.empty()
                     ? PQexec(m_conn, call.sql.constData())
                     : PQexecParams(m_conn, call.sql.constData(), int(pointers.size()),
                                    call.types.data(), pointers.data(), nullptr, nullptr, 0);
    } else {
        result = together({&call}).front();
    }
    if (!result || !succeeded(result))
        raiseServer(m_conn, result);
    return result;
}

void PostgresSession::flush() {
    if (!m_deferred.empty())
        together({});
}

void PostgresSession::Kept::markChanged() {
    changed = true;
    // What it changes may be what a kept plan was made for (a table's columns). The server
    // keeps the old ones until the session is reset, so their names are not given again.
    auto fresh = std::make_shared<SessionPool::Prepared>();
    fresh->made = prepared->made;
    prepared = std::move(fresh);
}

void PostgresSession::run(const QByteArray& script) {
    flush();
    m_kept->markChanged();
    executeServer(m_conn, script.constData());
}

std::unique_ptr<EngineStatement> PostgresSession::prepare(const QByteArray& sql) {
    return std::make_unique<PostgresStatement>(*this, m_conn, sql, m_kept.get());
}

namespace {
PostgresSession::Call plainCall(const char* sql) {
    return {{}, sql, {}, {}, {}};
}
} // namespace

void PostgresSession::begin(bool write, bool withFirst) {
    if (!write) {
        executeServer(m_conn, "BEGIN ISOLATION LEVEL REPEATABLE READ");
        return;
    }
    m_deferred.push_back(plainCall("BEGIN"));
    m_deferred.push_back(plainCall(WriteLock));
    if (withFirst)
        return;
    try {
        flush();
    } catch (const DataError&) {
        rollback();
        throw;
    }
}

void PostgresSession::commit() {
    // A server turns the COMMIT of a failed transaction into a rollback without an error. A
    // statement that waits fails in a failed one, and the commit after it is not run.
    if (m_deferred.empty() && PQtransactionStatus(m_conn) != PQTRANS_INTRANS)
        raiseServer(m_conn);
    PQclear(answer(plainCall("COMMIT")));
}

void PostgresSession::commitThen(EngineStatement& then) {
    if (static_cast<PostgresStatement&>(then).m_simple) {
        commit();
        return;
    }
    commitAround(nullptr, then);
}

bool PostgresSession::commitAfter(EngineStatement& last, EngineStatement& then) {
    if (static_cast<PostgresStatement&>(last).m_simple ||
        static_cast<PostgresStatement&>(then).m_simple)
        return false;
    commitAround(&last, then);
    return true;
}

void PostgresSession::commitAround(EngineStatement* last, EngineStatement& then) {
    if (m_deferred.empty() && PQtransactionStatus(m_conn) != PQTRANS_INTRANS)
        raiseServer(m_conn);
    std::vector<PostgresStatement*> answered;
    if (last)
        answered.push_back(static_cast<PostgresStatement*>(last));
    const std::size_t commitAt = answered.size();
    answered.push_back(nullptr);
    answered.push_back(static_cast<PostgresStatement*>(&then));
    std::vector<Call> calls;
    for (PostgresStatement* statement : answered)
        calls.push_back(statement ? statement->call() : plainCall("COMMIT"));
    std::vector<const Call*> sent;
    for (const Call& call : calls)
        sent.push_back(&call);
    std::vector<pg_result*> answers = together(sent);
    // Up to the commit, the first failure is raised and what followed it was never run.
    for (std::size_t i = 0; i <= commitAt; ++i)
        if (!answers[i] || !succeeded(answers[i])) {
            pg_result* told = std::exchange(answers[i], nullptr);
            std::for_each(answers.begin(), answers.end(), PQclear);
            raiseServer(m_conn, told);
        }
    for (std::size_t i = 0; i < answers.size(); ++i)
        if (answered[i])
            answered[i]->take(answers[i]);
        else
            PQclear(answers[i]);
}

void PostgresSession::rollback() noexcept {
    // What still waits never went out: when the BEGIN is among it, the server has nothing.
    m_deferred.clear();
    if (m_conn && PQtransactionStatus(m_conn) != PQTRANS_IDLE)
        PQclear(PQexec(m_conn, "ROLLBACK"));
}

void PostgresSession::close() {
    m_deferred.clear();
    if (m_conn)
        SessionPool::Give(m_sessionKey, {m_conn, m_kept->prepared, m_kept->changed});
    m_conn = nullptr;
}

} // namespace velkar
