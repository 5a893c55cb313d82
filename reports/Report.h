#pragma once

#include "base/TextTable.h"

#include <QDate>
#include <QString>

#include <memory>

namespace velkar {

class Connection;

// The recharge records of a date range with their cardholders' names and the total, as the
// query list, the printed report and the preview show them.
struct Report {
    // Who booked a record, and where, are listed on the screen; the printed report keeps its
    // four columns.
    enum Column { CardNo, Date, Amount, Name, Operator, Desk };

    std::shared_ptr<const TextRows> rows = std::make_shared<TableRows>();
    qint64 total = 0;  // 1,000,000 records of 99999 overflow 32 bits
    qint64 newest = 0; // the newest record in the store when the rows were collected

    qsizetype recordCount() const { return rows->count(); }
    QString totalText() const { return QString::number(total); }
};

// 0 to 9999 as decimal digits; anything else as an empty text.
QString PageNumberText(int number);

// Length of the text in bytes of code page 936, which places the centred title.
int CodePage936Length(const QString& text);

// The records stamped from `startBound` to `endBound` (full timestamp texts, both included):
// their count and total now, their cells read from `connection` a block at a time when they
// are drawn. Throws DataError.
// Without `withTotal` the total is left 0, for ReportTotal to add up when it is shown. With
// `totalsOn`, a second connection to the same file, the total is summed there meanwhile.
Report CollectReport(std::shared_ptr<const Connection> connection, const QString& startBound,
                     const QString& endBound, bool withTotal = true,
                     const Connection* totalsOn = nullptr);

// The total of the records from `startBound` to `endBound` booked up to the record `newest`
// (records are only ever appended, so this is the total as it was then). Throws DataError.
qint64 ReportTotal(const Connection& connection, const QString& startBound, const QString& endBound,
                   qint64 newest);

} // namespace velkar
