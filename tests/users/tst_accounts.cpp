#include "base/Settings.h"
#include "data/PasswordHash.h"
#include "data/Text.h"
#include "support/FakeDialogs.h"
#include "support/TestDatabase.h"
#include "users/Accounts.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace velkar;

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
        db.setPassword("操作员3", "Secret");
        QCOMPARE(CheckLogin(nullptr, "操作员3", "secret"), LoginOutcome::WrongPassword);
        QCOMPARE(CheckLogin(nullptr, "操作员3", "SECRET"), LoginOutcome::WrongPassword);
        QCOMPARE(CheckLogin(nullptr, "操作员3", "Secret"), LoginOutcome::Success);
        // A password with a quote is an ordinary password.
        db.setPassword("操作员4", "it's");
        QCOMPARE(CheckLogin(nullptr, "操作员4", "it's"), LoginOutcome::Success);
    }

    void missingDatabaseFailsAfterTheEnginesWords() {
        FILE_DATABASE_ONLY();
        TestDatabase db;
        QFile::remove(db.path());
        FakeDialogs dialogs;
        QCOMPARE(CheckLogin(&dialogs, "管理员", "604817"), LoginOutcome::Failed);
        QCOMPARE(dialogs.shown().size(), 2);
    }

    void passwordChange() {
        TestDatabase db;
        // Needs the chosen account's own password, even for the administrator.
        db.setPassword("操作员3", "three");
        QCOMPARE(ChangePassword(nullptr, {}, "操作员3", "604817", "new", "new"),
                 PasswordOutcome::WrongOldPassword);
        QCOMPARE(ChangePassword(nullptr, {}, "操作员3", "Three", "new", "new"),
                 PasswordOutcome::WrongOldPassword);
        QCOMPARE(ChangePassword(nullptr, {}, "操作员3", "three", "new", "neW"),
                 PasswordOutcome::RepeatDiffers);
        QCOMPARE(CheckLogin(nullptr, "操作员3", "three"), LoginOutcome::Success);
        QCOMPARE(ChangePassword(nullptr, {}, "操作员3", "three", "", "x"),
                 PasswordOutcome::EmptyPassword);
        QCOMPARE(ChangePassword(nullptr, {}, "", "three", "x", "x"), PasswordOutcome::EmptyName);

        QCOMPARE(ChangePassword(nullptr, {}, "操作员3", "three", "n'ew", "n'ew"),
                 PasswordOutcome::Changed);
        QCOMPARE(CheckLogin(nullptr, "操作员3", "n'ew"), LoginOutcome::Success);
        QCOMPARE(CheckLogin(nullptr, "操作员3", "three"), LoginOutcome::WrongPassword);
        // Stored as a hash of the program's cost; no other account changed.
        const QString stored = db.scalar("SELECT 密码 FROM permission WHERE 用户名 = '操作员3'");
        QVERIFY(stored.startsWith("$argon2id$v=19$m=65536,t=2,p=1$"));
        QVERIFY(!stored.contains("n'ew"));
        for (const QString& other : Schema::AccountNames)
            if (other != "操作员3")
                QCOMPARE(CheckLogin(nullptr, other, "604817"), LoginOutcome::Success);
    }

    // A lone surrogate would reach the store as something else; "?" must not open the account.
    void textsTheStoreCantKeepAreRefused() {
        TestDatabase db;
        const QString lone = QString("ab") + QChar(0xD800);
        QVERIFY(!IsStorableText(lone));
        QVERIFY(!IsStorableText(QString(QChar(0xDC00)) + "x"));
        QVERIFY(IsStorableText(QStringLiteral("王芳 😀 ok")));
        QCOMPARE(ChangePassword(nullptr, {}, "操作员2", "604817", lone, lone),
                 PasswordOutcome::UnstorableText);
        QCOMPARE(ChangePassword(nullptr, {}, "操作员2", lone, "x", "x"),
                 PasswordOutcome::UnstorableText);
        QCOMPARE(CheckLogin(nullptr, "操作员2", "604817"), LoginOutcome::Success);
        QCOMPARE(CheckLogin(nullptr, "操作员2", lone), LoginOutcome::UnstorableText);
        QCOMPARE(CheckLogin(nullptr, "操作员2", "ab?"), LoginOutcome::WrongPassword);
        QCOMPARE(CheckLogin(nullptr, "操作员2", "ab�"), LoginOutcome::WrongPassword);
        QCOMPARE(LoginMessage(LoginOutcome::UnstorableText), UnstorableTextMessage);
        QCOMPARE(PasswordMessage(PasswordOutcome::UnstorableText), UnstorableTextMessage);
    }

    // A login and a password change refuse the same faults in the same words.
    void sharedRefusalsReadAlike() {
        QCOMPARE(LoginMessage(LoginOutcome::EmptyName),
                 PasswordMessage(PasswordOutcome::EmptyName));
        QCOMPARE(LoginMessage(LoginOutcome::EmptyPassword),
                 PasswordMessage(PasswordOutcome::EmptyPassword));
        QCOMPARE(LoginMessage(LoginOutcome::Failed), QStringLiteral("操作失败"));
        QCOMPARE(PasswordMessage(PasswordOutcome::Failed), QStringLiteral("操作失败"));
        QVERIFY(LoginMessage(LoginOutcome::Success).isEmpty());
        QCOMPARE(LoginMessage(LoginOutcome::NoSuchUser),
                 QStringLiteral("用户名不存在！请重新输入！"));
        QCOMPARE(PasswordMessage(PasswordOutcome::Changed), QStringLiteral("修改成功"));
        QCOMPARE(AdministratorName, QStringLiteral("管理员"));
    }

    // What lies in the file is no password: a hash that only the exact text matches.
    void storedPasswordsAreHashes() {
        TestDatabase db;
        const QString stored = db.scalar("SELECT group_concat(密码, '|') FROM permission");
        QVERIFY(!stored.contains("604817"));
        QCOMPARE(stored.count("$argon2id$"), 7);
        // Each with its own salt.
        const QStringList hashes = stored.split('|');
        QCOMPARE(QSet<QString>(hashes.begin(), hashes.end()).size(), 7);
        QVERIFY(!PasswordHash::Verify("604817", "604817"));
        QVERIFY(!PasswordHash::Verify(QString(), QString()));
    }

    // A check that tells a different password from one it could not derive, so that only the
    // first is ever kept as an answer.
    void checkTellsDifferentFromUnknown() {
        const QString stored = PasswordHash::Hash("604817", PasswordHash::CheapestCost);
        using V = PasswordHash::Verdict;
        QCOMPARE(PasswordHash::Check(stored, "604817"), V::Matches);
        QCOMPARE(PasswordHash::Check(stored, "604818"), V::Differs);
        QCOMPARE(PasswordHash::Check(PasswordHash::Hash("x", {3, 16384}), "x"), V::Matches);
        QCOMPARE(PasswordHash::CheckAll({stored, "604817", stored.left(stored.lastIndexOf('$'))},
                                        "604817"),
                 (std::vector<V>{V::Matches, V::Unknown, V::Unknown}));
        // A cost below what can be derived: Verify says no, which is not a different password.
        QString noPasses = stored;
        noPasses.replace(",t=1,", ",t=0,");
        QVERIFY(!PasswordHash::Verify(noPasses, "604817"));
        QCOMPARE(PasswordHash::Check(noPasses, "604817"), V::Unknown);
    }

    // The delivered password is tried once per stored hash: the verdicts outlive the run, and a
    // password set again to the delivered one is a new hash, named again.
    void deliveredPasswordVerdictsAreKeptPerHash() {
        TestDatabase db;
        QTemporaryDir home;
        const QString file = home.filePath("Velkar.conf");
        const QStringList all{"管理员",  "操作员1", "操作员2", "操作员3",
                              "操作员4", "操作员5", "操作员6"};
        {
            Settings settings(file);
            QCOMPARE(AccountsWithDeliveredPassword(settings), all);
            QCOMPARE(settings.triedPasswords().delivered.size(), 7);
        }
        db.setPassword("操作员3", "own");
        {
            Settings settings(file);
            QStringList rest = all;
            rest.removeOne("操作员3");
            QCOMPARE(AccountsWithDeliveredPassword(settings), rest);
            QCOMPARE(AccountsWithDeliveredPassword(settings), rest);
            QVERIFY(DeliveredPasswordChanged(settings, "操作员3"));
            QVERIFY(!DeliveredPasswordChanged(settings, "操作员4"));
            // Only the hashes the accounts hold now are kept.
            QCOMPARE(settings.triedPasswords().delivered.size(), 6);
            QCOMPARE(settings.triedPasswords().other.size(), 1);
        }
        QCOMPARE(ChangePassword(nullptr, "管理员", "操作员3", "own", "604817", "604817"),
                 PasswordOutcome::Changed);
        Settings settings(file);
        QVERIFY(!DeliveredPasswordChanged(settings, "操作员3"));
        QCOMPARE(AccountsWithDeliveredPassword(settings), all);
        QCOMPARE(RecordDeliveredPasswords(settings, "管理员"), all);
    }

    // A verdict is kept by its hash's text: one kept for another hash answers nothing here, and
    // a hash that could not be checked is not kept as changed.
    void verdictsAnswerOnlyForTheirHash() {
        TestDatabase db;
        QTemporaryDir home;
        Settings settings(home.filePath("Velkar.conf"));
        settings.setTriedPasswords({{}, {QString(64, QLatin1Char('0'))}});
        db.exec("UPDATE permission SET 密码 = '$argon2id$v=19$m=8,t=0,p=1$AAAAAAAAAAAAAAAAAAAAAA$"
                "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA' WHERE 用户名 = '操作员6'");
        QCOMPARE(AccountsWithDeliveredPassword(settings),
                 (QStringList{"管理员", "操作员1", "操作员2", "操作员3", "操作员4", "操作员5"}));
        QCOMPARE(settings.triedPasswords().delivered.size(), 6);
        QVERIFY(settings.triedPasswords().other.isEmpty());
    }

    void passwordChangeFindsTheRowByName() {
        TestDatabase db;
        // Rows out of list order: a change by position would hit another account.
        db.exec("DELETE FROM permission WHERE 用户名 = '管理员'");
        db.exec("INSERT INTO permission VALUES ('管理员', '604817')");
        db.setPassword("管理员", "604817");
        QCOMPARE(ChangePassword(nullptr, {}, "操作员1", "604817", "one", "one"),
                 PasswordOutcome::Changed);
        QCOMPARE(CheckLogin(nullptr, "操作员1", "one"), LoginOutcome::Success);
        QCOMPARE(CheckLogin(nullptr, "管理员", "one"), LoginOutcome::WrongPassword);
    }
};

QTEST_GUILESS_MAIN(TestAccounts)
#include "tst_accounts.moc"
