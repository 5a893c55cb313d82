#include "FakeDeskView.h"
#include "support/FakeDialogs.h"
#include "support/QuickTry.h"
#include "support/TestDatabase.h"

#include "base/Clock.h"
#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/Cards.h"
#include "data/Journal.h"
#include "data/Schema.h"
#include "reader/CommandBook.h"
#include "reader/DebugTrace.h"
#include "reader/LinkState.h"
#include "reader/ReaderLink.h"
#include "reader/SimulatedReader.h"

#include <QFile>
#include <QScopeGuard>
#include <QTest>

#include <thread>

using namespace velkar;

namespace {

const CardNumber CardA{0x12, 0x34, 0xAB, 0xCD};
const CardNumber CardB{0x00, 0x00, 0x00, 0x0A};
const QString TextA = QStringLiteral("1234ABCD");
const QString TextB = QStringLiteral("0000000A");

// Everything a test needs: a database, the simulated reader, the desk's fakes and the link,
// connected unless asked otherwise.
struct Rig {
    // By default the link books in the rig's database.
    explicit Rig(bool connected = true, QString databasePath = {})
        : clock(QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9))),
          link(reader, clock, databasePath.isEmpty() ? db.path() : std::move(databasePath)) {
        view.attach(link);
        ResetLinkState();
        link.findReaderPath();
        link.startWatching(60000); // polled by hand
        if (connected) {
            link.connect();
            QTRY_VERIFY(reader.collectingHandles() == 1);
        }
    }

    // Hands the report to the bridge and waits until the link has shown its balance. Reports
    // are handled one at a time, so by then all that earlier reports led to is done.
    void report(const CardNumber& card, std::uint16_t balance) {
        const qsizetype before = view.get(view.balances).size();
        reader.inject(CardReportFrame(card, balance));
        QTRY_COMPARE(view.get(view.balances).size(), before + 1);
        QTRY_VERIFY(!link.checkingCard(CardNumberText(card)));
    }
    // The balance the link showed last; empty before the first report.
    QString shown() const {
        const QStringList balances = view.get(view.balances);
        return balances.isEmpty() ? QString() : balances.last();
    }
    // The card lies on the reader and what other desks left for it is resolved: it takes
    // commands.
    void lay(const CardNumber& card, std::uint16_t balance) {
        reader.layCard(card, balance);
        QTRY_COMPARE(shown(), BalanceText(balance));
        QTRY_VERIFY(!link.checkingCard(CardNumberText(card)));
    }
    QString records() const {
        return db.scalar("SELECT group_concat(卡号 || '|' || 日期 || '|' || 金额, ';') FROM "
                         "employees");
    }
    std::vector<std::vector<std::uint8_t>> sent() {
        link.waitForSendWorkers();
        return reader.written();
    }

    TestDatabase db;
    SimulatedReader reader;
    FakeDeskView view;
    FixedClock clock;
    ReaderLink link;
};

QString hex(const std::vector<std::uint8_t>& b) {
    return HexText(b);
}

// A command another desk of the ledger sent for card A: 50.0 to 60.0.
Journal::Entry otherDesksCommand() {
    Journal::Entry e;
    e.cardNo = TextA;
    e.amount = 10;
    e.balanceBefore = 500;
    e.balanceExpected = 600;
    e.operatorName = QStringLiteral("操作员3");
    e.desk = QStringLiteral("desk-b");
    e.sentAt = QStringLiteral("2024-05-06 07:08:09");
    return e;
}

} // namespace

class TestReaderLink : public QObject {
    Q_OBJECT

private slots:
    void connectShowsTheReaderOnce() {
        Rig rig;
        QVERIFY(rig.link.isOpen());
        QCOMPARE(rig.view.get(rig.view.statuses),
                 QStringList{QStringLiteral("设备已连接,VID=1A86PID=E010 VER=100 ")});
        QVERIFY(rig.view.get(rig.view.portListed));
        QCOMPARE(g_connected.load(), 1);
        QCOMPARE(rig.link.connect(), ReaderLink::Opened::Already); // again: nothing new
        QCOMPARE(rig.view.get(rig.view.statuses).size(), 1);
        QCOMPARE(rig.reader.collectingHandles(), 1);
    }

