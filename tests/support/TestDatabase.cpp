#include "TestDatabase.h"

#include "data/AdoConn.h"
#include "data/Schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUuid>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include <stdexcept>

namespace velkar {

namespace {

QString serverUri() {
    QFile file(qEnvironmentVariable("VELKAR_TEST_SERVER"));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(
            "VELKAR_TEST_SERVER names no readable file; is the test server up?");
    return QString::fromUtf8(file.readAll()).trimmed();
}

QString locationOf(QString uri, const QString& name) {
    return uri.replace(QStringLiteral("/postgres?"), QStringLiteral("/%1?").arg(name));
}

QString nameOf(const QString& location) {
    return location.section(QLatin1Char('?'), 0, 0).section(QLatin1Char('/'), -1);
}

QString newName() {
    return QStringLiteral("t_") + QUuid::createUuid().toString(QUuid::Id128).left(16);
}

int sessionsOn(const Connection& server, const QString& name) {
    Query query(server, QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE datname = ?"));
    query.bind(1, name);
    return query.next() ? int(query.integer(0)) : 0;
}

// A backend goes a moment after its client has closed; a DROP or RENAME that finds it still
// there sleeps a tenth of a second before it looks again.
void waitForSessionsToEnd(const Connection& server, const QString& name) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (sessionsOn(server, name) > 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void createServerDatabase(const QString& maintenanceUri, const QString& name) {
    Connection(maintenanceUri)
        .run(QStringLiteral("CREATE DATABASE %1 STRATEGY FILE_COPY").arg(name));
    // The tests read lists back with SQLite's group_concat; a schema of its own keeps it out of
    // the program's check of what a Velkar database holds.
    Connection(locationOf(maintenanceUri, name))
        .run(QStringLiteral(R"sql(
CREATE SCHEMA test_support;
CREATE FUNCTION test_support.concat_step(acc text, value text, sep text) RETURNS text
    LANGUAGE sql IMMUTABLE AS $$
    SELECT CASE WHEN value IS NULL THEN acc WHEN acc IS NULL THEN value ELSE acc || sep || value END
$$;
CREATE FUNCTION test_support.concat_step(acc text, value text) RETURNS text
    LANGUAGE sql IMMUTABLE AS $$ SELECT test_support.concat_step(acc, value, ',') $$;
CREATE AGGREGATE test_support.group_concat(text, text) (SFUNC = test_support.concat_step, STYPE = text);
CREATE AGGREGATE test_support.group_concat(text) (SFUNC = test_support.concat_step, STYPE = text);
ALTER DATABASE %1 SET search_path = public, test_support;
)sql")
                 .arg(name));
}

// Drops databases on a thread and a server session of its own, so that no test waits for a
// DROP DATABASE; what is left when the process ends is dropped then.
class DropQueue {
public:
    explicit DropQueue(QString uri) : m_uri(std::move(uri)), m_thread([this] { work(); }) {}

    ~DropQueue() {
        {
            const std::lock_guard lock(m_mutex);
            m_names << m_atEnd;
            m_stopping = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    DropQueue(const DropQueue&) = delete;
    DropQueue& operator=(const DropQueue&) = delete;

    void drop(const QString& name) {
        {
            const std::lock_guard lock(m_mutex);
            m_names << name;
        }
        m_changed.notify_all();
    }

    void dropAtEnd(const QString& name) {
        const std::lock_guard lock(m_mutex);
        m_atEnd << name;
    }

private:
    void work() {
        std::unique_ptr<Connection> server;
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_stopping || !m_names.isEmpty(); });
            if (m_names.isEmpty())
                return;
            const QString name = m_names.takeFirst();
            lock.unlock();
            try {
                if (!server || server->moved())
                    server = std::make_unique<Connection>(m_uri);
                Connection::CloseIdleSessions();
                waitForSessionsToEnd(*server, name);
                server->run(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name));
            } catch (const std::exception&) {
                server.reset(); // it goes with the test server at the end of the run
            }
            lock.lock();
        }
    }

    const QString m_uri;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stopping = false;
    QStringList m_names;
    QStringList m_atEnd;
    std::thread m_thread; // last, so it starts on a whole object
};

DropQueue& drops() {
    static DropQueue queue(serverUri());
    return queue;
}

// Which build of the ledger's code made a template: the data library's size and time.
QString dataBuild() {
    const QFileInfo library(QStringLiteral(VELKAR_DATA_LIBRARY));
    return QStringLiteral("%1_%2")
        .arg(library.size())
        .arg(library.lastModified().toMSecsSinceEpoch());
}

// The database every TestDatabase on the shared server is copied from: what
// createServerDatabase makes, then the delivered schema. The first test process of a build makes
// it, under a lock the others wait on, and it lasts as long as the server; a copy takes a
// fraction of the time making one does.
QString deliveredTemplate() {
    static const QString name = [] {
        const QString uri = serverUri();
        const QString name = QStringLiteral("t_delivered_") + dataBuild();
        const Connection server(uri);
        constexpr const char* lockKey = "8675309";
        server.run(QStringLiteral("SELECT pg_advisory_lock(%1)").arg(QLatin1String(lockKey)));
        try {
            Query exists(server,
                         QStringLiteral("SELECT count(*) FROM pg_database WHERE datname = ?"));
            exists.bind(1, name);
            if (!exists.next() || exists.integer(0) == 0) {
                // Made under a name of its own and renamed once whole: a process killed half
                // way leaves no template behind that looks finished.
                const QString draft = newName();
                createServerDatabase(uri, draft);
                const QString problem =
                    Schema::CreateDatabase(locationOf(uri, draft), PasswordHash::CheapestCost);
                if (!problem.isEmpty()) {
                    drops().drop(draft);
                    throw std::runtime_error(problem.toStdString());
                }
                Connection::CloseIdleSessions();
                waitForSessionsToEnd(server, draft);
                server.run(QStringLiteral("ALTER DATABASE %1 RENAME TO %2").arg(draft, name));
            }
        } catch (...) {
            server.run(QStringLiteral("SELECT pg_advisory_unlock(%1)").arg(QLatin1String(lockKey)));
            throw;
        }
        server.run(QStringLiteral("SELECT pg_advisory_unlock(%1)").arg(QLatin1String(lockKey)));
        return name;
    }();
    return name;
}

// Makes the next test's copy on a thread and a server session of its own, so that a test does
// not wait for CREATE DATABASE.
class CopySupply {
public:
    CopySupply(QString uri, QString source)
        : m_uri(std::move(uri)), m_source(std::move(source)), m_thread([this] { work(); }) {}

