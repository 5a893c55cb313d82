#include "base/Clock.h"
#include "data/AdoConn.h"
#include "data/Cardholder.h"
#include "data/PostgresEngine.h"
#include "support/FakeDialogs.h"
#include "support/TestDatabase.h"

#include <QFile>
#include <QtTest>

#include <memory>

using namespace velkar;

class TestDataStore : public QObject {
    Q_OBJECT

private slots:
    void accountsComeInListOrder() {
        TestDatabase db;
        CAdoConn conn;
        conn.OpenConnection();
        RecordsetPtr rs = conn.OpenRecordset(Statements::Accounts);
        QStringList names;
        for (; !rs->IsEOF(); rs->MoveNext())
            names << rs->GetCollect("用户名");
        QCOMPARE(names.size(), 7);
        QCOMPARE(names.first(), QStringLiteral("管理员"));
        QCOMPARE(names.last(), QStringLiteral("操作员6"));
    }

    void amountsWrittenAsTextReadBackPlain() {
        TestDatabase db;
        CAdoConn conn;
        conn.OpenConnection();
        for (const char* amount : {"00100", "-00123"}) {
            Query book(conn.require(), QString::fromUtf8(Statements::BookRecord));
            book.bind(1, QStringLiteral("0000000A"));
            book.bind(2, QStringLiteral("2024-01-31 12:00:00"));
            book.bind(3, QString::fromLatin1(amount));
            QVERIFY(book.next());
        }
        RecordsetPtr fresh = conn.OpenRecordset(Statements::Records);
        fresh->Filter({"卡号", "0000000A"});
        fresh->Requery();
        QCOMPARE(fresh->GetCollect("金额"), QStringLiteral("100"));
        fresh->MoveNext();
        QCOMPARE(fresh->GetCollect("金额"), QStringLiteral("-123"));
        fresh->MoveNext();
        QVERIFY(fresh->IsEOF());
    }

    void malformedAmountIsRefused() {
        TestDatabase db;
        const Connection connection(db.path());
        for (const char* amount : {"", "12a"}) {
            Query book(connection, QString::fromUtf8(Statements::BookRecord));
            book.bind(1, QStringLiteral("0000000A"));
            book.bind(2, QStringLiteral("2024-01-31 12:00:00"));
            book.bind(3, QString::fromLatin1(amount));
            QVERIFY_THROWS_EXCEPTION(DataError, book.next());
        }
        QCOMPARE(db.scalar("SELECT count(*) FROM employees"), QStringLiteral("0"));
    }

    void dateRangeHoldsWholeDays() {
        TestDatabase db;
        db.addRecord("A", "2024-01-30 23:59:59", "1");
        db.addRecord("A", "2024-01-31 00:00:00", "2");
        db.addRecord("A", "2024-01-31 23:59:59", "3");
        db.addRecord("A", "2024-02-01 00:00:00", "4");
        CAdoConn conn;
        conn.OpenConnection();
        const QDate day(2024, 1, 31);
        RecordsetPtr rs =
            conn.OpenRecordset(Statements::RecordsBetween, {DayStartText(day), DayEndText(day)});
        QStringList amounts;
        for (; !rs->IsEOF(); rs->MoveNext())
            amounts << rs->GetCollect("金额");
        QCOMPARE(amounts, (QStringList{"2", "3"}));
    }

