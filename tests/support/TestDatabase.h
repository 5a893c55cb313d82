#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace velkar {

class Connection;
class Transaction;

// A fresh delivered database in a temporary folder that is the current directory while the
// object lives, as the program expects its DataBase.mdb. When VELKAR_TEST_SERVER names the file
// holding a test server's URI, the database is instead a new one on that server (a copy of one
// made once a process), dropped with the object, and the program's VELKAR_DATABASE names it
// while the object lives.
class TestDatabase {
public:
    TestDatabase();
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    // Whether the tests of this run work on a server.
    static bool OnServer();
    // A new, empty database on the test server (or the server `maintenanceUri` names); its
    // URI. One on the shared test server is dropped when the process ends.
    static QString NewServerDatabase(const QString& maintenanceUri = {});

    QString folder() const { return m_dir.path(); }
    QString path() const; // the working DataBase.mdb, or the server database's URI

    // Runs plain SQL against the working database (set-up and inspection only).
    void exec(const QString& sql) const;
    QString scalar(const QString& sql) const;
    void addCardholder(const QString& serial, const QString& cardNo, const QString& name,
                       const QString& id = QStringLiteral("null"),
                       const QString& phone = QStringLiteral("13800000000"),
                       const QString& address = QStringLiteral("null")) const;
    void addRecord(const QString& cardNo, const QString& stamp, const QString& amount) const;
    // Stores the account's password as the program does: hashed, at the cheapest cost.
    void setPassword(const QString& name, const QString& password) const;

    // While one lives, the rows and statements above go into the database in one transaction,
    // committed when it ends: set-up of many rows, without a commit (or a server session) each.
    class Batch {
    public:
        explicit Batch(const TestDatabase& db);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        const TestDatabase& m_db;
    };

private:
    void withConnection(const std::function<void(const Connection&)>& work) const;
    QTemporaryDir m_dir;
    QString m_previous;
    QString m_location;
    mutable std::unique_ptr<Connection> m_batch; // while a Batch lives
    mutable std::unique_ptr<Transaction> m_batchTransaction;
};

// A server of a test's own, for what would disturb the other tests' server (an outage).
class PrivateServer {
public:
    PrivateServer();  // throws when it can't start
    ~PrivateServer(); // stops it and removes its folder
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    QString newDatabase() const { return TestDatabase::NewServerDatabase(m_uri); }
    void pause() const;  // the server stops, its data kept
    void resume() const; // and starts again

private:
    void script(const QString& action, const QStringList& options = {}) const;

    QTemporaryDir m_dir;
    QString m_uri;
};

// For a case about the database file itself (its pages, its journal, its replacement).
#define FILE_DATABASE_ONLY()                                                                       \
    do {                                                                                           \
        if (TestDatabase::OnServer())                                                              \
            QSKIP("about the database file");                                                      \
    } while (false)

} // namespace velkar
