#include "base/TextTable.h"
#include "data/AdoConn.h"
#include "data/CardRecords.h"
#include "data/Cards.h"
#include "data/Plans.h"
#include "desk/CardPlans.h"
#include "support/FakeDialogs.h"
#include "support/TestDatabase.h"

#include <QtTest>

using namespace velkar;
using Journal::Operation;
using Journal::State;
using What = Plans::Step::What;

namespace {

const Plans::Start Admin{QStringLiteral("管理员"), QStringLiteral("desk-a"),
                         QStringLiteral("2024-05-06 08:00:00")};
const Plans::Start Operator{QStringLiteral("操作员1"), QStringLiteral("desk-a"),
                            QStringLiteral("2024-05-06 08:00:00")};

Plans::Plan replacement(int balance) {
    Plans::Plan p;
    p.kind = Plans::Kind::Replacement;
    p.balance = balance;
    return p;
}

Plans::Plan correction(int amount) {
    Plans::Plan p;
    p.kind = Plans::Kind::Correction;
    p.amount = amount;
    return p;
}

Plans::Command command(Operation op, int amount, State state, int before = 0) {
    Plans::Command c;
    c.operation = op;
    c.amount = amount;
    c.state = state;
    c.balanceBefore = before;
    return c;
}

Plans::Command booked(Operation op, int amount, int before = 0) {
    return command(op, amount, State::Booked, before);
}

// A lost card of the archive, last seen holding `tenths` (none: never seen).
void lostCard(const TestDatabase& db, const QString& cardNo, std::optional<int> tenths) {
    db.addCardholder("7", cardNo, "张三");
    const Connection c(db.path());
    if (tenths)
        Cards::Seen(c, cardNo, *tenths, "2024-05-06 07:00:00", "desk-b");
    QCOMPARE(Cards::ReportLost(c, cardNo, "遗失", "操作员1", "desk-b"), QString());
}

// A booked recharge of the card, by journal and record as the desk books it; its record id.
qint64 bookedRecharge(const TestDatabase& db, const QString& cardNo, int amount, int before) {
    const Connection c(db.path());
    Journal::Entry e;
    e.cardNo = cardNo;
    e.amount = amount;
    e.balanceBefore = before;
    e.balanceExpected = before + amount * 10;
    e.operatorName = "操作员1";
    e.desk = "desk-a";
    e.sentAt = "2024-05-06 07:30:00";
    e.id = Journal::Add(c, e);
    const auto settled = Journal::Settle(
        c, {{e, State::Booked, e.balanceExpected, "2024-05-06 07:30:01", QString::number(amount)}});
    return *settled.front().recordId;
}

// The plan's recharge of `yuan` onto the empty new card, as the link writes it: a journal row
// linked to the plan, in one transaction.
void sendLinkedRecharge(const Connection& c, const Plans::Plan& plan, int yuan) {
    Transaction t(c, Transaction::Write);
    Journal::Entry e;
    e.cardNo = plan.cardNo;
    e.amount = yuan;
    e.balanceExpected = yuan * 10;
    e.operatorName = "操作员1";
    e.desk = "desk-a";
    e.sentAt = "2024-05-06 08:00:01";
    e.id = Journal::Add(c, e);
    Plans::Link(c, e.id, plan, e);
    t.commit();
}

} // namespace