    // The archive's typed writes: a row with quotes and "null" texts, a taken 卡号, and changes
    // of rows that are not there.
    void cardholderWritesByCardNo() {
        TestDatabase db;
        const Connection connection(db.path());
        const Cardholder holder{"7", "1234ABCD", "O'Brien", "null", "555", "null"};
        AddCardholder(connection, holder);
        CAdoConn conn;
        conn.OpenConnection();
        RecordsetPtr found = conn.OpenRecordset(Statements::Cardholders);
        found->Filter({"姓名", "O'Brien"});
        found->Requery();
        QVERIFY(!found->IsEOF());
        QCOMPARE(found->GetCollect("身份证"), QStringLiteral("null"));
        QCOMPARE(found->GetCollect("地址"), QStringLiteral("null"));

        // A second row with the same card number is refused as a constraint, and nothing is added.
        try {
            AddCardholder(connection, holder);
            QFAIL("a second row with the same 卡号 was stored");
        } catch (const DataError& e) {
            QCOMPARE(e.failure(), DataFailure::Constraint);
        }
        QCOMPARE(db.scalar("SELECT count(*) FROM userecord"), QStringLiteral("1"));

        Cardholder renamed = holder;
        renamed.cardNo = QStringLiteral("1234ABCE");
        renamed.name = QStringLiteral("Bert");
        QVERIFY(!ChangeCardholder(connection, "FFFFFFFF", renamed));
        QVERIFY(ChangeCardholder(connection, "1234ABCD", renamed));
        QCOMPARE(db.scalar("SELECT 卡号 || '/' || 姓名 FROM userecord"),
                 QStringLiteral("1234ABCE/Bert"));
        QVERIFY(!ReadCardholder(connection, "1234ABCD"));
        QVERIFY(!DeleteCardholder(connection, "1234ABCD"));
        QVERIFY(DeleteCardholder(connection, "1234ABCE"));
        QCOMPARE(db.scalar("SELECT count(*) FROM userecord"), QStringLiteral("0"));
    }

    // What callers decide by: a lock held past the wait and a store that takes no writes, on
    // either engine, each failing as itself.
    void failuresSayWhatWentWrong() {
        TestDatabase db;
        const Connection holder(db.path());
        Transaction held(holder, Transaction::Write);
        const Connection waiting(db.path(), 50);
        try {
            Transaction write(waiting, Transaction::Write);
            QFAIL("a second write transaction was given while the first held the lock");
        } catch (const DataError& e) {
            QCOMPARE(e.failure(), DataFailure::Busy);
        }
        held.commit();

        const bool server = holder.engine() == Engine::Postgres;
        waiting.run(server ? "SET default_transaction_read_only = on" : "PRAGMA query_only = 1");
        try {
            AddCardholder(waiting, {"1", "00000001", "甲", "id", "tel", "addr"});
            QFAIL("a store that takes no writes took a row");
        } catch (const DataError& e) {
            QCOMPARE(e.failure(), DataFailure::ReadOnly);
        }
        QCOMPARE(db.scalar("SELECT count(*) FROM userecord"), QStringLiteral("0"));
    }

    void serverStatesNameTheirFailure() {
        QCOMPARE(ServerFailure("23505", false), DataFailure::Constraint);
        QCOMPARE(ServerFailure("23514", false), DataFailure::Constraint);
        QCOMPARE(ServerFailure("53100", false), DataFailure::Full);
        QCOMPARE(ServerFailure("55P03", false), DataFailure::Busy);
        QCOMPARE(ServerFailure("25006", false), DataFailure::ReadOnly);
        QCOMPARE(ServerFailure("08006", false), DataFailure::ServerGone);
        QCOMPARE(ServerFailure("57P01", false), DataFailure::ServerGone);
        QCOMPARE(ServerFailure("42601", false), DataFailure::Other);
        QCOMPARE(ServerFailure(nullptr, true), DataFailure::ServerGone);
        QCOMPARE(ServerFailure("", false), DataFailure::Other);
    }

    void filterNamesOnlyTheStatementsColumns() {
        TestDatabase db;
        CAdoConn conn;
        conn.OpenConnection();
        RecordsetPtr rs = conn.OpenRecordset(Statements::Cardholders);
        QVERIFY_THROWS_EXCEPTION(DataError, rs->Filter({"卡号 = '' OR 1=1 --", "x"}));
    }

