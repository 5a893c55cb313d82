#include "FakeDeskView.h"
#include "support/QuickTry.h"
#include "support/TestDatabase.h"

#include "base/Clock.h"
#include "data/AdoConn.h"
#include "data/Cards.h"
#include "data/Plans.h"
#include "data/Shift.h"
#include "reader/LinkState.h"
#include "reader/ReaderLink.h"
#include "reader/SimulatedReader.h"

#include <QTest>

#include <functional>
#include <thread>

using namespace velkar;

namespace {

const CardNumber Lost{0x00, 0x00, 0x00, 0x0A};
const CardNumber New{0x00, 0x00, 0x00, 0x0B};
const CardNumber Other{0x00, 0x00, 0x00, 0x0C};
const QString LostText = QStringLiteral("0000000A");
const QString NewText = QStringLiteral("0000000B");
const QString OtherText = QStringLiteral("0000000C");
const Plans::Start Start{QStringLiteral("操作员1"), QStringLiteral("desk-a"),
                         QStringLiteral("2024-05-06 08:00:00")};

// A reader that lays another card on just before it carries out the next frame: the card
// swapped in as the command goes out.
struct SwappingReader : SimulatedReader {
    std::function<void()> beforeWrite;
    bool BridgeWriteData(BridgeHandle handle, const std::uint8_t* data,
                         std::size_t length) override {
        if (const auto swap = std::exchange(beforeWrite, {}))
            swap();
        return SimulatedReader::BridgeWriteData(handle, data, length);
    }
};

// A desk: the simulated reader, which carries out every command and reports the card again,
// and the link booking into one ledger (its own, or another desk's).
struct Desk {
    explicit Desk(const QString& database, const QString& name = QStringLiteral("desk-a"))
        : clock(QDateTime(QDate(2024, 5, 6), QTime(8, 0, 0))),
          link(reader, clock, database, QStringLiteral("操作员1"), name) {
        view.attach(link);
        link.findReaderPath();
        link.connect();
        QTRY_VERIFY(reader.collectingHandles() == 1);
    }
    void lay(const CardNumber& card, std::uint16_t balance) {
        reader.layCard(card, balance);
        QTRY_VERIFY(link.cardOnReader() && !link.checkingCard(CardNumberText(card)));
    }
    int balance() const { return reader.card() ? reader.card()->balance : -1; }

    SwappingReader reader;
    FakeDeskView view;
    FixedClock clock;
    ReaderLink link;
};

// What the ledger holds for the plans: linked recharges booked, cash paid, open plans.
QString ledger(const TestDatabase& db) {
    return db.scalar(
        "SELECT (SELECT coalesce(sum(j.amount), 0) FROM journal j JOIN journal_links l ON "
        "l.journal_id = j.id WHERE j.state = 'booked' AND j.operation = 'recharge') || ' ' || "
        "(SELECT coalesce(sum(amount), 0) FROM cash_paid) || ' ' || "
        "((SELECT count(*) FROM replacements WHERE state = 'open') + "
        "(SELECT count(*) FROM corrections WHERE state = 'open'))");
}

Plans::Plan startReplacement(const TestDatabase& db, int lastBalance) {
    db.addCardholder("7", LostText, "张三");
    const Connection c(db.path());
    Cards::Seen(c, LostText, lastBalance, "2024-05-06 07:00:00", "desk-b");
    [&] { QCOMPARE(Cards::ReportLost(c, LostText, "遗失", "操作员1", "desk-b"), QString()); }();
    Plans::Plan plan;
    [&] { QCOMPARE(Plans::StartReplacement(c, LostText, NewText, Start, &plan), QString()); }();
    return plan;
}

} // namespace

class TestCardPlans : public QObject {
    Q_OBJECT

private slots:
    void init() { ResetLinkState(); }

    // 4500.7 yuan reach the new card in three recharges; 0.7 is paid out; the plan closes and
    // the card takes ordinary commands again.
    void replacementCarriesTheBalanceOver() {
        TestDatabase db;
        startReplacement(db, 45007);
        Desk desk(db.path());
        desk.lay(New, 0);
        desk.link.startPlan(NewText);
        QTRY_COMPARE_WITH_TIMEOUT(ledger(db), QStringLiteral("4500 7 0"), 10000);
        QCOMPARE(desk.balance(), 45000);
        QCOMPARE(
            db.scalar("SELECT group_concat(CAST(amount AS TEXT), ',') FROM (SELECT amount FROM "
                      "journal ORDER BY id) AS j"),
            QStringLiteral("1999,1999,502"));
        QCOMPARE(db.scalar("SELECT count(*) FROM journal_links WHERE kind = 'replacement'"),
                 QStringLiteral("3"));
        QTRY_VERIFY(desk.view.get(desk.view.messages)
                        .contains(QStringLiteral("补卡完成。请付给持卡人现金 0.7 元。")));
        QVERIFY(!desk.link.planRunning(NewText));
        desk.link.requestRecharge(1);
        QTRY_COMPARE(desk.balance(), 45010);
    }

