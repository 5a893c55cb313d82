#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace velkar {

class Connection;

// The command journal: one row for every command frame the desk sends to a card, written
// before the frame goes out and resolved when the reader reports the card again. A booked
// command and its recharge record commit together, so the ledger holds a change exactly when
// the journal says it was booked.
namespace Journal {

enum class Operation { Recharge, Clear };
enum class State { Pending, Booked, NotExecuted, Mismatch };

struct Entry {
    qint64 id = 0;
    QString cardNo;
    Operation operation = Operation::Recharge;
    int amount = 0;          // whole yuan, as booked
    int balanceBefore = 0;   // tenths, as last reported
    int balanceExpected = 0; // tenths, after the reader carries the command out
    QString operatorName;
    QString desk;   // the machine that sent it
    QString sentAt; // timestamp text
    State state = State::Pending;
    QString resolvedAt;
    std::optional<int> balanceSeen;
    std::optional<qint64> recordId; // the employees row it booked
};

QString StateName(State state);                     // "pending", "booked", ...
std::optional<State> StateFromName(const QString&); // nothing for an unknown name
QString OperationName(Operation operation);         // "recharge", "clear"

// Writes a pending entry and returns its id. Raises DataError.
qint64 Add(const Connection& connection, const Entry& entry);

enum class Resolved {
    Now,    // this call resolved it
    Before, // it was resolved already (by this desk earlier, or another one)
};

struct Resolution {
    Entry entry;
    State state = State::Booked;
    int balanceSeen = 0;
    QString at;         // timestamp text of the report that resolved it
    QString amountText; // the 金额 text a booking stores
    // The command the reader was sent, when `entry` is what it did to another card laid on
    // meanwhile: the new row serves whatever that command served (a plan's link carries over).
    qint64 sentAs = 0;
};

// Resolves the entries, all in one transaction: each as its `state`, a booking adding its
// recharge record at `at`. An entry missing from the file (the file was replaced meanwhile, or
// a command booked on another card than it was sent for) is written anew, resolved, so what
// the reader did is never lost. Raises DataError, leaving the file as it was.
std::vector<Resolved> Resolve(const Connection& connection,
                              const std::vector<Resolution>& resolutions);

// What a resolution left in the ledger.
struct Settled {
    Resolved how = Resolved::Now;
    // As stored: a booking whose change another command's booking already explains (the card
    // was changed at another desk from the same balance) is not executed.
    State state = State::Booked;
    std::optional<qint64> recordId;
};

// A card's booked records after a resolution: their count and total by the desk's rule.
struct CardTotals {
    QString cardNo;
    qint64 count = 0;
    qint64 total = 0;
    // A server reads them just after the booking's commit, outside the ledger's lock; false
    // when that read failed (the booking stands).
    bool read = false;
};

// The card's count and total, read now. Raises DataError.
void ReadCardTotals(const Connection& connection, CardTotals* totals);

// Resolve, by `resolvingDesk` (named in the audit entries where it is not the sending desk),
// reading the count and total of `totals->cardNo` when `totals` is given and something was
// booked. Raises DataError, leaving the file as it was.
std::vector<Settled> Settle(const Connection& connection,
                            const std::vector<Resolution>& resolutions,
                            const QString& resolvingDesk = {}, CardTotals* totals = nullptr);

// The card's waiting commands, left by any desk or an earlier run (ids in `held` excepted),
// resolved in one transaction by the balance the card shows now: the expected balance books,
// the balance before is not executed, anything else is a mismatch; one change books one
// command. Returns the entries resolved now, with their states. Raises DataError.
// The same transaction notes the balance as the card's last seen, and tells whether the card is
// marked lost (a lost card laid on is written to the audit trail under `account`).
struct Arrival {
    QString account;
    bool lost = false;
    // When the resolving desk's run began: its own rows sent since are held by it, unless
    // another run of the same desk sent them meanwhile. Empty: every row of its is an earlier
    // run's.
    QString runStartedAt;
};
std::vector<Entry> ResolveWaiting(const Connection& connection, const QString& cardNo, int seen,
                                  const std::vector<qint64>& held, const QString& at,
                                  const QString& resolvingDesk, CardTotals* totals = nullptr,
                                  Arrival* arrival = nullptr);

// Pending entries, oldest first.
std::vector<Entry> Pending(const Connection& connection);
// Entries newest first, all or of one state; at most `limit` (0: no limit).
std::vector<Entry> List(const Connection& connection, std::optional<State> state = {},
                        int limit = 0);

// The journal as people read it: column headings, and one row of texts per entry (balances in
// yuan, states and operations in words), for the review window and the command-line tool.
QStringList ColumnHeadings();
QStringList RowTexts(const Entry& entry);
QString StateText(State state); // 待确认, 已记账, 未执行, 余额不符

} // namespace Journal

} // namespace velkar
