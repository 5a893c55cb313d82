#include "support/DeskRig.h"
#include "support/ModalWatcher.h"

#include "data/AdoConn.h"
#include "data/Journal.h"
#include "desk/CardholderPanel.h"
#include "desk/windows/CardInitDlg.h"
#include "desk/windows/PictureButton.h"
#include "users/windows/LoginDlg.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

using namespace velkar;

namespace {

const CardNumber CardA{0x12, 0x34, 0xAB, 0xCD};
const CardNumber CardB{0x00, 0x00, 0x00, 0x0A};

// A reader whose writes wait while `hold` is set, as on a jammed link.
struct HangingReader : SimulatedReader {
    bool BridgeWriteData(BridgeHandle handle, const std::uint8_t* data,
                         std::size_t length) override {
        holding = hold.load();
        while (hold)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return SimulatedReader::BridgeWriteData(handle, data, length);
    }
    std::atomic<bool> hold{false};
    std::atomic<bool> holding{false}; // a write is held
};

} // namespace

class TestDeskWindow : public QObject {
    Q_OBJECT

private slots:
    void loginOpensAnEmptyDesk() {
        DeskRig rig;
        CLoginDlg login(rig.dialogs);
        control<QComboBox>(&login, "userCombo")
            ->setCurrentIndex(1); // an operator: no password to replace
        control<QPushButton>(&login, "loginButton")->click();
        QCOMPARE(login.result(), int(QDialog::Accepted));
        rig.open();
        CDeskDlg& desk = *rig.desk;
        QCOMPARE(desk.windowTitle(), QStringLiteral("Velkar V3.0"));
        // Larger than the template's 617 × 474, and never below what its controls need.
        QVERIFY(desk.width() > 617 && desk.height() > 474);
        QVERIFY(desk.width() >= desk.minimumSizeHint().width());
        QCOMPARE(rig.list()->model()->rowCount(), 0);
        QCOMPARE(rig.edit("totalEdit")->text(), QStringLiteral("0"));
        QCOMPARE(rig.edit("amountEdit")->text(), QStringLiteral("0"));
        QVERIFY(!rig.edit("balanceEdit")->isEnabled());
        QVERIFY(!rig.edit("cardNoEdit")->isEnabled());
        QVERIFY(rig.edit("clockEdit")->isHidden());
        QVERIFY(rig.dialogs.texts().isEmpty());

        const QStringList headings{"卡号", "时间", "金额", "备注"};
        const int widths[] = {80, 160, 80, 70};
        for (int c = 0; c < 4; ++c) {
            QCOMPARE(rig.list()->model()->headerData(c, Qt::Horizontal).toString(), headings[c]);
            // The columns share out the list's width in the template's proportions.
            QVERIFY(rig.list()->columnWidth(c) >= widths[c]);
            QVERIFY(qAbs(rig.list()->columnWidth(c) * widths[0] -
                         rig.list()->columnWidth(0) * widths[c]) <= widths[0] * 2);
        }
        for (const char* id : {"cardInitButton", "userManageButton", "queryButton", "backupButton",
                               "restoreButton", "exitButton", "recordsButton"}) {
            auto* button = control<CPictureButton>(&desk, id);
            QVERIFY2(button, id);
            const QImage picture = button->picture().toImage();
            QCOMPARE(picture.size(), QSize(70, 85));
            QVERIFY(!picture.hasAlphaChannel());
        }

        // Enter after typing never ends the desk; Escape does.
        QTest::keyClick(rig.edit("amountEdit"), Qt::Key_Return);
        QTest::keyClick(rig.edit("nameEdit"), Qt::Key_Enter);
        QVERIFY(desk.isVisible());
        ModalWatcher prompt(ModalWatcher::clicking(QStringLiteral("信息提示"), "noButton"));
        QTest::keyClick(&desk, Qt::Key_Escape);
        QVERIFY(!desk.isVisible());
        QCOMPARE(prompt.titles(), QStringList{QStringLiteral("信息提示")});
        QCOMPARE(desk.result(), int(QDialog::Rejected));
    }

