#include "data/AdoConn.h"
#include "data/Cards.h"
#include "records/CardLoss.h"
#include "support/FakeDialogs.h"
#include "support/TestDatabase.h"

#include <QtTest>

using namespace velkar;

class TestCards : public QObject {
    Q_OBJECT

private slots:
    // 挂失 takes a card of the archive with a reason, once; 解挂 only a lost card. Each is one
    // audit entry, and a refusal writes nothing.
    void lostAndFoundAgain() {
        TestDatabase db;
        db.addCardholder("1", "0000000A", "张三");
        const Connection c(db.path());
        QCOMPARE(Cards::ReportLost(c, "0000000B", "遗失", "操作员1", "d"),
                 QStringLiteral("卡号 0000000B 不在档案中，不能挂失。"));
        QCOMPARE(Cards::ReportLost(c, "0000000A", "  ", "操作员1", "d"),
                 QStringLiteral("请填写挂失原因。"));
        QCOMPARE(Cards::Unmark(c, "0000000A", "管理员", "d"),
                 QStringLiteral("卡 0000000A 没有挂失。"));
        QCOMPARE(db.scalar("SELECT count(*) FROM audit"), QStringLiteral("0"));
        QVERIFY(!Cards::Known(c, "0000000A"));

        QCOMPARE(Cards::ReportLost(c, "0000000A", " 遗失 ", "操作员1", "d"), QString());
        QCOMPARE(Cards::ReportLost(c, "0000000A", "又丢", "操作员2", "d"),
                 QStringLiteral("卡 0000000A 已经挂失。"));
        const auto lost = Cards::Find(c, "0000000A");
        QVERIFY(lost && lost->state == Cards::State::Lost);
        QCOMPARE(lost->reason, QStringLiteral("遗失"));
        QCOMPARE(lost->account, QStringLiteral("操作员1"));
        QVERIFY(!lost->lastBalance);
        QVERIFY(Cards::Known(c, "0000000A"));
        QCOMPARE(Cards::List(c, Cards::State::Lost).size(), size_t(1));
        QCOMPARE(Cards::List(c, Cards::State::Active).size(), size_t(0));

        QCOMPARE(Cards::Unmark(c, "0000000A", "管理员", "d"), QString());
        QVERIFY(Cards::Find(c, "0000000A")->state == Cards::State::Active);
        QCOMPARE(db.scalar("SELECT count(*) FROM audit"), QStringLiteral("2"));
        QCOMPARE(db.scalar("SELECT details FROM audit WHERE action = '挂失'"),
                 QStringLiteral("卡 0000000A 挂失，原因：遗失"));
        QCOMPARE(db.scalar("SELECT details FROM audit WHERE action = '解挂'"),
                 QStringLiteral("卡 0000000A 解挂"));
    }

    // The last balance seen is the latest arrival or booking at any desk.
    void lastSeenFollowsTheLatestReport() {
        TestDatabase db;
        const Connection c(db.path());
        Cards::Seen(c, "0000000A", 120, "2024-05-06 07:00:00", "desk-a");
        Cards::Seen(c, "0000000A", 80, "2024-05-06 08:00:00", "desk-b");
        const auto card = Cards::Find(c, "0000000A");
        QVERIFY(card && card->lastBalance == 80);
        QCOMPARE(card->lastSeenDesk, QStringLiteral("desk-b"));
        QVERIFY(card->state == Cards::State::Active);
        QVERIFY(!Cards::Known(c, "0000000A")); // seen only: a never-booked card may be a new one
    }

    // As the desk and the archive offer it: an operator marks, only the administrator takes
    // the mark back; no reason typed changes nothing.
    void toggledFromAWindow() {
        TestDatabase db;
        db.addCardholder("1", "0000000A", "张三");
        const Connection c(db.path());
        FakeDialogs dialogs;
        QVERIFY(!ToggleCardLost(dialogs, c, "0000000A", "张三", "操作员1"));
        QVERIFY(!Cards::Find(c, "0000000A"));
        dialogs.answerText("遗失");
        QCOMPARE(ToggleCardLost(dialogs, c, "0000000A", "张三", "操作员1"), std::optional(true));
        QCOMPARE(dialogs.lastText(), QStringLiteral("卡 0000000A 已挂失。"));
        QVERIFY(!ToggleCardLost(dialogs, c, "0000000A", "张三", "操作员1"));
        QCOMPARE(dialogs.lastText(), QStringLiteral("您没有管理员权限！"));
        QCOMPARE(ToggleCardLost(dialogs, c, "0000000A", "张三", "管理员"), std::optional(false));
        QCOMPARE(dialogs.texts().first(), QStringLiteral("挂失卡 0000000A（张三）的原因："));
    }
};

QTEST_GUILESS_MAIN(TestCards)
#include "tst_cards.moc"