    void discoveryTakesTheReaderByItsIds() {
        SimulatedReader reader;
        reader.plugOther("other-product", 0x1A86, 0x1234);
        FixedClock clock({});
        ReaderLink link(reader, clock);
        link.findReaderPath();
        QCOMPARE(link.devicePath(), QString::fromStdString(SimulatedReader::READER_PATH));

        reader.unplug();
        link.findReaderPath(); // finds nothing: the earlier path stays
        QCOMPARE(link.devicePath(), QString::fromStdString(SimulatedReader::READER_PATH));
        QCOMPARE(link.connect(), ReaderLink::Opened::Failed);
        QVERIFY(!link.isOpen());
    }

    void unchangedCardBooksNothing() {
        Rig rig;
        rig.report(CardA, 500);
        rig.report(CardA, 500);
        rig.report(CardA, 500);
        QCOMPARE(rig.view.get(rig.view.balances), QStringList(3, QStringLiteral("50.0")));
        QCOMPARE(rig.view.get(rig.view.timerRestarts), 3);
        QCOMPARE(rig.link.cardNo(), TextA);
        QCOMPARE(rig.link.timeText(), QStringLiteral("2024-05-06 07:08:09"));
        rig.link.waitForStore(); // lookups are the store's work
        QCOMPARE(rig.view.get(rig.view.lookups), QStringList{TextA}); // once, then it is shown
        QVERIFY(rig.records().isEmpty());
    }

    void rechargeBooksOnceOnly() {
        Rig rig;
        rig.lay(CardA, 500);
        rig.link.requestRecharge(100);
        QCOMPARE(hex(rig.sent().at(0)), QStringLiteral("AA 66 03 E8 27"));
        QTRY_COMPARE(rig.view.get(rig.view.messages), QStringList{QStringLiteral("充值成功")});
        QCOMPARE(rig.records(), QStringLiteral("1234ABCD|2024-05-06 07:08:09|100"));
        QTRY_COMPARE(rig.view.get(rig.view.reloads), QStringList{TextA}); // after the message

        rig.report(CardA, 10500); // the same report again
        rig.report(CardA, 700);   // taken off and put back with another balance
        rig.report(CardA, 900);   // changed with no command sent
        rig.report(CardA, 900);   // the worker is done with the one before
        QCOMPARE(rig.records(), QStringLiteral("1234ABCD|2024-05-06 07:08:09|100"));
        QCOMPARE(rig.view.get(rig.view.messages).size(), 1);
    }

    // A lost card laid on: shown as lost, its sighting audited, no command goes to it; found
    // again at this desk, it takes commands at once.
    void aLostCardTakesNoCommand() {
        Rig rig;
        rig.db.addCardholder("1", TextA, "张三");
        const Connection db(rig.db.path());
        QCOMPARE(Cards::ReportLost(db, TextA, "遗失", "操作员1", "desk-b"), QString());
        rig.lay(CardA, 500);
        QTRY_COMPARE(rig.view.get(rig.view.lookups), QStringList{TextA + " lost"});
        rig.link.requestRecharge(10);
        rig.link.requestClear();
        QCOMPARE(rig.sent().size(), size_t(0));
        QCOMPARE(rig.view.get(rig.view.messages),
                 QStringList(2, QStringLiteral("此卡已挂失，不能充值或清零。")));
        QCOMPARE(rig.db.scalar("SELECT details FROM audit WHERE action = '挂失卡出现'"),
                 QStringLiteral("已挂失的卡 1234ABCD 放上读卡器，余额 50.0 元"));
        QCOMPARE(rig.db.scalar("SELECT last_balance || ' ' || last_seen_desk FROM cards"),
                 "500 " + Audit::ThisDesk());

        QCOMPARE(Cards::Unmark(db, TextA, "管理员", "desk-b"), QString());
        rig.link.noteCardLost(TextA, false);
        rig.link.requestRecharge(10);
        QTRY_COMPARE(rig.records(), QStringLiteral("1234ABCD|2024-05-06 07:08:09|10"));
        QCOMPARE(rig.db.scalar("SELECT last_balance FROM cards"), QStringLiteral("600"));
    }

    void clearBooksTheReportedBalance() {
        Rig rig;
        rig.lay(CardA, 1234);
        rig.clock.set(QDateTime(QDate(2024, 5, 6), QTime(9, 0, 0)));
        rig.link.requestClear();
        QCOMPARE(hex(rig.sent().at(0)), QStringLiteral("AA 55 04 D2 29"));
        QTRY_COMPARE(rig.view.get(rig.view.messages), QStringList{QStringLiteral("清零成功")});
        QCOMPARE(rig.records(), QStringLiteral("1234ABCD|2024-05-06 09:00:00|-123"));
        // The store's message may come before the receive worker shows the new balance.
        QTRY_COMPARE(rig.view.get(rig.view.balances).last(), QStringLiteral("0.0"));
    }