    // Commands an earlier run left unresolved are announced, and booked when the card comes.
    void commandsLeftWaitingAreAnnouncedAndResolved() {
        DeskRig rig;
        {
            Connection db(rig.db.path());
            Journal::Entry e;
            e.cardNo = CardNumberText(CardA);
            e.amount = 50;
            e.balanceBefore = 100;
            e.balanceExpected = 600;
            e.operatorName = QStringLiteral("操作员3");
            e.desk = QStringLiteral("desk");
            e.sentAt = QStringLiteral("2024-05-06 07:00:00");
            Journal::Add(db, e);
        }
        rig.open();
        QTRY_COMPARE(rig.edit("statusEdit")->text(), QStringLiteral("有1笔操作待确认"));
        rig.connectReader();
        rig.lay(CardA, 600);
        QTRY_COMPARE(rig.dialogs.lastText(), QStringLiteral("充值成功"));
        QTRY_COMPARE(rig.list()->model()->rowCount(), 1);
        QCOMPARE(rig.edit("statusEdit")->text(), QStringLiteral("充值成功"));
    }

    void rechargesAndAClearAreBookedAndTotalled() {
        DeskRig rig;
        rig.db.addCardholder("S1", "1234ABCD", "张三", "110101", "13900000001", "北京");
        rig.open();
        rig.connectReader();
        QCOMPARE(rig.edit("statusEdit")->text(),
                 QStringLiteral("设备已连接,VID=1A86PID=E010 VER=100 "));
        QCOMPARE(control<QComboBox>(rig.desk.get(), "portCombo")->currentText(),
                 QStringLiteral("USB"));

        rig.lay(CardA, 0);
        QTRY_COMPARE(rig.edit("nameEdit")->text(), QStringLiteral("张三"));
        QCOMPARE(rig.edit("phoneEdit")->text(), QStringLiteral("13900000001"));
        QCOMPARE(rig.edit("serialEdit")->text(), QStringLiteral("S1"));

        rig.book("rechargeButton", "100", "充值成功", 1);
        QCOMPARE(rig.sent(), QStringList{"AA 66 03 E8 27"});
        QCOMPARE(rig.cell(0, 0), QStringLiteral("1234ABCD"));
        QCOMPARE(rig.cell(0, 1), QStringLiteral("2024-05-06 07:08:09"));
        QCOMPARE(rig.cell(0, 2), QStringLiteral("100"));
        QCOMPARE(rig.edit("totalEdit")->text(), QStringLiteral("100"));
        // The balance comes with the reader's report, the booking from the store: either may
        // reach the desk first.
        QTRY_COMPARE(rig.edit("balanceEdit")->text(), QStringLiteral("100.0"));

        rig.book("rechargeButton", "50", "充值成功", 2);
        rig.reader.removeCard();
        rig.lay(CardA, 300); // back on at 30.0 without a command: nothing to book
        QCOMPARE(rig.list()->model()->rowCount(), 2);
        rig.book("clearButton", "50", "清零成功", 3);
        QCOMPARE(rig.sent().constLast(), QStringLiteral("AA 55 01 2C D2"));
        QCOMPARE(rig.cell(2, 2), QStringLiteral("-30"));
        QCOMPARE(rig.edit("totalEdit")->text(), QStringLiteral("120"));
        QCOMPARE(rig.dialogs.texts(),
                 (QStringList{"充值成功", "充值成功",
                              "确定要清零卡 1234ABCD 吗？\n持卡人：张三\n将被清除的余额：30.0 "
                              "元\n清零后无法撤回。",
                              "清零成功"}));
        QCOMPARE(rig.dialogs.shown().constLast().icon, Dialogs::Icon::None);
    }

    // The booking's own transaction reads the card's count and total; the window shows them
    // and reads the rows only when the list is shown.
    void aBookingCostsTheWindowThreadNoStatement() {
        DeskRig rig;
        rig.db.addRecord("1234ABCD", "2024-05-01 10:00:00", "20");
        rig.open();
        rig.connectReader();
        rig.lay(CardA, 0);
        rig.list()->hide();
        const std::uint64_t before = StatementsOnThisThread();
        rig.book("rechargeButton", "100", "充值成功", 2);
        QCOMPARE(rig.edit("totalEdit")->text(), QStringLiteral("120"));
        QCOMPARE(StatementsOnThisThread(), before);
        rig.list()->show();
        QCOMPARE(rig.cell(1, 2), QStringLiteral("100"));
        QVERIFY(StatementsOnThisThread() > before);
    }