class TestPlans : public QObject {
    Q_OBJECT

private slots:
    // A replacement recharges the whole yuan in commands of at most 1999, and pays the tenths
    // out once every yuan is booked; what is left always comes from what was booked.
    void replacementStepsFromWhatWasBooked() {
        const Plans::Plan p = replacement(45007); // 4500.7
        Plans::Step s = Plans::NextStep(p, {}, 0);
        QVERIFY(s.what == What::Send && s.operation == Operation::Recharge && s.amount == 1999);
        s = Plans::NextStep(p, {booked(Operation::Recharge, 1999)}, 19990);
        QCOMPARE(s.amount, 1999);
        // A command that did not reach the card counts nothing: the same amount again.
        s = Plans::NextStep(p,
                            {booked(Operation::Recharge, 1999),
                             command(Operation::Recharge, 1999, State::NotExecuted, 19990)},
                            19990);
        QCOMPARE(s.amount, 1999);
        s = Plans::NextStep(
            p, {booked(Operation::Recharge, 1999), booked(Operation::Recharge, 1999)}, 39980);
        QCOMPARE(s.amount, 502);
        s = Plans::NextStep(p,
                            {booked(Operation::Recharge, 1999), booked(Operation::Recharge, 1999),
                             booked(Operation::Recharge, 502)},
                            45000);
        QVERIFY(s.what == What::Finish);
        QCOMPARE(s.cash, 7);
        QVERIFY(Plans::NextStep(replacement(4), {}, 0).what == What::Finish); // 0.4: cash only
    }

    // Nothing goes out past a command whose answer is unknown, or into a card that can't
    // hold it.
    void aStepWaitsOrStops() {
        const Plans::Plan p = replacement(50000);
        QVERIFY(
            Plans::NextStep(p, {command(Operation::Recharge, 1999, State::Pending, 0)}, 0).what ==
            What::Wait);
        const Plans::Step mismatch =
            Plans::NextStep(p, {command(Operation::Recharge, 1999, State::Mismatch, 0)}, 123);
        QVERIFY(mismatch.what == What::Stop);
        QCOMPARE(mismatch.problem, QStringLiteral("有一条指令的结果与预期不符，请核对。"));
        const Plans::Step full = Plans::NextStep(p, {}, 60000);
        QVERIFY(full.what == What::Stop);
        QCOMPARE(full.problem, QStringLiteral("充值后余额超出上限"));
        // Booked beyond the target: never sent again, looked at.
        QVERIFY(Plans::NextStep(replacement(100), {booked(Operation::Recharge, 20)}, 200).what ==
                What::Stop);
    }

    // A correction clears the card first, then recharges what it held less the mistake, from
    // the balance the clear took; a card holding less than the mistake is refused with both.
    void correctionClearsThenRecharges() {
        const Plans::Plan p = correction(100);
        const Plans::Step low = Plans::NextStep(p, {}, 995);
        QVERIFY(low.what == What::Stop);
        QCOMPARE(low.problem,
                 QStringLiteral("卡内余额 99.5 元，少于要冲正的金额 100 元，不能冲正。"));
        Plans::Step s = Plans::NextStep(p, {}, 1234);
        QVERIFY(s.what == What::Send && s.operation == Operation::Clear);
        // Cleared at 123.4: 23 yuan back on, 0.4 in cash.
        const Plans::Command clear = booked(Operation::Clear, 123, 1234);
        s = Plans::NextStep(p, {clear}, 0);
        QVERIFY(s.what == What::Send && s.operation == Operation::Recharge && s.amount == 23);
        s = Plans::NextStep(p, {clear, booked(Operation::Recharge, 23)}, 230);
        QVERIFY(s.what == What::Finish);
        QCOMPARE(s.cash, 4);
        // Exactly the mistake on the card: cleared, nothing back.
        QVERIFY(Plans::NextStep(p, {booked(Operation::Clear, 100, 1000)}, 0).what == What::Finish);
    }