    // A desk that died with the plan's first command out: at another desk the card's report
    // resolves that command by the journal's rules first, and the plan goes on from what was
    // booked, whether the reader had carried it out or not; nothing is sent twice.
    void interruptedReplacementResumesElsewhere_data() {
        QTest::addColumn<int>("shown");
        QTest::addColumn<QString>("amounts");
        QTest::newRow("carried out") << 19990 << QStringLiteral("1999 booked,1001 booked");
        QTest::newRow("never reached the card")
            << 0 << QStringLiteral("1999 not_executed,1999 booked,1001 booked");
    }
    void interruptedReplacementResumesElsewhere() {
        QFETCH(int, shown);
        QFETCH(QString, amounts);
        TestDatabase db;
        const Plans::Plan plan = startReplacement(db, 30000);
        {
            const Connection c(db.path());
            Transaction t(c, Transaction::Write);
            Journal::Entry e;
            e.cardNo = NewText;
            e.amount = 1999;
            e.balanceExpected = 19990;
            e.operatorName = "操作员1";
            e.desk = "desk-k";
            e.sentAt = "2024-05-06 07:59:00";
            e.id = Journal::Add(c, e);
            Plans::Link(c, e.id, plan, e);
            t.commit();
        }
        Desk desk(db.path(), QStringLiteral("desk-b"));
        desk.lay(New, std::uint16_t(shown));
        QTRY_COMPARE_WITH_TIMEOUT(ledger(db), QStringLiteral("3000 0 0"), 10000);
        QCOMPARE(desk.balance(), 30000);
        QCOMPARE(db.scalar("SELECT group_concat(CAST(amount AS TEXT) || ' ' || state, ',') FROM "
                           "(SELECT amount, state FROM journal ORDER BY id) AS j"),
                 amounts);
    }

    // While the plan is open the card takes no ordinary command; a command the reader did not
    // carry out stops the plan until the card comes again.
    void anOpenPlanHoldsTheCard() {
        TestDatabase db;
        startReplacement(db, 100);
        Desk desk(db.path());
        desk.reader.failWrites(true);
        desk.lay(New, 0);
        QTRY_VERIFY(desk.link.planRunning(NewText)); // known from the ledger at arrival
        QTRY_VERIFY(desk.view.get(desk.view.messages)
                        .contains(QStringLiteral("补卡未完成\n读卡器没有执行，请把卡拿开再放上，"
                                                 "继续办理。")));
        desk.link.requestRecharge(5);
        QTRY_VERIFY(desk.view.get(desk.view.messages)
                        .contains(QStringLiteral("卡 0000000B 有未完成的补卡或冲正。")));
        desk.reader.failWrites(false);
        desk.reader.removeCard();
        desk.clock.advance(CommandBook::CardPresentMs + 1);
        desk.lay(New, 0);
        QTRY_COMPARE_WITH_TIMEOUT(ledger(db), QStringLiteral("10 0 0"), 10000);
        QCOMPARE(db.scalar("SELECT count(*) FROM journal WHERE state = 'booked'"),
                 QStringLiteral("1"));
    }

    // A mistaken 100 on a card at 123.4: cleared, 23 back on, 0.4 paid out; the mistaken
    // record stays, marked by its correction.
    void correctionSetsTheCardRight() {
        TestDatabase db;
        Desk desk(db.path());
        desk.lay(New, 234);
        desk.link.requestRecharge(100);
        QTRY_COMPARE(desk.balance(), 1234);
        QTRY_COMPARE(db.scalar("SELECT count(*) FROM employees"), QStringLiteral("1"));
        desk.link.waitForStore();
        const Connection c(db.path());
        Plans::Plan plan;
        const qint64 record = db.scalar("SELECT rowid FROM employees").toLongLong();
        Plans::Start admin = Start;
        admin.account = QStringLiteral("管理员");
        QCOMPARE(Plans::StartCorrection(c, NewText, record, 1234, admin, &plan), QString());
        desk.link.startPlan(NewText);
        QTRY_COMPARE_WITH_TIMEOUT(ledger(db), QStringLiteral("23 4 0"), 10000);
        QCOMPARE(desk.balance(), 230);
        QCOMPARE(db.scalar("SELECT group_concat(CAST(金额 AS TEXT), ',') FROM (SELECT 金额 FROM "
                           "employees ORDER BY rowid) AS e"),
                 QStringLiteral("100,-123,23"));
        QCOMPARE(db.scalar("SELECT count(*) FROM journal_links WHERE kind = 'correction'"),
                 QStringLiteral("2"));
        QTRY_VERIFY(desk.view.get(desk.view.messages)
                        .contains(QStringLiteral("冲正完成。请付给持卡人现金 0.4 元。")));
    }

