#include "data/AdoConn.h"
#include "data/Amount.h"
#include "data/CardRecords.h"
#include "data/PagedRows.h"
#include "reports/Report.h"
#include "reports/ReportLayout.h"
#include "support/TestDatabase.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <cstdio>
#include <optional>

using namespace velkar;

namespace {

const QString DayStart = QStringLiteral("2024-03-05 00:00:00");
const QString DayEnd = QStringLiteral("2024-03-05 23:59:59");

std::shared_ptr<Connection> open(const TestDatabase& db) {
    return std::make_shared<Connection>(db.path());
}

// The rows and total as one statement reads them, every cell at once.
Report readAtOnce(const Connection& connection, const QString& start, const QString& end) {
    Query query(connection, QString::fromUtf8(Statements::RecordsBetweenWithNames));
    query.bind(1, start);
    query.bind(2, end);
    auto rows = std::make_shared<TableRows>();
    Report report;
    while (query.next()) {
        rows->table().appendRow({query.text(0), query.text(1), query.text(2), query.text(3)});
        report.total += AmountValue(query.text(2), ReportAmountLimit);
    }
    report.rows = rows;
    return report;
}

QImage previewPicture(const Report& report, int page) {
    QImage image(600, 660, QImage::Format_RGB32);
    image.fill(Qt::gray);
    QPainter painter(&image);
    DrawPreviewPage(painter, report, {ReportLayout::Title, QStringLiteral("2024-03-06 09:08:07")},
                    page);
    return image;
}

QStringList row(const TextRows& rows, qsizetype r) {
    return {rows.text(r, 0), rows.text(r, 1), rows.text(r, 2), rows.text(r, 3)};
}

} // namespace

class ReportRowsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> db;

