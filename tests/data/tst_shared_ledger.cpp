#include "support/FakeDialogs.h"
#include "support/QuickTry.h"
#include "support/TestDatabase.h"

#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/DatabaseCopy.h"
#include "data/Journal.h"
#include "data/Schema.h"
#include "records/CardholderArchive.h"
#include "users/Accounts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <barrier>
#include <cerrno>
#include <optional>
#include <thread>

#include <signal.h>

using namespace velkar;

namespace {

const QString Op1 = QStringLiteral("操作员1");

Journal::Entry command(const QString& card, const QString& desk, int step) {
    Journal::Entry e;
    e.cardNo = card;
    e.operation = Journal::Operation::Recharge;
    e.amount = 1;
    e.balanceBefore = step * 10;
    e.balanceExpected = (step + 1) * 10;
    e.operatorName = Op1;
    e.desk = desk;
    e.sentAt = QStringLiteral("2026-12-07 09:00:00");
    return e;
}

Journal::Resolution booked(const Journal::Entry& e) {
    return {e, Journal::State::Booked, e.balanceExpected, QStringLiteral("2026-12-07 09:00:01"),
            QStringLiteral("00001")};
}

// Runs `work(desk, round)` on two threads, each round released on both at once.
void together(int rounds, const std::function<void(int, int)>& work) {
    std::barrier sync(2);
    const auto run = [&](int desk) {
        for (int round = 0; round < rounds; ++round) {
            sync.arrive_and_wait();
            work(desk, round);
        }
    };
    std::thread a(run, 0), b(run, 1);
    a.join();
    b.join();
}

} // namespace