    // Spent below the mistake before the correction reached the card: refused with both
    // amounts at its next report, nothing sent.
    void correctionOfASpentCardStops() {
        TestDatabase db;
        Desk desk(db.path());
        desk.lay(New, 0);
        desk.link.requestRecharge(100);
        QTRY_COMPARE(db.scalar("SELECT count(*) FROM employees"), QStringLiteral("1"));
        desk.link.waitForStore();
        desk.reader.removeCard();
        const Connection c(db.path());
        Plans::Plan plan;
        Plans::Start admin = Start;
        admin.account = QStringLiteral("管理员");
        QCOMPARE(Plans::StartCorrection(c, NewText,
                                        db.scalar("SELECT rowid FROM employees").toLongLong(), 1000,
                                        admin, &plan),
                 QString());
        desk.clock.advance(CommandBook::CardPresentMs + 1);
        desk.lay(New, 500); // spent elsewhere meanwhile
        QTRY_VERIFY(desk.view.get(desk.view.messages)
                        .contains(QStringLiteral("冲正未完成\n卡内余额 50.0 元，少于要冲正的"
                                                 "金额 100 元，不能冲正。")));
        QCOMPARE(db.scalar("SELECT count(*) FROM journal"), QStringLiteral("1"));
        QCOMPARE(desk.balance(), 500);
    }

    // The reader carried the plan's command out on a card laid on in the new card's place: that
    // change is booked on the card that took it, as the plan's (value moved, no cash in the
    // drawer), and the plan stops for the administrator, who closes it by paying the rest in
    // cash; nothing more goes to the new card meanwhile.
    void aCardSwappedInMidPlan() {
        TestDatabase db;
        const Connection c(db.path());
        const Shifts::Begun shift = Shifts::Begin(
            c, QStringLiteral("desk-a"), QStringLiteral("操作员1"), QDateTime::currentDateTime());
        const Plans::Plan plan = startReplacement(db, 1004);
        Desk desk(db.path());
        desk.reader.beforeWrite = [&desk] { desk.reader.layCard(Other, 300); };
        desk.lay(New, 0);
        const QString stopped =
            QStringLiteral("补卡未完成\n有一条指令在卡 0000000C 上执行了，请管理员核对后结清。");
        QTRY_VERIFY_WITH_TIMEOUT(desk.view.get(desk.view.messages).contains(stopped), 10000);
        desk.link.waitForStore();
        QCOMPARE(desk.balance(), 1300);
        QCOMPARE(db.scalar("SELECT group_concat(j.card_no || ' ' || j.state || ' ' || "
                           "coalesce(l.kind, '-'), ',') FROM (SELECT * FROM journal ORDER BY id) "
                           "AS j LEFT JOIN journal_links l ON l.journal_id = j.id"),
                 QStringLiteral("0000000B not_executed replacement,0000000C booked replacement"));
        QCOMPARE(Shifts::WithFigures(c, shift.shift.id)->expected, std::optional<qint64>(0));

        desk.reader.removeCard();
        desk.clock.advance(CommandBook::CardPresentMs + 1);
        desk.lay(New, 0);
        QTRY_COMPARE(desk.view.get(desk.view.messages).count(stopped), 2);
        desk.link.waitForStore();
        QCOMPARE(db.scalar("SELECT count(*) FROM journal"), QStringLiteral("2"));

        Plans::Start admin = Start;
        admin.account = QStringLiteral("管理员");
        QCOMPARE(Plans::Close(c, plan, Start), QStringLiteral("您没有管理员权限！"));
        Plans::Closing closing;
        QCOMPARE(Plans::Close(c, plan, admin, &closing), QString());
        QCOMPARE(closing.cash, 1004);
        QCOMPARE(closing.astray, QStringList{OtherText});
        QCOMPARE(Plans::Close(c, plan, admin), QStringLiteral("这笔补卡或冲正已经办完。"));
        QCOMPARE(ledger(db), QStringLiteral("100 1004 0"));
        QCOMPARE(Shifts::WithFigures(c, shift.shift.id)->expected, std::optional<qint64>(-1004));
        desk.link.planClosed(NewText);
        desk.link.requestRecharge(5);
        QTRY_COMPARE(desk.balance(), 50);
    }

    // A desk closed while a plan's step is under way: the step may still hand the store its
    // next task (a frame that can't go out any more resolves at once), which must find it.
    void closingMidPlan() {
        TestDatabase db;
        startReplacement(db, 65535);
        for (int round = 0; round < 20; ++round) {
            Desk desk(db.path());
            desk.lay(New, 0);
            desk.link.startPlan(NewText);
            std::this_thread::sleep_for(std::chrono::microseconds(round * 150));
            desk.link.shutdown(0);
        }
        QVERIFY(db.scalar("SELECT count(*) FROM replacements").toInt() == 1);
    }
};

QTEST_GUILESS_MAIN(TestCardPlans)
#include "tst_card_plans.moc"
