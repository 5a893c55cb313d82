#include "support/DeskRig.h"
#include "support/ModalWatcher.h"

#include "data/AdoConn.h"
#include "users/Accounts.h"

#include <QtTest>

using namespace velkar;

namespace {

const QString Prompt = QStringLiteral("信息提示");
const CardNumber CardA{0x12, 0x34, 0xAB, 0xCD};

// A reader that takes every frame and carries none out: the command waits for its card.
struct SilentReader : SimulatedReader {
    bool BridgeWriteData(BridgeHandle, const std::uint8_t*, std::size_t) override { return true; }
};

} // namespace

class TestFunctionBar : public QObject {
    Q_OBJECT

private slots:
    void userManagementIsForTheAdministrator() {
        DeskRig d;
        d.open(QStringLiteral("操作员1"));
        ModalWatcher watcher([](QWidget* w) { w->close(); });
        d.click("userManageButton");
        QCOMPARE(d.dialogs.lastText(), QStringLiteral("您没有管理员权限！"));
        QCOMPARE(d.dialogs.shown().last().caption, QStringLiteral("系统提示"));
        QCOMPARE(d.dialogs.shown().last().icon, Dialogs::Icon::Exclamation);
        QVERIFY(watcher.titles().isEmpty());

        d.open(AdministratorName);
        d.click("userManageButton");
        QCOMPARE(watcher.titles(), QStringList{QStringLiteral("修改密码")});
        QCOMPARE(d.dialogs.shown().size(), 1);
    }

    void auditWindowIsForTheAdministrator() {
        DeskRig d;
        d.open(QStringLiteral("操作员1"));
        ModalWatcher watcher([](QWidget* w) { w->close(); });
        d.desk->OnAudit();
        QCOMPARE(d.dialogs.lastText(), QStringLiteral("您没有管理员权限！"));
        QVERIFY(watcher.titles().isEmpty());
        d.open(AdministratorName);
        d.desk->OnAudit();
        QCOMPARE(watcher.titles(), QStringList{QStringLiteral("审计记录")});
    }

    void buttonsOpenTheirWindows() {
        DeskRig d;
        d.open();
        ModalWatcher watcher([](QWidget* w) { w->close(); });
        d.click("recordsButton");
        d.click("queryButton");
        QCOMPARE(watcher.titles().size(), 2);
        QVERIFY(d.dialogs.texts().isEmpty());
    }

    void exitShowsThePromptOnceAndNoCopiesNothing_data() {
        QTest::addColumn<bool>("byButton");
        QTest::newRow("退出系统") << true;
        QTest::newRow("close box") << false;
    }

    void exitShowsThePromptOnceAndNoCopiesNothing() {
        QFETCH(bool, byButton);
        DeskRig d;
        d.open();
        ModalWatcher watcher(ModalWatcher::clicking(Prompt, "noButton"));
        if (byButton)
            d.click("exitButton");
        else
            d.desk->close();
        QVERIFY(!d.desk->isVisible());
        QCOMPARE(watcher.titles(), QStringList{Prompt});
        QVERIFY(d.dialogs.requests().isEmpty());
        QVERIFY(d.dialogs.texts().isEmpty());
        // Leaving is in the trail, once, whichever way the desk was closed.
        QCOMPARE(d.db.scalar(QStringLiteral("SELECT group_concat(action) FROM audit")),
                 QStringLiteral("退出"));
    }

    void yesBacksUpBeforeClosing() {
        DeskRig d;
        d.open();
        QTemporaryDir folder;
        d.dialogs.answerFolder(folder.path());
        ModalWatcher watcher(ModalWatcher::clicking(Prompt, "yesButton"));
        d.click("exitButton");
        QVERIFY(!d.desk->isVisible());
        QCOMPARE(d.dialogs.lastText(), QStringLiteral("备份完成！"));
        QCOMPARE(Schema::CheckDatabase(folder.filePath("DataBase.mdb")), QString());
    }

    void yesWithACancelledChooserJustCloses() {
        DeskRig d;
        d.open();
        ModalWatcher watcher(ModalWatcher::clicking(Prompt, "yesButton"));
        d.click("exitButton");
        QVERIFY(!d.desk->isVisible());
        QCOMPARE(d.dialogs.requests().size(), 1); // the chooser was offered
        QVERIFY(d.dialogs.texts().isEmpty());     // and nothing was copied or said
    }

    void backupAndRestoreFromTheBar() {
        DeskRig d;
        d.open();
        QTemporaryDir folder;
        d.db.addRecord("0000000A", "2024-05-01 10:00:00", "100");
        d.dialogs.answerFolder(folder.path());
        d.click("backupButton");
        QCOMPARE(d.dialogs.lastText(), QStringLiteral("备份完成！"));

        d.db.addRecord("0000000A", "2024-05-02 10:00:00", "50");
        d.click("restoreButton"); // cancelled: nothing
        QCOMPARE(d.dialogs.texts().size(), 1);
        d.dialogs.answerFile(folder.filePath("DataBase.mdb"));
        d.dialogs.answerQuestion(true);
        d.click("restoreButton");
        // The replaced file is kept beside it under a name of its own, which the box names.
        const QStringList kept = QDir(d.db.folder()).entryList({"DataBase.mdb.*.bak"}, QDir::Files);
        QCOMPARE(kept.size(), 1);
        QCOMPARE(d.dialogs.lastText(), QStringLiteral("数据库还原成功！\n原数据库已保存为：") +
                                           QDir(d.db.folder()).filePath(kept.first()));
        QCOMPARE(d.db.scalar("SELECT count(*) FROM employees"), QStringLiteral("1"));
    }