    // What was typed for one card never goes to the next: 金额 and 提示 are emptied when
    // another card comes and 金额 after each booking.
    void theAmountBelongsToOneCard() {
        DeskRig rig;
        rig.open();
        rig.connectReader();
        rig.lay(CardA, 0);
        rig.book("rechargeButton", "30", "充值成功", 1);
        QVERIFY(rig.edit("amountEdit")->text().isEmpty());
        rig.edit("amountEdit")->setText(QStringLiteral("99"));
        rig.reader.removeCard();
        rig.lay(CardB, 500);
        QVERIFY(rig.edit("amountEdit")->text().isEmpty());
        QVERIFY(rig.edit("statusEdit")->text().isEmpty());
        rig.button("rechargeButton")->click();
        QTRY_COMPARE(rig.dialogs.lastText(), QStringLiteral("充值金额错误"));
        QCOMPARE(rig.sent().size(), 1);
    }

    // 清零 names the card, its holder and the balance it wipes, and goes only on 是; so does a
    // recharge from 500 yuan on. 否 (also the answer of Enter and Escape) sends nothing and
    // books nothing.
    void clearAndLargeRechargeAskFirst() {
        DeskRig rig;
        rig.db.addCardholder("S1", "1234ABCD", "张三");
        rig.open();
        rig.connectReader();
        rig.lay(CardA, 1234);
        QTRY_COMPARE(rig.edit("nameEdit")->text(), QStringLiteral("张三"));
        rig.press("clearButton", "", false);
        QCOMPARE(rig.dialogs.questions(),
                 QStringList{"确定要清零卡 1234ABCD 吗？\n持卡人：张三\n将被清除的余额：123.4 "
                             "元\n清零后无法撤回。"});
        QCOMPARE(rig.dialogs.shown().constLast().caption, QStringLiteral("系统提示"));
        rig.press("rechargeButton", "500", false);
        QCOMPARE(rig.dialogs.questions().constLast(),
                 QStringLiteral(
                     "确定要给卡 1234ABCD 充值 500 元吗？\n持卡人：张三\n当前余额：123.4 元"));
        rig.desk->link().waitForStore();
        QVERIFY(rig.sent().isEmpty());
        QCOMPARE(rig.db.scalar("SELECT count(*) FROM journal"), QStringLiteral("0"));
        QCOMPARE(rig.db.scalar("SELECT count(*) FROM employees"), QStringLiteral("0"));
        QCOMPARE(rig.dialogs.texts().size(), 2); // the two questions, nothing else
        QCOMPARE(rig.desk->focusWidget(), rig.edit("amountEdit"));

        rig.book("rechargeButton", "499", "充值成功", 1); // below the line: no question
        QCOMPARE(rig.dialogs.questions().size(), 2);
        rig.book("clearButton", "", "清零成功", 2);
        QCOMPARE(rig.dialogs.questions().size(), 3);
        QCOMPARE(rig.cell(1, 2), QStringLiteral("-622"));

        // A card without a record in the archive is named so.
        rig.reader.removeCard();
        rig.lay(CardB, 10);
        rig.press("clearButton", "", false);
        QVERIFY(rig.dialogs.questions().constLast().contains(QStringLiteral("持卡人：（无档案）")));
    }

    // The answer holds for the card the question named: one laid on while the box was open, or
    // one whose balance changed meanwhile, gets nothing.
    void aCardSwappedWhileAskedGetsNothing() {
        DeskRig rig;
        rig.open();
        rig.connectReader();
        rig.lay(CardA, 500);
        rig.dialogs.whileAsked = [&](const QString&) {
            rig.reader.removeCard();
            rig.reader.layCard(CardB, 800);
            QTRY_COMPARE(rig.desk->link().cardOnReader()->cardNo, CardNumberText(CardB));
        };
        rig.press("clearButton", "");
        QTRY_COMPARE(
            rig.dialogs.lastText(),
            QStringLiteral("读卡器上已不是刚才确认的卡或余额已变，操作未发送，请重新操作。"));
        rig.dialogs.whileAsked = [&](const QString&) {
            rig.reader.layCard(CardB, 900);
            QTRY_COMPARE(rig.desk->link().cardOnReader()->balance, 900);
        };
        rig.press("rechargeButton", "600");
        QTRY_COMPARE(
            rig.dialogs.lastText(),
            QStringLiteral("读卡器上已不是刚才确认的卡或余额已变，操作未发送，请重新操作。"));
        rig.desk->link().waitForStore();
        QVERIFY(rig.sent().isEmpty());
        QCOMPARE(rig.db.scalar("SELECT count(*) FROM journal"), QStringLiteral("0"));
    }