    // The new card must be one the ledger never saw; the lost card's balance is its last seen,
    // or one the administrator enters with a reason. The holder moves, the link is kept.
    void replacementStartsOnce() {
        TestDatabase db;
        lostCard(db, "0000000A", 1234);
        db.addCardholder("8", "0000000C", "李四");
        db.addRecord("0000000D", "2024-05-01 10:00:00", "50");
        const Connection c(db.path());
        Plans::Plan plan;
        QCOMPARE(Plans::StartReplacement(c, "0000000C", "0000000B", Operator, &plan),
                 QStringLiteral("卡 0000000C 没有挂失，不能补卡。"));
        QCOMPARE(Plans::StartReplacement(c, "0000000A", "0000000D", Operator, &plan),
                 QStringLiteral("卡 0000000D 在账中已有记录，不能作为补卡的新卡。"));
        QCOMPARE(Plans::StartReplacement(c, "0000000A", "0000000C", Operator, &plan),
                 QStringLiteral("卡 0000000C 已有档案，不能作为补卡的新卡。"));
        QCOMPARE(db.scalar("SELECT count(*) FROM replacements"), QStringLiteral("0"));

        QCOMPARE(Plans::StartReplacement(c, "0000000A", "0000000B", Operator, &plan), QString());
        QCOMPARE(plan.balance, 1234);
        QCOMPARE(plan.cardNo, QStringLiteral("0000000B"));
        QVERIFY(Plans::OpenOf(c, "0000000B"));
        QVERIFY(!Plans::OpenOf(c, "0000000A"));
        QCOMPARE(db.scalar("SELECT 卡号 FROM userecord WHERE 姓名 = '张三'"),
                 QStringLiteral("0000000B"));
        QCOMPARE(Cards::Find(c, "0000000A")->replacedBy, QStringLiteral("0000000B"));
        QCOMPARE(db.scalar("SELECT details FROM audit WHERE action = '补卡'"),
                 QStringLiteral("卡 0000000A 补卡，新卡 0000000B，余额 123.4 元"));
        QCOMPARE(Plans::StartReplacement(c, "0000000A", "0000000E", Operator, &plan),
                 QStringLiteral("卡 0000000A 已经补卡，新卡为 0000000B。"));
        QVERIFY(Plans::Replaceable(c).empty());
    }

    void unknownBalanceIsTheAdministrators() {
        TestDatabase db;
        lostCard(db, "0000000A", std::nullopt);
        const Connection c(db.path());
        Plans::Plan plan;
        QCOMPARE(Plans::StartReplacement(c, "0000000A", "0000000B", Operator, &plan, 500, "旧账"),
                 QStringLiteral("卡 0000000A 的余额从未读到，只有管理员可以录入余额。"));
        QCOMPARE(Plans::StartReplacement(c, "0000000A", "0000000B", Admin, &plan),
                 QStringLiteral("卡 0000000A 的余额从未读到，只有管理员可以录入余额。"));
        QCOMPARE(Plans::StartReplacement(c, "0000000A", "0000000B", Admin, &plan, 500, " "),
                 QStringLiteral("请填写录入余额的原因。"));
        QCOMPARE(Plans::StartReplacement(c, "0000000A", "0000000B", Admin, &plan, 500, "旧账"),
                 QString());
        QCOMPARE(plan.balance, 500);
        QCOMPARE(db.scalar("SELECT details FROM audit WHERE action = '录入余额'"),
                 QStringLiteral("卡 0000000A 的余额录入为 50.0 元，原因：旧账"));
    }

    // Only the administrator corrects, only a plain booked recharge of the card, once, and
    // only while the card holds at least the mistake.
    void correctionStartsOnce() {
        TestDatabase db;
        const qint64 recharge = bookedRecharge(db, "0000000A", 100, 234);
        const qint64 other = bookedRecharge(db, "0000000B", 5, 0);
        const Connection c(db.path());
        Plans::Plan plan;
        QCOMPARE(Plans::StartCorrection(c, "0000000A", recharge, 1234, Operator, &plan),
                 QStringLiteral("您没有管理员权限！"));
        QCOMPARE(Plans::StartCorrection(c, "0000000A", other, 1234, Admin, &plan),
                 QStringLiteral("所选记录不是卡 0000000A 的充值记录，不能冲正。"));
        QCOMPARE(Plans::StartCorrection(c, "0000000A", recharge, 999, Admin, &plan),
                 QStringLiteral("卡内余额 99.9 元，少于要冲正的金额 100 元，不能冲正。"));
        QCOMPARE(Plans::CorrectableOf(c, "0000000A").size(), size_t(1));
        QCOMPARE(Plans::StartCorrection(c, "0000000A", recharge, 1234, Admin, &plan), QString());
        QCOMPARE(plan.balance, 234);
        QCOMPARE(Plans::StartCorrection(c, "0000000A", recharge, 1234, Admin, &plan),
                 QStringLiteral("该记录已经冲正。"));
        QVERIFY(Plans::CorrectableOf(c, "0000000A").empty());
        // The mistaken record stays; the correction marks it.
        QCOMPARE(db.scalar("SELECT count(*) FROM employees WHERE 卡号 = '0000000A'"),
                 QStringLiteral("1"));
        QCOMPARE(Plans::CorrectionOf(c, recharge)->id, plan.id);
    }

