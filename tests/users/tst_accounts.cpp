#include "support/FakeDialogs.h"
#include "support/TestDatabase.h"
#include "users/Accounts.h"

#include <QFile>
#include <QtTest>

class TestAccounts : public QObject {
    Q_OBJECT

private slots:
    void loginOutcomes_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("outcome");
        const auto row = [](const char* tag, const QString& n, const QString& p, LoginOutcome o) {
            QTest::newRow(tag) << n << p << int(o);
        };
        row("administrator", "管理员", "604817", LoginOutcome::Success);
        row("operator", "操作员6", "604817", LoginOutcome::Success);
        row("empty name first", "", "", LoginOutcome::EmptyName);
        row("empty password", "操作员1", "", LoginOutcome::EmptyPassword);
        row("wrong password", "操作员1", "604818", LoginOutcome::WrongPassword);
        row("unknown name", "操作员7", "604817", LoginOutcome::NoSuchUser);
        row("injection", "管理员", "' or '1'='1", LoginOutcome::WrongPassword);
        row("injection in name", "' or '1'='1", "604817", LoginOutcome::NoSuchUser);
        row("quote in password", "操作员2", "60'4817", LoginOutcome::WrongPassword);
    }

    void loginOutcomes() {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(int, outcome);
        TestDatabase db;
        FakeDialogs dialogs;
        QCOMPARE(int(CheckLogin(&dialogs, name, password)), outcome);
        QVERIFY(dialogs.shown().isEmpty());
    }

    void passwordsCompareExactly() {
        TestDatabase db;
        db.exec("UPDATE permission SET 密码 = 'Secret' WHERE 用户名 = '操作员3'");
        QCOMPARE(CheckLogin(nullptr, "操作员3", "secret"), LoginOutcome::WrongPassword);
        QCOMPARE(CheckLogin(nullptr, "操作员3", "SECRET"), LoginOutcome::WrongPassword);
        QCOMPARE(CheckLogin(nullptr, "操作员3", "Secret"), LoginOutcome::Success);
        // A password with a quote is an ordinary password.
        db.exec("UPDATE permission SET 密码 = 'it''s' WHERE 用户名 = '操作员4'");
        QCOMPARE(CheckLogin(nullptr, "操作员4", "it's"), LoginOutcome::Success);
    }

    void missingDatabaseFailsAfterTheEnginesWords() {
        TestDatabase db;
        QFile::remove(db.path());
        FakeDialogs dialogs;
        QCOMPARE(CheckLogin(&dialogs, "管理员", "604817"), LoginOutcome::Failed);
        QCOMPARE(dialogs.shown().size(), 2);
    }

    void passwordChange() {
        TestDatabase db;
        // Needs the chosen account's own password, even for the administrator.
        db.exec("UPDATE permission SET 密码 = 'three' WHERE 用户名 = '操作员3'");
        QCOMPARE(ChangePassword(nullptr, "操作员3", "604817", "new", "new"),
                 PasswordOutcome::WrongOldPassword);
        QCOMPARE(ChangePassword(nullptr, "操作员3", "Three", "new", "new"),
                 PasswordOutcome::WrongOldPassword);
        QCOMPARE(ChangePassword(nullptr, "操作员3", "three", "new", "neW"),
                 PasswordOutcome::RepeatDiffers);
        QCOMPARE(db.scalar("SELECT 密码 FROM permission WHERE 用户名 = '操作员3'"),
                 QStringLiteral("three"));
        QCOMPARE(ChangePassword(nullptr, "操作员3", "three", "", "x"),
                 PasswordOutcome::EmptyPassword);
        QCOMPARE(ChangePassword(nullptr, "", "three", "x", "x"), PasswordOutcome::EmptyName);

        QCOMPARE(ChangePassword(nullptr, "操作员3", "three", "n'ew", "n'ew"),
                 PasswordOutcome::Changed);
        QCOMPARE(CheckLogin(nullptr, "操作员3", "n'ew"), LoginOutcome::Success);
        QCOMPARE(CheckLogin(nullptr, "操作员3", "three"), LoginOutcome::WrongPassword);
        // No other account changed.
        QCOMPARE(db.scalar("SELECT count(*) FROM permission WHERE 密码 = '604817'"),
                 QStringLiteral("6"));
    }

    void passwordChangeFindsTheRowByName() {
        TestDatabase db;
        // Rows out of list order: a change by position would hit another account.
        db.exec("DELETE FROM permission WHERE 用户名 = '管理员'");
        db.exec("INSERT INTO permission VALUES ('管理员', '604817')");
        QCOMPARE(ChangePassword(nullptr, "操作员1", "604817", "one", "one"),
                 PasswordOutcome::Changed);
        QCOMPARE(db.scalar("SELECT group_concat(用户名) FROM permission WHERE 密码 = 'one'"),
                 QStringLiteral("操作员1"));
    }
};

QTEST_GUILESS_MAIN(TestAccounts)
#include "tst_accounts.moc"