    void rowOrderAndMoves() {
        TestDatabase db;
        for (const char* card : {"3", "1", "2", "10"})
            db.addCardholder("s", card, "n");
        CAdoConn conn;
        conn.OpenConnection();
        RecordsetPtr asc = conn.OpenRecordset(Statements::Cardholders);
        asc->Move(1);
        QCOMPARE(asc->GetCollect("卡号"), QStringLiteral("10"));
        asc->Move(4);
        QVERIFY(asc->IsEOF());
        QVERIFY_THROWS_EXCEPTION(DataError, asc->GetCollect("卡号"));

        // Walking the descending order backwards visits ascending order.
        RecordsetPtr desc = conn.OpenRecordset(Statements::CardholdersDescending);
        desc->MoveLast();
        QStringList walked;
        while (!desc->IsBOF()) {
            walked << desc->GetCollect("卡号");
            desc->MovePrevious();
        }
        QCOMPARE(walked, (QStringList{"1", "10", "2", "3"}));
    }

    void missingDatabaseIsReportedAndRaises() {
        FILE_DATABASE_ONLY();
        TestDatabase db;
        QFile::remove(db.path());
        FakeDialogs dialogs;
        CAdoConn conn(&dialogs);
        conn.OpenConnection();
        RecordsetPtr rs = conn.OpenRecordset(Statements::Accounts);
        // The connection's description, then the statement's; the caller's guard follows.
        QCOMPARE(dialogs.shown().size(), 2);
        QVERIFY(!dialogs.shown()[0].text.isEmpty());
        QCOMPARE(dialogs.shown()[0].icon, Dialogs::Icon::Exclamation);
        QCOMPARE(dialogs.shown()[0].caption, QStringLiteral("Velkar"));
        QVERIFY_THROWS_EXCEPTION(DataError, rs->IsEOF());
        conn.CloseRecordset(); // a recordset that failed to open closes quietly
        QVERIFY_THROWS_EXCEPTION(DataError, conn.CloseConnection());
        QVERIFY(!QFile::exists(db.path())); // opening never creates the file

        // A window asks the data layer for the connection: it raises, the failure shown once.
        try {
            conn.require();
            QFAIL("a missing file gave a connection");
        } catch (const DataError& e) {
            QCOMPARE(e.failure(), DataFailure::NotOpen);
        }
        HeldConnection held(&dialogs);
        QVERIFY_THROWS_EXCEPTION(DataError, held.require());
        QCOMPARE(dialogs.shown().size(), 3);
    }

    void fileThatIsNoDatabaseFailsToConnect() {
        FILE_DATABASE_ONLY();
        TestDatabase db;
        QFile file(db.path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(4096, 'x'));
        file.close();
        FakeDialogs dialogs;
        CAdoConn conn(&dialogs);
        conn.OpenConnection();
        QVERIFY(!conn.isConnected());
        QCOMPARE(dialogs.texts().size(), 1);
    }

    void eachWayOfOpeningAFile() {
        FILE_DATABASE_ONLY();
        TestDatabase db;
        const QString junk = db.folder() + "/junk.mdb";
        QFile file(junk);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
        file.close();
        QVERIFY_THROWS_EXCEPTION(DataError, Connection{junk});
        // Unread: a copy's target is overwritten whatever it held.
        QVERIFY(Connection(junk, Connection::Open::Unread, 0).isOpen());

        const QString fresh = db.folder() + "/fresh.mdb";
        QVERIFY_THROWS_EXCEPTION(DataError, Connection(fresh, Connection::Open::Unread, 0));
        QVERIFY(!QFile::exists(fresh));
        QVERIFY(Connection(fresh, Connection::Open::Create, 0).isOpen());
        QVERIFY(QFile::exists(fresh));

        // In memory, whatever the location names.
        const Connection memory(db.path(), Connection::Open::Memory, 0);
        memory.run("CREATE TABLE t (x)");
        QCOMPARE(db.scalar("SELECT count(*) FROM sqlite_master WHERE name = 't'"),
                 QStringLiteral("0"));
    }

