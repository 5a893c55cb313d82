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

// Reserves and writes a command for the card on the reader; returns its key.
std::uint64_t send(CommandBook& book, Operation operation, int amount, qint64 now, qint64 id) {
    Journal::Entry e = command(operation, amount);
    std::uint64_t key = 0;
    if (book.reserve(e, now, &key) != CommandBook::Refusal::None)
        return 0;
    book.written(key, id);
    return key;
}

} // namespace

class TestCommandBook : public QObject {
    Q_OBJECT

private slots:
    void theCommandsOwnCardResolvesIt() {
        CommandBook book;
        QVERIFY(book.report(A, 500, 0).empty());
        QVERIFY(send(book, Operation::Recharge, 10, 0, 1));
        QVERIFY(book.report(A, 500, 100).empty()); // not carried out yet: waits
        const auto done = book.report(A, 600, 200);
        QCOMPARE(done.size(), 1u);
        QCOMPARE(done[0].state, State::Booked);
        QCOMPARE(done[0].entry.balanceBefore, 500);
        QCOMPARE(done[0].entry.balanceExpected, 600);
        QVERIFY(book.report(A, 600, 300).empty()); // resolved once only
        book.resolved(done[0].key);
        QCOMPARE(book.outstanding(), 0);
        QVERIFY(book.report(A, 700, 400).empty()); // a change with no command books nothing
    }

    void balanceBeforeAfterTheWaitIsNotExecutedAnythingElseAMismatch() {
        CommandBook book;
        book.report(A, 500, 0);
        send(book, Operation::Recharge, 10, 0, 1);
        QVERIFY(book.report(A, 500, CommandBook::ConfirmWaitMs - 1).empty());
        auto done = book.report(A, 500, CommandBook::ConfirmWaitMs);
        QCOMPARE(done.at(0).state, State::NotExecuted);
        book.resolved(done[0].key);

        book.report(A, 500, 10000);
        QVERIFY(send(book, Operation::Recharge, 10, 10000, 2));
        done = book.report(A, 650, 10100);
        QCOMPARE(done.at(0).state, State::Mismatch);
        QCOMPARE(done[0].seen, 650);
    }

    void clearExpectsZeroAndBooksTheBalanceInWholeYuan() {
        CommandBook book;
        book.report(A, 1234, 0);
        Journal::Entry e = command(Operation::Clear);
        std::uint64_t key = 0;
        QCOMPARE(book.reserve(e, 0, &key), CommandBook::Refusal::None);
        QCOMPARE(e.amount, 123);
        QCOMPARE(e.balanceExpected, 0);
        book.written(key, 1);
        QCOMPARE(book.report(A, 0, 10).at(0).state, State::Booked);

        // A card at 0.0: nothing changes, and the first report confirms it.
        CommandBook zero;
        zero.report(B, 0, 0);
        send(zero, Operation::Clear, 0, 0, 2);
        QCOMPARE(zero.report(B, 0, 10).at(0).state, State::Booked);
    }

    void refusals() {
        CommandBook book;
        Journal::Entry e = command(Operation::Recharge, 10);
        std::uint64_t key = 0;
        QCOMPARE(book.reserve(e, 0, &key), CommandBook::Refusal::NoCard);
        book.report(A, 65000, 0);
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
        QCOMPARE(book.reserve(e, 10, &second), CommandBook::Refusal::Busy);
        // Another card while the first is live: refused, since the reader may yet carry the
        // first one out on whatever card it holds.
        book.report(B, 300, 20);
        QCOMPARE(book.reserve(e, 20, &second), CommandBook::Refusal::Busy);
        // After the wait, A's command (its card gone) only holds A.
        book.report(B, 300, CommandBook::ConfirmWaitMs + 100);
        QCOMPARE(book.reserve(e, CommandBook::ConfirmWaitMs + 100, &second),
                 CommandBook::Refusal::None);
        book.drop(second);
        QCOMPARE(book.outstanding(), 1);
    }

    void failedWriteAndDropped() {
        CommandBook book;
        book.report(A, 500, 0);
        const auto key = send(book, Operation::Recharge, 10, 0, 1);
        const auto failed = book.failedWrite(key);
        QVERIFY(failed);
        QCOMPARE(failed->state, State::NotExecuted);
        QVERIFY(!book.failedWrite(key)); // once
        QVERIFY(book.report(A, 600, 10).empty());
    }

    // The frame carries no card number: a card laid on as it goes out takes the change.
    void aCardSwappedInTakesTheCommand() {
        CommandBook book;
        book.report(B, 300, 0); // B was seen before
        book.report(A, 500, 10);
        send(book, Operation::Recharge, 10, 10, 1);
        book.report(B, 300, 20);
        auto done = book.report(B, 400, 30);
        QCOMPARE(done.size(), 1u);
        QCOMPARE(done[0].state, State::NotExecuted);
        QVERIFY(done[0].elsewhere);
        QCOMPARE(done[0].elsewhere->cardNo, B);
        QCOMPARE(done[0].elsewhere->balanceBefore, 300);
        QCOMPARE(done[0].elsewhere->balanceExpected, 400);
        QCOMPARE(done[0].elsewhereState, State::Booked);

        // A card first seen already changed, or changed by another amount, is not taken.
        CommandBook other;
        other.report(A, 500, 0);
        send(other, Operation::Recharge, 10, 0, 2);
        QVERIFY(other.report(B, 400, 10).empty());
        QVERIFY(other.report(B, 450, 20).empty());
        // Nor after the wait: then a change is the card's own business.
        QVERIFY(other.report(B, 550, CommandBook::ConfirmWaitMs + 1).empty());

        // A card near the top that saturated is flagged, not booked at the command's amount.
        CommandBook top;
        top.report(B, 65000, 0);
        top.report(A, 500, 0);
        send(top, Operation::Recharge, 100, 0, 3);
        done = top.report(B, 65535, 10);
        QCOMPARE(done.at(0).elsewhereState, State::Mismatch);
    }

    void commandsOfAnEarlierRunHaveNoWait() {
        CommandBook book;
        Journal::Entry e = command(Operation::Recharge, 10);
        e.id = 7;
        e.cardNo = A;
        e.balanceBefore = 500;
        e.balanceExpected = 600;
        book.load({e});
        book.load({e}); // known already
        QCOMPARE(book.outstanding(), 1);
        QVERIFY(book.report(B, 100, 0).empty());
        // Their card is busy until they resolve, other cards are not.
        Journal::Entry next = command(Operation::Clear);
        std::uint64_t key = 0;
        QCOMPARE(book.reserve(next, 0, &key), CommandBook::Refusal::None);
        book.drop(key);
        const auto done = book.report(A, 500, 10);
        QCOMPARE(done.at(0).state, State::NotExecuted);
        QCOMPARE(done[0].entry.id, 7);
    }
};

QTEST_GUILESS_MAIN(TestCommandBook)
#include "tst_command_book.moc"
