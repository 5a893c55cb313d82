#include "data/AdoConn.h"
#include "data/DatabaseCopy.h"
#include "data/Journal.h"
#include "data/ReadView.h"
#include "data/Schema.h"
#include "data/Statements.h"
#include "support/TestDatabase.h"
#include "users/Accounts.h"

#include <QCryptographicHash>
#include <QFile>
#include <QtTest>

#include <atomic>
#include <thread>

#include <sqlite3.h>
#include <unistd.h>

using namespace velkar;

namespace {

const QDateTime Noon(QDate(2026, 12, 6), QTime(21, 30, 0));

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
    // A backup never replaces an earlier one: that is kept under the name a restore gives the
    // file it replaces, a second one in the same second under the next.
    void aSecondBackupKeepsTheFirst() {
        TestDatabase db;
        QTemporaryDir folder;
        const QString target = DatabaseCopy::BackupTarget(folder.path());
        QString kept = QStringLiteral("stale");
        db.addRecord("A", "2024-01-01 10:00:00", "100");
        QCOMPARE(DatabaseCopy::Backup(db.path(), folder.path(), {}, Noon, &kept), QString());
        QCOMPARE(kept, QString());
        db.addRecord("A", "2024-01-01 11:00:00", "50");
        QCOMPARE(DatabaseCopy::Backup(db.path(), folder.path(), {}, Noon, &kept), QString());
        QCOMPARE(kept, target + ".2026-12-06_213000.bak");
        QCOMPARE(countIn(target, "employees"), QString("2"));
        QCOMPARE(countIn(kept, "employees"), QString("1"));
        db.addRecord("A", "2024-01-01 12:00:00", "5");
        QCOMPARE(DatabaseCopy::Backup(db.path(), folder.path(), {}, Noon, &kept), QString());
        QCOMPARE(kept, target + ".2026-12-06_213000-2.bak");
        QCOMPARE(countIn(kept, "employees"), QString("2"));
        QCOMPARE(countIn(target, "employees"), QString("3"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"DataBase.mdb", "DataBase.mdb.2026-12-06_213000-2.bak",
                              "DataBase.mdb.2026-12-06_213000.bak"}));
    }

    // A failed backup leaves the earlier one where it was, under its own name.
    void aFailedBackupLeavesTheEarlierOneInPlace() {
        TestDatabase db;
        QTemporaryDir folder;
        const QString target = DatabaseCopy::BackupTarget(folder.path());
        QCOMPARE(DatabaseCopy::Backup(db.path(), folder.path(), {}, Noon), QString());
        const QByteArray before = digest(target);
        db.exec("DROP INDEX employees_date"); // the copy fails its check
        QString kept;
        QVERIFY(!DatabaseCopy::Backup(db.path(), folder.path(), {}, Noon, &kept).isEmpty());
        QCOMPARE(kept, QString());
        QCOMPARE(digest(target), before);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"DataBase.mdb"});
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
            QCOMPARE(Schema::CreateDatabase(chosen, PasswordHash::CheapestCost), QString());
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
        const QStringList files = QDir(db.folder()).entryList(QDir::Files | QDir::Hidden);
        QVERIFY(!DatabaseCopy::Restore(chosen, db.path(), Noon).isEmpty());
        QCOMPARE(digest(db.path()), before);
        QCOMPARE(QDir(db.folder()).entryList(QDir::Files | QDir::Hidden), files);
    }

    // Every restore keeps the file it replaces under a name of its own, even two in one second.
    void restoreKeepsEveryReplacedFile() {
        TestDatabase db;
        db.addRecord("OLD", "2024-01-01 10:00:00", "100");
        QTemporaryDir other;
        const QString first = other.filePath("first.mdb");
        const QString second = other.filePath("second.mdb");
        QCOMPARE(Schema::CreateDatabase(first, PasswordHash::CheapestCost), QString());
        QCOMPARE(Schema::CreateDatabase(second, PasswordHash::CheapestCost), QString());
        {
            Connection c(first);
            Query(c, "INSERT INTO employees VALUES ('FIRST', '2024-02-02 10:00:00', 5)").next();
        }
        // A connection open before the restore learns that the file moved; new ones read the
        // restored data.
        Connection open(db.path());
        QString kept;
        QCOMPARE(DatabaseCopy::Restore(first, db.path(), Noon, {}, &kept), QString());
        QCOMPARE(kept, db.path() + ".2026-12-06_213000.bak");
        int moved = 0;
        sqlite3_file_control(open.handle(), "main", SQLITE_FCNTL_HAS_MOVED, &moved);
        QVERIFY(moved);
        QCOMPARE(countIn(db.path(), "employees"), QString("1"));
        QCOMPARE(db.scalar("SELECT 卡号 FROM employees"), QString("FIRST"));

        QCOMPARE(DatabaseCopy::Restore(second, db.path(), Noon, {}, &kept), QString());
        QCOMPARE(kept, db.path() + ".2026-12-06_213000-2.bak");
        QCOMPARE(countIn(db.path(), "employees"), QString("0"));
        Connection firstKept(db.path() + ".2026-12-06_213000.bak");
        Query q(firstKept, "SELECT 卡号 FROM employees");
        QVERIFY(q.next());
        QCOMPARE(q.text(0), QString("OLD"));
        QCOMPARE(Schema::CheckDatabase(kept), QString());
        QCOMPARE(countIn(kept, "employees"), QString("1"));
        QCOMPARE(QDir(db.folder()).entryList({"*.part*"}, QDir::Files | QDir::Hidden),
                 QStringList());
    }

    // "数据库还原成功！" for a restore that did nothing was a lie; the working file is refused,
    // by whatever name it is reached.
    void restoreRefusesTheWorkingFileItself() {
        TestDatabase db;
        db.addRecord("OLD", "2024-01-01 10:00:00", "100");
        QTemporaryDir other;
        const QString link = other.filePath("link.mdb");
        const QString hard = other.filePath("hard.mdb");
        QVERIFY(QFile::link(db.path(), link));
        QCOMPARE(
            ::link(QFile::encodeName(db.path()).constData(), QFile::encodeName(hard).constData()),
            0);
        const QByteArray before = digest(db.path());
        for (const QString& chosen :
             {db.path(), QString(db.folder() + "/./DataBase.mdb"), link, hard})
            QCOMPARE(DatabaseCopy::Restore(chosen, db.path(), Noon), DatabaseCopy::SameFileText());
        QCOMPARE(digest(db.path()), before);
        QCOMPARE(QDir(db.folder()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"DataBase.mdb"});
    }

    // Before anything is replaced, a restore tells what it gives up: the chosen file's newest
    // record, the working ledger's records and journal rows it lacks (a record held twice
    // counts twice), and the name the working file will be kept under. Let go unanswered, it
    // leaves nothing behind.
    void restoreCountsWhatItGivesUp() {
        TestDatabase db;
        db.addRecord("A", "2024-01-01 10:00:00", "100");
        db.addRecord("A", "2024-01-02 10:00:00", "20");
        const auto journalRow = [&](const QString& card, int amount) {
            Connection c(db.path());
            Journal::Entry e;
            e.cardNo = card;
            e.amount = amount;
            e.balanceExpected = amount * 10;
            e.operatorName = QStringLiteral("操作员1");
            e.desk = QStringLiteral("desk");
            e.sentAt = QStringLiteral("2024-01-03 10:00:00");
            Journal::Add(c, e);
        };
        journalRow("A", 5);
        QTemporaryDir stick;
        QCOMPARE(DatabaseCopy::Backup(db.path(), stick.path()), QString());
        const QString chosen = DatabaseCopy::BackupTarget(stick.path());
        db.addRecord("A", "2024-01-02 10:00:00", "20"); // the same record once more
        db.addRecord("B", "2024-02-01 09:00:00", "30");
        journalRow("B", 30);
        db.exec("UPDATE journal SET state = 'booked' WHERE card_no = 'A'"); // changed, not new
        const QByteArray before = digest(db.path());
        {
            DatabaseCopy::PendingRestore restore(chosen, db.path(), Noon);
            QCOMPARE(restore.prepare(), QString());
            const DatabaseCopy::RestoreCost& cost = restore.cost();
            QCOMPARE(cost.newestRecord, QStringLiteral("2024-01-02 10:00:00"));
            QCOMPARE(cost.uncounted, QString());
            QCOMPARE(cost.recordsLost, 2);
            QCOMPARE(cost.journalLost, 1);
            QCOMPARE(cost.uncounted, QString());
            QCOMPARE(cost.keptName, db.path() + ".2026-12-06_213000.bak");
        }
        QCOMPARE(digest(db.path()), before);
        QCOMPARE(QDir(db.folder()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"DataBase.mdb"});

        DatabaseCopy::PendingRestore restore(chosen, db.path(), Noon);
        QCOMPARE(restore.prepare(), QString());
        QString kept;
        QCOMPARE(restore.replace({}, &kept), QString());
        QCOMPARE(kept, restore.cost().keptName);
        QCOMPARE(countIn(db.path(), "employees"), QString("2"));
        QCOMPARE(digest(kept), before);
    }

    // A file of another desk holds the same records under other rowids: they are found by
    // their content all the same.
    void restoreCountsRecordsByContent() {
        TestDatabase db;
        db.addRecord("A", "2024-01-01 10:00:00", "100");
        db.addRecord("B", "2024-01-02 10:00:00", "20");
        db.addRecord("C", "2024-01-03 10:00:00", "5");
        QTemporaryDir other;
        const QString chosen = other.filePath("other.mdb");
        QCOMPARE(Schema::CreateDatabase(chosen, PasswordHash::CheapestCost), QString());
        {
            Connection c(chosen);
            c.run("INSERT INTO employees VALUES ('B', '2024-01-02 10:00:00', 20); "
                  "INSERT INTO employees VALUES ('A', '2024-01-01 10:00:00', 100); "
                  "INSERT INTO employees VALUES ('A', '2024-01-01 10:00:00', 100)");
        }
        DatabaseCopy::PendingRestore restore(chosen, db.path(), Noon);
        QCOMPARE(restore.prepare(), QString());
        QCOMPARE(restore.cost().recordsLost, 1); // C
        QCOMPARE(restore.cost().newestRecord, QStringLiteral("2024-01-02 10:00:00"));
    }

    // The count reads both tables in rowid order, each row looked up by its rowid on the
    // other side: read through an index for its grouping, a large file took seconds longer.
    void restoreCountReadsTheTablesInRowidOrder() {
        TestDatabase db;
        QTemporaryDir other;
        const QString chosen = other.filePath("other.mdb");
        QCOMPARE(Schema::CreateDatabase(chosen, PasswordHash::CheapestCost), QString());
        Connection c(chosen);
        Query attach(c, QString::fromUtf8(Statements::AttachWorking));
        attach.bind(1, db.path());
        attach.next();
        QStringList steps;
        {
            Query plan(c, QStringLiteral("EXPLAIN QUERY PLAN ") +
                              QString::fromUtf8(Statements::RecordsOnlyInWorking));
            while (plan.next())
                steps << plan.text(3);
        }
        QCOMPARE(steps.filter(QRegularExpression("^SCAN e$")).size(), 2);
        QVERIFY2(steps.filter(QRegularExpression("^SCAN e USING")).isEmpty(),
                 qPrintable(steps.join('\n')));
    }

    // A working file too damaged to count in is just the one to restore over: the count is
    // said to be unknown, and the restore goes on.
    void restoreOverADamagedWorkingFileCountsNothing() {
        TestDatabase db;
        QTemporaryDir stick;
        QCOMPARE(DatabaseCopy::Backup(db.path(), stick.path()), QString());
        db.exec("ALTER TABLE journal RENAME TO kept");
        DatabaseCopy::PendingRestore restore(DatabaseCopy::BackupTarget(stick.path()), db.path(),
                                             Noon);
        QCOMPARE(restore.prepare(), QString());
        QCOMPARE(restore.cost().recordsLost, -1);
        QVERIFY(restore.cost().uncounted.contains("journal"));
        QCOMPARE(restore.cost().newestRecord, QString());
        QCOMPARE(restore.replace(), QString());
        QCOMPARE(Schema::CheckDatabase(db.path()), QString());
    }

    // A file from before passwords were hashed comes back hashed, each password still its own.
    void restoredOlderFileIsUpgraded() {
        TestDatabase db;
        QTemporaryDir other;
        const QString chosen = other.filePath("DataBase.mdb");
        QCOMPARE(Schema::CreateDatabase(chosen, PasswordHash::CheapestCost, 1), QString());
        {
            Connection c(chosen);
            Query(c, "UPDATE permission SET 密码 = 'Secret' WHERE 用户名 = '管理员'").next();
        }
        DatabaseCopy::Options options;
        options.passwordCost = PasswordHash::CheapestCost;
        QCOMPARE(DatabaseCopy::Restore(chosen, db.path(), Noon, options), QString());
        QCOMPARE(db.scalar("PRAGMA user_version").toInt(), Schema::CurrentVersion);
        QCOMPARE(db.scalar("SELECT count(*) FROM permission WHERE 密码 LIKE '$argon2id$%'"),
                 QString("7"));
        QCOMPARE(CheckLogin(nullptr, "管理员", "Secret"), LoginOutcome::Success);
        QCOMPARE(CheckLogin(nullptr, "管理员", "secret"), LoginOutcome::WrongPassword);
        QCOMPARE(CheckLogin(nullptr, "操作员1", "604817"), LoginOutcome::Success);
        // The chosen file itself is left as it was.
        QCOMPARE(countIn(chosen, "permission WHERE 密码 = 'Secret'"), QString("1"));
    }

    // Another program holds the file: the copy gives up after the time-out with its reason,
    // and leaves nothing half-written.
    void lockedFilesTimeOut() {
        TestDatabase db;
        QTemporaryDir folder;
        QTemporaryDir other;
        const QString chosen = other.filePath("DataBase.mdb");
        QCOMPARE(Schema::CreateDatabase(chosen, PasswordHash::CheapestCost), QString());
        DatabaseCopy::Options options;
        options.lockTimeoutMs = 100;
        const QByteArray before = digest(db.path());
        {
            Connection locker(db.path());
            Query(locker, "BEGIN EXCLUSIVE").next();
            Query(locker, "INSERT INTO employees VALUES ('L', '2024-01-01 10:00:00', 1)").next();
            QElapsedTimer waited;
            waited.start();
            QCOMPARE(DatabaseCopy::Backup(db.path(), folder.path(), options), LockedText(100));
            QVERIFY(waited.elapsed() >= 100);
            QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
            // Restoring over a locked working file: refused before anything is replaced.
            QCOMPARE(DatabaseCopy::Restore(chosen, db.path(), Noon, options), LockedText(100));
            Query(locker, "ROLLBACK").next();
        }
        QCOMPARE(digest(db.path()), before);
        QCOMPARE(QDir(db.folder()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"DataBase.mdb"});
        {
            Connection locker(chosen);
            Query(locker, "BEGIN EXCLUSIVE").next();
            Query(locker, "DELETE FROM employees").next();
            QCOMPARE(DatabaseCopy::Restore(chosen, db.path(), Noon, options), LockedText(100));
        }
        QCOMPARE(digest(db.path()), before);
        QVERIFY(LockedText(10000).contains("10 秒"));
    }

    void copiesReportTheirProgress() {
        TestDatabase db;
        {
            const TestDatabase::Batch batch(db);
            for (int i = 0; i < 400; ++i)
                db.addRecord(QString::number(i), "2024-01-01 10:00:00", "100");
        }
        QTemporaryDir folder;
        DatabaseCopy::Options options;
        options.pagesPerStep = 2;
        QList<std::pair<int, int>> steps;
        options.progress = [&](int done, int total) { steps.append({done, total}); };
        QCOMPARE(DatabaseCopy::Backup(db.path(), folder.path(), options), QString());
        QVERIFY(steps.size() > 3);
        QCOMPARE(steps.takeLast(), std::make_pair(0, 0)); // the check
        QCOMPARE(steps.last().first, steps.last().second);
        for (qsizetype i = 1; i < steps.size(); ++i)
            QVERIFY(steps[i].first > steps[i - 1].first);
    }
};

QTEST_GUILESS_MAIN(TestDatabaseCopy)
#include "tst_database_copy.moc"
