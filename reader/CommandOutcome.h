#pragma once

#include "data/Journal.h"

#include <QString>

namespace velkar {

// How a command the desk sent ended, or why its booking waits.
struct CommandOutcome {
    enum class Kind {
        Booked,      // in the ledger: "充值成功" / "清零成功"
        NotExecuted, // the card kept its balance: "操作未完成，请重试"
        Mismatch,    // the card shows neither balance: "卡内余额与预期不符，请核对"
        Retrying,    // the booking failed and is tried again: "记账失败，正在重试"
    };
    Kind kind = Kind::Booked;
    Journal::Entry entry; // the command; for Booked, as booked
    int seen = 0;         // tenths, the balance the card showed
    QString reason;       // for Retrying: the store's words
    bool firstFailure = false;
    // A step of a replacement or correction: the plan's own report says how it ended.
    bool planStep = false;
};

// How a replacement or correction of a card went on at this desk.
struct PlanReport {
    enum class Kind {
        Finished, // booked in full: `cash` is paid out over the counter
        Stopped,  // it waits for the card's next report, or for a look: `problem` says why
    };
    Kind kind = Kind::Finished;
    bool correction = false;
    QString cardNo;
    int cash = 0; // tenths
    QString problem;
};

// The box the desk shows for it.
QString PlanReportMessage(const PlanReport& report);

// The texts the desk shows for an outcome: the status line, and the box (empty: none).
QString OutcomeStatus(const CommandOutcome& outcome);
QString OutcomeMessage(const CommandOutcome& outcome);

} // namespace velkar
