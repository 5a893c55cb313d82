// A command's booking: what its one transaction writes, reads and refuses, on both engines.
#include "data/AdoConn.h"
#include "data/Amount.h"
#include "data/Audit.h"
#include "data/Cards.h"
#include "data/Journal.h"
#include "data/PostgresEngine.h"
#include "support/TestDatabase.h"
#include "users/Accounts.h"

#include <QtTest>

using namespace velkar;
using Journal::Operation;
using Journal::State;

namespace {

const QString CardA = QStringLiteral("0000000A");
const QString CardB = QStringLiteral("0000000B");
const QString At = QStringLiteral("2026-12-07 09:00:01");

Journal::Entry sent(const Connection& c, const QString& card, int before, int amount,
                    const QString& desk = QStringLiteral("desk-1")) {
    Journal::Entry e;
    e.cardNo = card;
    e.operation = Operation::Recharge;
    e.amount = amount;
    e.balanceBefore = before;
    e.balanceExpected = before + amount * 10;
    e.operatorName = QStringLiteral("操作员1");
    e.desk = desk;
    e.sentAt = QStringLiteral("2026-12-07 09:00:00");
    e.id = Journal::Add(c, e);
    return e;
}

Journal::Resolution booked(const Journal::Entry& e, const QString& amountText = {}) {
    return {e, State::Booked, e.balanceExpected, At,
            amountText.isEmpty() ? QStringLiteral("%1").arg(e.amount, 5, 10, QLatin1Char('0'))
                                 : amountText};
}

// The card's count and total as the desk's list reads them on their own.
QString totalsRead(const TestDatabase& db, const QString& card) {
    const Connection c(db.path());
    Query q(c, Statements::CardRecordsTotal);
    q.bind(1, card);
    q.next();
    return QStringLiteral("%1/%2").arg(q.integer(0)).arg(q.integer(1));
}

QString totalsText(const Journal::CardTotals& t) {
    return QStringLiteral("%1/%2").arg(t.count).arg(t.total);
}

// Every row a booking touches, as text, to see that a failed one touched none.
QString ledgerState(const TestDatabase& db) {
    return QStringList{db.scalar("SELECT count(*) FROM employees"),
                       db.scalar("SELECT count(*) FROM audit"),
                       db.scalar("SELECT count(*) FROM cards"),
                       db.scalar("SELECT count(*) FROM journal WHERE state = 'pending'"),
                       db.scalar("SELECT count(*) FROM journal WHERE record_id IS NOT NULL"),
                       db.scalar("SELECT coalesce(sum(count), 0) FROM record_days")}
        .join(',');
}

// Whether the server's generic plan of `sql` (a check of later commands of the card) seeks them
// in an index; prints the plan when not. `types`: the parameters' types, where the text leaves
// them open.
bool seeksLaterCommands(const Connection& c, const char* sql, const char* types,
                        const char* values) {
    QString text = QString::fromUtf8(sql);
    static int made = 0;
    const QString name = QStringLiteral("plan_%1").arg(++made);
    c.run(QStringLiteral("PREPARE %1 %2 AS %3")
              .arg(name, QString::fromUtf8(types), QString::fromUtf8(ServerPlaceholders(sql))));
    Query explain(c, QStringLiteral("EXPLAIN EXECUTE %1 %2").arg(name, QString::fromUtf8(values)));
    QString plan;
    while (explain.next())
        plan += explain.text(0) + u'\n';
    const QString subPlan = plan.section(QStringLiteral("SubPlan"), 1);
    if (subPlan.contains(QStringLiteral("Index Cond: ((card_no = j.card_no)")))
        return true;
    qWarning("%s", qPrintable(plan));
    return false;
}

} // namespace