    // The command belongs to the card it was sent to: another card in between changes nothing.
    void anotherCardRightAfterTheCommand() {
        Rig rig;
        rig.report(CardA, 500);
        rig.link.requestRecharge(10); // nothing on the simulated reader: reports are injected
        rig.sent();
        rig.report(CardB, 300);
        rig.report(CardA, 600); // A at its expected balance
        rig.link.waitForStore();
        QCOMPARE(rig.records(), QStringLiteral("1234ABCD|2024-05-06 07:08:09|10"));
        rig.report(CardB, 450); // B changes later: no stale command books it
        rig.report(CardA, 700);
        rig.link.waitForStore();
        QCOMPARE(rig.db.scalar("SELECT count(*) FROM employees"), QStringLiteral("1"));
        QCOMPARE(rig.view.get(rig.view.lookups), (QStringList{TextA, TextB, TextA, TextB, TextA}));
    }

    void sentWithNoCardAndBackWithAnotherBalance() {
        Rig rig;
        rig.report(CardA, 500);
        rig.link.requestRecharge(10);
        rig.sent();
        rig.clock.advance(CommandBook::ConfirmWaitMs + 1000);
        rig.report(CardA, 700);
        rig.link.waitForStore();
        QVERIFY(rig.records().isEmpty());
        QCOMPARE(rig.db.scalar("SELECT state || ' ' || balance_seen FROM journal"),
                 QStringLiteral("mismatch 700"));
        QVERIFY(rig.view.get(rig.view.messages)
                    .last()
                    .startsWith("卡内余额与预期不符，请核对\n"
                                "卡号：1234ABCD\n原余额：50.0\n"
                                "预期余额：60.0\n实际余额：70.0"));
    }

    void stillAtTheBalanceBeforeWaitsThenIsNotExecuted() {
        Rig rig;
        rig.report(CardA, 500);
        rig.link.requestRecharge(10);
        rig.sent();
        rig.report(CardA, 500);
        rig.link.requestClear(); // the first still waits
        QCOMPARE(rig.view.get(rig.view.statuses).last(), QStringLiteral("上一笔操作尚未完成"));
        rig.clock.advance(CommandBook::ConfirmWaitMs);
        rig.report(CardA, 500);
        rig.link.waitForStore();
        QCOMPARE(rig.view.get(rig.view.statuses).last(), QStringLiteral("操作未完成，请重试"));
        QCOMPARE(rig.db.scalar("SELECT state FROM journal"), QStringLiteral("not_executed"));
        rig.link.requestRecharge(10); // may be sent again
        QCOMPARE(rig.sent().size(), 2u);
    }

    void bothButtonsAtOnceSendOneCommand() {
        Rig rig;
        // Injected, not laid on: a reader carrying the recharge out at once could confirm it
        // before the second press, which is then a command of its own.
        rig.report(CardA, 70);
        QTRY_COMPARE(rig.link.cardNo(), TextA);
        rig.link.requestRecharge(92);
        rig.link.requestClear();
        rig.link.requestRecharge(5);
        QCOMPARE(rig.sent().size(), 1u);
        rig.report(CardA, 990); // the confirmation
        QTRY_COMPARE(rig.records(), QStringLiteral("1234ABCD|2024-05-06 07:08:09|92"));
        QCOMPARE(rig.db.scalar("SELECT count(*) FROM journal"), QStringLiteral("1"));
    }

    void noCardNoLimitNoCommand() {
        Rig rig;
        rig.link.requestRecharge(10);
        QCOMPARE(rig.view.get(rig.view.statuses).last(), QStringLiteral("请将卡片放在读卡器上"));
        rig.report(CardA, 65000);
        rig.link.requestRecharge(100);
        QCOMPARE(rig.view.get(rig.view.messages).last(), QStringLiteral("充值后余额超出上限"));
        rig.clock.advance(CommandBook::CardPresentMs + 1); // the card no longer reported
        rig.link.requestClear();
        QCOMPARE(rig.view.get(rig.view.statuses).last(), QStringLiteral("请将卡片放在读卡器上"));
        QVERIFY(rig.sent().empty());
        QCOMPARE(rig.db.scalar("SELECT count(*) FROM journal"), QStringLiteral("0"));
    }

