#include "reader/CommandBook.h"

#include <QtTest>

using namespace velkar;

using Journal::Operation;
using Journal::State;

namespace {

const QString A = QStringLiteral("1234ABCD");
const QString B = QStringLiteral("0000000A");

Journal::Entry command(Operation operation, int amount = 0) {
    Journal::Entry e;
    e.operation = operation;
    e.amount = amount;
    return e;
}

// Reserves, journals and sends a command for the card on the reader; returns its key.
std::uint64_t send(CommandBook& book, Operation operation, int amount, qint64 now, qint64 id) {
    Journal::Entry e = command(operation, amount);
    std::uint64_t key = 0;
    if (book.reserve(e, now, &key) != CommandBook::Refusal::None)
        return 0;
    book.written(key, id);
    book.sent(key, now);
    return key;
}

// A card laid on: its first report, and what the ledger left for it resolved.
CommandBook::Report arrive(CommandBook& book, const QString& card, int balance, qint64 now) {
    auto report = book.report(card, balance, now);
    book.lookedUp(card);
    return report;
}

} // namespace

class TestCommandBook : public QObject {
    Q_OBJECT

private slots:
    void theCommandsOwnCardResolvesIt() {
        CommandBook book;
        QVERIFY(arrive(book, A, 500, 0).resolved.empty());
        QVERIFY(send(book, Operation::Recharge, 10, 0, 1));
        QVERIFY(book.report(A, 500, 100).resolved.empty()); // not carried out yet: waits
        const auto done = book.report(A, 600, 200).resolved;
        QCOMPARE(done.size(), 1u);
        QCOMPARE(done[0].state, State::Booked);
        QCOMPARE(done[0].entry.balanceBefore, 500);
        QCOMPARE(done[0].entry.balanceExpected, 600);
        QVERIFY(book.report(A, 600, 300).resolved.empty()); // resolved once only
        book.resolved(done[0].key);
        QCOMPARE(book.outstanding(), 0);
        QVERIFY(book.report(A, 700, 400).resolved.empty()); // a change with no command: nothing
    }

    void nothingAnswersAFrameNotYetOut() {
        CommandBook book;
        arrive(book, A, 500, 0);
        Journal::Entry e = command(Operation::Recharge, 10);
        std::uint64_t key = 0;
        QCOMPARE(book.reserve(e, 0, &key), CommandBook::Refusal::None);
        book.written(key, 1);
        QVERIFY(book.report(A, 600, 10).resolved.empty());
        QVERIFY(book.report(A, 500, CommandBook::ConfirmWaitMs + 10).resolved.empty());
        book.sent(key, CommandBook::ConfirmWaitMs + 20);
        QCOMPARE(book.report(A, 600, CommandBook::ConfirmWaitMs + 30).resolved.at(0).state,
                 State::Booked);
    }

    void balanceBeforeAfterTheWaitIsNotExecutedAnythingElseAMismatch() {
        CommandBook book;
        arrive(book, A, 500, 0);
        send(book, Operation::Recharge, 10, 0, 1);
        QVERIFY(book.report(A, 500, CommandBook::ConfirmWaitMs - 1).resolved.empty());
        auto done = book.report(A, 500, CommandBook::ConfirmWaitMs).resolved;
        QCOMPARE(done.at(0).state, State::NotExecuted);
        book.resolved(done[0].key);

        arrive(book, A, 500, 10000);
        QVERIFY(send(book, Operation::Recharge, 10, 10000, 2));
        done = book.report(A, 650, 10100).resolved;
        QCOMPARE(done.at(0).state, State::Mismatch);
        QCOMPARE(done[0].seen, 650);
    }

    void clearExpectsZeroAndBooksTheBalanceInWholeYuan() {
        CommandBook book;
        arrive(book, A, 1234, 0);
        Journal::Entry e = command(Operation::Clear);
        std::uint64_t key = 0;
        QCOMPARE(book.reserve(e, 0, &key), CommandBook::Refusal::None);
        QCOMPARE(e.amount, 123);
        QCOMPARE(e.balanceExpected, 0);
        book.written(key, 1);
        book.sent(key, 0);
        QCOMPARE(book.report(A, 0, 10).resolved.at(0).state, State::Booked);
    }

