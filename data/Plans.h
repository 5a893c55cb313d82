#pragma once

#include "data/Journal.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace velkar {

class Connection;

// 补卡 and 冲正: a target for one card, reached by a series of commands each journalled and
// linked to the plan (journal_links). The plan is a row of the ledger (replacements or
// corrections, open until done), so the card's next report at any desk carries it on from
// the card's real balance. What is left to do is always derived from what the journal booked
// for the plan, never from what a desk remembers, so nothing is ever sent twice.
namespace Plans {

enum class Kind { Replacement, Correction };

QString KindKey(Kind kind); // as journal_links and cash_paid name it

struct Plan {
    Kind kind = Kind::Replacement;
    qint64 id = 0;
    QString cardNo;      // the card the commands go to: the new card, or the corrected one
    QString oldCard;     // a replacement's lost card
    qint64 recordId = 0; // a correction's mistaken recharge
    int amount = 0;      // a correction's mistaken amount, whole yuan
    int balance = 0;     // tenths: the lost card's balance, or the correction's target
    bool done = false;
    QString operatorName;
    QString desk;
    QString startedAt;
    QString doneAt;
};

// One command the journal holds for a plan.
struct Command {
    Journal::Operation operation = Journal::Operation::Recharge;
    int amount = 0;
    Journal::State state = Journal::State::Pending;
    int balanceBefore = 0;
    // The card it was booked on: the plan's own, or one the reader held in its place.
    QString cardNo;
};

struct Step {
    enum class What {
        Send,   // the next command
        Finish, // booked in full: pay `cash` out and close the plan
        Wait,   // a command of the plan waits for its card's report
        Stop,   // can't go on by itself; `problem` says why
    };
    What what = What::Wait;
    Journal::Operation operation = Journal::Operation::Recharge;
    int amount = 0; // whole yuan, a recharge's
    int cash = 0;   // tenths paid out over the counter
    QString problem;
};

// The next step of `plan` for its card showing `balance` (tenths), given the plan's commands
// in the order they were sent.
Step NextStep(const Plan& plan, const std::vector<Command>& commands, int balance);

// The open plan whose commands go to the card; nothing when none. Raises DataError.
std::optional<Plan> OpenOf(const Connection& connection, const QString& cardNo);
std::vector<Command> CommandsOf(const Connection& connection, const Plan& plan);
// The replacement that took the lost card's place, and the one that made the card.
std::optional<Plan> ReplacementOfOld(const Connection& connection, const QString& oldCard);
std::optional<Plan> ReplacementOfNew(const Connection& connection, const QString& newCard);
// A correction of the record, open or done.
std::optional<Plan> CorrectionOf(const Connection& connection, qint64 recordId);
// Cash paid out for the plan, tenths; nothing while it is not paid.
std::optional<int> CashPaid(const Connection& connection, const Plan& plan);

// Inside the caller's write transaction: the journal row `journalId` is a command of the plan.
// A correction's clear sets its target from the balance it clears.
void Link(const Connection& connection, qint64 journalId, const Plan& plan,
          const Journal::Entry& entry);
// Inside the caller's write transaction: pays `cash` out (at most once) and closes the plan,
// audited under `account` at `desk`.
void Finish(const Connection& connection, const Plan& plan, int cash, const QString& account,
            const QString& desk, const QString& at);

struct Start {
    QString account;
    QString desk;
    QString at; // timestamp text
};

// Starts the replacement of the lost card `oldCard` by `newCard`, which the ledger must never
// have seen. The lost card's balance is its last seen; where none was, `entered` (tenths) with
// `reason`, by the administrator only. The cardholder moves to the new card. An empty text when
// started (`plan` gets it), else why not. Raises DataError for a store that fails.
QString StartReplacement(const Connection& connection, const QString& oldCard,
                         const QString& newCard, const Start& start, Plan* plan,
                         std::optional<int> entered = std::nullopt, const QString& reason = {});

// Starts the correction of the record `recordId`, a booked recharge of `cardNo`, whose card
// shows `balance` (tenths). The administrator's only. As StartReplacement.
QString StartCorrection(const Connection& connection, const QString& cardNo, qint64 recordId,
                        int balance, const Start& start, Plan* plan);

// What closing an open plan by hand comes to, from what the journal booked for it.
struct Closing {
    int target = 0; // tenths its card was to end with
    int moved = 0;  // tenths booked onto its card
    int cash = 0;   // tenths paid out to close it: the rest of the target
    // A correction whose clear was never booked moved nothing: closing it withdraws it.
    bool withdrawn = false;
    bool waiting = false; // a command still waits for its card: nothing can be closed yet
    int unknown = 0;      // commands whose result nobody can tell
    QStringList astray;   // cards that took a command in the plan's card's place
};
Closing ClosingOf(const Plan& plan, const std::vector<Command>& commands);

// The open plans, replacements first, oldest first. Raises DataError.
std::vector<Plan> OpenPlans(const Connection& connection);

// The administrator closes a plan that can't go on by itself: the rest of its value is paid
// out in cash (value conserved: what its card took plus the cash is the plan's value), audited.
// Refused while one of its commands waits for its card. An empty text when closed (`closing`
// gets the figures), else why not. Raises DataError for a store that fails.
QString Close(const Connection& connection, const Plan& plan, const Start& by,
              Closing* closing = nullptr);

// A card's recharges a correction may take back, newest first: booked, of a plain recharge
// (not a plan's), not corrected yet.
struct Correctable {
    qint64 recordId = 0;
    QString date;
    int amount = 0;
};
std::vector<Correctable> CorrectableOf(const Connection& connection, const QString& cardNo);

// Lost cards that no replacement took the place of yet, with their holders' names.
struct LostCard {
    QString cardNo;
    QString holder;
    std::optional<int> lastBalance;
};
std::vector<LostCard> Replaceable(const Connection& connection);

} // namespace Plans

} // namespace velkar
