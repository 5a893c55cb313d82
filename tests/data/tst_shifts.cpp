// Shifts in the ledger: what a shift's bookings are, its cash, its Z number and seal, on both
// engines.
#include "support/TestDatabase.h"

#include "base/Clock.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/AutoBackup.h"
#include "data/DatabaseCopy.h"
#include "data/Journal.h"
#include "data/Settlement.h"
#include "data/Shift.h"
#include "desk/Receipt.h"
#include "reports/Report.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace velkar;

namespace {

const QString DeskA = QStringLiteral("desk-a");
const QString DeskB = QStringLiteral("desk-b");
const QString Op1 = QStringLiteral("操作员1");
const QString Op2 = QStringLiteral("操作员2");

QDateTime at(int hour, int minute = 0) {
    return QDateTime(QDate(2024, 5, 6), QTime(hour, minute));
}

// Books one command sent by `desk`, as the reader link does once its card reports the expected
// balance; a clear takes the card's whole yuan.
qint64 book(const Connection& db, const QString& desk, const QString& op, Journal::Operation kind,
            int amount, const QDateTime& when, Journal::State state = Journal::State::Booked) {
    Journal::Entry e;
    e.cardNo = QStringLiteral("0000ABCD");
    e.operation = kind;
    e.amount = amount;
    const bool clear = kind == Journal::Operation::Clear;
    e.balanceBefore = clear ? amount * 10 + 5 : 100;
    e.balanceExpected = clear ? 0 : 100 + amount * 10;
    e.operatorName = op;
    e.desk = desk;
    e.sentAt = TimestampText(when);
    e.id = Journal::Add(db, e);
    Journal::Settle(
        db,
        {{e, state, state == Journal::State::Booked ? e.balanceExpected : e.balanceBefore, e.sentAt,
          clear ? QStringLiteral("-%1").arg(amount, 5, 10, QLatin1Char('0'))
                : QStringLiteral("%1").arg(amount, 5, 10, QLatin1Char('0'))}});
    return e.id;
}

Shifts::Shift close(const Connection& db, qint64 id, std::optional<qint64> counted,
                    const QDateTime& when, const QString& by = Op1, qint64 lowestZ = 0,
                    qint64 cashFloat = 0) {
    Shifts::Closing c;
    c.shiftId = id;
    c.counted = counted;
    c.cashFloat = cashFloat;
    c.closedBy = by;
    c.desk = DeskA;
    c.at = when;
    c.lowestZ = lowestZ;
    return Shifts::Close(db, c);
}

const Shifts::KindTotal& totalOf(const Shifts::Shift& s, Cash::Kind kind) {
    for (const Shifts::KindTotal& t : s.totals)
        if (t.kind == kind)
            return t;
    qFatal("no such kind");
}

qint64 scalar(const Connection& db, const QString& sql, qint64 bound = 0) {
    Query q(db, sql);
    if (sql.contains(QLatin1Char('?')))
        q.bind(1, bound);
    return q.next() ? q.integer(0) : -1;
}

} // namespace