    void negativeTotalAndAnotherCardsOwnList() {
        DeskRig rig;
        rig.db.addRecord("0000000A", "2024-05-01 10:00:00", "20");
        rig.db.addRecord("0000000A", "2024-05-02 10:00:00", "-6553");
        rig.db.addRecord("1234ABCD", "2024-05-02 10:00:00", "100");
        rig.open();
        rig.connectReader();
        rig.lay(CardB, 0);
        rig.book("rechargeButton", "5", "充值成功", 3);
        QCOMPARE(rig.edit("totalEdit")->text(), QStringLiteral("-6528"));
        rig.lay(CardA, 0); // another card brings its own list at once
        QCOMPARE(rig.edit("totalEdit")->text(), QStringLiteral("100"));
        QCOMPARE(rig.list()->model()->rowCount(), 1);
        rig.book("rechargeButton", "1", "充值成功", 2);
        QCOMPARE(rig.edit("totalEdit")->text(), QStringLiteral("101"));
    }

    void amountsOutsideTheRangeOrNotWholeSendNothing() {
        DeskRig rig;
        rig.open();
        rig.connectReader();
        rig.lay(CardA, 0);
        for (const char* amount : {"0", "-5", "2000"}) {
            rig.press("rechargeButton", amount);
            QTRY_COMPARE(rig.dialogs.lastText(), QStringLiteral("充值金额错误"));
        }
        QCOMPARE(rig.dialogs.texts().size(), 3);
        for (const char* amount : {"abc", "12.5", " x "}) {
            rig.press("rechargeButton", amount);
            QCOMPARE(rig.dialogs.lastText(), QStringLiteral("请键入一个整数。"));
            QCOMPARE(rig.dialogs.shown().constLast().icon, Dialogs::Icon::Exclamation);
        }
        QCOMPARE(rig.dialogs.texts().size(), 6); // no "充值金额错误" for the previous amount
        QVERIFY(rig.sent().empty());
        QCOMPARE(rig.list()->model()->rowCount(), 0);

        rig.press("rechargeButton", " 1999 ");
        QCOMPARE(rig.sent(), QStringList{"AA 66 4E 16 94"});
    }