    // Reports keep being read and shown while the file is locked; the booking lands after.
    void lockedFileDelaysTheBookingOnly() {
        Rig rig;
        rig.link.store().setRetryDelays(20, 100);
        rig.link.store().setBusyTimeout(100);
        rig.report(CardA, 500);
        rig.link.requestRecharge(10);
        rig.sent();
        rig.link.waitForStore();
        std::atomic<bool> locked{false}, release{false};
        // Readers are shut out too.
        const bool server = TestDatabase::OnServer();
        const QString lockedText = server
                                       ? QStringLiteral("canceling statement due to lock timeout")
                                       : QStringLiteral("database is locked");
        std::thread holder([&] {
            Connection db(rig.db.path());
            db.run(server ? QStringLiteral("BEGIN; LOCK TABLE employees, journal, audit IN ACCESS "
                                           "EXCLUSIVE MODE")
                          : QStringLiteral("BEGIN EXCLUSIVE"));
            locked = true;
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            db.run(QStringLiteral("COMMIT"));
        });
        // Released and joined however the test ends.
        const auto unlock = qScopeGuard([&] {
            release = true;
            holder.join();
        });
        QTRY_VERIFY(locked);
        rig.report(CardA, 600);
        QTRY_VERIFY_WITH_TIMEOUT(
            rig.view.get(rig.view.statuses).last().startsWith("记账失败，正在重试：" + lockedText),
            10000);
        for (int i = 0; i < 5; ++i)
            rig.report(CardA, 600); // shown at once, locked or not
        QCOMPARE(rig.view.get(rig.view.messages),
                 QStringList{QStringLiteral("记账失败，正在重试\n") + lockedText}); // once
        release = true;
        QTRY_COMPARE_WITH_TIMEOUT(rig.view.get(rig.view.messages).last(),
                                  QStringLiteral("充值成功"), 10000);
        QCOMPARE(rig.records(), QStringLiteral("1234ABCD|2024-05-06 07:08:09|10"));
    }

    // The server stops while a booking waits for it: balances are still shown, and the booking
    // lands once the server is back.
    void serverOutageWaitsInTheRetry() {
        if (!TestDatabase::OnServer())
            QSKIP("about a server");
        const PrivateServer server; // the other tests' server stays up
        const QString location = server.newDatabase();
        QCOMPARE(Schema::CreateDatabase(location, PasswordHash::CheapestCost), QString());
        Rig rig(true, location);
        rig.link.store().setRetryDelays(20, 200);
        rig.report(CardA, 500);
        rig.link.requestRecharge(10);
        rig.sent();
        rig.link.waitForStore(); // the journal row is on the server
        server.pause();
        rig.report(CardA, 600);
        QTRY_VERIFY_WITH_TIMEOUT(
            rig.view.get(rig.view.statuses).last().startsWith("记账失败，正在重试："), 15000);
        for (int i = 0; i < 3; ++i)
            rig.report(CardA, 600); // shown at once, server or not
        server.resume();
        QTRY_COMPARE_WITH_TIMEOUT(rig.view.get(rig.view.messages).last(),
                                  QStringLiteral("充值成功"), 30000);
        Connection db(location);
        Query booked(db, QStringLiteral("SELECT count(*), sum(金额) FROM employees"));
        QVERIFY(booked.next());
        QCOMPARE(booked.text(0) + '/' + booked.text(1), QStringLiteral("1/10"));
    }

    void readOnlyFullOrDeletedFileBooksOnceItCan() {
        Rig rig;
        rig.link.store().setRetryDelays(5, 20);
        for (const auto fault : {StoreWorker::Fault::ReadOnly, StoreWorker::Fault::DiskFull}) {
            const int balance = rig.reader.card() ? rig.reader.card()->balance : 500;
            rig.lay(CardA, std::uint16_t(balance));
            rig.link.store().setFault(fault);
            rig.link.requestRecharge(1);
            QTRY_VERIFY(rig.view.get(rig.view.statuses).last().startsWith("记账失败，正在重试："));
            rig.link.store().setFault(StoreWorker::Fault::None);
            rig.link.waitForStore();
        }
        QCOMPARE(rig.db.scalar("SELECT count(*) FROM employees"), QStringLiteral("2"));
        if (TestDatabase::OnServer())
            return; // what follows is about the file

        // Deleted under the open connection, then put back (a restore): the booking goes to
        // the file that has the name, with its journal row.
        rig.reader.removeCard();
        rig.report(CardB, 100);
        rig.link.requestRecharge(3);
        rig.sent();
        const QString aside = rig.db.folder() + "/aside.mdb";
        QVERIFY(QFile::copy(rig.db.path(), aside));
        QVERIFY(QFile::remove(rig.db.path()));
        rig.report(CardB, 130);
        QTRY_VERIFY(rig.view.get(rig.view.statuses).last().startsWith("记账失败，正在重试："));
        QVERIFY(QFile::rename(aside, rig.db.path()));
        rig.link.waitForStore();
        QCOMPARE(rig.db.scalar("SELECT count(*) FROM employees WHERE 卡号 = '0000000A'"),
                 QStringLiteral("1"));
        QCOMPARE(rig.db.scalar("SELECT group_concat(state) FROM journal"),
                 QStringLiteral("booked,booked,booked"));
    }

