#include "support/DeskRig.h"
#include "support/ModalWatcher.h"

#include "data/AdoConn.h"
#include "users/Accounts.h"

#include <QtTest>

using namespace velkar;

namespace {

const QString Prompt = QStringLiteral("信息提示");

} // namespace

class TestFunctionBar : public QObject {
    Q_OBJECT

private slots:
    void userManagementIsForTheAdministrator() {
        DeskRig d;
        d.open();
        g_isAdmin = false;
        ModalWatcher watcher([](QWidget* w) { w->close(); });
        d.click(1001);
        QCOMPARE(d.dialogs.lastText(), QStringLiteral("您没有管理员权限！"));
        QCOMPARE(d.dialogs.shown().last().caption, QStringLiteral("系统提示"));
        QCOMPARE(d.dialogs.shown().last().icon, Dialogs::Icon::Exclamation);
        QVERIFY(watcher.titles().isEmpty());

        g_isAdmin = true;
        d.click(1001);
        QCOMPARE(watcher.titles(), QStringList{QStringLiteral("修改密码")});
        QCOMPARE(d.dialogs.shown().size(), 1);
        g_isAdmin = false;
    }

    void auditWindowIsForTheAdministrator() {
        DeskRig d;
        d.open();
        g_isAdmin = false;
        ModalWatcher watcher([](QWidget* w) { w->close(); });
        d.desk->OnAudit();
        QCOMPARE(d.dialogs.lastText(), QStringLiteral("您没有管理员权限！"));
        QVERIFY(watcher.titles().isEmpty());
        g_isAdmin = true;
        d.desk->OnAudit();
        QCOMPARE(watcher.titles(), QStringList{QStringLiteral("审计记录")});
        g_isAdmin = false;
    }

    void buttonsOpenTheirWindows() {
        DeskRig d;
        d.open();
        ModalWatcher watcher([](QWidget* w) { w->close(); });
        d.click(1040);
        d.click(1002);
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
        ModalWatcher watcher(ModalWatcher::clicking(Prompt, 1025));
        if (byButton)
            d.click(1005);
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
        ModalWatcher watcher(ModalWatcher::clicking(Prompt, 1026));
        d.click(1005);
        QVERIFY(!d.desk->isVisible());
        QCOMPARE(d.dialogs.lastText(), QStringLiteral("备份完成！"));
        QCOMPARE(Schema::CheckDatabase(folder.filePath("DataBase.mdb")), QString());
    }

    void yesWithACancelledChooserJustCloses() {
        DeskRig d;
        d.open();
        ModalWatcher watcher(ModalWatcher::clicking(Prompt, 1026));
        d.click(1005);
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
        d.click(1003);
        QCOMPARE(d.dialogs.lastText(), QStringLiteral("备份完成！"));

        d.db.addRecord("0000000A", "2024-05-02 10:00:00", "50");
        d.click(1004); // cancelled: nothing
        QCOMPARE(d.dialogs.texts().size(), 1);
        d.dialogs.answerFile(folder.filePath("DataBase.mdb"));
        d.click(1004);
        QCOMPARE(d.dialogs.lastText(), QStringLiteral("数据库还原成功！"));
        QCOMPARE(d.db.scalar("SELECT count(*) FROM employees"), QStringLiteral("1"));
        // The replaced file is kept beside it under a name of its own.
        QCOMPARE(QDir(d.db.folder()).entryList({"DataBase.mdb.*.bak"}, QDir::Files).size(), 1);
    }
};

QTEST_MAIN(TestFunctionBar)
#include "tst_function_bar.moc"
