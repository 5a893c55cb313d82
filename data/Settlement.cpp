#include "data/Settlement.h"

#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/CashRule.h"

#include <algorithm>

namespace velkar {

namespace Settlement {

namespace {

struct Record {
    qint64 rowid;
    qint64 amount;
    int day;
    int operatorIndex = -1; // none: booked before the journal existed
    int clear = -1;         // -1: not known from a journal entry
    QString link;           // what its command served, as journal_links names it
};

struct Paid {
    int day;
    int operatorIndex;
    Cash::Payout payout;
};

void add(Row& to, const Row& row) {
    to.rechargeCount += row.rechargeCount;
    to.rechargeSum += row.rechargeSum;
    to.clearCount += row.clearCount;
    to.clearSum += row.clearSum;
    to.net += row.net;
    to.correctionCount += row.correctionCount;
    to.correctionSum += row.correctionSum;
    to.replacementCount += row.replacementCount;
    to.replacementSum += row.replacementSum;
    to.cashIn += row.cashIn;
    to.cashOut += row.cashOut;
}

// A kind's cash goes in or out as the kind does, not by its sign: a correction's recharges are
// part of what it pays back.
void addCash(Row& row, Cash::Kind kind, qint64 tenths) {
    if (kind == Cash::Kind::Recharge)
        row.cashIn += tenths;
    else
        row.cashOut -= tenths;
}

} // namespace

std::vector<std::pair<QString, qint64>> Result::dailyNet() const {
    std::vector<std::pair<QString, qint64>> days;
    for (const Row& row : rows) {
        if (days.empty() || days.back().first != row.day)
            days.emplace_back(row.day, 0);
        days.back().second += row.net;
    }
    return days;
}

namespace {

// The index of `text` in `list`, appended when it is not there yet.
int indexIn(QStringList& list, const QString& text) {
    const qsizetype at = list.indexOf(text);
    if (at >= 0)
        return int(at);
    list << text;
    return int(list.size() - 1);
}

void count(Row& row, Cash::Kind kind, qint64 amount) {
    switch (kind) {
    case Cash::Kind::Recharge:
        ++row.rechargeCount;
        row.rechargeSum += amount;
        break;
    case Cash::Kind::Clear:
        ++row.clearCount;
        row.clearSum += amount;
        break;
    case Cash::Kind::Correction:
        ++row.correctionCount;
        row.correctionSum += amount;
        break;
    case Cash::Kind::Replacement:
        ++row.replacementCount;
        row.replacementSum += amount;
        break;
    }
}

// One settlement's reads, inside one read transaction, and their table.
class Collector {
public:
    Collector(const Connection& connection, const QString& from, const QString& to)
        : m_connection(connection), m_first(from + QStringLiteral(" 00:00:00")),
          m_last(to + QStringLiteral(" 23:59:59")) {}

    Result collect() {
        readRecords();
        if (!m_records.empty()) {
            readOperators();
            readLinks();
        }
        readPayouts();
        return tabulate();
    }

private:
    void readRecords() {
        Query q(m_connection, QString::fromUtf8(Statements::SettlementRecords));
        q.bind(1, m_first);
        q.bind(2, m_last);
        QByteArray lastDay;
        int length = 0;
        while (q.next()) {
            const char* day = q.utf8(1, &length);
            // The date index hands the records over day by day.
            if (QByteArrayView(day, length) != QByteArrayView(lastDay)) {
                lastDay = QByteArray(day, length);
                if (m_days.isEmpty() || m_days.last() != QString::fromUtf8(lastDay))
                    m_days << QString::fromUtf8(lastDay);
            }
            m_records.push_back({q.integer(0), q.integer(2), int(m_days.size() - 1), -1, -1, {}});
        }
        // Records are appended in time order, so they are mostly in rowid order already.
        const auto byRowid = [](const Record& a, const Record& b) { return a.rowid < b.rowid; };
        if (!std::is_sorted(m_records.begin(), m_records.end(), byRowid))
            std::sort(m_records.begin(), m_records.end(), byRowid);
    }

    Record* recordOf(qint64 rowid) {
        const auto r = std::lower_bound(m_records.begin(), m_records.end(), rowid,
                                        [](const Record& a, qint64 id) { return a.rowid < id; });
        return r != m_records.end() && r->rowid == rowid ? &*r : nullptr;
    }

    void readOperators() {
        Query q(m_connection, QString::fromUtf8(Statements::SettlementBookings));
        q.bind(1, m_records.front().rowid);
        q.bind(2, m_records.back().rowid);
        auto r = m_records.begin();
        std::vector<QByteArray> names; // as stored, in the order first met; a handful
        int length = 0;
        while (q.next() && r != m_records.end()) {
            const qint64 id = q.integer(0);
            while (r != m_records.end() && r->rowid < id)
                ++r;
            if (r == m_records.end() || r->rowid != id || r->operatorIndex >= 0)
                continue;
            const char* name = q.utf8(1, &length);
            const QByteArrayView bytes(name, length);
            const auto known = std::find_if(names.begin(), names.end(),
                                            [&](const QByteArray& n) { return n == bytes; });
            r->operatorIndex = int(known - names.begin());
            if (known == names.end()) {
                names.emplace_back(bytes.toByteArray());
                m_operators << QString::fromUtf8(bytes);
            }
            r->clear = int(q.integer(2));
        }
    }