class TestShifts : public QObject {
    Q_OBJECT

private slots:
    void cashRule() {
        using Cash::Booking;
        QCOMPARE(Cash::KindOf(Booking{Journal::Operation::Recharge, 100, {}}),
                 Cash::Kind::Recharge);
        QCOMPARE(Cash::KindOf(Booking{Journal::Operation::Clear, -30, {}}), Cash::Kind::Clear);
        // Before the journal: by the sign.
        QCOMPARE(Cash::KindOf(Booking{std::nullopt, -5, {}}), Cash::Kind::Clear);
        QCOMPARE(Cash::KindOf(Booking{std::nullopt, 0, {}}), Cash::Kind::Recharge);
        QCOMPARE(Cash::CashOf(Booking{Journal::Operation::Recharge, 100, {}}), qint64(1000));
        QCOMPARE(Cash::CashOf(Booking{Journal::Operation::Clear, -30, {}}), qint64(-300));
        // What a command served comes first: a correction's clear and recharges move cash, a
        // replacement's recharges move value only.
        QCOMPARE(Cash::KindOf(Booking{Journal::Operation::Clear, -110, "correction"}),
                 Cash::Kind::Correction);
        QCOMPARE(Cash::CashOf(Booking{Journal::Operation::Clear, -110, "correction"}),
                 qint64(-1100));
        QCOMPARE(Cash::KindOf(Booking{Journal::Operation::Recharge, 33, "replacement"}),
                 Cash::Kind::Replacement);
        QCOMPARE(Cash::CashOf(Booking{Journal::Operation::Recharge, 33, "replacement"}), qint64(0));
        QCOMPARE(Cash::KindOf(Booking{Journal::Operation::Recharge, 5, "something else"}),
                 Cash::Kind::Recharge);
        QCOMPARE(Cash::KindOf(Cash::Payout{"replacement", 7}), Cash::Kind::Replacement);
        QCOMPARE(Cash::CashOf(Cash::Payout{"replacement", 7}), qint64(-7));
        for (const Cash::KindRule& rule : Cash::Kinds())
            QCOMPARE(Cash::KindFromKey(QLatin1String(rule.key)), std::optional(rule.kind));
        QCOMPARE(Cash::KindFromKey("refund"), std::nullopt);

        QCOMPARE(Cash::YuanText(0), QStringLiteral("0.0"));
        QCOMPARE(Cash::YuanText(125), QStringLiteral("12.5"));
        QCOMPARE(Cash::YuanText(-5), QStringLiteral("-0.5"));
        QCOMPARE(Cash::YuanText(-120), QStringLiteral("-12.0"));
        QCOMPARE(Cash::TenthsFromText(" 250 "), std::optional<qint64>(2500));
        QCOMPARE(Cash::TenthsFromText("0.5"), std::optional<qint64>(5));
        for (const char* bad : {"", "-3", "1.25", "1,5", "abc", "１２", "1.", ".5", "+3"})
            QVERIFY2(!Cash::TenthsFromText(QString::fromUtf8(bad)), bad);
    }

    // The example of a counter's shift: its figures are the journal's, its cash what the
    // settlement counts for the same bookings.
    void aShiftOfRechargesAndClearsClosesWithTheJournalsFigures() {
        TestDatabase t;
        const Connection db(t.path());
        book(db, DeskA, Op1, Journal::Operation::Recharge, 500, at(7)); // before shifts were kept
        const Shifts::Begun begun = Shifts::Begin(db, DeskA, Op1, at(8));
        QVERIFY(!begun.resumed);
        QVERIFY(!begun.leftOpen);
        const qint64 id = begun.shift.id;
        book(db, DeskA, Op1, Journal::Operation::Recharge, 100, at(8, 10));
        book(db, DeskA, Op1, Journal::Operation::Recharge, 50, at(8, 20));
        book(db, DeskB, Op2, Journal::Operation::Recharge, 70, at(8, 25)); // another desk's
        book(db, DeskA, Op1, Journal::Operation::Clear, 30, at(8, 30));
        book(db, DeskA, Op1, Journal::Operation::Recharge, 20, at(8, 40),
             Journal::State::NotExecuted);
        book(db, DeskA, Op1, Journal::Operation::Recharge, 1999, at(8, 50));

        const std::optional<Shifts::Shift> open = Shifts::WithFigures(db, id);
        QVERIFY(open && open->isOpen());
        QCOMPARE(open->expected, std::optional<qint64>((100 + 50 - 30 + 1999) * 10));

        const Shifts::Shift closed = close(db, id, 21180, at(16));
        QCOMPARE(closed.z, std::optional<qint64>(1));
        QCOMPARE(totalOf(closed, Cash::Kind::Recharge).count, qint64(3));
        QCOMPARE(totalOf(closed, Cash::Kind::Recharge).amount, qint64(2149));
        QCOMPARE(totalOf(closed, Cash::Kind::Clear).count, qint64(1));
        QCOMPARE(totalOf(closed, Cash::Kind::Clear).amount, qint64(-30));
        QCOMPARE(closed.expected, std::optional<qint64>(21190));
        QCOMPARE(closed.difference(), std::optional<qint64>(-10));

        // The same figures from the journal directly: the desk's booked commands since 8:00.
        Query journal(
            db, QStringLiteral("SELECT count(*), coalesce(sum(e.金额), 0) FROM journal j JOIN "
                               "employees e ON e.rowid = j.record_id WHERE j.state = 'booked' AND "
                               "j.desk = ? AND j.sent_at >= '2024-05-06 08:00:00'"));
        journal.bind(1, DeskA);
        QVERIFY(journal.next());
        QCOMPARE(journal.integer(0), closed.bookings());
        QCOMPARE(journal.integer(1) * 10, *closed.expected);
        // And by the settlement's rule: the shift's cash is the day's net of its bookings.
        const Settlement::Result day =
            Settlement::Collect(db, QStringLiteral("2024-05-06"), QStringLiteral("2024-05-06"));
        QCOMPARE(day.total.net - 500 - 70, *closed.expected / 10);

        // What was kept is what is read back, also once more is booked after 交班.
        book(db, DeskA, Op1, Journal::Operation::Recharge, 5, at(16, 5));
        const Shifts::Shift kept = *Shifts::WithFigures(db, id);
        QCOMPARE(kept.expected, closed.expected);
        QCOMPARE(kept.counted, std::optional<qint64>(21180));
        QCOMPARE(totalOf(kept, Cash::Kind::Recharge).amount, qint64(2149));
        QCOMPARE(kept.seal, closed.seal);
        QCOMPARE(kept.closedBy, Op1);

        // Closing it again is refused, and gives no number.
        QVERIFY_THROWS_EXCEPTION(DataError, close(db, id, 0, at(16, 6)));
        QCOMPARE(
            scalar(db, QStringLiteral("SELECT count(*) FROM shift WHERE z_number IS NOT NULL")),
            qint64(1));
    }