class BookingTest : public QObject {
    Q_OBJECT

private slots:
    // The count and total read with the booking are the card's, its new record included,
    // whatever amounts the card's older records hold (the total's rule leaves some out).
    void theCardsTotalsIncludeTheNewRecord_data() {
        QTest::addColumn<QStringList>("earlier");
        QTest::newRow("first record") << QStringList{};
        QTest::newRow("recharges and a clear") << QStringList{"00100", "00020", "-00070"};
        QTest::newRow("amounts the total leaves out") << QStringList{"99999", "-00001", "09999"};
    }
    void theCardsTotalsIncludeTheNewRecord() {
        QFETCH(QStringList, earlier);
        TestDatabase db;
        for (const QString& amount : earlier)
            db.addRecord(CardA, QStringLiteral("2026-12-06 08:00:00"), amount);
        db.addRecord(CardB, QStringLiteral("2026-12-06 08:00:00"), QStringLiteral("00500"));
        const Connection c(db.path());

        Journal::CardTotals totals{CardA};
        const auto settled = Journal::Settle(c, {booked(sent(c, CardA, 0, 30))}, {}, &totals);
        QCOMPARE(settled.at(0).state, State::Booked);
        QVERIFY(totals.read);
        QCOMPARE(totalsText(totals), totalsRead(db, CardA));

        // Asked for another card than the one booked: that card's, untouched.
        Journal::CardTotals other{CardB};
        Journal::Settle(c, {booked(sent(c, CardA, 300, 5))}, {}, &other);
        QCOMPARE(totalsText(other), QStringLiteral("1/500"));

        // Two bookings of the card in one transaction: both counted.
        Journal::CardTotals both{CardA};
        Journal::Settle(c, {booked(sent(c, CardA, 350, 1)), booked(sent(c, CardA, 360, 2))}, {},
                        &both);
        QCOMPARE(totalsText(both), totalsRead(db, CardA));
        QCOMPARE(both.count, qint64(earlier.size()) + 4);

        // A command found waiting when the card is laid on reads the same.
        const Journal::Entry left = sent(c, CardA, 380, 7);
        Journal::CardTotals arrival{CardA};
        const auto done =
            Journal::ResolveWaiting(c, CardA, 450, {}, At, QStringLiteral("desk-2"), &arrival);
        QCOMPARE(done.size(), std::size_t(1));
        QCOMPARE(done[0].state, State::Booked);
        QCOMPARE(totalsText(arrival), totalsRead(db, CardA));
        QCOMPARE(db.scalar("SELECT last_balance || ' ' || last_seen_desk FROM cards WHERE card_no "
                           "= '0000000A'"),
                 QStringLiteral("450 desk-2"));
        QCOMPARE(AuditChainProblem(db.path()), QString());
    }