    void unpluggedBeforeTheConfirmationIsRead() {
        Rig rig;
        rig.report(CardA, 500);
        rig.link.requestRecharge(10);
        rig.sent();
        rig.reader.unplug();
        rig.link.pollDevices();
        QTRY_VERIFY(!rig.link.receiving());
        rig.reader.plug();
        rig.link.pollDevices();
        QCOMPARE(rig.link.connect(), ReaderLink::Opened::Now);
        QTRY_COMPARE(rig.reader.collectingHandles(), 1);
        rig.report(CardA, 600);
        rig.link.waitForStore();
        QCOMPARE(rig.records(), QStringLiteral("1234ABCD|2024-05-06 07:08:09|10"));
    }

    // A process that ended with a command unresolved: the next run resolves it by the card.
    void commandsLeftByAnEarlierRun() {
        TestDatabase db;
        {
            Connection c(db.path());
            Journal::Entry e;
            e.cardNo = TextA;
            e.amount = 10;
            e.balanceBefore = 500;
            e.balanceExpected = 600;
            e.operatorName = "操作员1";
            e.desk = "desk";
            e.sentAt = "2024-05-06 07:00:00";
            Journal::Add(c, e);
            e.cardNo = TextB;
            Journal::Add(c, e);
        }
        Rig rig(true, db.path());
        rig.link.announceWaiting();
        QTRY_VERIFY(rig.view.get(rig.view.statuses).contains(Messages::Waiting(2)));
        rig.report(CardA, 600);
        rig.report(CardB, 500); // no wait for a command of an earlier run
        rig.link.waitForStore();
        QCOMPARE(db.scalar("SELECT group_concat(state || ':' || operator) FROM journal"),
                 QStringLiteral("booked:操作员1,not_executed:操作员1"));
        QCOMPARE(db.scalar("SELECT group_concat(卡号 || '|' || 金额) FROM employees"),
                 QStringLiteral("1234ABCD|10"));
        // Resolved by this desk, under the operator who sent it.
        QVERIFY(db.scalar("SELECT details FROM audit ORDER BY id DESC LIMIT 1").contains("由 "));
    }

    // Another desk was killed after its reader charged the card; the card comes here. Its
    // command is booked under its operator, by this desk, before this desk's own command; a
    // card carried back and forth within two seconds is caught by its unexplained change.
    void aWalkoverIsBookedByTheDeskThatMeetsTheCard() {
        Rig rig;
        rig.report(CardA, 500);
        {
            Connection c(rig.db.path());
            Journal::Add(c, otherDesksCommand()); // while the card was briefly over there
        }
        rig.report(CardA, 600); // no command of this desk explains it
        rig.link.waitForStore();
        QCOMPARE(rig.db.scalar("SELECT state || ' ' || operator || ' ' || desk FROM journal"),
                 QStringLiteral("booked 操作员3 desk-b"));
        QCOMPARE(rig.records(), QStringLiteral("1234ABCD|2024-05-06 07:08:09|10"));
        QVERIFY(
            rig.db.scalar("SELECT details FROM audit ORDER BY id DESC LIMIT 1")
                .endsWith(QStringLiteral("由 ") + rig.link.deskName() + QStringLiteral(" 确认")));
        rig.link.requestRecharge(5);
        QCOMPARE(rig.sent().size(), 1u);
        rig.report(CardA, 650);
        rig.link.waitForStore();
        QCOMPARE(rig.db.scalar("SELECT count(*) FROM employees"), QStringLiteral("2"));
    }

