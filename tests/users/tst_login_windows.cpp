#include "base/Settings.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/Text.h"
#include "support/Controls.h"
#include "support/FakeDialogs.h"
#include "support/ModalWatcher.h"
#include "support/TestDatabase.h"
#include "users/Accounts.h"
#include "users/windows/LoginDlg.h"
#include "users/windows/PasswordDlg.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
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
        auto* combo = control<QComboBox>(&dlg, "userCombo");
        auto* password = control<QLineEdit>(&dlg, "passwordEdit");
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
        auto* combo = control<QComboBox>(&dlg, "userCombo");
        auto* password = control<QLineEdit>(&dlg, "passwordEdit");
        QCOMPARE(password->text(), QString());
        combo->setCurrentIndex(1);
        QCOMPARE(password->text(), QStringLiteral("604817"));
        combo->setCurrentIndex(0);
        QCOMPARE(password->text(), QString());
        password->setText(QStringLiteral("kasse7"));
        combo->setCurrentIndex(2);
        QCOMPARE(password->text(), QStringLiteral("kasse7"));
        combo->setCurrentIndex(0);
        control<QPushButton>(&dlg, "loginButton")->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        // The operators still hold the delivered password, and the administrator is told.
        QCOMPARE(dialogs.texts(), QStringList{QStringLiteral(
                                      "以下账户仍在使用出厂密码 604817，任何人都能以它们登录：\n"
                                      "操作员1、操作员2、操作员3、操作员4、操作员5、操作员6\n"
                                      "请在“用户管理”中为它们设置各自的密码。")});
        QCOMPARE(dialogs.shown().last().icon, Dialogs::Icon::Exclamation);
        QVERIFY(dlg.session().administrator);
    }

    void failedAdministratorThenOperatorIsNoAdministrator() {
        TestDatabase db;
        FakeDialogs dialogs;
        CLoginDlg dlg(dialogs);
        dlg.show();
        auto* combo = control<QComboBox>(&dlg, "userCombo");
        auto* password = control<QLineEdit>(&dlg, "passwordEdit");
        password->setText("wrong");
        control<QPushButton>(&dlg, "loginButton")->click();
        QCOMPARE(dialogs.lastText(), QStringLiteral("密码错误！请重新输入！"));
        QCOMPARE(dialogs.shown().last().icon, Dialogs::Icon::None);
        QCOMPARE(dialogs.shown().last().owner, &dlg);
        QVERIFY(dlg.isVisible());
        QCOMPARE(password->text(), QStringLiteral("wrong")); // kept for another attempt
        QVERIFY(!dlg.session().administrator);

        combo->setCurrentIndex(1);
        password->setText("604817");
        control<QPushButton>(&dlg, "loginButton")->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(!dlg.session().administrator);
        QCOMPARE(dlg.session().account, QStringLiteral("操作员1"));
    }

    // Anyone at the counter knows the delivered password: the administrator who logs in with
    // it replaces it in the password window before the desk opens, and can't keep it.
    void administratorReplacesTheDeliveredPasswordFirst() {
        TestDatabase db;
        FakeDialogs dialogs;
        CLoginDlg dlg(dialogs);
        dlg.show();
        int windows = 0;
        {
            ModalWatcher leave([&](QWidget* w) {
                ++windows;
                auto* combo = control<QComboBox>(w, "userCombo");
                auto* old = control<QLineEdit>(w, "oldPasswordEdit");
                QVERIFY(combo && old);
                QCOMPARE(combo->currentText(), QStringLiteral("管理员"));
                QVERIFY(!combo->isEnabled() && !old->isEnabled());
                QCOMPARE(old->text(), QStringLiteral("604817"));
                // The delivered password again is no replacement.
                control<QLineEdit>(w, "newPasswordEdit")->setText("604817");
                control<QLineEdit>(w, "repeatPasswordEdit")->setText("604817");
                ModalWatcher::click(w, "changeButton");
                QCOMPARE(dialogs.lastText(),
                         QStringLiteral("管理员的新密码不能是出厂密码 604817，请重新输入！"));
                QVERIFY(w->isVisible());
                w->close();
            });
            control<QPushButton>(&dlg, "loginButton")->click();
        }
        QCOMPARE(windows, 1);
        QCOMPARE(dialogs.texts().first(),
                 QStringLiteral("管理员仍在使用出厂密码 604817，任何人都能以管理员登录。\n"
                                "请先修改管理员密码，修改后才能进入充值台。"));
        QCOMPARE(dialogs.lastText(), QStringLiteral("管理员密码未修改，不能进入充值台。"));
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.result() != QDialog::Accepted);
        QVERIFY(!dlg.session().administrator);
        QCOMPARE(CheckLogin(nullptr, "管理员", "604817"), LoginOutcome::Success);

        dialogs.clear();
        ModalWatcher change([&](QWidget* w) {
            control<QLineEdit>(w, "newPasswordEdit")->setText("kasse7");
            control<QLineEdit>(w, "repeatPasswordEdit")->setText("kasse7");
            ModalWatcher::click(w, "changeButton");
        });
        control<QPushButton>(&dlg, "loginButton")->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(dlg.session().administrator);
        QCOMPARE(dialogs.texts().size(), 3);
        QCOMPARE(dialogs.texts()[1], QStringLiteral("修改成功"));
        QVERIFY(dialogs.lastText().startsWith(QStringLiteral("以下账户仍在使用出厂密码 604817")));
        QCOMPARE(CheckLogin(nullptr, "管理员", "kasse7"), LoginOutcome::Success);
        QCOMPARE(CheckLogin(nullptr, "管理员", "604817"), LoginOutcome::WrongPassword);
        // The trail has the change and the accounts still on the delivered password.
        QCOMPARE(
            db.scalar("SELECT details FROM audit WHERE action = '出厂密码'"),
            QStringLiteral("仍用出厂密码：操作员1、操作员2、操作员3、操作员4、操作员5、操作员6"));
        QCOMPARE(db.scalar("SELECT account FROM audit WHERE action = '修改密码'"),
                 QStringLiteral("管理员"));
    }

    // With the desk's settings the verdicts are remembered between logins; still a wrong password
    // is refused, and an account set back to the delivered password is named and offered again.
    void deliveredPasswordsNamedWithRememberedVerdicts() {
        TestDatabase db;
        db.setPassword("管理员", "kasse7");
        QTemporaryDir home;
        Settings settings(home.filePath("Velkar.conf"));
        FakeDialogs dialogs;
        const auto login = [&](const QString& password) {
            CLoginDlg dlg(dialogs, settings);
            control<QLineEdit>(&dlg, "passwordEdit")->setText(password);
            control<QPushButton>(&dlg, "loginButton")->click();
            return dlg.result() == QDialog::Accepted;
        };
        const auto named = [&] { return dialogs.lastText().section('\n', 1, 1); };
        QVERIFY(login("kasse7"));
        QCOMPARE(named(), QStringLiteral("操作员1、操作员2、操作员3、操作员4、操作员5、操作员6"));
        QVERIFY(!login("kasse8"));
        QCOMPARE(dialogs.lastText(), QStringLiteral("密码错误！请重新输入！"));

        db.setPassword("操作员1", "one");
        QVERIFY(login("kasse7"));
        QCOMPARE(named(), QStringLiteral("操作员2、操作员3、操作员4、操作员5、操作员6"));
        QCOMPARE(ChangePassword(nullptr, "管理员", "操作员1", "one", "604817", "604817"),
                 PasswordOutcome::Changed);
        QVERIFY(login("kasse7"));
        QCOMPARE(named(), QStringLiteral("操作员1、操作员2、操作员3、操作员4、操作员5、操作员6"));
        CLoginDlg dlg(dialogs, settings);
        control<QComboBox>(&dlg, "userCombo")->setCurrentIndex(1);
        QCOMPARE(control<QLineEdit>(&dlg, "passwordEdit")->text(), QStringLiteral("604817"));
        QCOMPARE(db.scalar("SELECT count(*) FROM audit WHERE action = '出厂密码'"),
                 QStringLiteral("3"));
    }

    // Once every account has a password of its own, the administrator logs in without a box
    // and the trail has no entry about it; an operator is never told.
    void noBoxOnceEveryPasswordIsChanged() {
        TestDatabase db;
        FakeDialogs dialogs;
        db.setPassword("管理员", "kasse7");
        db.setPassword("操作员3", "op3");
        CLoginDlg operatorLogin(dialogs);
        control<QComboBox>(&operatorLogin, "userCombo")->setCurrentIndex(3);
        control<QLineEdit>(&operatorLogin, "passwordEdit")->setText("op3");
        control<QPushButton>(&operatorLogin, "loginButton")->click();
        QCOMPARE(operatorLogin.result(), int(QDialog::Accepted));
        QVERIFY(dialogs.texts().isEmpty());
        QCOMPARE(AccountsWithDeliveredPassword(),
                 (QStringList{"操作员1", "操作员2", "操作员4", "操作员5", "操作员6"}));

        for (const char* name : {"操作员1", "操作员2", "操作员4", "操作员5", "操作员6"})
            db.setPassword(QString::fromUtf8(name), "own");
        CLoginDlg dlg(dialogs);
        control<QLineEdit>(&dlg, "passwordEdit")->setText("kasse7");
        control<QPushButton>(&dlg, "loginButton")->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(dlg.session().administrator);
        QVERIFY2(dialogs.texts().isEmpty(), qPrintable(dialogs.texts().join(' ')));
        QCOMPARE(db.scalar("SELECT count(*) FROM audit WHERE action = '出厂密码'"),
                 QStringLiteral("0"));
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
        for (const QString& name : Schema::AccountNames)
            db.setPassword(name, "own");
        FakeDialogs dialogs;
        CLoginDlg dlg(dialogs);
        dlg.show();
        control<QLineEdit>(&dlg, "passwordEdit")->setText("own");
        control<QPushButton>(&dlg, "loginButton")->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dialogs.shown().size(), 1);
        QVERIFY(dialogs.lastText().contains(QStringLiteral("操作日志第 1 条被修改")));
    }

    // A ledger that failed its check at start lets the administrator alone in, to restore it;
    // an operator is refused before the password is tried, and nothing is written for them.
    void anUnsoundLedgerAdmitsTheAdministratorOnly() {
        TestDatabase db;
        db.setPassword(QStringLiteral("管理员"), QStringLiteral("secret")); // no forced change
        FakeDialogs dialogs;
        CLoginDlg dlg(dialogs);
        dlg.admitAdministratorOnly();
        dlg.show();
        control<QComboBox>(&dlg, "userCombo")->setCurrentIndex(1);
        control<QPushButton>(&dlg, "loginButton")->click();
        QCOMPARE(dialogs.texts(), QStringList{"数据库未通过检查，现在只有管理员可以登录。"});
        QCOMPARE(dialogs.shown().constLast().icon, Dialogs::Icon::Exclamation);
        QVERIFY(dlg.isVisible());
        QVERIFY(!dlg.session().administrator);
        QCOMPARE(db.scalar("SELECT count(*) FROM audit"), QStringLiteral("0"));
        control<QComboBox>(&dlg, "userCombo")->setCurrentIndex(0);
        control<QLineEdit>(&dlg, "passwordEdit")->setText(QStringLiteral("secret"));
        control<QPushButton>(&dlg, "loginButton")->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(dlg.session().administrator);
    }

    void enterChecksEscapeLeaves() {
        TestDatabase db;
        FakeDialogs dialogs;
        CLoginDlg dlg(dialogs);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* password = control<QLineEdit>(&dlg, "passwordEdit");
        password->setText("nope");
        password->setFocus();
        QTest::keyClick(password, Qt::Key_Return);
        QCOMPARE(dialogs.lastText(), QStringLiteral("密码错误！请重新输入！"));
        QVERIFY(dlg.isVisible());

        auto* combo = control<QComboBox>(&dlg, "userCombo");
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
        auto* combo = control<QComboBox>(&dlg, "userCombo");
        combo->setCurrentIndex(-1);
        combo->setEditText("管理员");
        control<QPushButton>(&dlg, "loginButton")->click();
        QCOMPARE(dialogs.lastText(), QStringLiteral("用户名不能为空"));
    }

    void missingDatabaseLeavesTheWindowUsable() {
        FILE_DATABASE_ONLY();
        TestDatabase db;
        QFile::remove(db.path());
        FakeDialogs dialogs;
        CLoginDlg dlg(dialogs);
        dlg.show();
        control<QPushButton>(&dlg, "loginButton")->click();
        QCOMPARE(dialogs.texts().size(), 3);
        QCOMPARE(dialogs.lastText(), QStringLiteral("操作失败"));
        QVERIFY(dlg.isVisible());
    }

    void passwordWindow() {
        TestDatabase db;
        FakeDialogs dialogs;
        CPasswordDlg dlg(dialogs, AdministratorName);
        dlg.show();
        QCOMPARE(dlg.windowTitle(), QStringLiteral("修改密码"));
        auto* combo = control<QComboBox>(&dlg, "userCombo");
        auto* old = control<QLineEdit>(&dlg, "oldPasswordEdit");
        auto* fresh = control<QLineEdit>(&dlg, "newPasswordEdit");
        auto* repeat = control<QLineEdit>(&dlg, "repeatPasswordEdit");
        auto* change = control<QPushButton>(&dlg, "changeButton");
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
        control<QLineEdit>(&login, "passwordEdit")->setText(lone);
        control<QPushButton>(&login, "loginButton")->click();
        QCOMPARE(dialogs.lastText(), UnstorableTextMessage);
        QVERIFY(login.isVisible());

        CPasswordDlg change(dialogs, AdministratorName);
        change.show();
        control<QLineEdit>(&change, "oldPasswordEdit")->setText("604817");
        control<QLineEdit>(&change, "newPasswordEdit")->setText(lone);
        control<QLineEdit>(&change, "repeatPasswordEdit")->setText(lone);
        control<QPushButton>(&change, "changeButton")->click();
        QCOMPARE(dialogs.lastText(), UnstorableTextMessage);
        QVERIFY(change.isVisible());
        QCOMPARE(CheckLogin(nullptr, "管理员", "604817"), LoginOutcome::Success);
        QCOMPARE(CheckLogin(nullptr, "管理员", "?"), LoginOutcome::WrongPassword);
    }

    void passwordWindowRefusesAWrongOldPassword() {
        TestDatabase db;
        FakeDialogs dialogs;
        CPasswordDlg dlg(dialogs, AdministratorName);
        dlg.show();
        control<QLineEdit>(&dlg, "oldPasswordEdit")->setText("604818");
        control<QLineEdit>(&dlg, "newPasswordEdit")->setText("x");
        control<QLineEdit>(&dlg, "repeatPasswordEdit")->setText("x");
        control<QPushButton>(&dlg, "changeButton")->click();
        QCOMPARE(dialogs.lastText(), QStringLiteral("原密码错误，请重新输入！"));
        QVERIFY(dlg.isVisible());
        control<QPushButton>(&dlg, "exitButton")->click();
        QVERIFY(!dlg.isVisible());
        QCOMPARE(CheckLogin(nullptr, "管理员", "604817"), LoginOutcome::Success);
    }
};

QTEST_MAIN(TestLoginWindows)
#include "tst_login_windows.moc"