    // Backup, a recharge of 30, restore: the question says the booking goes, and once the
    // restore is done the desk shows the restored ledger, not the vanished row.
    void restoreAsksThenTheDeskShowsTheRestoredLedger() {
        DeskRig d;
        d.open();
        QTemporaryDir folder;
        d.dialogs.answerFolder(folder.path());
        d.click("backupButton");
        d.db.addCardholder("S1", "1234ABCD", "张三"); // after the backup: gone with it
        d.connectReader();
        d.lay(CardA, 0);
        QTRY_COMPARE(d.edit("nameEdit")->text(), QStringLiteral("张三"));
        d.book("rechargeButton", "30", "充值成功", 1);
        QCOMPARE(d.edit("totalEdit")->text(), QStringLiteral("30"));

        d.dialogs.answerFile(folder.filePath("DataBase.mdb"));
        d.click("restoreButton"); // asked, and answered 否: nothing changes
        QVERIFY(d.dialogs.lastText().contains(QStringLiteral("有 1 条充值记录和 1 条操作日志")));
        QCOMPARE(d.list()->model()->rowCount(), 1);
        QCOMPARE(d.db.scalar("SELECT count(*) FROM employees"), QStringLiteral("1"));

        d.dialogs.answerFile(folder.filePath("DataBase.mdb"));
        d.dialogs.answerQuestion(true);
        d.click("restoreButton");
        QVERIFY(d.dialogs.lastText().startsWith(QStringLiteral("数据库还原成功！")));
        QCOMPARE(d.list()->model()->rowCount(), 0);
        QCOMPARE(d.edit("totalEdit")->text(), QStringLiteral("0"));
        // The card on the reader is looked up in the restored ledger: no holder there.
        QTRY_VERIFY(d.desk->link().cardOnReader().has_value());
        d.desk->link().waitForStore();
        QCoreApplication::processEvents();
        QCOMPARE(d.edit("cardNoEdit")->text(), QStringLiteral("1234ABCD"));
        QVERIFY(d.edit("nameEdit")->text().isEmpty());
        // Its next report is taken as its arrival in that ledger; then it books as before.
        d.reportAgain();
        QTRY_VERIFY(!d.desk->link().checkingCard(QStringLiteral("1234ABCD")));
        d.book("rechargeButton", "5", "充值成功", 1);
    }

    // A command still waiting for its card has its row in the file a restore would replace.
    void noRestoreWhileACommandWaits() {
        BasicDeskRig<SilentReader> d;
        d.open();
        d.connectReader();
        d.lay(CardA, 0);
        d.press("rechargeButton", "10");
        d.desk->link().waitForStore();
        QCOMPARE(d.desk->link().outstandingCommands(), 1);
        d.click("restoreButton");
        QCOMPARE(d.dialogs.lastText(),
                 QStringLiteral("有操作正在等待读卡器确认，请等它完成后再还原数据库。"));
        QVERIFY(d.dialogs.requests().isEmpty()); // no chooser offered
    }

    // A ledger that failed its check at start takes no booking until a restore replaced it.
    void anUnsoundLedgerTakesNoBookingUntilRestored() {
        DeskRig d;
        d.open();
        d.desk->refuseBookingsFor(QStringLiteral("操作日志第 3 条被修改"));
        d.connectReader();
        d.lay(CardA, 100);
        for (const char* id : {"rechargeButton", "clearButton"}) {
            d.press(id, "10");
            QCOMPARE(d.dialogs.lastText(),
                     QStringLiteral("数据库未通过检查，不能充值或清零：\n操作日志第 3 条被修改\n"
                                    "请先还原数据库。"));
        }
        QVERIFY(d.dialogs.questions().isEmpty()); // refused before any question
        QVERIFY(d.sent().isEmpty());
        QCOMPARE(d.db.scalar("SELECT count(*) FROM journal"), QStringLiteral("0"));

        QTemporaryDir folder;
        d.dialogs.answerFolder(folder.path());
        d.click("backupButton"); // a backup is still made
        d.dialogs.answerFile(folder.filePath("DataBase.mdb"));
        d.dialogs.answerQuestion(true);
        d.click("restoreButton");
        d.reportAgain();
        QTRY_VERIFY(!d.desk->link().checkingCard(QStringLiteral("1234ABCD")));
        d.book("rechargeButton", "10", "充值成功", 1);
    }

    // 取消, its Escape and the prompt's close box return to the desk; the prompt comes again on
    // the next try, and only leaving is in the trail.
    void cancelInTheExitPromptKeepsTheDesk() {
        DeskRig d;
        d.open();
        {
            ModalWatcher cancel(ModalWatcher::clicking(Prompt, "cancelButton"));
            d.click("exitButton");
            QVERIFY(d.desk->isVisible());
            QTest::keyClick(d.desk.get(), Qt::Key_Escape);
            QVERIFY(d.desk->isVisible());
            QCOMPARE(cancel.titles(), (QStringList{Prompt, Prompt}));
        }
        {
            ModalWatcher escape([](QWidget* prompt) { QTest::keyClick(prompt, Qt::Key_Escape); });
            d.desk->close();
            QVERIFY(d.desk->isVisible());
            QCOMPARE(escape.titles(), QStringList{Prompt});
        }
        QCOMPARE(d.db.scalar(QStringLiteral("SELECT count(*) FROM audit")), QStringLiteral("0"));
        QCOMPARE(d.desk->focusWidget(), d.edit("amountEdit"));
        ModalWatcher no(ModalWatcher::clicking(Prompt, "noButton"));
        d.click("exitButton");
        QVERIFY(!d.desk->isVisible());
        QCOMPARE(d.db.scalar(QStringLiteral("SELECT group_concat(action) FROM audit")),
                 QStringLiteral("退出"));
    }
};

QTEST_MAIN(TestFunctionBar)
#include "tst_function_bar.moc"
