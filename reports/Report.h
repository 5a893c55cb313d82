#pragma once

#include "base/TextTable.h"

#include <QDate>
#include <QString>

#include <memory>
#include <optional>

namespace velkar {

class Connection;

// The recharge records of a date range with their cardholders' names and the total, as the
// query list, the printed report and the preview show them.
// What a range's bookings did to the drawer, in tenths of a yuan, by the cash rule: recharges
// took cash in; clears, corrections and the payouts of corrections and replacements gave it out.
struct CashTotals {
    qint64 in = 0;
    qint64 out = 0;  // the payouts included
    qint64 paid = 0; // of which the payouts, the part below one yuan paid over the counter
    // Something in the range moved otherwise than a plain recharge or clear.
    bool linked = false;
    qint64 net() const { return in - out; }
};

struct Report {
    // Who booked a record, and where, are listed on the screen; the printed report keeps its
    // four columns. Operation and Link are as the journal stores them; Kind (充值, 清零, 冲正,
    // 补卡) and Cash (what the record moved through the drawer, in yuan) follow from them.
    enum Column { CardNo, Date, Amount, Name, Operator, Desk, Operation, Link, Kind, Cash };

    std::shared_ptr<const TextRows> rows = std::make_shared<TableRows>();
    qint64 total = 0;               // 1,000,000 records of 99999 overflow 32 bits
    qint64 newest = 0;              // the newest record in the store when the rows were collected
    qint64 newestPaid = 0;          // and the newest cash payout
    std::optional<CashTotals> cash; // none until summed

    qsizetype recordCount() const { return rows->count(); }
    QString totalText() const { return QString::number(total); }
};

// What a record shows under Kind and Cash, from its amount text, operation and link.
QString RecordKindText(const QString& amount, const QString& operation, const QString& link);
QString RecordCashText(const QString& amount, const QString& operation, const QString& link);
qint64 RecordCash(const QString& amount, const QString& operation, const QString& link); // tenths

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

// The total and the cash of the records from `startBound` to `endBound` booked up to the record
// `newest`, and of the payouts made up to `newestPaid`. Throws DataError.
struct ReportSums {
    qint64 total = 0;
    CashTotals cash;
};
ReportSums SumReport(const Connection& connection, const QString& startBound,
                     const QString& endBound, qint64 newest, qint64 newestPaid);

} // namespace velkar
