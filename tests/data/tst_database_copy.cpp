#include "data/AdoConn.h"
#include "data/DatabaseCopy.h"
#include "data/Schema.h"
#include "support/TestDatabase.h"

#include <QCryptographicHash>
#include <QFile>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {

QByteArray digest(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

QString countIn(const QString& path, const char* table) {
    Connection c(path);
    Query q(c, QStringLiteral("SELECT count(*) FROM %1").arg(table));
    q.next();
    return q.text(0);
}

} // namespace

class TestDatabaseCopy : public QObject {
    Q_OBJECT

private slots:
    void secondBackupReplacesTheFirst() {
        TestDatabase db;
        QTemporaryDir folder;
        db.addRecord("A", "2024-01-01 10:00:00", "100");
        QCOMPARE(DatabaseCopy::Backup(db.path(), folder.path()), QString());
        db.addRecord("A", "2024-01-01 11:00:00", "50");
        QCOMPARE(DatabaseCopy::Backup(db.path(), folder.path()), QString());
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"DataBase.mdb"});
        QCOMPARE(countIn(DatabaseCopy::BackupTarget(folder.path()), "employees"), QString("2"));
    }

    void backupIntoAMissingFolderFails() {
        TestDatabase db;
        QVERIFY(!DatabaseCopy::Backup(db.path(), db.folder() + "/nowhere").isEmpty());
        QVERIFY(!DatabaseCopy::Backup(db.path(), QString()).isEmpty());
        // Not onto itself either.
        QVERIFY(!DatabaseCopy::Backup(db.path(), db.folder()).isEmpty());
        QCOMPARE(Schema::CheckDatabase(db.path()), QString());
    }

    void backupWhileBookingsAreWrittenIsWhole() {
        TestDatabase db;
        QTemporaryDir folder;
        std::atomic<bool> stop{false};
        std::atomic<int> written{0};
        std::thread writer([&] {
            Connection c(db.path());
            while (!stop) {
                Query q(c, "INSERT INTO employees VALUES ('0000000A', '2024-01-01 10:00:00', ?)");
                q.bind(1, QStringLiteral("00100"));
                q.next();
                ++written;
            }
        });
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(DatabaseCopy::Backup(db.path(), folder.path()), QString());
            QCOMPARE(Schema::CheckDatabase(DatabaseCopy::BackupTarget(folder.path())), QString());
        }
        stop = true;
        writer.join();
        QVERIFY(written > 0);
    }

    void restoreRefusesWhatIsNoVelkarDatabase_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("text file") << "text";
        QTest::newRow("truncated database") << "truncated";
        QTest::newRow("without employees") << "noemployees";
        QTest::newRow("missing file") << "missing";
    }

    void restoreRefusesWhatIsNoVelkarDatabase() {
        QFETCH(QString, kind);
        TestDatabase db;
        db.addRecord("A", "2024-01-01 10:00:00", "100");
        QTemporaryDir other;
        const QString chosen = other.filePath("DataBase.mdb");
        if (kind == "text") {
            QFile f(chosen);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("not a database\n");
        } else if (kind != "missing") {
            QCOMPARE(Schema::CreateDatabase(chosen), QString());
            Connection c(chosen);
            if (kind == "noemployees") {
                Query(c, "DROP TABLE employees").next();
            } else {
                for (int i = 0; i < 500; ++i) {
                    Query q(c, "INSERT INTO userecord VALUES (?, ?, 'n', 'i', 'p', 'a')");
                    q.bind(1, QString::number(i));
                    q.bind(2, QString::number(i));
                    q.next();
                }
                c.close();
                QFile f(chosen);
                QVERIFY(f.resize(f.size() / 2));
            }
        }
        const QByteArray before = digest(db.path());
        QVERIFY(!DatabaseCopy::Restore(chosen, db.path()).isEmpty());
        QCOMPARE(digest(db.path()), before);
        QVERIFY(!QFile::exists(db.path() + ".bak"));
    }

    void restoreReplacesAndKeepsTheOldBeside() {
        TestDatabase db;
        db.addRecord("OLD", "2024-01-01 10:00:00", "100");
        QTemporaryDir other;
        const QString chosen = other.filePath("DataBase.mdb");
        QCOMPARE(Schema::CreateDatabase(chosen), QString());
        {
            Connection c(chosen);
            Query(c, "INSERT INTO employees VALUES ('NEW', '2024-02-02 10:00:00', 5)").next();
            Query(c, "INSERT INTO employees VALUES ('NEW', '2024-02-02 11:00:00', 6)").next();
        }
        // A connection the desk holds open sees the restored data afterwards.
        Connection open(db.path());
        QCOMPARE(DatabaseCopy::Restore(chosen, db.path()), QString());
        Query q(open, "SELECT group_concat(卡号) FROM employees");
        q.next();
        QCOMPARE(q.text(0), QString("NEW,NEW"));
        QCOMPARE(countIn(db.path() + ".bak", "employees"), QString("1"));
    }
};

QTEST_GUILESS_MAIN(TestDatabaseCopy)
#include "tst_database_copy.moc"
