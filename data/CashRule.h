#pragma once

#include "data/Journal.h"

#include <QString>

#include <optional>
#include <vector>

namespace velkar {

// What a booked change of a card does to the cash drawer: the one rule the settlement, the
// shifts and the receipts count by. A new kind of booking is added here, to Kind, Kinds() and
// KindOf(), and every report follows.
namespace Cash {

// A correction's and a replacement's commands are told apart by the journal's link to them
// (journal_links); what either paid out in cash besides is a payout (cash_paid).
enum class Kind { Recharge, Clear, Correction, Replacement };

// How the drawer sees a kind: its amount is cash taken in or paid out (signed as booked), or
// value moved between cards, which no cash follows.
enum class Flow { Cash, Transfer };

struct KindRule {
    Kind kind;
    const char* key; // as stored in a shift's totals
    Flow flow;
};

// Every kind, in the order reports list them.
const std::vector<KindRule>& Kinds();
const KindRule& RuleOf(Kind kind);
std::optional<Kind> KindFromKey(const QString& key);
QString KindText(Kind kind); // 充值, 清零, 冲正, 补卡

// A booked change as the ledger tells it.
struct Booking {
    // The journal's operation; none for a record booked before the journal existed.
    std::optional<Journal::Operation> operation;
    qint64 amount = 0; // whole yuan as the reports count the record's 金额, a clear negative
    QString link;      // what the command served, as journal_links names it; empty: itself
};

Kind KindOf(const Booking& booking);

// What the booking moved through the drawer, in tenths of a yuan: positive taken in, negative
// paid out.
qint64 CashOf(const Booking& booking);

// Cash paid out over the counter for a correction or a replacement (the part below one yuan),
// as cash_paid keeps it.
struct Payout {
    QString link;      // "correction" or "replacement"
    qint64 tenths = 0; // as paid, not negative
};

Kind KindOf(const Payout& payout);
qint64 CashOf(const Payout& payout); // always paid out: negative

// Tenths of a yuan as the desk writes money: "12.5", "-0.5", "0.0".
QString YuanText(qint64 tenths);
// An amount of money typed in yuan, at most one decimal ("120", "120.5"); nothing for anything
// else, a sign included.
std::optional<qint64> TenthsFromText(const QString& text);

} // namespace Cash

} // namespace velkar
