#pragma once

#include "base/TextTable.h"

#include <QString>

#include <memory>

namespace velkar {

class Connection;

// The recharge records of a date range, from the counts and totals the store keeps for each day
// (record_days, written by the records table's own triggers): what they cost is the range's
// days and the rows shown, not the rows stored.
namespace RecordDays {

// Count and total of records by the reports' amount rule, and the part of the total the
// negative amounts make.
struct Sums {
    qint64 count = 0;
    qint64 total = 0;
    qint64 negative = 0;
    bool operator==(const Sums&) const = default;
};

struct Range {
    Sums sums;
    // The columns of Statements::RecordBlockBetween but the two of each row's position, in
    // 日期 and rowid order, read as they are shown.
    std::shared_ptr<const TextRows> rows;
};

// The records stamped from `start` to `end` (both included) booked up to the rowid `newest`,
// the newest record when the caller's read transaction began. Throws DataError.
Range Read(std::shared_ptr<const Connection> connection, const QString& start, const QString& end,
           qint64 newest);

// The same sums counted from every record instead, the reference the kept ones must equal.
Sums Recount(const Connection& connection, const QString& start, const QString& end, qint64 newest);

// Why the kept counts differ from the records, or an empty text when every day's count and
// totals equal its records'. Reads every record once, through the date index. Throws DataError.
QString Disagreement(const Connection& connection);

} // namespace RecordDays

} // namespace velkar