    // Statements are kept for the next run of the same text: nested runs, a changed table and
    // a query that outlives its connection must all still work.
    void keptStatementsStaySound() {
        FILE_DATABASE_ONLY();
        TestDatabase db;
        auto connection = std::make_unique<Connection>(db.path(), Connection::Open::Memory, 0);
        connection->run("CREATE TABLE t (x)");
        const QString insert = QStringLiteral("INSERT INTO t VALUES (?)");
        const QString count = QStringLiteral("SELECT count(*), sum(x) FROM t");
        for (int i = 1; i <= 3; ++i) {
            Query q(*connection, insert);
            q.bind(1, std::int64_t(i));
            q.next();
        }
        {
            Query outer(*connection, count);
            QVERIFY(outer.next());
            Query inner(*connection, count); // same text while the first is mid-read
            QVERIFY(inner.next());
            QCOMPARE(inner.integer(1), 6);
            QCOMPARE(outer.integer(0), 3);
        }
        {
            Query unbound(*connection, insert); // no value left over from the last run
            unbound.next();
            Query nulls(*connection, QStringLiteral("SELECT count(*) FROM t WHERE x IS NULL"));
            QVERIFY(nulls.next());
            QCOMPARE(nulls.integer(0), 1);
        }
        connection->run("ALTER TABLE t ADD COLUMN y DEFAULT 7");
        connection->run("PRAGMA query_only = 0"); // expires every kept statement
        {
            Query again(*connection, QStringLiteral("SELECT * FROM t"));
            QVERIFY(again.next());
            QCOMPARE(again.columnCount(), 2);
        }
        auto late = std::make_unique<Query>(*connection, count);
        connection.reset(); // the query is finalised on its own, after the file closed
        late.reset();
    }

    void cardholderFoundByCardNoAsTheRecordsetReadsIt() {
        TestDatabase db;
        db.addCardholder("7", "1234ABCD", "O'Brien", "110", "555", "Main St");
        db.addCardholder("8", "1234ABCE", "Li");
        CAdoConn conn;
        conn.OpenConnection();
        RecordsetPtr rs = conn.OpenRecordset(Statements::CardholderByCardNo, {"1234ABCD"});
        QCOMPARE(rs->RecordCount(), 1);
        const QStringList& c = Schema::CardholderColumns;
        const Cardholder read{rs->GetCollect(c[0]), rs->GetCollect(c[1]), rs->GetCollect(c[2]),
                              rs->GetCollect(c[3]), rs->GetCollect(c[4]), rs->GetCollect(c[5])};
        const CardholderLookup found = FindCardholder(conn.require(), "1234ABCD");
        QVERIFY(found.ok);
        QCOMPARE(found.state, HolderExisting);
        const QStringList want{"7", "1234ABCD", "O'Brien", "110", "555", "Main St"};
        for (const Cardholder& c : {read, found.holder})
            QCOMPARE((QStringList{c.cardSerial, c.cardNo, c.name, c.idNumber, c.phone, c.address}),
                     want);

        const CardholderLookup missing = FindCardholder(conn.require(), "1234ABC");
        QVERIFY(missing.ok);
        QCOMPARE(missing.state, HolderNew);
        QCOMPARE(missing.holder.cardNo, QStringLiteral("1234ABC"));
        QVERIFY(missing.holder.name.isEmpty());
    }

    void secondConnectionReplacesTheFirst() {
        TestDatabase db;
        CAdoConn conn;
        conn.OpenConnection();
        RecordsetPtr first = conn.OpenRecordset(Statements::Accounts);
        conn.OpenConnection();
        RecordsetPtr second = conn.OpenRecordset(Statements::Accounts);
        conn.CloseConnection();
        // The first connection lives on for the recordset opened on it.
        first->Requery();
        QCOMPARE(first->RecordCount(), 7);
        QVERIFY_THROWS_EXCEPTION(DataError, second->Requery());
    }
};

QTEST_GUILESS_MAIN(TestDataStore)
#include "tst_datastore.moc"
