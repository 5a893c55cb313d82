#include "TestDatabase.h"

#include "data/AdoConn.h"
#include "data/Schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QUuid>

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

// The test databases of this process, dropped at its end so the server does not fill up.
struct Dropper {
    QStringList names;
    ~Dropper() {
        try {
            const Connection server(serverUri());
            for (const QString& name : names)
                server.run(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name));
        } catch (const std::exception&) {
        }
    }
};

// The test databases of this process that no TestDatabase holds now. Emptying one takes a
// fraction of the time a new one does.
QStringList& idleServerDatabases() {
    static QStringList idle;
    return idle;
}

// Empties a database an earlier test of this process used, back to what NewServerDatabase
// makes: sessions left behind end, so they hold no locks, and the public schema is as a new
// database has it. False when that fails.
bool emptyServerDatabase(const QString& location) {
    try {
        const Connection db(location);
        db.run(QStringLiteral(R"sql(
SELECT pg_terminate_backend(pid, 10000) FROM pg_stat_activity
    WHERE datname = current_database() AND pid <> pg_backend_pid();
BEGIN;
DROP SCHEMA public CASCADE;
CREATE SCHEMA public AUTHORIZATION pg_database_owner;
GRANT USAGE ON SCHEMA public TO PUBLIC;
COMMENT ON SCHEMA public IS 'standard public schema';
COMMIT;
)sql"));
        // Anything else a test made would not be in a new database.
        Query other(db, QStringLiteral("SELECT count(*) FROM pg_namespace WHERE nspname NOT IN "
                                       "('public', 'test_support', 'information_schema') AND "
                                       "nspname !~ '^pg_'"));
        return other.next() && other.integer(0) == 0;
    } catch (const DataError&) {
        return false;
    }
}

QString takeServerDatabase() {
    QStringList& idle = idleServerDatabases();
    while (!idle.isEmpty()) {
        const QString location = idle.takeLast();
        if (emptyServerDatabase(location))
            return location;
    }
    return TestDatabase::NewServerDatabase();
}

} // namespace

bool TestDatabase::OnServer() {
    return !qEnvironmentVariableIsEmpty("VELKAR_TEST_SERVER");
}

QString TestDatabase::NewServerDatabase(const QString& maintenanceUri) {
    static Dropper dropper;
    const QString uri = maintenanceUri.isEmpty() ? serverUri() : maintenanceUri;
    const QString name = QStringLiteral("t_") + QUuid::createUuid().toString(QUuid::Id128).left(16);
    Connection(uri).run(QStringLiteral("CREATE DATABASE %1").arg(name));
    if (maintenanceUri.isEmpty())
        dropper.names << name;
    QString location = uri;
    location.replace(QStringLiteral("/postgres?"), QStringLiteral("/%1?").arg(name));
    // The tests read lists back with SQLite's group_concat; a schema of its own keeps it out of
    // the program's check of what a Velkar database holds.
    Connection(location).run(QStringLiteral(R"sql(
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
    return location;
}

TestDatabase::TestDatabase() : m_previous(QDir::currentPath()) {
    qputenv("XDG_RUNTIME_DIR", m_dir.path().toUtf8());
    m_location = OnServer() ? takeServerDatabase() : m_dir.filePath(Schema::DatabaseFileName);
    // Seven hashes a database at the program's cost would make every test slow.
    const QString problem = Schema::CreateDatabase(m_location, PasswordHash::CheapestCost);
    if (!problem.isEmpty())
        throw std::runtime_error(problem.toStdString());
    if (OnServer())
        qputenv("VELKAR_DATABASE", m_location.toUtf8());
    QDir::setCurrent(m_dir.path());
}

TestDatabase::~TestDatabase() {
    QDir::setCurrent(m_previous);
    if (OnServer()) {
        qunsetenv("VELKAR_DATABASE");
        idleServerDatabases() << m_location;
    }
}

QString TestDatabase::path() const {
    return m_location;
}

void TestDatabase::exec(const QString& sql) const {
    Connection connection(path());
    Query query(connection, sql);
    while (query.next()) {
    }
}

QString TestDatabase::scalar(const QString& sql) const {
    Connection connection(path());
    Query query(connection, sql);
    return query.next() ? query.text(0) : QString();
}

void TestDatabase::addCardholder(const QString& serial, const QString& cardNo, const QString& name,
                                 const QString& id, const QString& phone,
                                 const QString& address) const {
    Connection connection(path());
    Query query(connection,
                QStringLiteral("INSERT INTO userecord (卡序号, 卡号, 姓名, 身份证, 电话, 地址) "
                               "VALUES (?, ?, ?, ?, ?, ?)"));
    const QStringList values{serial, cardNo, name, id, phone, address};
    for (int i = 0; i < values.size(); ++i)
        query.bind(i + 1, values[i]);
    query.next();
}

void TestDatabase::setPassword(const QString& name, const QString& password) const {
    Connection connection(path());
    Query query(connection, QStringLiteral("UPDATE permission SET 密码 = ? WHERE 用户名 = ?"));
    query.bind(1, PasswordHash::Hash(password, PasswordHash::CheapestCost));
    query.bind(2, name);
    query.next();
}

void TestDatabase::addRecord(const QString& cardNo, const QString& stamp,
                             const QString& amount) const {
    Connection connection(path());
    Query query(connection,
                QStringLiteral("INSERT INTO employees (卡号, 日期, 金额) VALUES (?, ?, ?)"));
    query.bind(1, cardNo);
    query.bind(2, stamp);
    query.bind(3, amount);
    query.next();
}

PrivateServer::PrivateServer() {
    script(QStringLiteral("start"));
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

void PrivateServer::script(const QString& action) const {
    QProcess run;
    run.setProcessChannelMode(QProcess::ForwardedChannels);
    run.start(QStringLiteral(VELKAR_TEST_SERVER_SCRIPT),
              {action, m_dir.filePath(QStringLiteral("uri"))});
    if (!run.waitForFinished(120000) || run.exitStatus() != QProcess::NormalExit ||
        run.exitCode() != 0)
        throw std::runtime_error("test-server " + action.toStdString() + " failed");
}

} // namespace velkar