    // A booking stores its record, links it from the command, notes the balance seen, and
    // chains its audit entry, each once.
    void aBookingWritesEachOfItsRowsOnce() {
        TestDatabase db;
        const Connection c(db.path());
        const Journal::Entry e = sent(c, CardA, 120, 25, QStringLiteral("desk-1"));
        const auto settled = Journal::Settle(c, {booked(e)}, QStringLiteral("desk-2"));
        QVERIFY(settled.at(0).recordId);
        const QString record = QString::number(*settled.at(0).recordId);
        QCOMPARE(db.scalar("SELECT 卡号 || ' ' || 日期 || ' ' || 金额 FROM employees"),
                 CardA + " " + At + " 25");
        QCOMPARE(db.scalar("SELECT state || ' ' || resolved_at || ' ' || balance_seen || ' ' || "
                           "record_id FROM journal"),
                 "booked " + At + " 370 " + record);
        const auto card = Cards::Find(c, CardA);
        QVERIFY(card);
        QCOMPARE(card->lastBalance.value_or(0), 370);
        QCOMPARE(card->lastSeenAt, At);
        QCOMPARE(card->lastSeenDesk, QStringLiteral("desk-2"));
        // A server puts the entry's text together around the record's number itself.
        QCOMPARE(
            db.scalar("SELECT action || ': ' || details FROM audit ORDER BY id DESC LIMIT 1"),
            QStringLiteral("%1: 日志 %2 卡号 0000000A 充值 25 元 已记账 实际余额 37.0 元 记录 %3 "
                           "由 desk-2 确认")
                .arg(Audit::Command)
                .arg(e.id)
                .arg(record));
        QCOMPARE(db.scalar("SELECT sum(count) || '/' || sum(total) FROM record_days"),
                 QStringLiteral("1/25"));
        QCOMPARE(AuditChainProblem(db.path()), QString());
        const QString given = [&] {
            Query q(c, Statements::AuditGivenId);
            q.next();
            return q.text(0);
        }();
        QCOMPARE(given, db.scalar("SELECT max(id) FROM audit"));
        // Settled again: already done, nothing more written (on a server, the booking's one
        // statement found the command resolved and left everything alone).
        const QString before = ledgerState(db);
        QCOMPARE(Journal::Settle(c, {booked(e)}).at(0).how, Journal::Resolved::Before);
        QCOMPARE(ledgerState(db), before);
        Query givenAgain(c, Statements::AuditGivenId);
        QVERIFY(givenAgain.next());
        QCOMPARE(givenAgain.text(0), given);
        // Nor does a command the ledger holds otherwise (another under its number): it is
        // written anew, and booked.
        Journal::Entry stranger = e;
        stranger.amount = 26;
        const auto anew = Journal::Settle(c, {booked(stranger)});
        QCOMPARE(anew.at(0).state, State::Booked);
        QCOMPARE(db.scalar("SELECT count(*) || '/' || sum(金额) FROM employees"),
                 QStringLiteral("2/51"));
        QCOMPARE(db.scalar("SELECT count(*) FROM journal WHERE state = 'booked'"),
                 QStringLiteral("2"));
        QCOMPARE(AuditChainProblem(db.path()), QString());
    }

    // A change this desk takes for its command carried out on a card swapped in is known by
    // the balances alone. When another desk met the card since, and its latest booking is
    // that very change, the change is that desk's: not booked a second time. Otherwise it is
    // booked as before.
    void aSwappedInChangeAnotherDeskBookedIsNotBookedAgain() {
        TestDatabase db;
        const Connection c(db.path());
        const QString here = QStringLiteral("desk-1");
        const QString there = QStringLiteral("desk-2");
        const auto clear = [](Journal::Entry e) {
            e.operation = Operation::Clear;
            e.amount = e.balanceBefore / 10;
            e.balanceExpected = 0;
            return e;
        };
        // Cleared at the other desk, which notes the card.
        const auto clearedThere = [&](int before) {
            Journal::Entry cleared = clear(sent(c, CardA, before, 0, there));
            cleared.id = 0; // written anew as a clear, resolved at once
            Journal::Settle(
                c, {{cleared, State::Booked, 0, At, BookedAmountText(true, before / 10)}}, there);
        };
        const auto swappedIn = [&](int before) {
            const Journal::Entry mine = sent(c, CardB, 300, 0, here);
            Journal::Entry changed = mine;
            changed.id = 0;
            changed.cardNo = CardA;
            changed.balanceBefore = before;
            changed = clear(changed);
            const auto settled = Journal::Settle(
                c,
                {{mine, State::NotExecuted, 300, At, {}},
                 {changed, State::Booked, 0, At, BookedAmountText(true, before / 10), mine.id}},
                here);
            return settled.back().state;
        };
        const auto records = [&] {
            return db.scalar("SELECT count(*) FROM employees WHERE 卡号 = '0000000A'");
        };
        Cards::Seen(c, CardA, 500, At, here);
        clearedThere(500);
        QCOMPARE(swappedIn(500), State::NotExecuted);
        QCOMPARE(records(), QStringLiteral("1"));
        // The card noted here since: booked.
        Cards::Seen(c, CardA, 500, At, here);
        QCOMPARE(swappedIn(500), State::Booked);
        // Another change than the other desk's latest booking: booked.
        clearedThere(700);
        QCOMPARE(swappedIn(400), State::Booked);
        QCOMPARE(records(), QStringLiteral("4"));
        QCOMPARE(AuditChainProblem(db.path()), QString());
    }

