#pragma once

#include "data/Schema.h"

#include <QList>
#include <QString>

class Connection;
class Dialogs;

// What a booked 金额 text adds to the desk's total: up to four digits, optionally after a "-".
// Anything else (empty, longer, not digits) adds nothing.
int CardAmountValue(const QString& amount);

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

// The same on a connection of its own. Store failures raise DataError, after the connection
// has shown its own description.
CardRecordList ReadCardRecords(Dialogs* dialogs, const QString& cardNo,
                               const QString& path = Schema::DatabaseFileName);
