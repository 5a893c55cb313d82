#include "data/AdoConn.h"
#include "support/TestDatabase.h"

#include "data/CardRecords.h"
#include "data/Text.h"
#include "desk/CardholderPanel.h"
#include "users/Accounts.h"

#include <QTest>

using namespace velkar;

class TestDeskCore : public QObject {
    Q_OBJECT

private slots:

    void amountRule() {
        const std::pair<const char*, int> cases[] = {
            {"100", 100}, {"9999", 9999}, {"-123", -123}, {"-6553", -6553}, {"0", 0},   {"", 0},
            {"-", 0},     {"10000", 0},   {"-10000", 0},  {"12a", 0},       {"1.5", 0}, {" 12", 0},
        };
        for (const auto& [text, value] : cases)
            QVERIFY2(CardAmountValue(text) == value, text);
    }

    void recordsOfOneCardWithTheirTotal() {
        TestDatabase db;
        db.addRecord("1234ABCD", "2024-05-06 07:08:09", "100");
        db.addRecord("0000000A", "2024-05-06 07:08:10", "500");
        db.addRecord("1234ABCD", "2024-05-06 07:08:11", "00050");
        db.addRecord("1234ABCD", "2024-05-06 07:08:12", "-00030");
        for (int i = 0; i < 10; ++i)
            db.addRecord("0000000B", "2024-05-06 07:08:13", "1000");
        const CardRecordList list = ReadCardRecords(nullptr, "1234ABCD");
        QCOMPARE(list.rows.size(), 3);
        QCOMPARE(list.rows[1].stamp, QStringLiteral("2024-05-06 07:08:11"));
        QCOMPARE(list.rows[1].amount, QStringLiteral("50"));
        QCOMPARE(list.rows[2].amount, QStringLiteral("-30"));
        QCOMPARE(list.total, qint64(120));
        QCOMPARE(ReadCardRecords(nullptr, "0000000B").total, qint64(10000));
        QCOMPARE(ReadCardRecords(nullptr, "").rows.size(), 0);
    }

    // The save reaches the holder by 卡号: rows added or deleted since the lookup must not
    // turn it onto another holder.
    void savingAKnownHolderWritesItsOwnRow() {
        TestDatabase db;
        db.addCardholder("S2", "22222222", "王五", "220202", "13600000002", "上海");
        db.addCardholder("S3", "33333333", "赵六", "330303", "13600000003", "广州");
        CardholderPanel panel(nullptr);
        panel.apply(FindCardholder(Connection(db.path()), "33333333"));
        QCOMPARE(int(panel.state()), int(HolderExisting));
        db.addCardholder("S1", "11111111", "钱七", "110101", "13600000001", "深圳");
        db.exec("DELETE FROM userecord WHERE 卡号 = '22222222'");
        panel.fields.name = "赵六六";
        panel.fields.phone = "13500000000";
        QCOMPARE(panel.save(), ProfileOutcome::Updated);
        QCOMPARE(db.scalar("SELECT group_concat(卡号 || ':' || 姓名 || ':' || 身份证 || ':' || "
                           "电话, ',') FROM (SELECT * FROM userecord ORDER BY 卡号) AS u"),
                 QStringLiteral("11111111:钱七:110101:13600000001,"
                                "33333333:赵六六:330303:13500000000"));
        QCOMPARE(int(panel.state()), int(HolderNone));
        QVERIFY(panel.fields.cardNo.isEmpty());
    }

