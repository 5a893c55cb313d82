#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/Text.h"
#include "support/Controls.h"
#include "support/FakeDialogs.h"
#include "support/TestDatabase.h"
#include "users/Accounts.h"
#include "users/windows/LoginDlg.h"
#include "users/windows/PasswordDlg.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace velkar;

class TestLoginWindows : public QObject {
    Q_OBJECT

private slots:
    void loginWindowStartsReady() {
        TestDatabase db;
        FakeDialogs dialogs;
        CLoginDlg dlg(dialogs);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("用户登录"));
        auto* combo = control<QComboBox>(&dlg, 1009);
        auto* password = control<QLineEdit>(&dlg, 1012);
        QVERIFY(combo && password);
        QCOMPARE(combo->count(), 7);
        QCOMPARE(dlg.selectedName(), QStringLiteral("管理员"));
        QCOMPARE(password->text(), QStringLiteral("604817"));
        QCOMPARE(password->echoMode(), QLineEdit::Password);
    }

    // The delivered password is offered only to an account that still holds it, so a changed
    // password never starts the day with "密码错误"; a password typed by hand stays.
    void changedPasswordIsNotOffered() {
        TestDatabase db;
        db.setPassword(QStringLiteral("管理员"), QStringLiteral("kasse7"));
        FakeDialogs dialogs;
        CLoginDlg dlg(dialogs);
        auto* combo = control<QComboBox>(&dlg, 1009);
        auto* password = control<QLineEdit>(&dlg, 1012);
        QCOMPARE(password->text(), QString());
        combo->setCurrentIndex(1);
        QCOMPARE(password->text(), QStringLiteral("604817"));
        combo->setCurrentIndex(0);
        QCOMPARE(password->text(), QString());
        password->setText(QStringLiteral("kasse7"));
        combo->setCurrentIndex(2);
        QCOMPARE(password->text(), QStringLiteral("kasse7"));
        combo->setCurrentIndex(0);
        control<QPushButton>(&dlg, 1042)->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY2(dialogs.texts().isEmpty(), qPrintable(dialogs.texts().join(' ')));
        QVERIFY(g_isAdmin);
    }

    void failedAdministratorThenOperatorIsNoAdministrator() {
        TestDatabase db;
        FakeDialogs dialogs;
        CLoginDlg dlg(dialogs);
        dlg.show();
        auto* combo = control<QComboBox>(&dlg, 1009);
        auto* password = control<QLineEdit>(&dlg, 1012);
        password->setText("wrong");
        control<QPushButton>(&dlg, 1042)->click();
        QCOMPARE(dialogs.lastText(), QStringLiteral("密码错误！请重新输入！"));
        QCOMPARE(dialogs.shown().last().icon, Dialogs::Icon::None);
        QCOMPARE(dialogs.shown().last().owner, &dlg);
        QVERIFY(dlg.isVisible());
        QCOMPARE(password->text(), QStringLiteral("wrong")); // kept for another attempt
        QVERIFY(!g_isAdmin);

        combo->setCurrentIndex(1);
        password->setText("604817");
        control<QPushButton>(&dlg, 1042)->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(!g_isAdmin);
    }

    void administratorLoginSetsTheFlag() {
        TestDatabase db;
        FakeDialogs dialogs;
        CLoginDlg dlg(dialogs);
        dlg.show();
        control<QPushButton>(&dlg, 1042)->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(g_isAdmin);
        QVERIFY(dialogs.shown().isEmpty());
    }

    // A trail changed by hand is shown to the administrator, who is let in all the same; an
    // operator is not told.
    void brokenTrailWarnsTheAdministrator() {
        TestDatabase db;
        {
            Connection c(db.path());
            Audit::Append(c, QStringLiteral("操作员1"), QStringLiteral("desk"), Audit::Login, {});
            Audit::Append(c, QStringLiteral("操作员1"), QStringLiteral("desk"), Audit::Login, {});
        }
        db.exec(QStringLiteral("UPDATE audit SET account = '操作员2' WHERE id = 1"));
        FakeDialogs dialogs;
        CLoginDlg dlg(dialogs);
        dlg.show();
        control<QPushButton>(&dlg, 1042)->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dialogs.shown().size(), 1);
        QVERIFY(dialogs.lastText().contains(QStringLiteral("操作日志第 1 条被修改")));
        g_isAdmin = false;
    }

    // A ledger that failed its check at start lets the administrator alone in, to restore it;
    // an operator is refused before the password is tried, and nothing is written for them.
    void anUnsoundLedgerAdmitsTheAdministratorOnly() {
        TestDatabase db;
        FakeDialogs dialogs;
        CLoginDlg dlg(dialogs);
        dlg.admitAdministratorOnly();
        dlg.show();
        control<QComboBox>(&dlg, 1009)->setCurrentIndex(1);
        control<QPushButton>(&dlg, 1042)->click();
        QCOMPARE(dialogs.texts(), QStringList{"数据库未通过检查，现在只有管理员可以登录。"});
        QCOMPARE(dialogs.shown().constLast().icon, Dialogs::Icon::Exclamation);
        QVERIFY(dlg.isVisible());
        QVERIFY(!g_isAdmin);
        QCOMPARE(db.scalar("SELECT count(*) FROM audit"), QStringLiteral("0"));
        control<QComboBox>(&dlg, 1009)->setCurrentIndex(0);
        control<QPushButton>(&dlg, 1042)->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(g_isAdmin);
        g_isAdmin = false;
    }

    void enterChecksEscapeLeaves() {
        TestDatabase db;
        FakeDialogs dialogs;
        CLoginDlg dlg(dialogs);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* password = control<QLineEdit>(&dlg, 1012);
        password->setText("nope");
        password->setFocus();
        QTest::keyClick(password, Qt::Key_Return);
        QCOMPARE(dialogs.lastText(), QStringLiteral("密码错误！请重新输入！"));
        QVERIFY(dlg.isVisible());

        auto* combo = control<QComboBox>(&dlg, 1009);
        combo->setFocus();
        password->setText("");
        QTest::keyClick(combo, Qt::Key_Enter);
        QCOMPARE(dialogs.lastText(), QStringLiteral("密码不能为空"));
        QCOMPARE(dialogs.shown().last().icon, Dialogs::Icon::Exclamation);
        QVERIFY(dlg.isVisible());

        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }

    void typedNameIsNoName() {
        TestDatabase db;
        FakeDialogs dialogs;
        CLoginDlg dlg(dialogs);
        auto* combo = control<QComboBox>(&dlg, 1009);
        combo->setCurrentIndex(-1);
        combo->setEditText("管理员");
        control<QPushButton>(&dlg, 1042)->click();
        QCOMPARE(dialogs.lastText(), QStringLiteral("用户名不能为空"));
    }

    void missingDatabaseLeavesTheWindowUsable() {
        FILE_DATABASE_ONLY();
        TestDatabase db;
        QFile::remove(db.path());
        FakeDialogs dialogs;
        CLoginDlg dlg(dialogs);
        dlg.show();
        control<QPushButton>(&dlg, 1042)->click();
        QCOMPARE(dialogs.texts().size(), 3);
        QCOMPARE(dialogs.lastText(), QStringLiteral("操作失败"));
        QVERIFY(dlg.isVisible());
    }

    void passwordWindow() {
        TestDatabase db;
        FakeDialogs dialogs;
        CPasswordDlg dlg(dialogs);
        dlg.show();
        QCOMPARE(dlg.windowTitle(), QStringLiteral("修改密码"));
        auto* combo = control<QComboBox>(&dlg, 1044);
        auto* old = control<QLineEdit>(&dlg, 1045);
        auto* fresh = control<QLineEdit>(&dlg, 1048);
        auto* repeat = control<QLineEdit>(&dlg, 1049);
        auto* change = control<QPushButton>(&dlg, 1046);
        combo->setCurrentIndex(3);
        old->setText("604817");
        fresh->setText("abc");
        repeat->setText("abd");
        change->click();
        QCOMPARE(dialogs.lastText(), QStringLiteral("两次输入的新密码不一致，请重新输入！"));
        QCOMPARE(dialogs.shown().last().icon, Dialogs::Icon::None);
        QVERIFY(dlg.isVisible());

        repeat->setText("abc");
        repeat->setFocus();
        QTest::keyClick(repeat, Qt::Key_Return); // Enter runs the change
        QCOMPARE(dialogs.lastText(), QStringLiteral("修改成功"));
        QVERIFY(!dlg.isVisible());
        QCOMPARE(CheckLogin(nullptr, "操作员3", "abc"), LoginOutcome::Success);
        QCOMPARE(CheckLogin(nullptr, "操作员3", "604817"), LoginOutcome::WrongPassword);
    }

    // What a window would store or compare as another text is refused where it is typed.
    void windowsRefuseTextsTheStoreCantKeep() {
        TestDatabase db;
        FakeDialogs dialogs;
        const QString lone = QString(QChar(0xD800));
        CLoginDlg login(dialogs);
        login.show();
        control<QLineEdit>(&login, 1012)->setText(lone);
        control<QPushButton>(&login, 1042)->click();
        QCOMPARE(dialogs.lastText(), UnstorableTextMessage);
        QVERIFY(login.isVisible());

        CPasswordDlg change(dialogs);
        change.show();
        control<QLineEdit>(&change, 1045)->setText("604817");
        control<QLineEdit>(&change, 1048)->setText(lone);
        control<QLineEdit>(&change, 1049)->setText(lone);
        control<QPushButton>(&change, 1046)->click();
        QCOMPARE(dialogs.lastText(), UnstorableTextMessage);
        QVERIFY(change.isVisible());
        QCOMPARE(CheckLogin(nullptr, "管理员", "604817"), LoginOutcome::Success);
        QCOMPARE(CheckLogin(nullptr, "管理员", "?"), LoginOutcome::WrongPassword);
    }

    void passwordWindowRefusesAWrongOldPassword() {
        TestDatabase db;
        FakeDialogs dialogs;
        CPasswordDlg dlg(dialogs);
        dlg.show();
        control<QLineEdit>(&dlg, 1045)->setText("604818");
        control<QLineEdit>(&dlg, 1048)->setText("x");
        control<QLineEdit>(&dlg, 1049)->setText("x");
        control<QPushButton>(&dlg, 1046)->click();
        QCOMPARE(dialogs.lastText(), QStringLiteral("原密码错误，请重新输入！"));
        QVERIFY(dlg.isVisible());
        control<QPushButton>(&dlg, 1047)->click();
        QVERIFY(!dlg.isVisible());
        QCOMPARE(CheckLogin(nullptr, "管理员", "604817"), LoginOutcome::Success);
    }
};

QTEST_MAIN(TestLoginWindows)
#include "tst_login_windows.moc"
