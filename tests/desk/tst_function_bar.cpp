#include "support/FakeDialogs.h"
#include "support/ModalWatcher.h"
#include "support/TestDatabase.h"

#include "app/Clock.h"
#include "data/AdoConn.h"
#include "desk/DeskDlg.h"
#include "desk/PictureButton.h"
#include "reader/LinkState.h"
#include "reader/SimulatedReader.h"
#include "users/Accounts.h"

#include <QtTest>

namespace {

// A desk over a fresh database and the simulated reader.
struct Desk {
    Desk() : clock(QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9))) {
        ResetLinkState();
        desk = std::make_unique<CDeskDlg>(dialogs, clock, reader);
        desk->show();
    }
    void press(int id) {
        for (auto* b : desk->findChildren<QAbstractButton*>())
            if (b->property("controlId").toInt() == id) {
                b->click();
                return;
            }
        QFAIL("no such button");
    }

    TestDatabase db;
    SimulatedReader reader;
    FakeDialogs dialogs;
    FixedClock clock;
    std::unique_ptr<CDeskDlg> desk;
};

const QString Prompt = QStringLiteral("信息提示");

} // namespace

class TestFunctionBar : public QObject {
    Q_OBJECT

private slots:
    void userManagementIsForTheAdministrator() {
        Desk d;
        g_isAdmin = false;
        ModalWatcher watcher([](QWidget* w) { w->close(); });
        d.press(1001);
        QCOMPARE(d.dialogs.lastText(), QStringLiteral("您没有管理员权限！"));
        QCOMPARE(d.dialogs.shown().last().caption, QStringLiteral("系统提示"));
        QCOMPARE(d.dialogs.shown().last().icon, Dialogs::Icon::Exclamation);
        QVERIFY(watcher.titles().isEmpty());

        g_isAdmin = true;
        d.press(1001);
        QCOMPARE(watcher.titles(), QStringList{QStringLiteral("修改密码")});
        QCOMPARE(d.dialogs.shown().size(), 1);
        g_isAdmin = false;
    }

    void auditWindowIsForTheAdministrator() {
        Desk d;
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
        Desk d;
        ModalWatcher watcher([](QWidget* w) { w->close(); });
        d.press(1040);
        d.press(1002);
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
        Desk d;
        ModalWatcher watcher(ModalWatcher::clicking(Prompt, 1025));
        if (byButton)
            d.press(1005);
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
        Desk d;
        QTemporaryDir folder;
        d.dialogs.answerFolder(folder.path());
        ModalWatcher watcher(ModalWatcher::clicking(Prompt, 1026));
        d.press(1005);
        QVERIFY(!d.desk->isVisible());
        QCOMPARE(d.dialogs.lastText(), QStringLiteral("备份完成！"));
        QCOMPARE(Schema::CheckDatabase(folder.filePath("DataBase.mdb")), QString());
    }

    void yesWithACancelledChooserJustCloses() {
        Desk d;
        ModalWatcher watcher(ModalWatcher::clicking(Prompt, 1026));
        d.press(1005);
        QVERIFY(!d.desk->isVisible());
        QCOMPARE(d.dialogs.requests().size(), 1); // the chooser was offered
        QVERIFY(d.dialogs.texts().isEmpty());     // and nothing was copied or said
    }

    void backupAndRestoreFromTheBar() {
        Desk d;
        QTemporaryDir folder;
        d.db.addRecord("0000000A", "2024-05-01 10:00:00", "100");
        d.dialogs.answerFolder(folder.path());
        d.press(1003);
        QCOMPARE(d.dialogs.lastText(), QStringLiteral("备份完成！"));

        d.db.addRecord("0000000A", "2024-05-02 10:00:00", "50");
        d.press(1004); // cancelled: nothing
        QCOMPARE(d.dialogs.texts().size(), 1);
        d.dialogs.answerFile(folder.filePath("DataBase.mdb"));
        d.press(1004);
        QCOMPARE(d.dialogs.lastText(), QStringLiteral("数据库还原成功！"));
        QCOMPARE(d.db.scalar("SELECT count(*) FROM employees"), QStringLiteral("1"));
        // The replaced file is kept beside it under a name of its own.
        QCOMPARE(QDir(d.db.folder()).entryList({"DataBase.mdb.*.bak"}, QDir::Files).size(), 1);
    }
};

QTEST_MAIN(TestFunctionBar)
#include "tst_function_bar.moc"
