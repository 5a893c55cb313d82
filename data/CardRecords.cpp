#include "data/CardRecords.h"

#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/PagedRows.h"

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

QString CardTotalsDisagreement(const Connection& connection) {
    const auto bytes = [](const Query& q) {
        int length = 0;
        const char* at = q.utf8(0, &length);
        return QByteArray(at, length);
    };
    struct Card {
        QByteArray cardNo;
        qint64 count, total;
    };
    // Read whole before the records, as a server's session serves one read at a time.
    std::vector<Card> kept;
    {
        Query q(connection, QString::fromUtf8(Statements::CardTotalsInOrder));
        while (q.next())
            kept.push_back({bytes(q), q.integer(1), q.integer(2)});
    }
    const auto differ = [](const QByteArray& cardNo, qint64 kept, qint64 counted) {
        return Messages::CardTotalsDiffer(QString::fromUtf8(cardNo), kept, counted);
    };
    // Both in the same byte order: a card on one side only is where the other skips past it.
    Query counted(connection, Statements::CardTotalsCounted);
    std::size_t at = 0;
    while (counted.next()) {
        const QByteArray cardNo = bytes(counted);
        if (at < kept.size() && kept[at].cardNo < cardNo)
            return differ(kept[at].cardNo, kept[at].count, 0);
        if (at == kept.size() || kept[at].cardNo != cardNo)
            return differ(cardNo, 0, counted.integer(1));
        if (kept[at].count != counted.integer(1) || kept[at].total != counted.integer(2))
            return differ(cardNo, kept[at].count, counted.integer(1));
        ++at;
    }
    if (at < kept.size())
        return differ(kept[at].cardNo, kept[at].count, 0);
    return {};
}

} // namespace velkar
