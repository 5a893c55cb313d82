#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/CardRecords.h"
#include "data/DatabaseCopy.h"
#include "data/Journal.h"
#include "data/RecordDays.h"
#include "data/Schema.h"
#include "support/TestDatabase.h"

#include <QRandomGenerator>
#include <QTest>

#include <optional>

using namespace velkar;

namespace {

constexpr PasswordHash::Cost Cheap = PasswordHash::CheapestCost;

qint64 newestOf(const Connection& db) {
    Query q(db, QString::fromUtf8(Statements::NewestRecord));
    q.next();
    return q.integer(0);
}

// The first columns of the range's rows as one statement reads them, every row at once.
QList<QStringList> readAtOnce(const Connection& db, const QString& start, const QString& end) {
    Query q(db, QString::fromUtf8(Statements::RecordsBetweenWithNames));
    q.bind(1, start);
    q.bind(2, end);
    QList<QStringList> rows;
    while (q.next())
        rows.append({q.text(0), q.text(1), q.text(2), q.text(3)});
    return rows;
}

QStringList rowOf(const TextRows& rows, qsizetype r) {
    return {rows.text(r, 0), rows.text(r, 1), rows.text(r, 2), rows.text(r, 3)};
}

// The kept sums and rows of a range against those counted and read from every record, the
// rows visited out of order so that blocks are found by the days' counts as well as in turn.
void compareRange(const std::shared_ptr<Connection>& db, const QString& start, const QString& end) {
    const QString range = start + QStringLiteral(" .. ") + end;
    const Transaction read(*db, Transaction::Read);
    const qint64 newest = newestOf(*db);
    const RecordDays::Range kept = RecordDays::Read(db, start, end, newest);
    const RecordDays::Sums counted = RecordDays::Recount(*db, start, end, newest);
    QVERIFY2(kept.sums == counted, qPrintable(range));
    const QList<QStringList> expected = readAtOnce(*db, start, end);
    QCOMPARE(kept.rows->count(), expected.size());
    QCOMPARE(kept.sums.count, expected.size());
    QList<qsizetype> order;
    for (qsizetype r = expected.size() - 1; r >= 0; r -= 37)
        order << r;
    for (qsizetype r = 0; r < expected.size(); ++r)
        order << r;
    for (qsizetype r : order)
        QVERIFY2(rowOf(*kept.rows, r) == expected[r],
                 qPrintable(range + QStringLiteral(" row %1").arg(r)));
    QCOMPARE(kept.rows->text(expected.size(), 0), QString());
}

QString disagreement(const TestDatabase& db) {
    const Connection connection(db.path());
    return RecordDays::Disagreement(connection);
}

// Every card's kept count and total against its records read one by one and added up by the
// desk's own rule. Returns the cards compared.
int compareCards(const Connection& db) {
    QStringList cards;
    {
        Query q(db, QStringLiteral("SELECT DISTINCT 卡号 FROM employees ORDER BY 1"));
        while (q.next())
            cards << q.text(0);
    }
    for (const QString& card : cards) {
        const CardRecordList records = ReadCardRecords(db, card);
        Query kept(db, Statements::CardRecordsTotal);
        kept.bind(1, card);
        kept.next();
        if (kept.integer(0) != records.rows.size() || kept.integer(1) != records.total) {
            qWarning(
                "card %s: kept %lld/%lld, records %lld/%lld", qPrintable(card),
                static_cast<long long>(kept.integer(0)), static_cast<long long>(kept.integer(1)),
                static_cast<long long>(records.rows.size()), static_cast<long long>(records.total));
            return -1;
        }
    }
    return int(cards.size());
}

QString stamp(int day, int second) {
    return QDateTime(QDate(2024, 3, 1).addDays(day), QTime(0, 0).addSecs(second))
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

class RecordDaysTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> db;

    // Three busy days across block edges, the days' first and last seconds, and 日期 texts that
    // belong to no day: each of those is a span of its own, inside or outside a range.
    void addYear() {
        const TestDatabase::Batch batch(*db);
        db->addCardholder(QStringLiteral("1"), QStringLiteral("A1"), QStringLiteral("张三"));
        QRandomGenerator random(7);
        for (int day = 0; day < 3; ++day)
            for (int i = 0; i < 150; ++i)
                db->addRecord(i % 2 ? QStringLiteral("A1") : QStringLiteral("B2"),
                              stamp(day, i == 0     ? 0
                                         : i == 149 ? 86399
                                                    : random.bounded(86400)),
                              QString::number(random.bounded(-120, 400)));
        for (const char* odd : {"2024-03-02", "2024-03-02 24:00:00", "2024-03-02T10:00:00",
                                "2024-03-02 12:00:00.5", "早", "", "2024-3-2 10:00:00"})
            db->addRecord(QStringLiteral("A1"), QString::fromUtf8(odd), QStringLiteral("3"));
        for (const char* amount : {"99999", "100000", "-9999", "-10000", "0"})
            db->addRecord(QStringLiteral("A1"), stamp(1, 43200), QString::fromLatin1(amount));
    }

private slots:
    void init() { db = std::make_unique<TestDatabase>(); }
    void cleanup() { db.reset(); }

    void keptSumsAndRowsEqualThoseOfEveryRecord() {
        addYear();
        QCOMPARE(disagreement(*db), QString());
        const auto connection = std::make_shared<Connection>(db->path());
        const QString ranges[][2] = {
            {stamp(0, 0), stamp(2, 86399)},     // all three days
            {stamp(1, 0), stamp(1, 86399)},     // one day, both edges
            {stamp(0, 43200), stamp(2, 3600)},  // cut inside two days
            {stamp(1, 43200), stamp(1, 43200)}, // one second
            {QStringLiteral("2024-03-02"), QStringLiteral("2024-03-02 24:00:00")}, // odd bounds
            {QString(), QStringLiteral("\U0010FFFF")},                             // every text
            {stamp(2, 0), stamp(0, 86399)}, // backwards: nothing
            {stamp(5, 0), stamp(6, 86399)}, // no records
        };
        for (const auto& range : ranges)
            compareRange(connection, range[0], range[1]);
    }

    // Deletes, corrections of a record's day or amount, and statements over many rows at once.
    void changesKeepTheDays() {
        addYear();
        db->exec(QStringLiteral("DELETE FROM employees WHERE 日期 LIKE '2024-03-01%'"));
        db->exec(
            QStringLiteral("UPDATE employees SET 日期 = '%1' WHERE 卡号 = 'B2' AND 日期 > '%2'")
                .arg(stamp(4, 60), stamp(2, 43200)));
        db->exec(QStringLiteral("UPDATE employees SET 金额 = 金额 * 3 WHERE 卡号 = 'A1'"));
        db->exec(QStringLiteral("UPDATE employees SET 卡号 = 'C3' WHERE 卡号 = 'B2'"));
        db->exec(QStringLiteral("DELETE FROM employees WHERE 日期 = '早'"));
        QCOMPARE(disagreement(*db), QString());
        {
            const Connection connection(db->path());
            QCOMPARE(CardTotalsDisagreement(connection), QString());
            QCOMPARE(compareCards(connection), 2);
            // A card whose records all went to another leaves nothing kept behind.
            QCOMPARE(db->scalar(QStringLiteral("SELECT count(*) FROM card_totals WHERE 卡号 = "
                                               "'B2' OR count <= 0")),
                     QStringLiteral("0"));
        }
        // A day whose records are all gone leaves no span behind.
        QCOMPARE(db->scalar(QStringLiteral("SELECT count(*) FROM record_days WHERE lo LIKE "
                                           "'2024-03-01%' OR lo = '早' OR count <= 0")),
                 QStringLiteral("0"));
        const auto connection = std::make_shared<Connection>(db->path());
        compareRange(connection, stamp(0, 0), stamp(4, 86399));
        db->exec(QStringLiteral("DELETE FROM employees"));
        QCOMPARE(db->scalar(QStringLiteral("SELECT count(*) FROM record_days")),
                 QStringLiteral("0"));
        QCOMPARE(db->scalar(QStringLiteral("SELECT count(*) FROM card_totals")),
                 QStringLiteral("0"));
    }

    // The desk's booking path writes its records with the days' counts, in its transaction.
    void bookingsCountInTheirDay() {
        const Connection connection(db->path());
        for (int n = 0; n < 3; ++n) {
            Journal::Entry e;
            e.cardNo = QStringLiteral("0000000A");
            e.operation = n == 2 ? Journal::Operation::Clear : Journal::Operation::Recharge;
            e.amount = 100 + n;
            e.balanceBefore = 1000;
            e.balanceExpected = n == 2 ? 0 : 1000 + e.amount * 10;
            e.operatorName = QStringLiteral("操作员1");
            e.desk = QStringLiteral("desk");
            e.sentAt = stamp(0, 100 + n);
            e.id = Journal::Add(connection, e);
            Journal::Resolution r;
            r.entry = e;
            r.balanceSeen = e.balanceExpected;
            r.at = e.sentAt;
            r.amountText = n == 2 ? QStringLiteral("-102") : QString::number(e.amount);
            Journal::Resolve(connection, {r});
        }
        QCOMPARE(disagreement(*db), QString());
        const Transaction read(connection, Transaction::Read);
        const auto shared = std::make_shared<Connection>(db->path());
        const RecordDays::Range range =
            RecordDays::Read(shared, stamp(0, 0), stamp(0, 86399), newestOf(*shared));
        QCOMPARE(range.sums, (RecordDays::Sums{3, 99, -102}));
        QCOMPARE(CardTotalsDisagreement(connection), QString());
        QCOMPARE(ReadCardTotal(connection, QStringLiteral("0000000A")).total, 99);
    }

    // A ledger of the version before fills the days from the records it holds, on either engine.
    void upgradeFillsTheDaysFromTheRecords() {
        const QString location = TestDatabase::OnServer()
                                     ? TestDatabase::NewServerDatabase()
                                     : db->folder() + QStringLiteral("/old.mdb");
        QCOMPARE(Schema::CreateDatabase(location, Cheap, 6), QString());
        {
            const Connection old(location);
            Transaction write(old, Transaction::Write);
            for (int i = 0; i < 300; ++i) {
                Query add(old, QString::fromUtf8(Statements::BookRecord));
                add.bind(1, QStringLiteral("0000000A"));
                add.bind(2, i % 50 == 0 ? QStringLiteral("2024-03-02") : stamp(i % 4, i * 97));
                add.bind(3, std::int64_t(i % 7 == 0 ? -i : i * 40));
                add.next();
            }
            write.commit();
        }
        QCOMPARE(Schema::Upgrade(location, Cheap), QString());
        QCOMPARE(Schema::CheckDatabase(location), QString());
        const auto connection = std::make_shared<Connection>(location);
        QCOMPARE(RecordDays::Disagreement(*connection), QString());
        QCOMPARE(CardTotalsDisagreement(*connection), QString());
        QCOMPARE(compareCards(*connection), 1);
        compareRange(connection, stamp(0, 0), stamp(3, 86399));
        compareRange(connection, stamp(1, 3600), stamp(2, 7200));
    }

    // The check of a ledger names kept sums that no longer match its records, and a file whose
    // triggers were dropped.
    void checkNamesDaysThatDisagree() {
        addYear();
        QCOMPARE(Schema::CheckDatabase(db->path()), QString());
        db->exec(QStringLiteral("UPDATE record_days SET total = total + 1 WHERE lo = '%1'")
                     .arg(stamp(1, 0)));
        QCOMPARE(Schema::CheckDatabase(db->path()),
                 Messages::DayTotalsDiffer(stamp(1, 0), 156, 156));
        db->exec(QStringLiteral("UPDATE record_days SET total = total - 1 WHERE lo = '%1'")
                     .arg(stamp(1, 0)));
        db->exec(QStringLiteral("DELETE FROM record_days WHERE lo = '早'"));
        QCOMPARE(Schema::CheckDatabase(db->path()), Messages::RecordsOutsideDays(461, 462));
        db->exec(QStringLiteral("INSERT INTO record_days SELECT '早', '早', 1, 3, 0"));
        QCOMPARE(Schema::CheckDatabase(db->path()), QString());
        // Each card's kept sums: a wrong total, a card missing, a card with no records.
        db->exec(QStringLiteral("UPDATE card_totals SET total = total + 1 WHERE 卡号 = 'B2'"));
        QCOMPARE(Schema::CheckDatabase(db->path()),
                 Messages::CardTotalsDiffer(QStringLiteral("B2"), 225, 225));
        db->exec(QStringLiteral("UPDATE card_totals SET total = total - 1 WHERE 卡号 = 'B2'"));
        db->exec(QStringLiteral("INSERT INTO card_totals VALUES ('A0', 1, 5)"));
        QCOMPARE(Schema::CheckDatabase(db->path()),
                 Messages::CardTotalsDiffer(QStringLiteral("A0"), 1, 0));
        db->exec(QStringLiteral("DELETE FROM card_totals WHERE 卡号 IN ('A0', 'B2')"));
        QCOMPARE(Schema::CheckDatabase(db->path()),
                 Messages::CardTotalsDiffer(QStringLiteral("B2"), 0, 225));
        db->exec(QStringLiteral("DELETE FROM card_totals WHERE 卡号 = 'A1'"));
        QCOMPARE(Schema::CheckDatabase(db->path()),
                 Messages::CardTotalsDiffer(QStringLiteral("A1"), 0, 237));
        // A backup copies the pages whatever the rows hold; the check of a copy's rows is apart.
        QCOMPARE(
            Schema::CheckDatabase(db->path(), 1000, Schema::Pages::Quick, Schema::Rows::Unchecked),
            QString());
    }

    // A file's check adds up every record in one read, each amount by the same rule as the kept
    // sums: odd values a file of an older form, or one written by hand, may hold among them. A
    // span bounded by another kind of value than a text is counted by itself, as before.
    void oddValuesCountAsTheKeptSums_data() {
        QTest::addColumn<QString>("odd");
        QTest::addColumn<QString>("found");
        QTest::newRow("amounts") << QString() << QString();
        QTest::newRow("a day as bytes")
            << QStringLiteral("INSERT INTO employees VALUES ('A1', CAST('2024-03-02 09:00:00' AS "
                              "BLOB), 7)")
            << Messages::DayTotalsDiffer(QStringLiteral("2024-03-02 09:00:00"), 1, 0);
    }
    void oddValuesCountAsTheKeptSums() {
        FILE_DATABASE_ONLY();
        QFETCH(QString, odd);
        QFETCH(QString, found);
        addYear();
        Connection(db->path())
            .run(QStringLiteral("PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = "
                                "replace(sql, 'CHECK (typeof(金额) = ''integer'')', '') WHERE "
                                "name = 'employees'"));
        const QString day = stamp(1, 600);
        for (const char* amount :
             {"'abc'", "'-'", "''", "'1.5'", "'-abc'", "'+5'", "' 5'", "'五'", "'-五'", "2.5",
              "-3.5", "1e20", "x'3100'", "CAST(x'2D3500' AS TEXT)", "'-0012'", "100000", "-10000"})
            db->exec(QStringLiteral("INSERT INTO employees VALUES ('A1', '%1', %2)")
                         .arg(day, QString::fromLatin1(amount)));
        db->exec(QStringLiteral("INSERT INTO employees VALUES ('A1', CAST(x'323032342D30332D3032"
                                "2031303A30303A303000' AS TEXT), 4)"));
        if (!odd.isEmpty())
            db->exec(odd);
        QCOMPARE(disagreement(*db), found);
        if (!found.isEmpty())
            return;
        // The card's kept total takes the odd amounts by the same rule as its count from the
        // records.
        QCOMPARE(CardTotalsDisagreement(Connection(db->path())), QString());
        // Every record counted, whatever the spans.
        db->exec(QStringLiteral("UPDATE record_days SET total = total + 1 WHERE lo = '%1'")
                     .arg(stamp(1, 0)));
        const qint64 count =
            db->scalar(
                  QStringLiteral("SELECT count FROM record_days WHERE lo = '%1'").arg(stamp(1, 0)))
                .toLongLong();
        QCOMPARE(disagreement(*db), Messages::DayTotalsDiffer(stamp(1, 0), count, count));
    }

    // Two spans that meet are counted each by itself: a record between them counts in both.
    void spansThatMeetAreCountedEachByItself() {
        addYear();
        db->exec(QStringLiteral("UPDATE record_days SET hi = '%1' WHERE lo = '%2'")
                     .arg(stamp(2, 86399), stamp(1, 0)));
        const qint64 both =
            db->scalar(QStringLiteral("SELECT count(*) FROM employees WHERE 日期 BETWEEN '%1' AND "
                                      "'%2'")
                           .arg(stamp(1, 0), stamp(2, 86399)))
                .toLongLong();
        QCOMPARE(disagreement(*db), Messages::DayTotalsDiffer(stamp(1, 0), 156, both));
    }

    void droppedTriggerFailsTheCheck() {
        FILE_DATABASE_ONLY();
        db->exec(QStringLiteral("DROP TRIGGER record_days_insert"));
        QCOMPARE(
            Schema::CheckDatabase(db->path()),
            Messages::ObjectMissing(Messages::KindTrigger(), QStringLiteral("record_days_insert")));
    }

    // A file loaded into a server, and a server's snapshot as a file, keep the days' sums:
    // the rows come across, the sums are made by the target's own triggers.
    void copiesBetweenEnginesKeepTheDays() {
        if (!TestDatabase::OnServer())
            QSKIP("needs a server");
        addYear();
        const QString file = db->folder() + QStringLiteral("/file.mdb");
        QCOMPARE(DatabaseCopy::BackupFile(db->path(), file), QString());
        QCOMPARE(RecordDays::Disagreement(Connection(file)), QString());
        const QString server = TestDatabase::NewServerDatabase();
        QCOMPARE(DatabaseCopy::Import(file, server), QString());
        const auto loaded = std::make_shared<Connection>(server);
        QCOMPARE(RecordDays::Disagreement(*loaded), QString());
        QCOMPARE(CardTotalsDisagreement(*loaded), QString());
        QCOMPARE(compareCards(*loaded), 2);
        compareRange(loaded, stamp(0, 0), stamp(2, 86399));
    }
};

QTEST_MAIN(RecordDaysTest)
#include "tst_record_days.moc"
