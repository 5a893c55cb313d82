#include "records/CardholderArchive.h"

#include "base/Messages.h"
#include "base/TextTable.h"
#include "data/AdoConn.h"
#include "data/Audit.h"

#include "support/TestDatabase.h"

#include <QTest>

using namespace velkar;

namespace {

const QString Clerk = QStringLiteral("操作员2");
const Cardholder Ann{"1", "000000A1", "Ann", "id-a", "tel-a", "addr-a"};
const Cardholder Bob{"2", "000000B2", "Bob", "id-b", "tel-b", "addr-b"};

} // namespace

class CardholderArchiveTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> db;
    std::unique_ptr<Connection> connection;

    QString audited(const QString& action) const {
        Query entries(*connection, QStringLiteral("SELECT details FROM audit WHERE action = ? AND "
                                                  "account = ? ORDER BY id"));
        entries.bind(1, action);
        entries.bind(2, Clerk);
        QStringList details;
        while (entries.next())
            details << entries.text(0);
        return details.join('|');
    }
    int cardholders() const { return db->scalar("SELECT count(*) FROM userecord").toInt(); }
    QString nameOf(const QString& cardNo) const {
        return db->scalar(
            QStringLiteral("SELECT coalesce(max(姓名), '-') FROM userecord WHERE 卡号 = '%1'")
                .arg(cardNo));
    }
    void refuseWrites() const {
        connection->run(connection->engine() == Engine::Postgres
                            ? "SET default_transaction_read_only = on"
                            : "PRAGMA query_only = 1");
    }

