#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace velkar {

class Connection;

// The day settlement (日结): per day and per operator, the recharges, the clears and the net,
// then the corrections and replacements apart, and the drawer's cash by the cash rule. The
// operator of a record is the one its journal entry names; records booked before the journal
// existed have none and are settled under UnknownOperator. A cash payout counts on the day it
// was paid, for the operator who paid it.
namespace Settlement {

inline const QString UnknownOperator = QStringLiteral("未知");

struct Row {
    QString day; // yyyy-MM-dd; empty on the total line
    QString operatorName;
    qint64 rechargeCount = 0;
    qint64 rechargeSum = 0;
    qint64 clearCount = 0;
    qint64 clearSum = 0; // the amounts cleared, negative as booked
    qint64 net = 0;      // everything booked, as the query window totals it
    // Commands that served a correction or a replacement, apart from the plain ones above.
    qint64 correctionCount = 0;
    qint64 correctionSum = 0;
    qint64 replacementCount = 0;
    qint64 replacementSum = 0;
    // Tenths of a yuan: what the recharges took in, and what clears, corrections and the
    // payouts of either gave out. A replacement's recharges move no cash.
    qint64 cashIn = 0;
    qint64 cashOut = 0;
    qint64 netCash() const { return cashIn - cashOut; }
};

struct Result {
    std::vector<Row> rows; // by day, then operator
    Row total;
    // The days in order, each with its net over all operators.
    std::vector<std::pair<QString, qint64>> dailyNet() const;
};

// The records stamped from `from` 00:00:00 to `to` 23:59:59 (dates yyyy-MM-dd). Amounts count by
// the same rule as the query window's total, so the two totals agree. Throws DataError.
Result Collect(const Connection& connection, const QString& from, const QString& to);

QStringList ColumnHeadings();
QStringList RowTexts(const Row& row); // the total line reads 合计 in its first column
QStringList TotalTexts(const Result& result);
// Per column of RowTexts: whether it holds a number.
QList<bool> NumericColumns();
// Whether anything of the range moved otherwise than a plain recharge or clear: then the cash
// columns say more than the recharge and clear columns already do.
bool HasLinkedCash(const Result& result);

} // namespace Settlement

} // namespace velkar
