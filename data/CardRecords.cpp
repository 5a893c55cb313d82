#include "data/CardRecords.h"

#include "data/AdoConn.h"
#include "reports/PagedRows.h"

int CardAmountValue(const QString& amount) {
    const bool negative = amount.startsWith(QLatin1Char('-'));
    const QStringView digits = QStringView(amount).mid(negative ? 1 : 0);
    if (digits.isEmpty() || digits.size() > 4)
        return 0;
    int value = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
        value = value * 10 + (c.unicode() - '0');
    }
    return negative ? -value : value;
}

CardRecordList ReadCardRecords(const Connection& connection, const QString& cardNo) {
    Query query(connection, QString::fromUtf8(Sql::CardRecords));
    query.bind(1, cardNo);
    CardRecordList list;
    while (query.next()) {
        CardRecordRow row{query.text(0), query.text(1), query.text(2)};
        list.total += CardAmountValue(row.amount);
        list.rows.append(std::move(row));
    }
    return list;
}

CardRecordList ReadCardTotal(const Connection& connection, const QString& cardNo) {
    Query total(connection, Sql::CardRecordsTotal);
    total.bind(1, cardNo);
    CardRecordList list;
    if (total.next())
        list.total = total.integer(1);
    return list;
}

CardRecordList ReadCardRecords(Dialogs* dialogs, const QString& cardNo, const QString& path) {
    CAdoConn conn(dialogs, path);
    conn.OpenConnection();
    if (!conn.isConnected())
        throw DataError(-1, QStringLiteral("no open database connection"));
    return ReadCardRecords(*conn.connection(), cardNo);
}

CardRecordPages ReadCardRecordPages(std::shared_ptr<const Connection> connection,
                                    const QString& cardNo) {
    // Total and rows from one state of the file, whatever is booked meanwhile.
    Transaction read(*connection, Transaction::Read);
    CardRecordPages pages;
    {
        Query total(*connection, Sql::CardRecordsTotal);
        total.bind(1, cardNo);
        total.next();
        pages.total = total.integer(1);
        pages.rows = std::make_shared<PagedRows>(
            connection, PagedRows::Reads{Sql::CardRecordPositions, Sql::CardRecordBlock, 3},
            QStringList{cardNo});
    }
    read.commit();
    return pages;
}
