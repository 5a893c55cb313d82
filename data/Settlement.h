#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace velkar {

class Connection;

// The day settlement (日结): per day and per operator, the recharges, the clears and the net.
// The operator of a record is the one its journal entry names; records booked before the
// journal existed have none and are settled under UnknownOperator.
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

} // namespace Settlement

} // namespace velkar