    // A write whose answer is read, the commit and a read after it, in one round trip on a
    // server; a file steps its own statements.
    void aWriteCommitsWithTheReadAfterIt() {
        TestDatabase db;
        const Connection c(db.path());
        const Journal::Entry e = sent(c, CardA, 0, 5);
        const auto count = [&] { return db.scalar("SELECT count(*) FROM journal WHERE id > 0"); };
        {
            Transaction t(c, Transaction::WriteWithFirst);
            Query last(c, QStringLiteral("UPDATE journal SET amount = 6 WHERE id = ? RETURNING "
                                         "amount"));
            last.bind(1, e.id);
            Query then(c, QStringLiteral("SELECT sum(amount) FROM journal"));
            if (!TestDatabase::OnServer()) {
                QVERIFY(!t.commitAfter(last, then));
                QCOMPARE(db.scalar("SELECT amount FROM journal"), QStringLiteral("5"));
                return;
            }
            QVERIFY(t.commitAfter(last, then));
            QVERIFY(last.next());
            QCOMPARE(last.integer(0), 6);
            QVERIFY(then.next());
            QCOMPARE(then.integer(0), 6);
        }
        QCOMPARE(db.scalar("SELECT amount FROM journal"), QStringLiteral("6"));
        // A failed write takes the transaction's earlier writes with it, and commits nothing.
        {
            Transaction t(c, Transaction::WriteWithFirst);
            Audit::Add(c, QStringLiteral("操作员1"), QStringLiteral("desk-1"), Audit::Command,
                       QStringLiteral("held back"));
            Query last(c, QStringLiteral("INSERT INTO journal (id) VALUES (NULL) RETURNING id"));
            Query then(c, QStringLiteral("SELECT 1"));
            QVERIFY_THROWS_EXCEPTION(DataError, t.commitAfter(last, then));
        }
        QCOMPARE(count(), QStringLiteral("1"));
        QCOMPARE(db.scalar("SELECT count(*) FROM audit WHERE details = 'held back'"),
                 QStringLiteral("0"));
        QVERIFY(!c.inTransaction());
    }

    // A command of the card sent later from the same balance and booked explains the change:
    // this one never reached the card. An earlier one, another card's, or one from another
    // balance explains nothing.
    void aLaterCommandFromTheSameBalanceExplainsTheChange() {
        TestDatabase db;
        const Connection c(db.path());
        const Journal::Entry earlier = sent(c, CardA, 500, 10);
        Journal::Settle(c, {booked(earlier)});
        const Journal::Entry mine = sent(c, CardA, 500, 10);
        const Journal::Entry otherCard = sent(c, CardB, 500, 10);
        const Journal::Entry otherBalance = sent(c, CardA, 400, 10);
        Journal::Settle(c, {booked(otherCard), booked(otherBalance)});
        QCOMPARE(Journal::Settle(c, {booked(mine)}).at(0).state, State::Booked);

        const Journal::Entry late = sent(c, CardA, 700, 10);
        const Journal::Entry later = sent(c, CardA, 700, 10, QStringLiteral("desk-2"));
        Journal::Settle(c, {booked(later)});
        const auto settled = Journal::Settle(c, {booked(late)});
        QCOMPARE(settled.at(0).state, State::NotExecuted);
        QVERIFY(!settled.at(0).recordId);
        QCOMPARE(db.scalar(QStringLiteral("SELECT state || '/' || coalesce(record_id, 0) FROM "
                                          "journal WHERE id = %1")
                               .arg(late.id)),
                 QStringLiteral("not_executed/0"));
        QCOMPARE(db.scalar("SELECT count(*) FROM employees"), QStringLiteral("5"));
        QCOMPARE(AuditChainProblem(db.path()), QString());
        if (!TestDatabase::OnServer())
            return;
        // A server plans the check once a session, on whatever statistics a young ledger has:
        // it must still seek the card's later commands rather than read every booked one, in
        // the check alone and in the booking's one statement.
        c.run(QStringLiteral("SET plan_cache_mode = force_generic_plan"));
        QVERIFY2(seeksLaterCommands(c, Statements::JournalEntryCheck,
                                    "(bigint, text, text, integer, integer, integer, text, text, "
                                    "text)",
                                    "(1, 'A', 'recharge', 1, 1, 1, 'o', 'd', 's')"),
                 "the check alone");
        QVERIFY2(seeksLaterCommands(c, Statements::BookCheckedOnServer, "",
                                    "('A', 't', '00001', 10, 1, 'd', 'recharge', 1, 0, 10, 'o', "
                                    "'d', 's', 't', 'a', 'x', 'y')"),
                 "the booking");
    }