    // 档案更新 changes the archive as the archive window does: each change in the trail with
    // the account of the login, in the same transaction; a refused save leaves no entry.
    void panelSavesAreAudited() {
        TestDatabase db;
        CardholderPanel panel(nullptr, QStringLiteral("操作员2"));
        panel.apply(FindCardholder(Connection(db.path()), "0000ABCD"));
        panel.fields = {"S1", "0000ABCD", "钱七", "", "13600000001", ""};
        QCOMPARE(panel.save(), ProfileOutcome::Added);
        panel.apply(FindCardholder(Connection(db.path()), "0000ABCD"));
        QCOMPARE(int(panel.state()), int(HolderExisting));
        panel.fields.name = "钱七七";
        QCOMPARE(panel.save(), ProfileOutcome::Updated);
        QCOMPARE(db.scalar("SELECT group_concat(account || ':' || action, ',') FROM "
                           "(SELECT * FROM audit ORDER BY id) AS a"),
                 QStringLiteral("操作员2:添加持卡人,操作员2:修改持卡人"));
        const QString change = db.scalar("SELECT details FROM audit ORDER BY id DESC LIMIT 1");
        QVERIFY2(change.contains("钱七") && change.contains("钱七七") && change.contains("null"),
                 qPrintable(change));

        // Not a card number by the archive's rule: refused, as the archive window refuses it.
        panel.apply(FindCardholder(Connection(db.path()), "5678EFGH"));
        panel.fields = {"S2", "5678EFGH", "孙八", "", "1", ""};
        QCOMPARE(panel.save(), ProfileOutcome::InvalidCardNo);
        QCOMPARE(ProfileMessage(ProfileOutcome::InvalidCardNo, "5678EFGH"),
                 QStringLiteral("卡号“5678EFGH”不是八位十六进制数"));
        // Refused by the store: the entry goes with the row.
        db.addCardholder("S4", "44444444", "孙八");
        panel.apply(FindCardholder(Connection(db.path()), "44444445"));
        panel.fields = {"S9", "44444444", "周九", "", "1", ""};
        QCOMPARE(panel.save(), ProfileOutcome::Duplicate);
        QCOMPARE(db.scalar("SELECT count(*) FROM audit"), QStringLiteral("2"));
        QCOMPARE(db.scalar("SELECT count(*) FROM userecord"), QStringLiteral("2"));
        QCOMPARE(AuditChainProblem(db.path()), QString());
    }

    void unstorableTextIsNotSaved() {
        TestDatabase db;
        db.addCardholder("S3", "33333333", "赵六");
        CardholderPanel panel(nullptr);
        panel.apply(FindCardholder(Connection(db.path()), "33333333"));
        panel.fields.phone = QString(QChar(0xD83D)) + "1";
        QCOMPARE(panel.save(), ProfileOutcome::UnstorableText);
        QCOMPARE(ProfileMessage(ProfileOutcome::UnstorableText), UnstorableTextMessage);
        QCOMPARE(int(panel.state()), int(HolderExisting));
        QCOMPARE(db.scalar("SELECT 电话 FROM userecord"), QStringLiteral("13800000000"));
    }

    void failedSaveKeepsWhatWasTyped() {
        TestDatabase db;
        db.addCardholder("S3", "33333333", "赵六");
        CardholderPanel panel(nullptr);
        panel.apply(FindCardholder(Connection(db.path()), "33333333"));
        db.exec("DELETE FROM userecord"); // gone meanwhile: nothing to write over
        panel.fields.name = "改名";
        QCOMPARE(panel.save(), ProfileOutcome::Failed);
        QCOMPARE(int(panel.state()), int(HolderExisting));
        QCOMPARE(panel.fields.name, QStringLiteral("改名"));
        QCOMPARE(db.scalar("SELECT count(*) FROM userecord"), QStringLiteral("0"));

        // Added meanwhile elsewhere: the store refuses a second row for the card.
        panel.apply(FindCardholder(Connection(db.path()), "44444444"));
        QCOMPARE(int(panel.state()), int(HolderNew));
        db.addCardholder("S4", "44444444", "孙八");
        panel.fields = {"S9", "44444444", "周九", "", "1", ""};
        QCOMPARE(panel.save(), ProfileOutcome::Duplicate);
        QCOMPARE(ProfileMessage(ProfileOutcome::Duplicate, "44444444", panel.failure()),
                 QStringLiteral("卡号重复警告"));
        QCOMPARE(int(panel.state()), int(HolderNew));
        QCOMPARE(db.scalar("SELECT 姓名 FROM userecord WHERE 卡号 = '44444444'"),
                 QStringLiteral("孙八"));

        // A lookup the store fails leaves nothing to save.
        db.exec("DROP TABLE userecord");
        panel.apply(FindCardholder(Connection(db.path()), "44444444"));
        QCOMPARE(int(panel.state()), int(HolderNone));
        QCOMPARE(panel.save(), ProfileOutcome::Reset);
    }
};

QTEST_GUILESS_MAIN(TestDeskCore)
#include "tst_desk_core.moc"