    // Each booking of a desk's commands is in exactly one of its shifts: the one during which
    // its record was booked, or the next once the last had closed.
    // Corrections and replacements, as the journal links them and the desk pays their part
    // below one yuan: each kind apart, the cash by the one rule.
    void correctionsAndReplacementsFlowThroughTheRule() {
        TestDatabase t;
        const Connection db(t.path());
        const auto link = [&](qint64 journalId, const char* kind, int ref) {
            Query q(db, QStringLiteral(
                            "INSERT INTO journal_links (journal_id, kind, ref) VALUES (?, ?, ?)"));
            q.bind(1, journalId);
            q.bind(2, QString::fromLatin1(kind));
            q.bind(3, std::int64_t(ref));
            q.next();
        };
        const auto pay = [&](const QString& desk, const char* kind, int ref, int tenths) {
            Query q(db,
                    QStringLiteral("INSERT INTO cash_paid (kind, ref, card_no, amount, operator, "
                                   "desk, paid_at) VALUES (?, ?, '0000ABCD', ?, ?, ?, "
                                   "'2024-05-06 08:30:00')"));
            q.bind(1, QString::fromLatin1(kind));
            q.bind(2, std::int64_t(ref));
            q.bind(3, std::int64_t(tenths));
            q.bind(4, Op1);
            q.bind(5, desk);
            q.next();
        };
        pay(DeskA, "correction", 99, 3); // before the shift
        const qint64 id = Shifts::Begin(db, DeskA, Op1, at(8)).shift.id;
        book(db, DeskA, Op1, Journal::Operation::Recharge, 100, at(8, 1)); // the mistaken one
        link(book(db, DeskA, Op1, Journal::Operation::Clear, 110, at(8, 2)), "correction", 1);
        link(book(db, DeskA, Op1, Journal::Operation::Recharge, 10, at(8, 3)), "correction", 1);
        pay(DeskA, "correction", 1, 5);
        link(book(db, DeskA, Op1, Journal::Operation::Recharge, 33, at(8, 4)), "replacement", 2);
        pay(DeskA, "replacement", 2, 7);
        pay(DeskB, "replacement", 3, 9); // another desk's drawer
        const Shifts::Shift closed = close(db, id, std::nullopt, at(9));
        QCOMPARE(totalOf(closed, Cash::Kind::Recharge).cash, qint64(1000));
        QCOMPARE(totalOf(closed, Cash::Kind::Correction).count, qint64(2));
        QCOMPARE(totalOf(closed, Cash::Kind::Correction).amount, qint64(-100));
        QCOMPARE(totalOf(closed, Cash::Kind::Correction).cash, qint64(-1005));
        QCOMPARE(totalOf(closed, Cash::Kind::Replacement).count, qint64(1));
        QCOMPARE(totalOf(closed, Cash::Kind::Replacement).amount, qint64(33));
        QCOMPARE(totalOf(closed, Cash::Kind::Replacement).cash, qint64(-7));
        QCOMPARE(closed.expected, std::optional<qint64>(1000 - 1005 - 7));
        QCOMPARE(Shifts::Find(db, id)->expected, closed.expected);
        QCOMPARE(totalOf(*Shifts::WithFigures(db, id), Cash::Kind::Correction).cash, qint64(-1005));
        // A payout after 交班 belongs to the next shift.
        pay(DeskA, "correction", 4, 2);
        const qint64 next = Shifts::Begin(db, DeskA, Op1, at(10)).shift.id;
        QCOMPARE(Shifts::WithFigures(db, next)->expected, std::optional<qint64>(-2));
        // The slip says what the command served.
        Query last(db, QStringLiteral(
                           "SELECT max(journal_id) FROM journal_links WHERE kind = 'correction'"));
        QVERIFY(last.next());
        QCOMPARE(Receipt::Read(db, last.integer(0))->kind, QStringLiteral("冲正"));
    }