    // Few commands serve a correction or a replacement: their links are read apart rather than
    // looked up for every record.
    void readLinks() {
        Query links(m_connection, QString::fromUtf8(Statements::SettlementLinks));
        links.bind(1, m_records.front().rowid);
        links.bind(2, m_records.back().rowid);
        while (links.next())
            if (Record* linked = recordOf(links.integer(0)); linked && linked->link.isEmpty())
                linked->link = links.text(1);
    }

    void readPayouts() {
        Query q(m_connection, QString::fromUtf8(Statements::SettlementPayouts));
        q.bind(1, m_first);
        q.bind(2, m_last);
        while (q.next())
            m_payouts.push_back({indexIn(m_days, q.text(0)),
                                 indexIn(m_operators, q.text(1)),
                                 {q.text(2), q.integer(3)}});
    }

    Row& cellOf(int day, int operatorIndex) {
        const std::size_t at = std::size_t(day) * width() + std::size_t(operatorIndex + 1);
        m_used[at] = true;
        return m_cells[at];
    }
    std::size_t width() const { return std::size_t(m_operators.size()) + 1; }

    // Per day, per operator; the operator's empty name (none known) sorts first.
    Result tabulate() {
        m_cells.assign(std::size_t(m_days.size()) * width(), Row{});
        m_used.assign(m_cells.size(), false);
        for (const Record& r : m_records) {
            Row& row = cellOf(r.day, r.operatorIndex);
            Cash::Booking booking{std::nullopt, r.amount, r.link};
            if (r.clear >= 0)
                booking.operation =
                    r.clear ? Journal::Operation::Clear : Journal::Operation::Recharge;
            const Cash::Kind kind = Cash::KindOf(booking);
            count(row, kind, r.amount);
            addCash(row, kind, Cash::CashOf(booking));
            row.net += r.amount;
        }
        for (const Paid& p : m_payouts)
            addCash(cellOf(p.day, p.operatorIndex), Cash::KindOf(p.payout), Cash::CashOf(p.payout));
        return ordered();
    }

    Result ordered() const {
        QList<int> dayOrder; // a payout's day may come after the records' days
        for (int d = 0; d < m_days.size(); ++d)
            dayOrder << d;
        std::sort(dayOrder.begin(), dayOrder.end(),
                  [&](int a, int b) { return m_days[a] < m_days[b]; });
        QList<int> order; // operators by name
        for (int i = 0; i < m_operators.size(); ++i)
            order << i;
        std::sort(order.begin(), order.end(),
                  [&](int a, int b) { return m_operators[a] < m_operators[b]; });
        order.prepend(-1);
        Result result;
        for (int d : dayOrder)
            for (int o : order) {
                const std::size_t at = std::size_t(d) * width() + std::size_t(o + 1);
                if (!m_used[at])
                    continue;
                Row row = m_cells[at];
                row.day = m_days[d];
                row.operatorName = o < 0 ? UnknownOperator : m_operators[o];
                add(result.total, row);
                result.rows.push_back(row);
            }
        return result;
    }

    const Connection& m_connection;
    const QString m_first;
    const QString m_last;
    std::vector<Record> m_records;
    QStringList m_days;
    QStringList m_operators;
    std::vector<Paid> m_payouts;
    std::vector<Row> m_cells;
    std::vector<bool> m_used;
};

} // namespace

Result Collect(const Connection& connection, const QString& from, const QString& to) {
    const Transaction snapshot(connection, Transaction::Read);
    return Collector(connection, from, to).collect();
}

QStringList ColumnHeadings() {
    return Messages::SettlementHeadings();
}

QStringList RowTexts(const Row& row) {
    return {row.day,
            row.operatorName,
            QString::number(row.rechargeCount),
            QString::number(row.rechargeSum),
            QString::number(row.clearCount),
            QString::number(row.clearSum),
            QString::number(row.net),
            QString::number(row.correctionCount),
            QString::number(row.correctionSum),
            QString::number(row.replacementCount),
            QString::number(row.replacementSum),
            Cash::YuanText(row.cashIn),
            Cash::YuanText(row.cashOut),
            Cash::YuanText(row.netCash())};
}

QList<bool> NumericColumns() {
    QList<bool> numeric(ColumnHeadings().size(), true);
    numeric[0] = numeric[1] = false;
    return numeric;
}

bool HasLinkedCash(const Result& result) {
    const Row& t = result.total;
    return t.correctionCount || t.replacementCount || t.cashOut != -t.clearSum * 10 ||
           t.cashIn != t.rechargeSum * 10;
}

QStringList TotalTexts(const Result& result) {
    QStringList texts = RowTexts(result.total);
    texts[0] = Messages::Total();
    return texts;
}

} // namespace Settlement

} // namespace velkar
