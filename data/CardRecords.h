#pragma once

#include "data/Amount.h"
#include "data/Schema.h"

#include <QList>
#include <QString>

#include <memory>

namespace velkar {

class Connection;
class Dialogs;
class TextRows;

struct CardRecordRow {
    QString cardNo;
    QString stamp;
    QString amount;
};

struct CardRecordList {
    QList<CardRecordRow> rows; // in the order they were booked
    qint64 total = 0;
};

// The booked operations of one card with their total, on an open connection. Raises DataError.
CardRecordList ReadCardRecords(const Connection& connection, const QString& cardNo);

// The total alone, from one aggregate; `rows` stays empty. For a notice that the list changed:
// the list reads its rows itself. Raises DataError.
CardRecordList ReadCardTotal(const Connection& connection, const QString& cardNo);

// The same as ReadCardRecords on a connection of its own. Store failures raise DataError, after the
// connection has shown its own description.
CardRecordList ReadCardRecords(Dialogs* dialogs, const QString& cardNo,
                               const QString& path = Schema::DatabaseLocation());

// One card's records as the desk lists them, of any number: the rows (卡号, 日期, 金额, and what
// the record is to a correction or a replacement, in words) read a block at a time when shown,
// the total from one aggregate. Raises DataError.
struct CardRecordPages {
    std::shared_ptr<const TextRows> rows;
    qint64 total = 0;
};
CardRecordPages ReadCardRecordPages(std::shared_ptr<const Connection> connection,
                                    const QString& cardNo);

// Why the kept card totals differ from the records, or an empty text when every card's count and
// total equal its records'. Reads every record once, through the card index. Raises DataError.
QString CardTotalsDisagreement(const Connection& connection);

} // namespace velkar