    void bookingsFallIntoExactlyOneShift() {
        TestDatabase t;
        const Connection db(t.path());
        const qint64 first = Shifts::Begin(db, DeskA, Op1, at(8)).shift.id;
        book(db, DeskA, Op1, Journal::Operation::Recharge, 10, at(8, 1));
        QCOMPARE(close(db, first, 100, at(9)).expected, std::optional<qint64>(100));
        // Booked between 交班 and the next login (the walk-over of a card, a late answer).
        book(db, DeskA, Op1, Journal::Operation::Recharge, 20, at(9, 30));
        const qint64 second = Shifts::Begin(db, DeskA, Op2, at(10)).shift.id;
        book(db, DeskA, Op2, Journal::Operation::Recharge, 40, at(10, 1));
        const Shifts::Shift closed = close(db, second, 600, at(11), Op2);
        QCOMPARE(closed.expected, std::optional<qint64>(600));
        QCOMPARE(closed.z, std::optional<qint64>(2));
        QCOMPARE(closed.difference(), std::optional<qint64>(0));
    }

    // The drawer holds its float besides what the bookings moved; a shift paying out more than
    // it took in leaves less than the float.
    void theFloatIsCountedWithTheCash() {
        TestDatabase t;
        const Connection db(t.path());
        const qint64 first = Shifts::Begin(db, DeskA, Op1, at(8)).shift.id;
        QCOMPARE(Shifts::WithFigures(db, first)->cashFloat, qint64(0));
        book(db, DeskA, Op1, Journal::Operation::Recharge, 50, at(8, 1));
        book(db, DeskA, Op1, Journal::Operation::Clear, 200, at(8, 2));
        const Shifts::Shift closed = close(db, first, 3500, at(9), Op1, 0, 5000);
        QCOMPARE(closed.expected, std::optional<qint64>(-1500));
        QCOMPARE(closed.drawer(), std::optional<qint64>(3500));
        QCOMPARE(closed.difference(), std::optional<qint64>(0));
        QCOMPARE(Shifts::Find(db, first)->cashFloat, qint64(5000));
        QCOMPARE(Shifts::RowTexts(*Shifts::WithFigures(db, first)).mid(6, 3),
                 (QStringList{"350.0", "350.0", "0.0"}));
        // The next shift of the desk starts with the float the last one was closed with.
        const qint64 next = Shifts::Begin(db, DeskA, Op2, at(10)).shift.id;
        QCOMPARE(Shifts::WithFigures(db, next)->cashFloat, qint64(5000));
        QCOMPARE(Shifts::WithFigures(db, next)->drawer(), std::optional<qint64>(5000));
        QVERIFY(Audit::Page(db, {{}, {}, {}, Audit::CashCounted}, nullptr, 1)
                    .front()
                    .details.startsWith(
                        QStringLiteral("班次 #%1：备用金 500.0 元，收支 -150.0 元，"
                                       "应有现金 350.0 元，实点现金 350.0 元，差额 0.0 元")
                            .arg(first)));
    }