    // The card was lifted as this desk's frame went out and topped up by the same amount at
    // another desk of the ledger: that desk's booking explains the change, once.
    void aChangeBookedByTheNextDeskIsNotBookedAgain() {
        Rig rig;
        {
            // A year ago the card went from the same balance: that explains nothing now.
            Connection c(rig.db.path());
            Journal::Entry old = otherDesksCommand();
            old.sentAt = QStringLiteral("2023-05-06 07:08:09");
            old.id = Journal::Add(c, old);
            Journal::Settle(c, {{old, Journal::State::Booked, 600, old.sentAt, "00010"}});
        }
        rig.report(CardA, 500);
        rig.link.requestRecharge(10); // reports are injected: nothing carries it out
        rig.sent();
        {
            Connection c(rig.db.path());
            Journal::Entry there = otherDesksCommand();
            there.id = Journal::Add(c, there);
            Journal::Settle(c, {{there, Journal::State::Booked, 600, there.sentAt, "00010"}});
        }
        rig.clock.advance(CommandBook::CardPresentMs + 1);
        rig.report(CardA, 600); // back, at what this desk expected
        const auto states = [&rig] {
            rig.link.waitForStore();
            QStringList all; // group_concat is SQLite's alone
            for (int i = 0; i < 3; ++i)
                all << rig.db.scalar(
                    QStringLiteral("SELECT state FROM journal ORDER BY id LIMIT 1 OFFSET %1")
                        .arg(i));
            return all.join(',');
        };
        // The arrival's lookup may still be on its way to the store on a busy machine.
        QTRY_COMPARE(states(), QStringLiteral("booked,not_executed,booked"));
        QCOMPARE(rig.db.scalar("SELECT count(*) FROM employees"), QStringLiteral("2"));
    }

    // Started again while the ledger is locked longer than the desk waits: what an earlier run
    // left for the card is read again and again until it can be, and booked; meanwhile the
    // card takes no command, and the operator is told why.
    void aRestartWhileTheLedgerIsLockedBooksOnceItCan() {
        if (TestDatabase::OnServer())
            QSKIP("the lock is the file's"); // the server's outage is serverOutageWaitsInTheRetry
        TestDatabase db;
        {
            Connection c(db.path());
            Journal::Entry e = otherDesksCommand();
            e.desk = QStringLiteral("this desk, earlier");
            Journal::Add(c, e);
        }
        Rig rig(true, db.path());
        rig.link.store().setRetryDelays(5, 20);
        rig.link.store().setBusyTimeout(20);
        rig.link.waitForStore();
        std::atomic<bool> locked{false}, release{false};
        std::thread holder([&] {
            Connection c(db.path());
            c.run(QStringLiteral("BEGIN EXCLUSIVE"));
            locked = true;
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            c.run(QStringLiteral("COMMIT"));
        });
        const auto unlock = qScopeGuard([&] {
            release = true;
            holder.join();
        });
        QTRY_VERIFY(locked);
        rig.reader.inject(CardReportFrame(CardA, 600));
        QTRY_VERIFY(!rig.view.get(rig.view.messages).isEmpty()); // the look failed: said once
        QVERIFY(rig.link.checkingCard(TextA));
        rig.link.requestRecharge(5);
        QVERIFY(rig.view.get(rig.view.messages).last().startsWith("操作失败\n"));
        QVERIFY(rig.sent().empty());
        release = true;
        QTRY_VERIFY(!rig.link.checkingCard(TextA));
        rig.link.waitForStore();
        QCOMPARE(db.scalar("SELECT state FROM journal"), QStringLiteral("booked"));
        rig.link.requestRecharge(5);
        QCOMPARE(rig.sent().size(), 1u);
    }

    // The card's lookup waited on the locked ledger while the card went to another desk, or to
    // another run of this one, whose command the reader carried out there: the old report
    // proves nothing about that command, which is booked at the card's next report here, never
    // resolved as not executed.
    void aLookupThatWaitedLeavesALaterCommandAlone_data() {
        QTest::addColumn<QString>("desk");
        QTest::newRow("another desk") << QStringLiteral("desk-b");
        QTest::newRow("another run of this desk") << QSysInfo::machineHostName();
    }