    // Finishing pays the tenths out once and closes the plan; its commands are found by link.
    void finishPaysOnceAndCloses() {
        TestDatabase db;
        lostCard(db, "0000000A", 1234);
        const Connection c(db.path());
        Plans::Plan plan;
        QCOMPARE(Plans::StartReplacement(c, "0000000A", "0000000B", Operator, &plan), QString());
        sendLinkedRecharge(c, plan, 123);
        const auto commands = Plans::CommandsOf(c, plan);
        QCOMPARE(commands.size(), size_t(1));
        QVERIFY(commands[0].state == State::Pending && commands[0].amount == 123);
        {
            Transaction t(c, Transaction::Write);
            Plans::Finish(c, plan, 4, "操作员1", "desk-a", "2024-05-06 08:00:05");
            t.commit();
        }
        QVERIFY(!Plans::OpenOf(c, "0000000B"));
        QCOMPARE(Plans::CashPaid(c, plan), std::optional(4));
        QVERIFY_THROWS_EXCEPTION(DataError, {
            Transaction t(c, Transaction::Write);
            Plans::Finish(c, plan, 4, "操作员1", "desk-a", "2024-05-06 08:00:06");
        });
        QCOMPARE(db.scalar("SELECT count(*) FROM cash_paid"), QStringLiteral("1"));
    }

    // Closing by hand pays out what the plan's own card did not take: commands that went to
    // another card or whose result is unknown count nothing, and a correction that never
    // cleared is withdrawn with nothing paid.
    void closingPaysTheRest() {
        Plans::Plan p = replacement(1004);
        p.cardNo = "0000000B";
        Plans::Command astray = booked(Operation::Recharge, 30);
        astray.cardNo = "0000000C";
        Plans::Closing c =
            Plans::ClosingOf(p, {booked(Operation::Recharge, 50),
                                 command(Operation::Recharge, 50, State::Mismatch, 500), astray,
                                 command(Operation::Recharge, 9, State::NotExecuted, 500)});
        QVERIFY(!c.waiting && !c.withdrawn);
        QCOMPARE(c.target, 1004);
        QCOMPARE(c.moved, 500);
        QCOMPARE(c.cash, 504);
        QCOMPARE(c.unknown, 1);
        QCOMPARE(c.astray, QStringList{"0000000C"});
        QVERIFY(Plans::ClosingOf(p, {command(Operation::Recharge, 50, State::Pending, 0)}).waiting);
        // Booked beyond its value: nothing more goes out, in cash either.
        QCOMPARE(Plans::ClosingOf(replacement(100), {booked(Operation::Recharge, 20)}).cash, 0);

        c = Plans::ClosingOf(correction(100),
                             {command(Operation::Clear, 123, State::Mismatch, 1234)});
        QVERIFY(c.withdrawn);
        QCOMPARE(c.cash, 0);
        c = Plans::ClosingOf(correction(100), {booked(Operation::Clear, 123, 1234),
                                               booked(Operation::Recharge, 10)});
        QVERIFY(!c.withdrawn);
        QCOMPARE(c.target, 234);
        QCOMPARE(c.moved, 100);
        QCOMPARE(c.cash, 134);
    }

