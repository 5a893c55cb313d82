#pragma once

#include "data/CardRecords.h"
#include "data/Cardholder.h"
#include "data/Journal.h"

#include <QString>

#include <optional>

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
};

// The texts the desk shows for an outcome: the status line, and the box (empty: none).
QString OutcomeStatus(const CommandOutcome& outcome);
QString OutcomeMessage(const CommandOutcome& outcome);

// What the reader link hands the desk: finished results, never work to do. The workers call
// it from their own threads; the desk carries each call out on its user-interface thread, in
// order, without making the caller wait (except showMessage).
class DeskView {
public:
    virtual ~DeskView() = default;

    virtual void showBalance(const QString& text) = 0; // the balance field; empty blanks it
    virtual void showStatus(const QString& text) = 0;  // the status line
    virtual void showPortListed(bool listed) = 0;      // port list: "USB" selected, or empty
    virtual void restartBalanceTimer() = 0; // blanks the balance 2 s after the last report
    // A message box owned by the desk; the caller waits until it is closed.
    virtual void showMessage(const QString& text) = 0;
    // The holder of a card that came to the reader (ok false: the store failed).
    virtual void showCardholder(const CardholderLookup& lookup) = 0;
    // A card's booked operations and their total; nothing when the store failed.
    virtual void showCardRecords(const QString& cardNo,
                                 const std::optional<CardRecordList>& records) = 0;
    virtual void showOutcome(const CommandOutcome& outcome) = 0;
};

} // namespace velkar