    // A booking the store refuses (a malformed amount) leaves everything as it was: the
    // command still waits, no record, no balance seen, no audit entry; it books once mended.
    void aRefusedBookingChangesNothing() {
        TestDatabase db;
        const Connection c(db.path());
        const Journal::Entry first = sent(c, CardB, 0, 1);
        const Journal::Entry e = sent(c, CardA, 0, 12);
        const QString before = ledgerState(db);
        Journal::CardTotals totals{CardA};
        QVERIFY_THROWS_EXCEPTION(
            DataError,
            Journal::Settle(c, {booked(first), booked(e, QStringLiteral("12a"))}, {}, &totals));
        QCOMPARE(ledgerState(db), before);
        QCOMPARE(totals.count, 0);
        QVERIFY(!Cards::Find(c, CardA));

        const auto settled = Journal::Settle(c, {booked(first), booked(e)}, {}, &totals);
        QCOMPARE(settled.at(1).how, Journal::Resolved::Now);
        QCOMPARE(totalsText(totals), QStringLiteral("1/12"));
        QCOMPARE(db.scalar("SELECT count(*) FROM employees"), QStringLiteral("2"));
        QCOMPARE(AuditChainProblem(db.path()), QString());
    }

    // An entry's hash is the one the check works out from what is stored, whatever its text
    // holds: characters of several bytes, the separators the hash uses, digits and colons that
    // could pass for a length, nothing at all.
    void theTrailsHashesHoldForAnyText_data() {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("details");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("chinese") << QStringLiteral("操作员1") << QStringLiteral("卡号 充值 100 元");
        QTest::newRow("four-byte characters")
            << QStringLiteral("a") << QString::fromUtf8("\xF0\x9F\x92\xB3 \xF0\xA0\x80\x80");
        QTest::newRow("separators") << QStringLiteral("1:\x1f") << QStringLiteral("\x1e\x1f:9");
        QTest::newRow("quotes and escapes")
            << QStringLiteral("o'neil") << QStringLiteral("\\x1f \" ' \\ %s $1 ?1\n\tend");
        QTest::newRow("long") << QStringLiteral("x") << QString(5000, QChar(0x4E2D));
    }
    void theTrailsHashesHoldForAnyText() {
        QFETCH(QString, account);
        QFETCH(QString, details);
        TestDatabase db;
        const Connection c(db.path());
        const QDateTime at(QDate(2026, 12, 7), QTime(9, 0));
        const qint64 first = Audit::Append(c, account, "desk-1", Audit::Command, details, at);
        const qint64 second = Audit::Append(c, details, account, Audit::Login, account, at);
        QCOMPARE(second, first + 1);
        const QString previous =
            db.scalar(QStringLiteral("SELECT hash FROM audit WHERE id = %1").arg(first - 1));
        const Audit::Entry entry{
            first, "2026-12-07 09:00:00", account, "desk-1", Audit::Command, details, {}};
        QCOMPARE(db.scalar(QStringLiteral("SELECT hash FROM audit WHERE id = %1").arg(first)),
                 Audit::HashOf(entry, previous));
        QCOMPARE(db.scalar(QStringLiteral("SELECT details FROM audit WHERE id = %1").arg(first)),
                 details);
        QCOMPARE(AuditChainProblem(db.path()), QString());
    }
};

QTEST_GUILESS_MAIN(BookingTest)
#include "tst_booking.moc"