    // 结清 at the desk: the administrator's password again, the open plan picked, its figures
    // confirmed; the plan is closed with the rest paid out and audited, once.
    void theDeskClosesAStoppedPlan() {
        TestDatabase db;
        db.setPassword("管理员", "secret");
        lostCard(db, "0000000A", 1234);
        const Connection c(db.path());
        Plans::Plan plan;
        QCOMPARE(Plans::StartReplacement(c, "0000000A", "0000000B", Operator, &plan), QString());
        sendLinkedRecharge(c, plan, 100);
        FakeDialogs dialogs;
        PlanRequest request{{}, 0, "操作员1", "desk-a", "2024-05-06 09:00:00"};
        QVERIFY(!AskClosePlan(dialogs, c, request));
        QCOMPARE(dialogs.lastText(), QStringLiteral("您没有管理员权限！"));
        request.account = "管理员";
        dialogs.answerText("secret");
        dialogs.answerChoice(0);
        QVERIFY(!AskClosePlan(dialogs, c, request)); // its command still waits
        QCOMPARE(dialogs.choices().last(),
                 QStringList{QStringLiteral("补卡  0000000B  补自 0000000A  123.4 元")});
        QCOMPARE(dialogs.lastText(),
                 QStringLiteral("卡 0000000B 还有指令等待确认，请先把卡放上读卡器。"));
        Journal::Entry sent = Journal::Pending(c).front();
        Journal::Settle(c, {{sent, State::Booked, 1000, "2024-05-06 08:00:02", "100"}});

        dialogs.answerText("secret");
        dialogs.answerChoice(0);
        QVERIFY(!AskClosePlan(dialogs, c, request)); // 否, the default
        QCOMPARE(dialogs.questions().last(),
                 QStringLiteral("结清补卡：卡 0000000B 应有 123.4 元，已转入 100.0 元，\n余下 "
                                "23.4 元付现金。\n确定结清吗？"));
        QVERIFY(Plans::OpenOf(c, "0000000B"));
        dialogs.answerText("secret");
        dialogs.answerChoice(0);
        dialogs.answerQuestion(true);
        const auto closed = AskClosePlan(dialogs, c, request);
        QVERIFY(closed && closed->cardNo == "0000000B");
        QCOMPARE(dialogs.lastText(), QStringLiteral("已结清。请付给持卡人现金 23.4 元。"));
        QVERIFY(!Plans::OpenOf(c, "0000000B"));
        QCOMPARE(Plans::CashPaid(c, plan), std::optional(234));
        QCOMPARE(
            db.scalar("SELECT details FROM audit WHERE action = '结清'"),
            QStringLiteral("补卡 卡 0000000B：应有 123.4 元，已转入 100.0 元，付现金 23.4 元"));
        dialogs.answerText("secret");
        QVERIFY(!AskClosePlan(dialogs, c, request));
        QCOMPARE(dialogs.lastText(), QStringLiteral("没有未完成的补卡或冲正。"));
    }