    void aLookupThatWaitedLeavesALaterCommandAlone() {
        QFETCH(QString, desk);
        if (TestDatabase::OnServer())
            QSKIP("the lock is the file's");
        Rig rig;
        rig.link.store().setRetryDelays(5, 20);
        rig.link.store().setBusyTimeout(20);
        std::atomic<bool> locked{false}, release{false};
        std::thread holder([&] {
            Connection c(rig.db.path());
            c.run(QStringLiteral("BEGIN IMMEDIATE"));
            locked = true;
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            Journal::Entry e = otherDesksCommand(); // 50.0 to 60.0, sent as the card got there
            e.desk = desk;
            e.sentAt = TimestampText(rig.clock.now());
            Journal::Add(c, e);
            c.run(QStringLiteral("COMMIT"));
        });
        const auto unlock = qScopeGuard([&] {
            release = true;
            holder.join();
        });
        QTRY_VERIFY(locked);
        rig.clock.advance(1000); // the other run's command is sent after this run began
        rig.reader.inject(CardReportFrame(CardA, 500));
        QTRY_VERIFY(!rig.view.get(rig.view.messages).isEmpty()); // the look waits
        release = true;
        QTRY_VERIFY(!rig.link.checkingCard(TextA));
        rig.link.waitForStore();
        QCOMPARE(rig.db.scalar("SELECT state FROM journal"), QStringLiteral("pending"));

        rig.clock.advance(CommandBook::CardPresentMs + 1);
        rig.report(CardA, 600); // back from the other desk
        rig.link.waitForStore();
        QCOMPARE(rig.db.scalar("SELECT state FROM journal"), QStringLiteral("booked"));
        QCOMPARE(rig.records(), QStringLiteral("1234ABCD|2024-05-06 07:08:12|10"));
    }

    // An earlier run of this desk ended before this one began, even within the same second:
    // the card's first report here judges its command at once.
    void anEarlierRunsCommandIsJudgedAtOnce() {
        TestDatabase db;
        {
            Connection c(db.path());
            Journal::Entry e = otherDesksCommand();
            e.desk = QSysInfo::machineHostName();
            Journal::Add(c, e); // sent the second this run starts in
        }
        Rig rig(true, db.path());
        rig.report(CardA, 500);
        rig.link.waitForStore();
        QCOMPARE(db.scalar("SELECT state FROM journal"), QStringLiteral("not_executed"));
    }

    void rubbishChangesNothing() {
        Rig rig;
        rig.report(CardA, 500);
        rig.link.requestRecharge(5);
        rig.sent();
        rig.clock.set(QDateTime(QDate(2030, 1, 1), QTime(0, 0, 0)));
        auto bad = CardReportFrame(CardA, 550);
        bad[8] ^= 1;
        rig.reader.inject(bad);
        // A short read after a sound one must not be completed by the bytes left before.
        auto full = CardReportFrame(CardA, 550);
        rig.reader.inject({full.begin(), full.begin() + 5});
        rig.reader.inject({0x55, 0xAB, 0x12, 0x34, 0xAB, 0xCD, 0x02, 0x26, 0x00});
        rig.report(CardA, 500); // read after all of them
        QCOMPARE(rig.view.get(rig.view.balances), QStringList(2, QStringLiteral("50.0")));
        QCOMPARE(rig.view.get(rig.view.timerRestarts), 2);
        QVERIFY(rig.records().isEmpty());
        // The command still waits for its confirmation.
        rig.report(CardA, 550);
        QTRY_COMPARE(rig.records(), QStringLiteral("1234ABCD|2030-01-01 00:00:00|5"));
    }

    void failedWriteIsNotWaiting() {
        Rig rig;
        rig.report(CardA, 500);
        rig.reader.failWrites(true);
        rig.link.requestRecharge(100);
        rig.sent();
        rig.link.waitForStore();
        QVERIFY(rig.view.get(rig.view.statuses).contains(QStringLiteral("发送数失败")));
        QCOMPARE(rig.db.scalar("SELECT state FROM journal"), QStringLiteral("not_executed"));
        rig.report(CardA, 10500);
        rig.report(CardA, 10500);
        rig.link.waitForStore();
        QVERIFY(rig.records().isEmpty());
        QVERIFY(rig.view.get(rig.view.messages).isEmpty());
    }

    void unjournalledCommandIsNotSent() {
        Rig rig(true, QStringLiteral("missing/DataBase.mdb"));
        rig.reader.layCard(CardA, 500);
        QTRY_COMPARE(rig.link.cardNo(), TextA);
        // What other desks left for the card can't be read either: said, and retried.
        QTRY_VERIFY(!rig.view.get(rig.view.messages).isEmpty());
        QVERIFY(rig.view.get(rig.view.messages).at(0).startsWith("记账失败，正在重试\n"));
        rig.link.requestRecharge(100);
        QVERIFY(rig.sent().empty());
        QVERIFY(rig.view.get(rig.view.messages).last().startsWith("操作失败\n"));
        rig.reader.inject(CardReportFrame(CardB, 100)); // still following the reader
        QTRY_COMPARE(rig.shown(), QStringLiteral("10.0"));
        QVERIFY(rig.link.receiving());
    }