// Several desks on one server database: what holds for one desk alone holds for them together.
class SharedLedgerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (!TestDatabase::OnServer())
            QSKIP("needs the test server");
    }

    void twoDesksBookAtOnceEachCommandOnce() {
        TestDatabase db;
        const Connection desks[2] = {Connection(db.path()), Connection(db.path())};
        together(50, [&](int desk, int round) {
            Journal::Entry e =
                command(desk ? "0000000B" : "0000000A", QStringLiteral("desk-%1").arg(desk), round);
            e.id = Journal::Add(desks[desk], e);
            Journal::Resolve(desks[desk], {booked(e)});
        });
        QCOMPARE(db.scalar("SELECT count(*) || '/' || sum(金额) FROM employees"),
                 QStringLiteral("100/100"));
        QCOMPARE(db.scalar("SELECT count(DISTINCT record_id) FROM journal WHERE state = 'booked'"),
                 QStringLiteral("100"));
        // Each desk's records in its own order, whatever the other did meanwhile.
        QCOMPARE(db.scalar("SELECT count(*) FROM journal j JOIN employees e ON e.rowid = "
                           "j.record_id WHERE e.卡号 = j.card_no"),
                 QStringLiteral("100"));
        QCOMPARE(AuditChainProblem(db.path()), QString());
    }

    void anEntryResolvedByTwoDesksAtOnceIsBookedOnce() {
        TestDatabase db;
        constexpr int Rounds = 40;
        const Connection desks[2] = {Connection(db.path()), Connection(db.path())};
        std::vector<Journal::Entry> entries;
        for (int i = 0; i < Rounds; ++i) {
            entries.push_back(command("0000000A", "desk-0", i));
            entries.back().id = Journal::Add(desks[0], entries.back());
        }
        std::atomic<int> now{0};
        together(Rounds, [&](int desk, int round) {
            if (Journal::Resolve(desks[desk], {booked(entries[size_t(round)])}).at(0) ==
                Journal::Resolved::Now)
                ++now;
        });
        QCOMPARE(now.load(), Rounds);
        QCOMPARE(db.scalar("SELECT count(*) FROM employees"), QString::number(Rounds));
    }

    void theSameCardNumberAddedAtOnceIsStoredOnce() {
        TestDatabase db;
        std::atomic<int> stored{0}, refused{0};
        together(1, [&](int desk, int) {
            const Connection connection(db.path());
            const ArchiveOutcome outcome =
                CardholderArchive(connection, Op1)
                    .add({"1", "12345678", desk ? "Bert" : "Ann", "id", "tel", "addr"});
            if (outcome.ok())
                ++stored;
            else if (outcome.result == ArchiveOutcome::Duplicate)
                ++refused;
        });
        QCOMPARE(stored.load(), 1);
        QCOMPARE(refused.load(), 1);
        QCOMPARE(db.scalar("SELECT count(*) FROM userecord"), QStringLiteral("1"));
    }

    void passwordsChangedOnOneDeskWhileAnotherLogsIn() {
        TestDatabase db;
        db.setPassword(Op1, QStringLiteral("old"));
        std::atomic<int> failed{0};
        std::atomic<bool> done{false};
        std::thread login([&] {
            while (!done) {
                const LoginOutcome a = CheckLogin(nullptr, Op1, QStringLiteral("old"), db.path());
                const LoginOutcome b = CheckLogin(nullptr, Op1, QStringLiteral("new"), db.path());
                // One of the two passwords is the account's at any moment.
                if (a == LoginOutcome::Failed || b == LoginOutcome::Failed ||
                    (a == LoginOutcome::WrongPassword && b == LoginOutcome::WrongPassword))
                    ++failed;
            }
        });
        const PasswordOutcome changed =
            ChangePassword(nullptr, {}, Op1, QStringLiteral("old"), QStringLiteral("new"),
                           QStringLiteral("new"), db.path());
        done = true;
        login.join();
        QCOMPARE(changed, PasswordOutcome::Changed);
        QCOMPARE(failed.load(), 0);
        QCOMPARE(CheckLogin(nullptr, Op1, QStringLiteral("new"), db.path()), LoginOutcome::Success);

        // Two desks change it from the same old password at once: one of them is too late.
        std::vector<PasswordOutcome> outcomes(2);
        together(1, [&](int desk, int) {
            outcomes[size_t(desk)] =
                ChangePassword(nullptr, {}, Op1, QStringLiteral("new"), QString::number(desk),
                               QString::number(desk), db.path());
        });
        QCOMPARE(int(std::count(outcomes.begin(), outcomes.end(), PasswordOutcome::Changed)), 1);
        QCOMPARE(
            int(std::count(outcomes.begin(), outcomes.end(), PasswordOutcome::WrongOldPassword)),
            1);
    }

    void backupIsAVelkarFileThatImportsIntoAnEmptyServer() {
        TestDatabase db;
        db.addCardholder("1", "0000000A", "Ann");
        db.addRecord("0000000A", "2026-12-06 10:00:00", "100");
        {
            const Connection c(db.path());
            Journal::Entry e = command("0000000A", "desk-0", 0);
            e.id = Journal::Add(c, e);
            Journal::Resolve(c, {booked(e)});
            Audit::Append(c, Op1, QStringLiteral("desk-0"), Audit::Login, {});
        }
        QTemporaryDir stick;
        QCOMPARE(DatabaseCopy::Backup(db.path(), stick.path()), QString());
        const QString file = DatabaseCopy::BackupTarget(stick.path());
        QCOMPARE(Schema::CheckDatabase(file), QString());
        QCOMPARE(AuditChainProblem(file), QString());

        // A server is restored by its administrator, never from a desk.
        QCOMPARE(DatabaseCopy::Restore(file, db.path(), QDateTime::currentDateTime()),
                 DatabaseCopy::ServerRestoreText());
        QVERIFY(!DatabaseCopy::Import(file, db.path()).isEmpty()); // not empty

        const QString server = TestDatabase::NewServerDatabase();
        QCOMPARE(DatabaseCopy::Import(file, server), QString());
        QCOMPARE(Schema::CheckDatabase(server), QString());
        const auto rows = [](const QString& location) {
            const Connection c(location);
            Query q(c, QStringLiteral("SELECT (SELECT count(*) FROM userecord) || '/' || "
                                      "(SELECT count(*) FROM employees) || '/' || "
                                      "(SELECT max(rowid) FROM employees) || '/' || "
                                      "(SELECT count(*) FROM journal) || '/' || "
                                      "(SELECT count(*) FROM audit)"));
            q.next();
            return q.text(0);
        };
        QCOMPARE(rows(server), rows(db.path()));
        QCOMPARE(rows(server), QStringLiteral("1/2/2/1/2"));

        // A file whose trail lost its last entry is refused by the same check.
        {
            const Connection broken(file);
            Query(broken,
                  QStringLiteral("DELETE FROM audit WHERE id = (SELECT max(id) FROM audit)"))
                .next();
        }
        QVERIFY(!AuditChainProblem(file).isEmpty());
        QCOMPARE(DatabaseCopy::Import(file, TestDatabase::NewServerDatabase()),
                 AuditChainProblem(file));
        // Booking goes on after the imported rows.
        const Connection c(server);
        Journal::Entry e = command("0000000A", "desk-0", 1);
        e.id = Journal::Add(c, e);
        QCOMPARE(e.id, 2);
        Journal::Resolve(c, {booked(e)});
        Query newest(c, QStringLiteral("SELECT max(rowid) FROM employees"));
        QVERIFY(newest.next());
        QCOMPARE(newest.integer(0), 3);
    }

    // Lost cards, replacements, corrections, their links and the cash paid out go with the
    // ledger onto a server and back into a file.
    void aCardsLifeTravelsWithTheLedger() {
        FILE_DATABASE_ONLY();
        TestDatabase db;
        Connection(db.path()).run(QStringLiteral(
            "INSERT INTO cards VALUES ('0000000A', 'lost', '2026-12-06 09:00:00', '操作员1', "
            "'丢失', '0000000B', 1234, '2026-12-06 08:00:00', 'desk-0');"
            "INSERT INTO replacements VALUES (3, '0000000A', '0000000B', 1234, 'done', '操作员1', "
            "'desk-0', '2026-12-06 09:01:00', '2026-12-06 09:02:00');"
            "INSERT INTO corrections VALUES (4, 1, '0000000C', 50, 0, 'open', '管理员', 'desk-0', "
            "'2026-12-06 09:03:00', NULL);"
            "INSERT INTO journal_links VALUES (7, 'replacement', 3);"
            "INSERT INTO cash_paid VALUES (5, 'replacement', 3, '0000000B', 4, '操作员1', "
            "'desk-0', '2026-12-06 09:02:00');"));
        const auto life = [](const QString& location) {
            const Connection c(location);
            QStringList all;
            for (const char* sql :
                 {"SELECT card_no || state || replaced_by || last_balance FROM cards",
                  "SELECT id || old_card || new_card || balance || state FROM replacements",
                  "SELECT id || record_id || card_no || amount || state FROM corrections",
                  "SELECT journal_id || kind || ref FROM journal_links",
                  "SELECT id || kind || ref || card_no || amount FROM cash_paid"}) {
                Query q(c, QString::fromUtf8(sql));
                while (q.next())
                    all << q.text(0);
            }
            return all;
        };
        const QStringList before = life(db.path());
        QCOMPARE(before.size(), 5);
        QTemporaryDir stick;
        QCOMPARE(DatabaseCopy::Backup(db.path(), stick.path()), QString());
        const QString server = TestDatabase::NewServerDatabase();
        QCOMPARE(DatabaseCopy::Import(DatabaseCopy::BackupTarget(stick.path()), server), QString());
        QCOMPARE(life(server), before);
        QTemporaryDir back;
        QCOMPARE(DatabaseCopy::Backup(server, back.path()), QString());
        QCOMPARE(life(DatabaseCopy::BackupTarget(back.path())), before);
        // The server hands out the next plan's key after the copied ones.
        const Connection c(server);
        Query next(c, QStringLiteral("INSERT INTO replacements (old_card, new_card, balance, "
                                     "operator, desk, started_at) VALUES ('0000000D', '0000000E', "
                                     "1, 'x', 'y', 'z') RETURNING id"));
        QVERIFY(next.next());
        QCOMPARE(next.integer(0), 4);
    }

    // The migrations that bring a file up to date bring a server database up to date.
    void aServerDatabaseIsUpgradedInPlace() {
        const QString server = TestDatabase::NewServerDatabase();
        QCOMPARE(Schema::CreateDatabase(server, PasswordHash::CheapestCost, 0), QString());
        {
            const Connection c(server);
            c.run(QStringLiteral("INSERT INTO userecord VALUES ('1', '0000000A', 'Ann', 'i', "
                                 "'t', 'a'); INSERT INTO employees VALUES ('0000000A', "
                                 "'2026-12-06 10:00:00', 100)"));
        }
        QString problem;
        QCOMPARE(Schema::FileVersion(server, &problem), 0);
        QCOMPARE(Schema::CheckDatabase(server), QString());
        // A step that fails leaves the database as it was.
        Connection(server).run(QStringLiteral("CREATE TABLE journal (id integer)"));
        QVERIFY(!Schema::Upgrade(server, PasswordHash::CheapestCost).isEmpty());
        QCOMPARE(Schema::FileVersion(server, &problem), 0);
        Connection(server).run(QStringLiteral("DROP TABLE journal"));

        QCOMPARE(Schema::Upgrade(server, PasswordHash::CheapestCost), QString());
        QCOMPARE(Schema::FileVersion(server, &problem), Schema::CurrentVersion);
        QCOMPARE(Schema::CheckDatabase(server), QString());
        QVERIFY(CheckLogin(nullptr, QStringLiteral("管理员"), Schema::DeliveredPassword, server) ==
                LoginOutcome::Success);
        const Connection c(server);
        Query rows(c, QStringLiteral("SELECT (SELECT count(*) FROM userecord) || '/' || "
                                     "(SELECT sum(金额) FROM employees)"));
        QVERIFY(rows.next());
        QCOMPARE(rows.text(0), QStringLiteral("1/100"));

        // A database of a later program is left alone.
        c.run(QStringLiteral("UPDATE velkar_version SET version = 99"));
        QCOMPARE(Schema::Upgrade(server), Schema::TooNewText(99));
        QCOMPARE(Schema::CheckDatabase(server), Schema::TooNewText(99));
    }

    // A session closed in good order serves the next connection to the same place as a new
    // one would: what its last user set is gone, its own lock wait stays, and one the server
    // has ended is not handed out again.
    void closedSessionsServeAgainAsNew() {
        TestDatabase db;
        const auto session = [&](int busyMs, const QString& first = {}) {
            const Connection c(db.path(), busyMs);
            if (!first.isEmpty())
                c.run(first);
            Query q(c, QStringLiteral("SELECT pg_backend_pid(), current_setting('lock_timeout'), "
                                      "current_setting('default_transaction_read_only')"));
            q.next();
            return q.text(0) + '|' + q.text(1) + '|' + q.text(2);
        };
        const QString pid = session(1000, QStringLiteral("SET default_transaction_read_only = on"))
                                .section('|', 0, 0);
        QCOMPARE(session(1000), pid + QStringLiteral("|1s|off"));
        const QString other = session(250);
        QVERIFY2(other.endsWith(QStringLiteral("|250ms|off")) && !other.startsWith(pid + '|'),
                 qPrintable(other));
        {
            // Another place than the kept session's, so as not to be handed that very session.
            const Connection admin(db.path(), 500);
            const auto sessions = [&] {
                Query q(admin,
                        QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE pid = ?"));
                q.bind(1, pid);
                return q.next() ? q.text(0) : QString();
            };
            Query ended(admin, QStringLiteral("SELECT pg_terminate_backend(?)"));
            ended.bind(1, pid);
            QVERIFY(ended.next());
            // False only when a busy machine's desk gave the session up first.
            QVERIFY(ended.text(0) == QLatin1String("t") || sessions() == QLatin1String("0"));
            // Gone from the server, as after its restart: the process too, for it leaves the
            // list of sessions a moment before its socket closes.
            QTRY_COMPARE(sessions(), QStringLiteral("0"));
            QTRY_VERIFY(::kill(pid_t(pid.toLongLong()), 0) != 0 && errno == ESRCH);
        }
        const QString after = session(1000);
        QVERIFY2(after.endsWith(QStringLiteral("|1s|off")) && !after.startsWith(pid + '|'),
                 qPrintable(after));
    }

    // A session whose user only read and wrote rows serves the next connection as it was,
    // without a reset, its statements still prepared; one that changed more is reset first,
    // and what it prepared goes with the rest.
    void aKeptSessionKeepsItsStatementsUntilChanged() {
        TestDatabase db;
        // The backend, the statement below already prepared, a table of the session's own.
        const auto session = [&](const QString& change = {}) {
            const Connection c(db.path(), 1000);
            Query q(c, QStringLiteral("SELECT pg_backend_pid(), (SELECT count(*) FROM "
                                      "pg_prepared_statements WHERE statement = "
                                      "'SELECT $1::int + 1'), to_regclass('pg_temp.kept')"));
            q.next();
            const QString seen = q.text(0) + '|' + q.text(1) + '|' + q.text(2);
            Query add(c, QStringLiteral("SELECT ?::int + 1"));
            add.bind(1, std::int64_t(41));
            add.next();
            if (add.integer(0) != 42)
                return QStringLiteral("wrong sum");
            if (!change.isEmpty())
                Query(c, change).next();
            return seen;
        };
        const QString pid = session().section('|', 0, 0);
        QCOMPARE(session(QStringLiteral("CREATE TEMP TABLE kept (x int)")),
                 QStringLiteral("%1|1|").arg(pid));
        QCOMPARE(session(), QStringLiteral("%1|0|").arg(pid));
        QCOMPARE(session(), QStringLiteral("%1|1|").arg(pid));
    }

    // A write transaction's BEGIN and lock go out with its first statement, and a write nobody
    // reads (an audit entry) with the next statement or the commit: what fails among them
    // fails the transaction where it would have failed alone, and leaves nothing of it.
    void heldBackStatementsFailWhereTheyWouldHave() {
        TestDatabase db;
        const auto entries = [&] {
            return db.scalar(QStringLiteral("SELECT count(*) FROM audit"));
        };
        const QString before = entries();
        const auto failureOf = [](const std::function<void()>& work) {
            try {
                work();
            } catch (const DataError& e) {
                return std::optional<DataFailure>(e.failure());
            }
            return std::optional<DataFailure>();
        };
        const Connection desk(db.path(), 200);
        {
            // Another desk holds the ledger's write lock: the first statement waits, then fails
            // as busy, and the transaction is gone from the session.
            const Connection holder(db.path(), 1000);
            Transaction held(holder, Transaction::Write);
            Query(holder, QStringLiteral("SELECT 1")).next();
            QCOMPARE(failureOf([&] {
                         Transaction t(desk, Transaction::WriteWithFirst);
                         Audit::Add(desk, Op1, QStringLiteral("desk-1"), Audit::Command,
                                    QStringLiteral("waited"));
                         Query(desk, QStringLiteral("SELECT 1")).next();
                     }),
                     DataFailure::Busy);
            QVERIFY(!desk.inTransaction());
        }
        // A held-back entry that breaks a rule fails the commit, and the write before it in the
        // same transaction is rolled back with it.
        QCOMPARE(failureOf([&] {
                     Transaction t(desk, Transaction::Write);
                     Audit::Add(desk, Op1, QStringLiteral("desk-1"), Audit::Command,
                                QStringLiteral("kept back"));
                     Query(desk, QStringLiteral("INSERT INTO journal (id) VALUES (NULL)")).defer();
                     t.commit();
                 }),
                 DataFailure::Constraint);
        QCOMPARE(entries(), before);
        QVERIFY(!desk.inTransaction());
        // Held back, then read back in order, then committed with a read that needs the commit.
        {
            Transaction t(desk, Transaction::Write);
            Audit::Add(desk, Op1, QStringLiteral("desk-1"), Audit::Command, QStringLiteral("one"));
            Query seen(desk, QStringLiteral("SELECT count(*) FROM audit WHERE details = 'one'"));
            QVERIFY(seen.next());
            QCOMPARE(seen.integer(0), 1);
            Audit::Add(desk, Op1, QStringLiteral("desk-1"), Audit::Command, QStringLiteral("two"));
            Query after(desk,
                        QStringLiteral("SELECT count(*) FILTER (WHERE details = 'two'), "
                                       "pg_current_xact_id_if_assigned() IS NULL FROM audit"));
            t.commitThen(after);
            // It sees the entry, run after the commit: outside the writing transaction.
            QVERIFY(after.next());
            QCOMPARE(after.integer(0), 1);
            QCOMPARE(after.integer(1), 1);
        }
        QCOMPARE(entries().toInt(), before.toInt() + 2);
        QVERIFY(!Audit::Verify(desk));
        // A read after the commit that fails leaves the commit in, and tells its failure.
        {
            Transaction t(desk, Transaction::Write);
            Audit::Add(desk, Op1, QStringLiteral("desk-1"), Audit::Command,
                       QStringLiteral("three"));
            Query broken(desk, QStringLiteral("SELECT 1 / (count(*) - count(*)) FROM audit"));
            t.commitThen(broken);
            QCOMPARE(failureOf([&] { broken.next(); }), DataFailure::Other);
        }
        QCOMPARE(entries().toInt(), before.toInt() + 3);
        // Nothing held back goes out when the transaction is dropped; an empty one commits.
        {
            Transaction t(desk, Transaction::WriteWithFirst);
            Audit::Add(desk, Op1, QStringLiteral("desk-1"), Audit::Command,
                       QStringLiteral("dropped"));
        }
        Transaction(desk, Transaction::WriteWithFirst).commit();
        QCOMPARE(entries().toInt(), before.toInt() + 3);
        // The session lost before the commit: the commit fails as a lost server.
        {
            Query backend(desk, QStringLiteral("SELECT pg_backend_pid()"));
            QVERIFY(backend.next());
            const qint64 pid = backend.integer(0);
            Transaction t(desk, Transaction::Write);
            Audit::Add(desk, Op1, QStringLiteral("desk-1"), Audit::Command, QStringLiteral("lost"));
            const Connection admin(db.path(), 1000);
            Query end(admin, QStringLiteral("SELECT pg_terminate_backend(?::int)"));
            end.bind(1, pid);
            QVERIFY(end.next());
            QTRY_VERIFY(::kill(pid_t(pid), 0) != 0 && errno == ESRCH);
            QCOMPARE(failureOf([&] { t.commit(); }), DataFailure::ServerGone);
        }
        QCOMPARE(entries().toInt(), before.toInt() + 3);
    }

    // A server's administrator may install an extension, such as PostgreSQL's own checker
    // amcheck, into the ledger's schema: what it brings is the server's and passes the check,
    // a member table's index included; anything else extra still fails it.
    void objectsOfAnExtensionAreTheServers() {
        const QString empty = TestDatabase::NewServerDatabase();
        Connection(empty).run(QStringLiteral("CREATE EXTENSION amcheck"));
        QCOMPARE(Schema::CreateDatabase(empty, PasswordHash::CheapestCost), QString());
        QCOMPARE(Schema::CheckDatabase(empty), QString());

        TestDatabase db;
        db.exec(QStringLiteral("CREATE EXTENSION amcheck"));
        QCOMPARE(Schema::CheckDatabase(db.path()), QString());
        // Its checker at work on the ledger's own index, as its administrator would run it.
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM pg_extension WHERE extname = "
                                          "'amcheck'")),
                 QStringLiteral("1"));
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM (SELECT bt_index_check(indexrelid) "
                                          "FROM pg_index WHERE indrelid = 'employees'::regclass) "
                                          "AS checked")),
                 db.scalar(QStringLiteral("SELECT count(*) FROM pg_index "
                                          "WHERE indrelid = 'employees'::regclass")));

        db.exec(
            QStringLiteral("CREATE FUNCTION bt_extra() RETURNS int LANGUAGE sql AS 'SELECT 1'"));
        QCOMPARE(Schema::CheckDatabase(db.path()),
                 QStringLiteral("含有本程序不建立的 function bt_extra"));
        db.exec(QStringLiteral("DROP FUNCTION bt_extra()"));

        db.exec(QStringLiteral("CREATE TABLE extra (x int PRIMARY KEY)"));
        QVERIFY(Schema::CheckDatabase(db.path()).startsWith(QStringLiteral("含有本程序不建立的")));
        db.exec(QStringLiteral("ALTER EXTENSION amcheck ADD TABLE extra"));
        QCOMPARE(Schema::CheckDatabase(db.path()), QString());
        db.exec(QStringLiteral("DROP EXTENSION amcheck"));
        QCOMPARE(Schema::CheckDatabase(db.path()), QString());
    }

    void badOrUnreachableServersFailWithTheirReason() {
        for (const QString& location :
             {QStringLiteral("postgresql://velkar@/none?host=/nonexistent-folder"),
              QStringLiteral("postgresql://[broken"),
              QStringLiteral("postgresql://velkar@192.0.2.1:5432/none?connect_timeout=2")}) {
            QElapsedTimer timer;
            timer.start();
            FakeDialogs dialogs;
            CAdoConn conn(&dialogs, location);
            conn.OpenConnection();
            QVERIFY(!conn.isConnected());
            QVERIFY2(!dialogs.lastText().isEmpty(), qPrintable(location));
            QVERIFY2(timer.elapsed() < 8000, qPrintable(location));
        }
    }
};

QTEST_MAIN(SharedLedgerTest)
#include "tst_shared_ledger.moc"