    // The desk's list marks a recharge taken back and the commands of a correction and a
    // replacement; the windows name a card's replacements both ways.
    void recordsAndCardsShowThePlans() {
        TestDatabase db;
        lostCard(db, "0000000A", 1234);
        const qint64 mistaken = bookedRecharge(db, "0000000C", 100, 234);
        bookedRecharge(db, "0000000C", 5, 1234);
        const Connection c(db.path());
        Plans::Plan correctionPlan;
        QCOMPARE(Plans::StartCorrection(c, "0000000C", mistaken, 1284, Admin, &correctionPlan),
                 QString());
        const auto marks = [&](const QString& cardNo) {
            QStringList texts;
            const CardRecordPages pages =
                ReadCardRecordPages(std::make_shared<Connection>(db.path()), cardNo);
            for (qsizetype r = 0; r < pages.rows->count(); ++r)
                texts << pages.rows->text(r, 3);
            return texts.join(',');
        };
        QCOMPARE(marks("0000000C"), QStringLiteral("冲正中,"));
        const auto linked = [&](Operation op, int amount, int before, const Plans::Plan& plan) {
            Transaction t(c, Transaction::Write);
            Journal::Entry e;
            e.cardNo = plan.cardNo;
            e.operation = op;
            e.amount = amount;
            e.balanceBefore = before;
            e.balanceExpected = op == Operation::Clear ? 0 : before + amount * 10;
            e.operatorName = "管理员";
            e.desk = "desk-a";
            e.sentAt = "2024-05-06 08:00:01";
            e.id = Journal::Add(c, e);
            Plans::Link(c, e.id, plan, e);
            t.commit();
            Journal::Settle(c, {{e, State::Booked, e.balanceExpected, "2024-05-06 08:00:02",
                                 BookedAmountText(op == Operation::Clear, amount)}});
        };
        linked(Operation::Clear, 128, 1284, correctionPlan);
        QCOMPARE(marks("0000000C"), QStringLiteral("冲正中,,冲正"));
        QCOMPARE(Plans::Close(c, correctionPlan, Admin), QString());
        QCOMPARE(marks("0000000C"), QStringLiteral("已冲正,,冲正"));

        Plans::Plan replacementPlan;
        QCOMPARE(Plans::StartReplacement(c, "0000000A", "0000000B", Operator, &replacementPlan),
                 QString());
        linked(Operation::Recharge, 123, 0, replacementPlan);
        QCOMPARE(marks("0000000B"), QStringLiteral("补卡"));
        QCOMPARE(Cards::LinkText(c, "0000000B"), QStringLiteral("补自 0000000A（未完成）"));
        QCOMPARE(Cards::LinkText(c, "0000000A"), QStringLiteral("补为 0000000B（未完成）"));
        QCOMPARE(Cards::LinkText(c, "0000000C"), QString());
        QCOMPARE(Plans::Close(c, replacementPlan, Admin), QString());
        QCOMPARE(Cards::LinkText(c, "0000000A"), QStringLiteral("补为 0000000B"));
        QCOMPARE(Plans::CashPaid(c, replacementPlan), std::optional(4));
    }

    // As the desk asks: a replacement picked from the lost cards and confirmed; a correction
    // behind the administrator's password, picked from the card's recharges.
    void theDesksQuestions() {
        TestDatabase db;
        db.setPassword("管理员", "secret");
        lostCard(db, "0000000A", 1234);
        const qint64 recharge = bookedRecharge(db, "0000000C", 100, 234);
        const Connection c(db.path());
        FakeDialogs dialogs;
        PlanRequest request{"0000000B", 0, "操作员1", "desk-a", "2024-05-06 08:00:00"};
        QVERIFY(!AskReplacement(dialogs, c, request)); // nothing picked
        dialogs.answerChoice(0);
        QVERIFY(!AskReplacement(dialogs, c, request)); // 否, the default
        QCOMPARE(dialogs.choices().first(),
                 QStringList{QStringLiteral("0000000A  张三  余额 123.4")});
        dialogs.answerChoice(0);
        dialogs.answerQuestion(true);
        const auto started = AskReplacement(dialogs, c, request);
        QVERIFY(started && started->cardNo == "0000000B");
        QVERIFY(dialogs.questions().last().contains(QStringLiteral("充值 123 元，付现金 0.4 元")));

        request = {"0000000C", 1234, "操作员1", "desk-a", "2024-05-06 08:00:00"};
        QVERIFY(!AskCorrection(dialogs, c, request));
        QCOMPARE(dialogs.lastText(), QStringLiteral("您没有管理员权限！"));
        request.account = "管理员";
        dialogs.answerText("wrong");
        QVERIFY(!AskCorrection(dialogs, c, request));
        QCOMPARE(dialogs.lastText(), QStringLiteral("密码错误！"));
        dialogs.answerText("secret");
        dialogs.answerChoice(0);
        dialogs.answerQuestion(true);
        const auto corrected = AskCorrection(dialogs, c, request);
        QVERIFY(corrected && corrected->recordId == recharge);
        QVERIFY(dialogs.questions().last().contains(
            QStringLiteral("卡内余额 123.4 元改为 23.4 元：先清零，再充值 23 元，付现金 0.4 元")));
        QCOMPARE(db.scalar("SELECT count(*) FROM audit WHERE action = '登录'"),
                 QStringLiteral("0"));
    }
};

QTEST_GUILESS_MAIN(TestPlans)
#include "tst_plans.moc"