    void amountsOutsideTheRangeAreRefused() {
        Rig rig;
        rig.report(CardA, 500);
        for (int amount : {0, -5, 2000}) {
            rig.link.requestRecharge(amount);
            rig.link.waitForSendWorkers();
        }
        QCOMPARE(rig.view.get(rig.view.messages), QStringList(3, QStringLiteral("充值金额错误")));
        QVERIFY(rig.sent().empty());
        rig.link.requestRecharge(1999);
        QCOMPARE(hex(rig.sent().at(0)), QStringLiteral("AA 66 4E 16 94"));
    }

    void noReaderDropsEveryRequest() {
        Rig rig(false);
        rig.link.armInitCommand(1);
        rig.link.clockTick();
        rig.link.requestRecharge(100);
        rig.link.waitForSendWorkers();
        QCOMPARE(rig.view.get(rig.view.statuses).last(), QStringLiteral("设备尚未连接!"));
        QCOMPARE(g_initTrigger.load(), 0);
        QCOMPARE(g_initCommand.load(), 0);

        rig.link.connect();
        QTRY_COMPARE(rig.reader.collectingHandles(), 1);
        rig.report(CardA, 0);
        rig.link.requestClear(); // the clear goes out, not the old recharge
        QCOMPARE(rig.sent().size(), 1u);
        QCOMPARE(hex(rig.sent().at(0)), QStringLiteral("AA 55 00 00 FF"));
    }

    void oneRequestOneFrame() {
        Rig rig;
        rig.link.armInitCommand(1);
        std::vector<std::thread> workers;
        for (int i = 0; i < 16; ++i)
            workers.emplace_back([&] { rig.link.clockTick(); });
        for (auto& w : workers)
            w.join();
        QCOMPARE(rig.sent().size(), 1u);
    }

    void initCommandGoesOutOnTheNextTick() {
        Rig rig;
        rig.link.armInitCommand(1);
        rig.link.clockTick();
        rig.link.clockTick();
        QCOMPARE(rig.sent().size(), 1u);
        QCOMPARE(hex(rig.sent().at(0)), QStringLiteral("AA 77 00 01 DC"));
        QCOMPARE(g_initCommand.load(), 0);
        QCOMPARE(g_initTrigger.load(), 0);
        QTRY_COMPARE(g_initRemaining.load(), SimulatedReader::START_REMAINING);
        QCOMPARE(rig.link.timeText(), QStringLiteral("2024-05-06 07:08:09"));
    }

    void unpluggingEndsTheWorker() {
        QStringList traces;
        QMutex traceMutex;
        SetDebugTraceSink([&](const QString& line) {
            QMutexLocker lock(&traceMutex);
            traces << line;
        });
        Rig rig;
        rig.reader.unplug();
        rig.link.pollDevices();
        QTRY_VERIFY(!rig.link.receiving());
        QVERIFY(!rig.link.isOpen());
        QCOMPARE(rig.view.get(rig.view.statuses).last(), QStringLiteral("HID设备已离开!"));
        QVERIFY(!rig.view.get(rig.view.portListed));
        QCOMPARE(g_connected.load(), 0);
        {
            QMutexLocker lock(&traceMutex);
            QCOMPARE(traces, QStringList{QStringLiteral("RecvThreadFunction Exit")});
        }
        QVERIFY(rig.view.get(rig.view.messages).isEmpty());

        // Plugged in again: found on its arrival, and 连接 opens it anew.
        rig.reader.plug();
        rig.link.pollDevices();
        QCOMPARE(rig.view.get(rig.view.statuses).last(), QStringLiteral("有HID设备到达!"));
        QCOMPARE(rig.link.connect(), ReaderLink::Opened::Now);
        QTRY_VERIFY(rig.link.receiving());
        SetDebugTraceSink({});
    }

    void otherDevicesLeaveTheReaderOpen() {
        Rig rig;
        rig.reader.plugOther("mouse");
        rig.link.pollDevices();
        QCOMPARE(rig.view.get(rig.view.statuses).last(), QStringLiteral("有HID设备到达!"));
        rig.reader.unplugOther("mouse");
        rig.link.pollDevices();
        QCOMPARE(rig.view.get(rig.view.statuses).last(), QStringLiteral("HID设备已离开!"));
        QVERIFY(rig.link.isOpen());
        QVERIFY(rig.view.get(rig.view.portListed));
        QCOMPARE(g_connected.load(), 1);
        rig.report(CardA, 500); // still reading
    }
};

QTEST_GUILESS_MAIN(TestReaderLink)
#include "tst_readerlink.moc"