    void aLoginResumesTakesOverOrLeavesAnotherOperatorsShift() {
        TestDatabase t;
        const Connection db(t.path());
        const Shifts::Begun a = Shifts::Begin(db, DeskA, Op1, at(8));
        // The same operator again (the program restarted): the same shift.
        const Shifts::Begun again = Shifts::Begin(db, DeskA, Op1, at(9));
        QVERIFY(again.resumed);
        QCOMPARE(again.shift.id, a.shift.id);
        QCOMPARE(again.shift.openedAt, QStringLiteral("2024-05-06 08:00:00"));
        // Another desk has its own.
        QVERIFY(Shifts::Begin(db, DeskB, Op1, at(9)).shift.id != a.shift.id);
        // Another operator, nothing booked: carries on with it.
        const Shifts::Begun taken = Shifts::Begin(db, DeskA, Op2, at(10));
        QCOMPARE(taken.shift.id, a.shift.id);
        QCOMPARE(taken.shift.operatorName, Op2);
        QCOMPARE(taken.shift.openedAt, QStringLiteral("2024-05-06 10:00:00"));
        // Once something is booked, the next operator finds it left open, untouched.
        book(db, DeskA, Op2, Journal::Operation::Recharge, 10, at(10, 5));
        const Shifts::Begun left = Shifts::Begin(db, DeskA, Op1, at(11));
        QVERIFY(left.leftOpen);
        QCOMPARE(left.leftOpen->id, a.shift.id);
        QCOMPARE(left.shift.id, qint64(0));
        QVERIFY(Shifts::Find(db, a.shift.id)->isOpen());
        // Closed without a count by the one who found it; then that one's own shift begins.
        const Shifts::Shift closed = close(db, a.shift.id, std::nullopt, at(11), Op1);
        QCOMPARE(closed.counted, std::nullopt);
        QCOMPARE(closed.difference(), std::nullopt);
        QCOMPARE(closed.closedBy, Op1);
        QCOMPARE(closed.operatorName, Op2);
        const Shifts::Begun own = Shifts::Begin(db, DeskA, Op1, at(11, 1));
        QVERIFY(!own.leftOpen);
        QVERIFY(own.shift.id != a.shift.id);
        QCOMPARE(own.shift.firstRecord, closed.lastRecord);

        const QStringList opened = [&] {
            QStringList details;
            for (const Audit::Entry& e :
                 Audit::Page(db, {{}, {}, {}, Audit::ShiftOpened}, nullptr, 0))
                details.prepend(e.account + ' ' + e.details);
            return details;
        }();
        QCOMPARE(opened.size(), 4);
        QVERIFY2(opened[2].startsWith(Op2 + QStringLiteral(" 班次 #%1（接续").arg(a.shift.id)),
                 qPrintable(opened[2]));
    }

    void zNumbersCountPerDeskAndNeverGoBack() {
        TestDatabase t;
        const Connection db(t.path());
        for (int i = 1; i <= 3; ++i) {
            const qint64 id = Shifts::Begin(db, DeskA, Op1, at(8 + i)).shift.id;
            QCOMPARE(close(db, id, 0, at(8 + i, 30)).z, std::optional<qint64>(i));
        }
        const qint64 b = Shifts::Begin(db, DeskB, Op1, at(9)).shift.id;
        QCOMPARE(close(db, b, 0, at(9, 30)).z, std::optional<qint64>(1));
        // The desk remembers printing 7: the ledger goes on above it.
        const qint64 next = Shifts::Begin(db, DeskA, Op1, at(13)).shift.id;
        QCOMPARE(close(db, next, 0, at(13, 30), Op1, 7).z, std::optional<qint64>(8));
        // Shifts removed by hand (or lost with a file put back): the numbers stay given.
        db.run(QStringLiteral("DELETE FROM shift_total; DELETE FROM shift"));
        const qint64 after = Shifts::Begin(db, DeskA, Op1, at(14)).shift.id;
        QCOMPARE(close(db, after, 0, at(14, 30)).z, std::optional<qint64>(9));
    }