    ~CopySupply() {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    CopySupply(const CopySupply&) = delete;
    CopySupply& operator=(const CopySupply&) = delete;

    // A copy no test has touched; its URI.
    QString take() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_spare.isEmpty() || m_failure; });
        const QString name = std::exchange(m_spare, {});
        const std::exception_ptr failure = std::exchange(m_failure, nullptr);
        m_wanted = true;
        lock.unlock();
        m_changed.notify_all();
        if (failure)
            std::rethrow_exception(failure);
        return locationOf(m_uri, name);
    }

private:
    void work() {
        std::unique_ptr<Connection> server;
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_stopping || m_wanted; });
            if (m_stopping) {
                if (!m_spare.isEmpty())
                    drops().drop(std::exchange(m_spare, {}));
                return;
            }
            lock.unlock();
            const QString name = newName();
            std::exception_ptr failure;
            bool made = false;
            try {
                if (!server || server->moved())
                    server = std::make_unique<Connection>(m_uri);
                server->run(QStringLiteral("CREATE DATABASE %1 TEMPLATE %2 STRATEGY FILE_COPY")
                                .arg(name, m_source));
                made = true;
                // The search path is the database's own setting, which a copy does not take.
                server->run(
                    QStringLiteral("ALTER DATABASE %1 SET search_path = public, test_support")
                        .arg(name));
            } catch (...) {
                failure = std::current_exception();
                server.reset();
                if (made)
                    drops().drop(name); // made but not set up: of no use to a test
            }
            lock.lock();
            m_spare = failure ? QString() : name;
            m_failure = failure;
            m_wanted = false;
            m_changed.notify_all();
        }
    }

    const QString m_uri;
    const QString m_source;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_wanted = true;
    bool m_stopping = false;
    QString m_spare;
    std::exception_ptr m_failure;
    std::thread m_thread; // last, so it starts on a whole object
};

CopySupply& supply() {
    drops(); // made first, so gone last
    const QString source = deliveredTemplate();
    static CopySupply supply(serverUri(), source);
    return supply;
}

} // namespace

bool TestDatabase::OnServer() {
    return !qEnvironmentVariableIsEmpty("VELKAR_TEST_SERVER");
}

QString TestDatabase::NewServerDatabase(const QString& maintenanceUri) {
    const QString uri = maintenanceUri.isEmpty() ? serverUri() : maintenanceUri;
    const QString name = newName();
    createServerDatabase(uri, name);
    if (maintenanceUri.isEmpty())
        drops().dropAtEnd(name);
    return locationOf(uri, name);
}

TestDatabase::TestDatabase() : m_previous(QDir::currentPath()) {
    qputenv("XDG_RUNTIME_DIR", m_dir.path().toUtf8());
    if (OnServer()) {
        m_location = supply().take();
        qputenv("VELKAR_DATABASE", m_location.toUtf8());
    } else {
        m_location = m_dir.filePath(Schema::DatabaseFileName);
        // Seven hashes a database at the program's cost would make every test slow.
        const QString problem = Schema::CreateDatabase(m_location, PasswordHash::CheapestCost);
        if (!problem.isEmpty())
            throw std::runtime_error(problem.toStdString());
    }
    QDir::setCurrent(m_dir.path());
}

