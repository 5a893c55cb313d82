#include "data/CardRecords.h"

#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/PagedRows.h"
#include "data/SqliteEngine.h"

#include <sqlite3.h>

#include <functional>
#include <vector>

namespace velkar {

namespace {

// A card's records with what each is to a plan: the mark read as a key, shown in words.
class MarkedRows : public TextRows {
public:
    static constexpr int MarkColumn = 3;
    explicit MarkedRows(std::shared_ptr<const TextRows> rows) : m_rows(std::move(rows)) {}
    qsizetype count() const override { return m_rows->count(); }
    QString text(qsizetype row, int column) const override {
        const QString text = m_rows->text(row, column);
        return column == MarkColumn ? Messages::RecordMark(text) : text;
    }

private:
    std::shared_ptr<const TextRows> m_rows;
};

} // namespace

CardRecordList ReadCardRecords(const Connection& connection, const QString& cardNo) {
    Query query(connection, QString::fromUtf8(Statements::CardRecords));
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
    Query total(connection, Statements::CardRecordsTotal);
    total.bind(1, cardNo);
    CardRecordList list;
    if (total.next())
        list.total = total.integer(1);
    return list;
}

CardRecordList ReadCardRecords(Dialogs* dialogs, const QString& cardNo, const QString& path) {
    CAdoConn conn(dialogs, path);
    conn.OpenConnection();
    return ReadCardRecords(conn.require(), cardNo);
}

CardRecordPages ReadCardRecordPages(std::shared_ptr<const Connection> connection,
                                    const QString& cardNo) {
    // Total and rows from one state of the file, whatever is booked meanwhile.
    Transaction read(*connection, Transaction::Read);
    CardRecordPages pages;
    {
        Query total(*connection, Statements::CardRecordsTotal);
        total.bind(1, cardNo);
        total.next();
        pages.total = total.integer(1);
        pages.rows = std::make_shared<MarkedRows>(std::make_shared<PagedRows>(
            connection,
            PagedRows::Reads{Statements::CardRecordPositions, Statements::CardRecordBlock, 4},
            QStringList{cardNo}));
    }
    read.commit();
    return pages;
}

namespace {

// A card's count and total of records, counted from them.
struct CardCount {
    QByteArray cardNo;
    qint64 count = 0;
    qint64 total = 0;
};

QByteArray bytesOf(const Query& q) {
    int length = 0;
    const char* at = q.utf8(0, &length);
    return QByteArray(at, length);
}

using TakeCount = std::function<bool(const CardCount&)>;

// What the statement's current 金额 (column 1) adds to a card's total: a whole number by the
// rule's own bounds, any other value, which a file of the current form can't hold, through the
// store's rule itself.
qint64 cardAmount(sqlite3_stmt* rows, sqlite3_stmt* rule) {
    if (sqlite3_column_type(rows, 1) == SQLITE_INTEGER) {
        const sqlite3_int64 value = sqlite3_column_int64(rows, 1);
        return value >= -9999 && value <= 9999 ? value : 0;
    }
    sqlite3_reset(rule);
    sqlite3_bind_value(rule, 1, sqlite3_column_value(rows, 1));
    return sqlite3_step(rule) == SQLITE_ROW ? sqlite3_column_int64(rule, 0) : 0;
}

// A file's cards, added up in one read of the card index.
void countCardsInFile(sqlite3* db, const TakeCount& take) {
    const auto rows = PrepareOwn(db, Statements::RecordAmountsByCard);
    const auto rule = PrepareOwn(db, Statements::CardAmountByRule);
    CardCount card;
    int rc;
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
        const auto* at = static_cast<const char*>(sqlite3_column_blob(rows.get(), 0));
        const QByteArrayView cardNo(at, sqlite3_column_bytes(rows.get(), 0));
        if (card.count > 0 && cardNo != card.cardNo) {
            if (!take(card))
                return;
            card = {};
        }
        if (card.count == 0)
            card.cardNo = cardNo.toByteArray();
        ++card.count;
        card.total += cardAmount(rows.get(), rule.get());
    }
    if (rc != SQLITE_DONE)
        throw DataError(DataFailure::Other, QString::fromUtf8(sqlite3_errmsg(db)));
    if (card.count > 0)
        take(card);
}

// Hands each card's count to `take`, in 卡号 order, until it returns false. A server groups
// them itself.
void countCards(const Connection& connection, const TakeCount& take) {
    if (connection.engine() == Engine::Sqlite)
        return countCardsInFile(connection.handle(), take);
    Query q(connection, QString::fromUtf8(Statements::ServerCardTotalsCounted));
    while (q.next())
        if (!take({bytesOf(q), q.integer(1), q.integer(2)}))
            return;
}

} // namespace

QString CardTotalsDisagreement(const Connection& connection) {
    // Read whole before the records, as a server's session serves one read at a time.
    std::vector<CardCount> kept;
    {
        Query q(connection, QString::fromUtf8(Statements::CardTotalsInOrder));
        while (q.next())
            kept.push_back({bytesOf(q), q.integer(1), q.integer(2)});
    }
    // Both in the same byte order: a card on one side only is where the other skips past it.
    QString problem;
    std::size_t at = 0;
    const auto differ = [&](const QByteArray& cardNo, qint64 keptCount, qint64 counted) {
        problem = Messages::CardTotalsDiffer(QString::fromUtf8(cardNo), keptCount, counted);
        return false;
    };
    countCards(connection, [&](const CardCount& counted) {
        if (at < kept.size() && kept[at].cardNo < counted.cardNo)
            return differ(kept[at].cardNo, kept[at].count, 0);
        if (at == kept.size() || kept[at].cardNo != counted.cardNo)
            return differ(counted.cardNo, 0, counted.count);
        if (kept[at].count != counted.count || kept[at].total != counted.total)
            return differ(counted.cardNo, kept[at].count, counted.count);
        ++at;
        return true;
    });
    if (problem.isEmpty() && at < kept.size())
        differ(kept[at].cardNo, kept[at].count, 0);
    return problem;
}

} // namespace velkar
