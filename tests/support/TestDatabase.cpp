#include "TestDatabase.h"

#include "data/AdoConn.h"
#include "data/Schema.h"

#include <QDir>

#include <stdexcept>

TestDatabase::TestDatabase() : m_previous(QDir::currentPath()) {
    qputenv("XDG_RUNTIME_DIR", m_dir.path().toUtf8());
    // Seven hashes a database at the program's cost would make every test slow.
    const QString problem = Schema::CreateDatabase(path(), PasswordHash::CheapestCost);
    if (!problem.isEmpty())
        throw std::runtime_error(problem.toStdString());
    QDir::setCurrent(m_dir.path());
}

TestDatabase::~TestDatabase() {
    QDir::setCurrent(m_previous);
}

QString TestDatabase::path() const {
    return m_dir.filePath(Schema::DatabaseFileName);
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
    Query query(connection, QStringLiteral("INSERT INTO userecord VALUES (?, ?, ?, ?, ?, ?)"));
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
    Query query(connection, QStringLiteral("INSERT INTO employees VALUES (?, ?, ?)"));
    query.bind(1, cardNo);
    query.bind(2, stamp);
    query.bind(3, amount);
    query.next();
}