    // A file put back by a restore takes over the numbers the file it replaced had given.
    void numbersAreCarriedIntoARestoredLedger() {
        TestDatabase t;
        QTemporaryDir scratch;
        const QString older = scratch.filePath(QStringLiteral("older.mdb"));
        QCOMPARE(Schema::CreateDatabase(older, PasswordHash::CheapestCost), QString());
        {
            const Connection was(older);
            for (int i = 1; i <= 4; ++i)
                close(was, Shifts::Begin(was, DeskA, Op1, at(8 + i)).shift.id, 0, at(8 + i, 1));
        }
        const Connection db(t.path());
        close(db, Shifts::Begin(db, DeskA, Op1, at(8)).shift.id, 0, at(8, 1));
        Shifts::CarryNumbers(Connection(older), db);
        QCOMPARE(close(db, Shifts::Begin(db, DeskA, Op1, at(15)).shift.id, 0, at(15, 1)).z,
                 std::optional<qint64>(5));
        // Carrying never lowers one.
        Shifts::CarryNumbers(Connection(older), db);
        QCOMPARE(close(db, Shifts::Begin(db, DeskA, Op1, at(16)).shift.id, 0, at(16, 1)).z,
                 std::optional<qint64>(6));
    }

    // The seal is the trail's head after the 交班 entry; a trail rewritten from before it,
    // hashes and all, no longer holds it.
    void theSealCatchesARewrittenTrail() {
        TestDatabase t;
        const Connection db(t.path());
        Audit::Append(db, Op1, DeskA, Audit::Login, {}, at(7));
        const qint64 id = Shifts::Begin(db, DeskA, Op1, at(8)).shift.id;
        book(db, DeskA, Op1, Journal::Operation::Recharge, 100, at(8, 5));
        const Shifts::Shift closed = close(db, id, 1000, at(9));
        QCOMPARE(closed.seal.size(), 16);
        QVERIFY(Shifts::IsSealText(closed.seal));
        {
            Query head(db, QString::fromUtf8(Statements::AuditHead));
            QVERIFY(head.next());
            QCOMPARE(head.integer(0), closed.auditId);
            QCOMPARE(Shifts::SealOf(head.text(1)), closed.seal);
        }
        QCOMPARE(scalar(db, QStringLiteral("SELECT count(*) FROM audit WHERE action = '清点现金'")),
                 qint64(1));
        Audit::Append(db, Op1, DeskA, Audit::LeaveDesk, {}, at(9, 1));

        Shifts::SealFinding finding = Shifts::FindSeal(db, closed.seal.toUpper());
        QVERIFY(finding.found);
        QCOMPARE(finding.auditId, closed.auditId);
        QCOMPARE(finding.headId, closed.auditId + 1);
        QVERIFY(finding.shift);
        QCOMPARE(finding.shift->z, closed.z);

        // A forger changes the first entry and chains every hash after it anew: the chain holds,
        // the seal is gone.
        std::vector<Audit::Entry> entries;
        {
            Query q(db, QString::fromUtf8(Statements::AuditChain));
            while (q.next())
                entries.push_back({q.integer(0), q.text(1), q.text(2), q.text(3), q.text(4),
                                   q.text(5), q.text(6)});
        }
        entries.front().account = Op2;
        QString previous;
        for (Audit::Entry& e : entries) {
            e.hash = Audit::HashOf(e, previous);
            previous = e.hash;
            Query update(db, QStringLiteral("UPDATE audit SET account = ?, hash = ? WHERE id = ?"));
            update.bind(1, e.account);
            update.bind(2, e.hash);
            update.bind(3, e.id);
            update.next();
        }
        QVERIFY(!Audit::Verify(db));
        finding = Shifts::FindSeal(db, closed.seal);
        QVERIFY(!finding.found);
    }