private slots:
    void initTestCase() {
        QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("AR PL UMing CN"));
    }
    void init() { db = std::make_unique<TestDatabase>(); }
    void cleanup() { db.reset(); }

    // The store's totals follow the C++ rules on every form a stored amount can take.
    void totalsFollowTheAmountRules() {
        FILE_DATABASE_ONLY();
        // Texts too, as a file made by hand may hold them: the kept totals take every form.
        std::optional<TestDatabase::Batch> batch(std::in_place, *db);
        db->exec(QStringLiteral("PRAGMA ignore_check_constraints = ON"));
        const QStringList texts{"",       "-",     "0",      "-0",   "00100", "-00123", "99999",
                                "100000", "-9999", "-10000", "9999", "10000", "12345",  "+5",
                                " 5",     "5 ",    "1.5",    "12a",  "金额",  "0x10",   "-12a",
                                "--1",    "-1234", "01234",  "1e3"};
        for (const QString& text : texts)
            db->exec(QStringLiteral("INSERT INTO employees VALUES ('A1', '%1', '%2')")
                         .arg(DayStart, text));
        for (const char* number : {"99999", "100000", "-9999", "-10000", "9999", "10000", "0", "-1",
                                   "1.5", "123456789012"})
            db->exec(QStringLiteral("INSERT INTO employees VALUES ('A1', '%1', %2)")
                         .arg(DayStart, QString::fromLatin1(number)));
        batch.reset();
        const auto connection = open(*db);
        Query each(*connection, QStringLiteral("SELECT 金额, (%1), (%2) FROM employees")
                                    .arg(QString::fromUtf8(Statements::AmountRule.sqlite),
                                         QString::fromUtf8(Statements::CardAmountRule.sqlite)));
        qint64 total = 0, cardTotal = 0, negative = 0;
        int rows = 0;
        while (each.next()) {
            const QString text = each.text(0);
            QCOMPARE(each.integer(1), qint64(AmountValue(text, ReportAmountLimit)));
            QCOMPARE(each.integer(2), qint64(CardAmountValue(text)));
            total += AmountValue(text, ReportAmountLimit);
            negative += std::min(AmountValue(text, ReportAmountLimit), 0);
            cardTotal += CardAmountValue(text);
            ++rows;
        }
        QCOMPARE(rows, 35);
        QCOMPARE(CollectReport(connection, DayStart, DayEnd).total, total);
        // The drawer's split by the same rule: the negative amounts paid out, the rest taken in.
        const CashTotals cash = *CollectReport(connection, DayStart, DayEnd).cash;
        QCOMPARE(cash.out, -negative * 10);
        QCOMPARE(cash.in, (total - negative) * 10);
        QCOMPARE(ReadCardRecords(*connection, QStringLiteral("A1")).total, cardTotal);
        QCOMPARE(ReadCardTotal(*connection, QStringLiteral("A1")).total, cardTotal);
        const CardRecordPages pages = ReadCardRecordPages(connection, QStringLiteral("A1"));
        QCOMPARE(pages.total, cardTotal);
        QCOMPARE(pages.rows->count(), 35);
    }

    void sameRowsTotalAndPicturesAsReadAtOnce_data() {
        QTest::addColumn<int>("records");
        for (int n : {0, 27, 28, 29, 56, 200})
            QTest::addRow("%d", n) << n;
    }
    void sameRowsTotalAndPicturesAsReadAtOnce() {
        QFETCH(int, records);
        std::optional<TestDatabase::Batch> batch(std::in_place, *db);
        db->addCardholder(QStringLiteral("1"), QStringLiteral("A1"), QStringLiteral("张三"));
        db->addCardholder(QStringLiteral("2"), QStringLiteral("B2"), QStringLiteral("O'Brien"));
        const char* amounts[] = {"100", "-20", "250000", "00010", "99999"};
        for (int i = 0; i < records; ++i) {
            // Runs of equal times, so that blocks begin inside a run; the day's edges too.
            const int second = i == 0 ? 0 : std::min(86399, 3600 + i / 5);
            const QString stamp = QDateTime(QDate(2024, 3, 5), QTime(0, 0).addSecs(second))
                                      .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            db->addRecord(i % 3 == 0   ? QStringLiteral("B2")
                          : i % 3 == 1 ? "A1"
                                       : "NONE",
                          stamp, QString::fromLatin1(amounts[i % 5]));
        }
        // Stamped before their neighbours although booked after them, and outside the day.
        db->addRecord(QStringLiteral("A1"), QStringLiteral("2024-03-05 00:00:01"), "7");
        db->addRecord(QStringLiteral("A1"), QStringLiteral("2024-03-04 23:59:59"), "7");
        db->addRecord(QStringLiteral("A1"), QStringLiteral("2024-03-06 00:00:00"), "7");
        batch.reset();

        const auto connection = open(*db);
        const Report expected = readAtOnce(*connection, DayStart, DayEnd);
        const Report paged = CollectReport(connection, DayStart, DayEnd);
        QCOMPARE(paged.recordCount(), qsizetype(records + 1));
        QCOMPARE(paged.total, expected.total);
        // Backwards and forwards, so that blocks are dropped and read again.
        for (qsizetype r = paged.recordCount() - 1; r >= 0; --r)
            QCOMPARE(row(*paged.rows, r), row(*expected.rows, r));
        for (qsizetype r = 0; r < paged.recordCount(); r += 7)
            QCOMPARE(row(*paged.rows, r), row(*expected.rows, r));
        QCOMPARE(paged.rows->text(paged.recordCount(), 0), QString());

        for (int page = 0; page <= ReportLayout::LastPage(paged.recordCount()); ++page)
            QVERIFY2(previewPicture(paged, page) == previewPicture(expected, page),
                     qPrintable(QStringLiteral("page %1").arg(page)));
    }

    // Rows booked after the report was collected neither show nor shift its rows.
    void laterBookingsStayOutOfACollectedReport() {
        {
            const TestDatabase::Batch batch(*db);
            for (int i = 0; i < 70; ++i)
                db->addRecord(QStringLiteral("A1"), QStringLiteral("2024-03-05 10:00:00"), "1");
        }
        const auto connection = open(*db);
        const Report report = CollectReport(connection, DayStart, DayEnd);
        db->addRecord(QStringLiteral("LATE"), QStringLiteral("2024-03-05 10:00:00"), "1");
        QCOMPARE(report.recordCount(), 70);
        QCOMPARE(report.rows->text(69, 0), QStringLiteral("A1"));
        QCOMPARE(report.total, 70);
        QCOMPARE(ReportTotal(*connection, DayStart, DayEnd, report.newest), 70);
    }

    // A list's reads over all its rows use an index alone; a block's read seeks its rows.
    void readsUseTheIndexes() {
        FILE_DATABASE_ONLY();
        const auto connection = open(*db);
        const auto plan = [&](const char* sql) {
            Query query(*connection,
                        QStringLiteral("EXPLAIN QUERY PLAN ") + QString::fromUtf8(sql));
            QString steps;
            while (query.next())
                steps += query.text(3) + '\n';
            return steps;
        };
        for (const char* sql :
             {Statements::RecordsBetweenTotal.sqlite, Statements::RecordPositionBetween,
              Statements::CardRecordPositions, Statements::RecordAmountsByCard}) {
            const QString steps = plan(sql);
            QVERIFY2(steps.contains(QStringLiteral("COVERING INDEX")), qPrintable(steps));
            QVERIFY2(!steps.contains(QStringLiteral("TEMP B-TREE")), qPrintable(steps));
        }
        for (const char* sql :
             {Statements::RecordBlockBetween, Statements::CardRecordBlock,
              Statements::RecordDaysBetween, Statements::CardRecordsTotal.sqlite}) {
            const QString steps = plan(sql);
            QVERIFY2(!steps.contains(QStringLiteral("SCAN")), qPrintable(steps));
            QVERIFY2(!steps.contains(QStringLiteral("TEMP B-TREE")), qPrintable(steps));
        }
        // The range's linked records start from the few links: a year of records otherwise.
        const QStringList linked =
            plan(Statements::LinkedRecordsBetween.sqlite).split('\n', Qt::SkipEmptyParts);
        QVERIFY2(linked.size() == 3 && linked[0].startsWith(QStringLiteral("SCAN l")) &&
                     !linked[1].startsWith(QStringLiteral("SCAN")) &&
                     !linked[2].startsWith(QStringLiteral("SCAN")),
                 qPrintable(linked.join('\n')));
    }

    // A window's connection follows the file when a restore renames another one into place.
    void heldConnectionFollowsARestore() {
        FILE_DATABASE_ONLY();
        db->addRecord(QStringLiteral("OLD"), DayStart, "1");
        HeldConnection held;
        const auto first = held.get();
        QVERIFY(first);
        QCOMPARE(held.get(), first);

        const QString other = db->folder() + QStringLiteral("/restored.mdb");
        QVERIFY(QFile::copy(db->path(), other));
        {
            Connection restored(other);
            Query change(restored, QStringLiteral("UPDATE employees SET 卡号 = 'NEW'"));
            change.next();
        }
        QCOMPARE(std::rename(qPrintable(other), qPrintable(db->path())), 0);
        const auto second = held.get();
        QVERIFY(second && second != first);
        QCOMPARE(CollectReport(second, DayStart, DayEnd).rows->text(0, 0), QStringLiteral("NEW"));
    }
};

QTEST_MAIN(ReportRowsTest)
#include "tst_report_rows.moc"