private slots:
    void init() {
        db = std::make_unique<TestDatabase>();
        connection = std::make_unique<Connection>(db->path());
    }
    void cleanup() {
        connection.reset();
        db.reset();
    }

    void addStoresTheRowWithItsTrailEntry() {
        CardholderArchive archive(*connection, Clerk);
        QVERIFY(archive.add(Ann).ok());
        QCOMPARE(nameOf(Ann.cardNo), QStringLiteral("Ann"));
        QCOMPARE(audited(Audit::CardholderAdded), Ann.DetailText());

        // The same 卡号 again is a duplicate: nothing stored, nothing audited.
        Cardholder again = Bob;
        again.cardNo = Ann.cardNo;
        const ArchiveOutcome duplicate = archive.add(again);
        QCOMPARE(duplicate.result, ArchiveOutcome::Duplicate);
        QCOMPARE(ArchiveMessage(duplicate), QStringLiteral("卡号重复警告"));
        QCOMPARE(cardholders(), 1);
        QCOMPARE(nameOf(Ann.cardNo), QStringLiteral("Ann"));
        QCOMPARE(audited(Audit::CardholderAdded), Ann.DetailText());
    }

    // Only a taken 卡号 is a duplicate: any other refusal says "操作失败" with the store's reason.
    void otherFailuresAreNotDuplicates() {
        refuseWrites();
        CardholderArchive archive(*connection, Clerk);
        const ArchiveOutcome refused = archive.add(Ann);
        QCOMPARE(refused.result, ArchiveOutcome::Failed);
        QVERIFY(!refused.reason.isEmpty());
        QCOMPARE(ArchiveMessage(refused), QStringLiteral("操作失败\n") + refused.reason);
        QCOMPARE(cardholders(), 0);
    }

    // The change and its entry are one: a trail that can't take the entry keeps the change out.
    void aChangeWithoutItsEntryIsNotStored() {
        db->addCardholder(Ann.cardSerial, Ann.cardNo, Ann.name);
        db->exec("ALTER TABLE audit RENAME TO audit_gone");
        CardholderArchive archive(*connection, Clerk);
        QCOMPARE(archive.add(Bob).result, ArchiveOutcome::Failed);
        QCOMPARE(archive.change(Ann.cardNo, Bob).result, ArchiveOutcome::Failed);
        QCOMPARE(archive.remove(Ann.cardNo).result, ArchiveOutcome::Failed);
        QCOMPARE(cardholders(), 1);
        QCOMPARE(nameOf(Ann.cardNo), QStringLiteral("Ann"));
    }

    void changeFindsTheCardholderByItsCardNo() {
        CardholderArchive archive(*connection, Clerk);
        QVERIFY(archive.add(Ann).ok());
        QVERIFY(archive.add(Bob).ok());

        // Every column, the key included; the entry holds the row before and after.
        Cardholder moved = Ann;
        moved.cardNo = QStringLiteral("000000C3");
        moved.name = QStringLiteral("Ann Lee");
        QVERIFY(archive.change(Ann.cardNo, moved).ok());
        QCOMPARE(nameOf(Ann.cardNo), QStringLiteral("-"));
        QCOMPARE(nameOf(moved.cardNo), QStringLiteral("Ann Lee"));
        QCOMPARE(audited(Audit::CardholderChanged),
                 Messages::ChangedFromTo(Ann.DetailText(), moved.DetailText()));

        // Onto another cardholder's 卡号: a duplicate, and both stay as they were.
        Cardholder clash = moved;
        clash.cardNo = Bob.cardNo;
        QCOMPARE(archive.change(moved.cardNo, clash).result, ArchiveOutcome::Duplicate);
        QCOMPARE(nameOf(Bob.cardNo), QStringLiteral("Bob"));
        QCOMPARE(nameOf(moved.cardNo), QStringLiteral("Ann Lee"));

        // A cardholder deleted elsewhere meanwhile is not found, and nothing is audited.
        const ArchiveOutcome gone = archive.change(Ann.cardNo, Ann);
        QCOMPARE(gone.result, ArchiveOutcome::NotFound);
        QCOMPARE(ArchiveMessage(gone), QStringLiteral("操作失败"));
        QCOMPARE(cardholders(), 2);
    }

    void removeDeletesExactlyThatCardholder() {
        CardholderArchive archive(*connection, Clerk);
        QVERIFY(archive.add(Ann).ok());
        QVERIFY(archive.add(Bob).ok());
        QVERIFY(archive.remove(Bob.cardNo).ok());
        QCOMPARE(nameOf(Bob.cardNo), QStringLiteral("-"));
        QCOMPARE(nameOf(Ann.cardNo), QStringLiteral("Ann"));
        QCOMPARE(audited(Audit::CardholderDeleted), Bob.DetailText());
        QCOMPARE(archive.remove(Bob.cardNo).result, ArchiveOutcome::NotFound);
        QCOMPARE(audited(Audit::CardholderDeleted), Bob.DetailText());
    }

    void searchMatchesWholeTexts() {
        db->addCardholder("1", "000000A1", "张三");
        db->addCardholder("2", "000000B2", "李四");
        db->addCardholder("3", "000000C3", "张三");
        const CardholderArchive archive(*connection, Clerk);
        ArchiveSearch found = archive.search("姓名", "张三");
        QVERIFY(found.outcome.ok());
        QCOMPARE(found.rows->rowCount(), 2);
        QCOMPARE(found.rows->text(0, 1), QStringLiteral("000000A1"));
        QCOMPARE(found.rows->text(1, 1), QStringLiteral("000000C3"));
        QCOMPARE(archive.search("姓名", "张").rows->rowCount(), 0);
        // A card number as typed finds the card as stored; a quote is ordinary text.
        found = archive.search("卡号", " 000000b2 ");
        QCOMPARE(found.rows->rowCount(), 1);
        QCOMPARE(found.rows->text(0, 2), QStringLiteral("李四"));
        QCOMPARE(archive.search("地址", "x' OR '1'='1").rows->rowCount(), 0);

        // Only the archive's columns can be searched.
        const ArchiveSearch unknown = archive.search("rowid", "1");
        QCOMPARE(unknown.outcome.result, ArchiveOutcome::Failed);
        QVERIFY(!unknown.rows);
    }
};

QTEST_GUILESS_MAIN(CardholderArchiveTest)
#include "tst_cardholder_archive.moc"