    // A card's list reads its rows from the store as they are shown; its total follows the
    // desk's amount rule, which refuses five digits.
    void longCardListReadsWhatIsShown() {
        DeskRig rig;
        rig.db.exec(QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 298) "
            "INSERT INTO employees SELECT 'C1', '2024-05-06 07:08:09', "
            "CASE i % 3 WHEN 0 THEN i WHEN 1 THEN -9999 ELSE 12345 END FROM n"));
        rig.db.addRecord(QStringLiteral("C1"), QStringLiteral("2024-05-07 00:00:00"), "00100");
        rig.db.addRecord(QStringLiteral("C2"), QStringLiteral("2024-05-07 00:00:00"), "1");
        rig.open();
        rig.desk->LoadCardRecords(QStringLiteral("C1"));
        QCOMPARE(rig.list()->model()->rowCount(), 300);
        qint64 total = 100;
        for (int i = 0; i < 299; ++i)
            total += CardAmountValue(QString::number(i % 3 == 0 ? i : i % 3 == 1 ? -9999 : 12345));
        QCOMPARE(rig.edit("totalEdit")->text(), QString::number(total));
        rig.list()->scrollToBottom();
        rig.desk->grab();
        QCOMPARE(rig.cell(299, 0), QStringLiteral("C1"));
        QCOMPARE(rig.cell(299, 1), QStringLiteral("2024-05-07 00:00:00"));
        QCOMPARE(rig.cell(299, 2), QStringLiteral("100"));
        QCOMPARE(rig.cell(2, 2), QStringLiteral("12345"));
        QCOMPARE(rig.list()->model()->index(0, 1).data(Qt::TextAlignmentRole).toInt(),
                 int(Qt::AlignCenter));
        QVERIFY(rig.dialogs.texts().isEmpty());

        emit rig.desk->link().cardRecordsChanged({QStringLiteral("C1")}, false);
        QCOMPARE(rig.dialogs.texts(), QStringList{"操作失败"});
        QCOMPARE(rig.list()->model()->rowCount(), 0);
        QCOMPARE(rig.edit("totalEdit")->text(), QString());
    }

    // A press while no reader is open is dropped, not sent later by another press.
    void requestsWithoutAReaderAreDropped() {
        DeskRig rig;
        rig.open();
        rig.press("rechargeButton", "100");
        QTRY_COMPARE(rig.edit("statusEdit")->text(), QStringLiteral("设备尚未连接!"));
        rig.connectReader();
        rig.lay(CardA, 70);
        rig.book("clearButton", "7", "清零成功", 1);
        QCOMPARE(rig.sent(), QStringList{"AA 55 00 46 B9"});
        QCOMPARE(rig.cell(0, 2), QStringLiteral("-7"));
    }

    void newCardholderIsSavedAndFoundOnTheNextReport() {
        DeskRig rig;
        rig.open();
        rig.button("profileButton")->click(); // nothing looked up yet: the panel only empties
        QVERIFY(rig.dialogs.texts().isEmpty());

        rig.connectReader();
        rig.lay(CardB, 0);
        QVERIFY(rig.edit("nameEdit")->text().isEmpty());
        rig.edit("nameEdit")->setText(QStringLiteral("李四"));
        rig.edit("phoneEdit")->setText(QStringLiteral("13700000000"));
        rig.button("profileButton")->click();
        QCOMPARE(rig.dialogs.lastText(), QStringLiteral("基础信息不能为空！"));
        QCOMPARE(rig.dialogs.shown().constLast().icon, Dialogs::Icon::None);

        rig.edit("serialEdit")->setText(QStringLiteral("007"));
        rig.button("profileButton")->click();
        QCOMPARE(rig.dialogs.lastText(), QStringLiteral("档案信息添加成功！"));
        QCOMPARE(rig.dialogs.shown().constLast().icon, Dialogs::Icon::Exclamation);
        for (const char* id : {"serialEdit", "cardNoEdit", "nameEdit", "phoneEdit"})
            QVERIFY(rig.edit(id)->text().isEmpty());
        QCOMPARE(rig.db.scalar("SELECT 卡序号 || '|' || 姓名 || '|' || 身份证 || '|' || 电话 || "
                               "'|' || 地址 FROM userecord WHERE 卡号 = '0000000A'"),
                 QStringLiteral("007|李四|null|13700000000|null"));

        rig.reader.reportNow();
        QTRY_COMPARE(rig.edit("nameEdit")->text(), QStringLiteral("李四"));
        QCOMPARE(rig.edit("cardNoEdit")->text(), QStringLiteral("0000000A"));

        // A known holder: the save changes its row and keeps what the panel does not show.
        rig.edit("phoneEdit")->setText(QStringLiteral("13711111111"));
        rig.edit("amountEdit")->setText(QStringLiteral("x")); // only complains; the panel goes on
        rig.button("profileButton")->click();
        QCOMPARE(rig.dialogs.texts().mid(2),
                 (QStringList{"请键入一个整数。", "档案信息更新成功！"}));
        QCOMPARE(rig.db.scalar("SELECT 电话 || '|' || 身份证 FROM userecord"),
                 QStringLiteral("13711111111|null"));
    }

    void listClickShowsTheStoredFieldsAgain() {
        DeskRig rig;
        rig.db.addCardholder("S1", "1234ABCD", "张三");
        rig.open();
        rig.connectReader();
        rig.lay(CardA, 0);
        QTRY_COMPARE(rig.edit("nameEdit")->text(), QStringLiteral("张三"));
        rig.edit("nameEdit")->setText(QStringLiteral("typed"));
        rig.edit("amountEdit")->setText(QStringLiteral("55"));
        QTest::mouseClick(rig.list()->viewport(), Qt::LeftButton);
        QCOMPARE(rig.edit("nameEdit")->text(), QStringLiteral("张三"));
        QCOMPARE(rig.edit("amountEdit")->text(), QStringLiteral("0"));
    }

    void storeFailuresShowOperationFailedAndTheDeskGoesOn() {
        DeskRig rig;
        rig.db.exec("ALTER TABLE employees RENAME TO kept");
        rig.db.exec("ALTER TABLE userecord RENAME TO holders");
        rig.open();
        QVERIFY(rig.dialogs.texts().contains("操作失败"));
        QVERIFY(rig.edit("totalEdit")->text().isEmpty());

        rig.connectReader();
        rig.dialogs.clear();
        rig.lay(CardA, 0);
        rig.reportAgain(); // the same card again: not looked up again
        rig.desk->link().waitForStore();
        QTRY_COMPARE(rig.dialogs.lastText(), QStringLiteral("操作失败"));
        QCoreApplication::processEvents(); // what the store worker handed the desk
        QCOMPARE(rig.dialogs.texts().count("操作失败"), 1);
        QVERIFY(rig.edit("nameEdit")->text().isEmpty());

        rig.db.exec("ALTER TABLE kept RENAME TO employees");
        rig.db.exec("ALTER TABLE holders RENAME TO userecord");
        rig.db.addCardholder("S2", "0000000A", "王五");
        rig.lay(CardB, 0);
        QTRY_COMPARE(rig.edit("nameEdit")->text(), QStringLiteral("王五"));
        rig.book("rechargeButton", "10", "充值成功", 1);
        QCOMPARE(rig.edit("totalEdit")->text(), QStringLiteral("10"));
    }

    void balanceBlanksTwoSecondsAfterTheLastReport() {
        DeskRig rig;
        rig.open();
        rig.connectReader();
        rig.lay(CardA, 1234);
        QCOMPARE(rig.edit("balanceEdit")->text(), QStringLiteral("123.4"));
        rig.clock.advance(1199);
        rig.reportAgain(); // restarts the two seconds
        rig.clock.advance(1200);
        QCOMPARE(rig.edit("balanceEdit")->text(), QStringLiteral("123.4"));
        rig.clock.advance(CDeskDlg::TimerBalanceMs - 1200 - 1);
        QCOMPARE(rig.edit("balanceEdit")->text(), QStringLiteral("123.4"));
        rig.clock.advance(1);
        QVERIFY(rig.edit("balanceEdit")->text().isEmpty());
    }

    // Closing waits for the link's workers and serves events meanwhile: a clock tick then must
    // not reach into the link being taken down.
    void closingWhileAWriteHangsIsSafe() {
        BasicDeskRig<HangingReader> rig;
        rig.open();
        rig.connectReader();
        rig.lay(CardA, 0);
        rig.reader.hold = true;
        rig.edit("amountEdit")->setText(QStringLiteral("10"));
        rig.button("rechargeButton")->click();
        QTRY_VERIFY(rig.reader.holding.load());
        // The write comes back once the closing desk has closed the reader under it.
        std::thread release([&] {
            while (rig.reader.collectingHandles() > 0)
                std::this_thread::yield();
            rig.reader.hold = false;
        });
        rig.desk.reset();
        release.join();
        // The reader closed first, so the frame never left and the command is on record as such.
        QCOMPARE(rig.db.scalar("SELECT group_concat(amount || ':' || state) FROM journal"),
                 QStringLiteral("10:not_executed"));
    }

    void cardInitNeedsTheReader() {
        DeskRig rig;
        rig.open();
        control<CPictureButton>(rig.desk.get(), "cardInitButton")->click();
        QCOMPARE(rig.dialogs.lastText(), QStringLiteral("设备未连接，请先“连接”设备！"));
        QCOMPARE(rig.dialogs.shown().constLast().caption, QStringLiteral("系统提示"));

        rig.connectReader();
        ModalWatcher opened([](QWidget* modal) { modal->close(); });
        control<CPictureButton>(rig.desk.get(), "cardInitButton")->click();
        QCOMPARE(opened.titles(), QStringList{QStringLiteral("卡片初始化")});
        // Entering and leaving are in the trail, the refused press is not.
        QCOMPARE(rig.db.scalar(QStringLiteral("SELECT group_concat(action || ':' || details, "
                                              "'|') FROM audit")),
                 QStringLiteral("进入卡初始化:|退出卡初始化:初始化 0 张"));
    }

    void cardInitCountsTheCardsInitialised() {
        DeskRig rig;
        rig.open();
        rig.connectReader();
        rig.reader.inject(CounterReportFrame(300));
        QTRY_COMPARE(int(g_initRemaining), 300);
        CCardInitDlg dialog(rig.desk->link(), rig.clock, rig.desk.get());
        auto* done = control<QLabel>(&dialog, "doneValue");
        auto* remaining = control<QLabel>(&dialog, "remainingValue");
        dialog.show();
        QCOMPARE(done->text(), QStringLiteral("0"));
        QCOMPARE(remaining->text(), QStringLiteral("300"));
        rig.tick();
        QCOMPARE(rig.sent(), QStringList{"AA 77 00 01 DC"});

        // The window counts what the reader reported by its next tick.
        const auto report = [&](int left) {
            rig.reader.inject(CounterReportFrame(std::uint16_t(left)));
            QTRY_COMPARE(int(g_initRemaining), left);
            rig.clock.advance(CCardInitDlg::TimerInitMs);
        };
        report(299);
        QCOMPARE(done->text(), QStringLiteral("1"));
        QCOMPARE(remaining->text(), QStringLiteral("299"));
        report(297);
        QCOMPARE(done->text(), QStringLiteral("3"));
        QCOMPARE(remaining->text(), QStringLiteral("297"));
        report(310); // topped up: only the baseline moves
        QCOMPARE(remaining->text(), QStringLiteral("310"));
        QCOMPARE(done->text(), QStringLiteral("3"));
    }

    // A balance is never wiped unseen: the mode is refused while a loaded card lies on the
    // reader, and a loaded card laid on while it is on is named in a box and in the trail,
    // which also keeps the cards done.
    void cardInitNeverWipesABalanceUnseen() {
        DeskRig rig;
        rig.open();
        rig.connectReader();
        rig.lay(CardA, 200);
        ModalWatcher none([](QWidget* modal) { modal->close(); });
        control<CPictureButton>(rig.desk.get(), "cardInitButton")->click();
        QCOMPARE(rig.dialogs.lastText(),
                 QStringLiteral("读卡器上的卡 1234ABCD 尚有余额 20.0 元，初始化会清除余额。\n"
                                "请取走此卡后再进入卡片初始化。"));
        QVERIFY(none.titles().isEmpty());
        rig.reader.removeCard();

        CCardInitDlg dialog(rig.desk->link(), rig.clock, rig.desk.get());
        QStringList named;
        connect(&dialog, &CCardInitDlg::loadedCard, this, [&](const QString& card, int balance) {
            named << card + ':' + QString::number(balance);
        });
        dialog.show();
        rig.tick(); // the mode goes on
        QTRY_VERIFY(rig.reader.initMode());
        rig.reader.layCard(CardB, 0);
        rig.reader.removeCard();
        rig.reader.layCard(CardA, 200);
        auto* list = dialog.findChild<QListWidget*>(QStringLiteral("cardList"));
        QTRY_COMPARE(list->count(), 2);
        QCOMPARE(list->item(1)->text(), QStringLiteral("1234ABCD（余额 20.0 元）"));
        QCOMPARE(named, QStringList{"1234ABCD:200"});
        QCOMPARE(dialog.round().auditText(2),
                 QStringLiteral(
                     "初始化 2 张：0000000A, 1234ABCD；有余额被清除：1234ABCD（余额 20.0 元）"));
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("instructionLabel"))->text(),
                 QStringLiteral("请逐张放置新卡，每张放上即被初始化"));
    }

    // However the window is left, the reader is told to leave initialisation mode.
    void everyWayOutLeavesInitialisationMode_data() {
        QTest::addColumn<QString>("way");
        QTest::newRow("退出") << "exit";
        QTest::newRow("close box") << "close";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("Enter") << "enter";
    }
    void everyWayOutLeavesInitialisationMode() {
        QFETCH(QString, way);
        DeskRig rig;
        rig.open();
        rig.connectReader();
        CCardInitDlg dialog(rig.desk->link(), rig.clock, rig.desk.get());
        dialog.show();
        rig.tick();
        QTRY_VERIFY(rig.reader.initMode());
        if (way == "exit")
            control<QPushButton>(&dialog, "exitButton")->click();
        else if (way == "close")
            dialog.close();
        else
            QTest::keyClick(&dialog, way == "escape" ? Qt::Key_Escape : Qt::Key_Return);
        QVERIFY(!dialog.isVisible());
        rig.tick();
        QTRY_VERIFY(!rig.reader.initMode());
        QCOMPARE(rig.sent(), (QStringList{"AA 77 00 01 DC", "AA 77 00 00 DD"}));
    }
};

QTEST_MAIN(TestDeskWindow)
#include "tst_desk_window.moc"