    // A clear of an empty card changes nothing: it is booked only while the card stayed on
    // the reader since the frame went out, never when it comes back after being away.
    void clearOfAnEmptyCardNeedsTheCardToStay() {
        CommandBook stayed;
        arrive(stayed, B, 0, 0);
        send(stayed, Operation::Clear, 0, 0, 1);
        QCOMPARE(stayed.report(B, 0, 10).resolved.at(0).state, State::Booked);

        CommandBook lifted;
        arrive(lifted, B, 0, 0);
        send(lifted, Operation::Clear, 0, 100, 2);
        const auto back = lifted.report(B, 0, 100 + CommandBook::CardPresentMs + 1);
        QVERIFY(back.arrived);
        QCOMPARE(back.resolved.at(0).state, State::NotExecuted);

        // Lifted and laid on again too quickly to be missed: no report followed the frame.
        CommandBook quick;
        arrive(quick, B, 0, 0);
        send(quick, Operation::Clear, 0, 100, 3);
        QCOMPARE(quick.report(B, 0, 100 + CommandBook::FollowUpMs + 1).resolved.at(0).state,
                 State::NotExecuted);
    }

    // A change of a card that no command of this desk explains was made elsewhere, however
    // short the card seemed away: the ledger is asked about it.
    void anUnexplainedChangeIsLookedUp() {
        CommandBook book;
        arrive(book, A, 500, 0);
        QVERIFY(!book.report(A, 500, 100).arrived);
        QVERIFY(book.report(A, 600, 200).arrived);
        QVERIFY(book.lookingUp(A));
        book.lookedUp(A);
        send(book, Operation::Recharge, 10, 300, 1);
        QVERIFY(!book.report(A, 700, 400).arrived); // its own command explains it
    }

    // A confirmed command goes only to the card and balance the operator said yes to.
    void aConfirmedCommandGoesToItsCardOnly() {
        CommandBook book;
        arrive(book, A, 500, 0);
        Journal::Entry e = command(Operation::Clear);
        std::uint64_t key = 0;
        QCOMPARE(book.reserve(e, 0, &key, CommandBook::Card{B, 500}),
                 CommandBook::Refusal::NotConfirmed);
        QCOMPARE(book.reserve(e, 0, &key, CommandBook::Card{A, 400}),
                 CommandBook::Refusal::NotConfirmed);
        QCOMPARE(book.outstanding(), 0);
        QCOMPARE(book.reserve(e, 0, &key, CommandBook::Card{A, 500}), CommandBook::Refusal::None);
        QCOMPARE(e.cardNo, A);
        QCOMPARE(e.amount, 50);
    }

    // Once the ledger was replaced, the card on the reader takes no command until its next
    // report has been taken as an arrival and looked up in the new ledger.
    void aReplacedLedgerLooksTheCardUpAgain() {
        CommandBook book;
        arrive(book, A, 500, 0);
        QVERIFY(!book.report(A, 500, 10).arrived);
        book.ledgerReplaced();
        QVERIFY(book.lookingUp(A));
        Journal::Entry e = command(Operation::Recharge, 10);
        std::uint64_t key = 0;
        QCOMPARE(book.reserve(e, 20, &key), CommandBook::Refusal::Checking);
        QVERIFY(book.report(A, 500, 30).arrived);
        QVERIFY(!book.report(A, 500, 40).arrived); // once
        book.lookedUp(A);
        QCOMPARE(book.reserve(e, 40, &key), CommandBook::Refusal::None);
    }

    void refusals() {
        CommandBook book;
        Journal::Entry e = command(Operation::Recharge, 10);
        std::uint64_t key = 0;
        QCOMPARE(book.reserve(e, 0, &key), CommandBook::Refusal::NoCard);
        // A card just laid on waits for what the ledger holds for it.
        QVERIFY(book.report(A, 65000, 0).arrived);
        QVERIFY(book.lookingUp(A));
        QCOMPARE(book.reserve(e, 0, &key), CommandBook::Refusal::Checking);
        book.lookedUp(A);
        QCOMPARE(book.reserve(e, CommandBook::CardPresentMs + 1, &key),
                 CommandBook::Refusal::NoCard); // reported too long ago
        e = command(Operation::Recharge, 100);
        QCOMPARE(book.reserve(e, 10, &key), CommandBook::Refusal::OverLimit);
        e = command(Operation::Recharge, 53);
        QCOMPARE(book.reserve(e, 10, &key), CommandBook::Refusal::None); // exactly 6553.0
        // Both buttons at once: the second waits for the first, even before its row is written.
        e = command(Operation::Clear);
        std::uint64_t second = 0;
        QCOMPARE(book.reserve(e, 10, &second), CommandBook::Refusal::Busy);
        book.written(key, 1);
        book.sent(key, 10);
        QCOMPARE(book.reserve(e, 10, &second), CommandBook::Refusal::Busy);
        // Another card while the first is live: refused, since the reader may yet carry the
        // first one out on whatever card it holds.
        arrive(book, B, 300, 20);
        QCOMPARE(book.reserve(e, 20, &second), CommandBook::Refusal::Busy);
        // After the wait, A's command (its card gone) only holds A.
        QVERIFY(arrive(book, B, 300, CommandBook::ConfirmWaitMs + 100).resolved.empty());
        QCOMPARE(book.reserve(e, CommandBook::ConfirmWaitMs + 100, &second),
                 CommandBook::Refusal::None);
        book.drop(second);
        QCOMPARE(book.outstanding(), 1);
        QCOMPARE(book.heldIds(), std::vector<qint64>{1});
    }