    // A seal taken from a file of before shifts (a trail, no shift table) is still looked for.
    void aSealInAFileWithoutShifts() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("v5.mdb"));
        QCOMPARE(Schema::CreateDatabase(path, PasswordHash::CheapestCost, 5), QString());
        const Connection db(path);
        Audit::Append(db, Op1, DeskA, Audit::Login, {}, at(7));
        Query head(db, QString::fromUtf8(Statements::AuditHead));
        QVERIFY(head.next());
        const Shifts::SealFinding finding = Shifts::FindSeal(db, Shifts::SealOf(head.text(1)));
        QVERIFY(finding.found);
        QVERIFY(!finding.shift);
    }

    // The settlement and the query count the drawer alike: a record from before the journal by
    // its sign, a payout on the day it was paid, for the operator who paid it, also on a day and
    // for an operator without a record; the query's total over the range is the settlement's.
    void settlementAndQueryCountTheDrawerAlike() {
        TestDatabase t;
        const Connection db(t.path());
        Query(db, QStringLiteral("INSERT INTO employees (卡号, 日期, 金额) VALUES ('0000ABCD', "
                                 "'2024-05-06 07:00:00', -12)"))
            .next();
        book(db, DeskA, Op1, Journal::Operation::Recharge, 40, at(8));
        const qint64 replacement =
            book(db, DeskA, Op1, Journal::Operation::Recharge, 25, at(8, 30));
        Query link(db, QStringLiteral("INSERT INTO journal_links (journal_id, kind, ref) VALUES "
                                      "(?, 'replacement', 1)"));
        link.bind(1, replacement);
        link.next();
        for (const char* paid : {"2024-05-05 17:00:00", "2024-05-06 08:30:00"}) {
            Query pay(db, QStringLiteral("INSERT INTO cash_paid (kind, ref, card_no, amount, "
                                         "operator, desk, paid_at) VALUES ('replacement', ?, "
                                         "'0000ABCD', 4, ?, ?, ?)"));
            pay.bind(1, std::int64_t(paid[9] - '0'));
            pay.bind(2, paid[9] == '5' ? Op2 : Op1);
            pay.bind(3, DeskA);
            pay.bind(4, QString::fromLatin1(paid));
            pay.next();
        }

        const Settlement::Result range =
            Settlement::Collect(db, QStringLiteral("2024-05-05"), QStringLiteral("2024-05-06"));
        QStringList rows;
        for (const Settlement::Row& r : range.rows)
            rows << r.day + ' ' + r.operatorName + ' ' + QString::number(r.cashIn) + ' ' +
                        QString::number(r.cashOut);
        QCOMPARE(rows, (QStringList{"2024-05-05 操作员2 0 4", "2024-05-06 未知 0 120",
                                    "2024-05-06 操作员1 400 4"}));
        QCOMPARE(range.rows[2].replacementSum, 25);
        QCOMPARE(range.rows[2].rechargeSum, 40);
        QCOMPARE(range.total.net, 40 + 25 - 12);

        const ReportSums sums = SumReport(db, QStringLiteral("2024-05-05 00:00:00"),
                                          QStringLiteral("2024-05-06 23:59:59"), 1000, 1000);
        QCOMPARE(sums.total, range.total.net);
        QCOMPARE(sums.cash.in, range.total.cashIn);
        QCOMPARE(sums.cash.out, range.total.cashOut);
        QCOMPARE(sums.cash.paid, 8);
        QVERIFY(sums.cash.linked);
        // Bounded by the newest payout the query saw.
        QCOMPARE(SumReport(db, QStringLiteral("2024-05-05 00:00:00"),
                           QStringLiteral("2024-05-06 23:59:59"), 1000, 1)
                     .cash.paid,
                 4);
    }

    void listsTheShiftsOfTheDates() {
        TestDatabase t;
        const Connection db(t.path());
        const qint64 a = Shifts::Begin(db, DeskA, Op1, at(8)).shift.id;
        book(db, DeskA, Op1, Journal::Operation::Recharge, 30, at(8, 1));
        close(db, a, 250, at(9));
        const qint64 b =
            Shifts::Begin(db, DeskA, Op2, QDateTime(QDate(2024, 5, 7), QTime(8, 0))).shift.id;
        book(db, DeskA, Op2, Journal::Operation::Recharge, 12, at(8, 2).addDays(1));
        const std::vector<Shifts::Shift> both =
            Shifts::List(db, QStringLiteral("2024-05-06"), QStringLiteral("2024-05-07"));
        QCOMPARE(int(both.size()), 2);
        QCOMPARE(Shifts::RowTexts(both[0]),
                 (QStringList{DeskA, "1", Op1, "2024-05-06 08:00:00", "2024-05-06 09:00:00", "1",
                              "30.0", "25.0", "-5.0", both[0].seal}));
        // The open one shows its figures so far.
        QCOMPARE(both[1].id, b);
        QCOMPARE(Shifts::RowTexts(both[1]), (QStringList{DeskA, "", Op2, "2024-05-07 08:00:00",
                                                         "未交班", "1", "12.0", "", "", ""}));
        QCOMPARE(int(Shifts::List(db, QStringLiteral("2024-05-07"), QStringLiteral("2024-05-07"))
                         .size()),
                 1);
        QVERIFY(
            Shifts::List(db, QStringLiteral("2024-05-05"), QStringLiteral("2024-05-05")).empty());
    }

    // The technician's tool: the shifts listed, a printed seal checked, backups rotated.
    void theToolListsShiftsChecksSealsAndBacksUp() {
        TestDatabase t;
        const auto tool = [](const QStringList& args) {
            QProcess p;
            p.start(QStringLiteral(VELKAR_DB_TOOL), args);
            p.waitForFinished(60000);
            return std::pair(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput() +
                                                             p.readAllStandardError()));
        };
        Shifts::Shift closed;
        {
            const Connection db(t.path());
            const qint64 id = Shifts::Begin(db, DeskA, Op1, at(8)).shift.id;
            book(db, DeskA, Op1, Journal::Operation::Recharge, 80, at(8, 30));
            closed = close(db, id, 800, at(9));
            Audit::Append(db, Op1, DeskA, Audit::LeaveDesk, {}, at(9, 1));
        }
        auto [code, out] = tool({"shifts", "--from", "2024-05-06", t.path()});
        QCOMPARE(code, 0);
        QCOMPARE(out.split('\n').value(1),
                 QStringList({DeskA, "1", Op1, "2024-05-06 08:00:00", "2024-05-06 09:00:00", "1",
                              "80.0", "80.0", "0.0", closed.seal})
                     .join('\t'));
        QCOMPARE(tool({"shifts", "--from", "2024-05-07", t.path()}).second.count('\n'), 1);
        QCOMPARE(tool({"shifts", "--from", "someday", t.path()}).first, 2);

        std::tie(code, out) = tool({"check", "--seal", closed.seal, t.path()});
        QCOMPARE(code, 0);
        QVERIFY2(out.contains(QStringLiteral("封签 %1 相符：第 1 至 %2 条审计记录与打印时一致")
                                  .arg(closed.seal)
                                  .arg(closed.auditId)),
                 qPrintable(out));
        QVERIFY(out.contains(QStringLiteral("这是终端 desk-a 的 Z 1")));
        QCOMPARE(tool({"check", "--seal", "12345", t.path()}).first, 2);
        QCOMPARE(tool({"check", "--seal", t.path()}).first, 2);

        // An entry before the seal rewritten, and the chain made whole again after it.
        {
            const Connection db(t.path());
            std::vector<Audit::Entry> entries;
            {
                Query q(db, QString::fromUtf8(Statements::AuditChain));
                while (q.next())
                    entries.push_back({q.integer(0), q.text(1), q.text(2), q.text(3), q.text(4),
                                       q.text(5), q.text(6)});
            }
            entries.front().details = QStringLiteral("班次 #99");
            QString previous;
            for (Audit::Entry& e : entries) {
                e.hash = Audit::HashOf(e, previous);
                previous = e.hash;
                Query update(db,
                             QStringLiteral("UPDATE audit SET details = ?, hash = ? WHERE id = ?"));
                update.bind(1, e.details);
                update.bind(2, e.hash);
                update.bind(3, e.id);
                update.next();
            }
        }
        QCOMPARE(tool({"check", t.path()}).first, 0); // the chain alone can't tell
        std::tie(code, out) = tool({"check", "--seal", closed.seal, t.path()});
        QCOMPARE(code, 1);
        QVERIFY2(out.contains(QStringLiteral("没有哪条审计记录带封签 %1").arg(closed.seal)),
                 qPrintable(out));

        QTemporaryDir folder;
        for (int i = 0; i < 3; ++i) {
            std::tie(code, out) = tool({"backup", "--keep", "2", t.path(), folder.path()});
            QCOMPARE(code, 0);
            QVERIFY2(out.startsWith(QStringLiteral("已备份到 ") + folder.path()), qPrintable(out));
        }
        QVERIFY(out.contains(QStringLiteral("已删除较早的备份")));
        QCOMPARE(AutoBackup::Backups(folder.path()).size(), 2);
        QCOMPARE(tool({"backup", t.path()}).first, 2);
        QCOMPARE(tool({"backup", "--keep", "0", t.path(), folder.path()}).first, 2);
        // Without a folder named, the settings' (the tests' own settings have none).
        QCOMPARE(tool({"backup"}).first, 1);
    }
};

QTEST_GUILESS_MAIN(TestShifts)
#include "tst_shifts.moc"