TestDatabase::~TestDatabase() {
    QDir::setCurrent(m_previous);
    if (OnServer()) {
        qunsetenv("VELKAR_DATABASE");
        // Sessions left behind end with it; the idle ones the program keeps are closed first,
        // so that the drop need not end them.
        Connection::CloseIdleSessions();
        drops().drop(nameOf(m_location));
    }
}

QString TestDatabase::path() const {
    return m_location;
}

void TestDatabase::withConnection(const std::function<void(const Connection&)>& work) const {
    if (m_batch) {
        work(*m_batch);
        return;
    }
    const Connection connection(path());
    work(connection);
}

void TestDatabase::exec(const QString& sql) const {
    withConnection([&](const Connection& connection) {
        Query query(connection, sql);
        while (query.next()) {
        }
    });
}

QString TestDatabase::scalar(const QString& sql) const {
    QString value;
    withConnection([&](const Connection& connection) {
        Query query(connection, sql);
        if (query.next())
            value = query.text(0);
    });
    return value;
}

void TestDatabase::addCardholder(const QString& serial, const QString& cardNo, const QString& name,
                                 const QString& id, const QString& phone,
                                 const QString& address) const {
    withConnection([&](const Connection& connection) {
        Query query(connection,
                    QStringLiteral("INSERT INTO userecord (卡序号, 卡号, 姓名, 身份证, 电话, 地址) "
                                   "VALUES (?, ?, ?, ?, ?, ?)"));
        const QStringList values{serial, cardNo, name, id, phone, address};
        for (int i = 0; i < values.size(); ++i)
            query.bind(i + 1, values[i]);
        query.next();
    });
}

void TestDatabase::setPassword(const QString& name, const QString& password) const {
    withConnection([&](const Connection& connection) {
        Query query(connection, QStringLiteral("UPDATE permission SET 密码 = ? WHERE 用户名 = ?"));
        query.bind(1, PasswordHash::Hash(password, PasswordHash::CheapestCost));
        query.bind(2, name);
        query.next();
    });
}

void TestDatabase::addRecord(const QString& cardNo, const QString& stamp,
                             const QString& amount) const {
    withConnection([&](const Connection& connection) {
        Query query(connection,
                    QStringLiteral("INSERT INTO employees (卡号, 日期, 金额) VALUES (?, ?, ?)"));
        query.bind(1, cardNo);
        query.bind(2, stamp);
        query.bind(3, amount);
        query.next();
    });
}

TestDatabase::Batch::Batch(const TestDatabase& db) : m_db(db) {
    if (m_db.m_batch)
        throw std::logic_error("a TestDatabase batch inside another");
    m_db.m_batch = std::make_unique<Connection>(m_db.path());
    m_db.m_batchTransaction = std::make_unique<Transaction>(*m_db.m_batch, Transaction::Write);
}

TestDatabase::Batch::~Batch() {
    try {
        m_db.m_batchTransaction->commit();
    } catch (const DataError& e) {
        qWarning("the batch did not commit: %s", qPrintable(e.description()));
    }
    m_db.m_batchTransaction.reset();
    m_db.m_batch.reset();
}

PrivateServer::PrivateServer() {
    // A copy of the fresh data folder the shared server kept, when there is one: initdb takes
    // most of a second.
    QStringList like;
    if (TestDatabase::OnServer())
        like << QStringLiteral("--like") << qEnvironmentVariable("VELKAR_TEST_SERVER");
    script(QStringLiteral("start"), like);
    QFile file(m_dir.filePath(QStringLiteral("uri")));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("the private test server wrote no URI");
    m_uri = QString::fromUtf8(file.readAll()).trimmed();
}

PrivateServer::~PrivateServer() {
    try {
        script(QStringLiteral("stop"));
    } catch (const std::exception&) {
    }
}

void PrivateServer::pause() const {
    script(QStringLiteral("pause"));
}

void PrivateServer::resume() const {
    script(QStringLiteral("resume"));
}

void PrivateServer::script(const QString& action, const QStringList& options) const {
    QProcess run;
    run.setProcessChannelMode(QProcess::ForwardedChannels);
    run.start(QStringLiteral(VELKAR_TEST_SERVER_SCRIPT),
              QStringList{action, m_dir.filePath(QStringLiteral("uri"))} + options);
    if (!run.waitForFinished(120000) || run.exitStatus() != QProcess::NormalExit ||
        run.exitCode() != 0)
        throw std::runtime_error("test-server " + action.toStdString() + " failed");
}

} // namespace velkar