    void arrivals() {
        CommandBook book;
        QVERIFY(book.report(A, 500, 0).arrived);                                    // first of all
        QVERIFY(!book.report(A, 500, 500).arrived);                                 // stays
        QVERIFY(book.report(B, 500, 600).arrived);                                  // another card
        QVERIFY(book.report(A, 500, 700).arrived);                                  // back
        QVERIFY(book.report(A, 500, 700 + CommandBook::CardPresentMs + 1).arrived); // after a gap
    }

    void failedWriteAndDropped() {
        CommandBook book;
        arrive(book, A, 500, 0);
        Journal::Entry e = command(Operation::Recharge, 10);
        std::uint64_t key = 0;
        book.reserve(e, 0, &key);
        book.written(key, 1);
        const auto failed = book.failedWrite(key);
        QVERIFY(failed);
        QCOMPARE(failed->state, State::NotExecuted);
        QVERIFY(!book.failedWrite(key)); // once
        QVERIFY(book.report(A, 600, 10).resolved.empty());
    }

    // The frame carries no card number: a card laid on as it goes out takes the change.
    void aCardSwappedInTakesTheCommand() {
        CommandBook book;
        arrive(book, A, 500, 10);
        send(book, Operation::Recharge, 10, 10, 1);
        arrive(book, B, 300, 20); // laid on while the command went out
        auto done = book.report(B, 400, 30).resolved;
        QCOMPARE(done.size(), 1u);
        QCOMPARE(done[0].state, State::NotExecuted);
        QVERIFY(done[0].elsewhere);
        QCOMPARE(done[0].elsewhere->cardNo, B);
        QCOMPARE(done[0].elsewhere->balanceBefore, 300);
        QCOMPARE(done[0].elsewhere->balanceExpected, 400);
        QCOMPARE(done[0].elsewhereState, State::Booked);

        // Changed by another amount, or after the wait: the card's own business.
        CommandBook other;
        arrive(other, A, 500, 0);
        send(other, Operation::Recharge, 10, 0, 2);
        arrive(other, B, 400, 10);
        QVERIFY(other.report(B, 450, 20).resolved.empty());
        QVERIFY(other.report(B, 550, CommandBook::ConfirmWaitMs + 1).resolved.empty());

        // A card near the top that saturated is flagged, not booked at the command's amount.
        CommandBook top;
        arrive(top, A, 500, 0);
        send(top, Operation::Recharge, 100, 0, 3);
        arrive(top, B, 65000, 5);
        done = top.report(B, 65535, 10).resolved;
        QCOMPARE(done.at(0).elsewhereState, State::Mismatch);
    }

    // A change the command can't explain is never booked as this desk's: a card whose last
    // report predates the command, or one that arrives already changed, was changed elsewhere.
    void noPhantomFromACardChangedElsewhere() {
        CommandBook book;
        arrive(book, B, 300, 0); // B seen long before
        arrive(book, A, 500, 3000);
        send(book, Operation::Recharge, 10, 3000, 1);
        // A lifted as the frame went out; B back, topped up elsewhere by exactly the amount.
        auto seen = book.report(B, 400, 3100);
        QVERIFY(seen.arrived);
        QVERIFY(seen.resolved.empty());
        QVERIFY(book.report(B, 400, 3200).resolved.empty());

        // B reported in the window, but only just before it left and came back changed.
        CommandBook gap;
        arrive(gap, A, 500, 0);
        send(gap, Operation::Recharge, 10, 0, 2);
        arrive(gap, B, 300, 10);
        seen = gap.report(B, 400, 10 + CommandBook::CardPresentMs + 1);
        QVERIFY(seen.arrived);
        QVERIFY(seen.resolved.empty());
    }
};

QTEST_GUILESS_MAIN(TestCommandBook)
#include "tst_command_book.moc"
