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

Result Collect(const Connection& connection, const QString& from, const QString& to) {
    const Transaction snapshot(connection, Transaction::Read);
    const QString first = from + QStringLiteral(" 00:00:00");
    const QString last = to + QStringLiteral(" 23:59:59");
    std::vector<Record> records;
    QStringList days;
    {
        Query q(connection, QString::fromUtf8(Statements::SettlementRecords));
        q.bind(1, first);
        q.bind(2, last);
        QByteArray lastDay;
        int length = 0;
        while (q.next()) {
            const char* day = q.utf8(1, &length);
            // The date index hands the records over day by day.
            if (QByteArrayView(day, length) != QByteArrayView(lastDay)) {
                lastDay = QByteArray(day, length);
                if (days.isEmpty() || days.last() != QString::fromUtf8(lastDay))
                    days << QString::fromUtf8(lastDay);
            }
            records.push_back({q.integer(0), q.integer(2), int(days.size() - 1), -1, -1, {}});
        }
    }
    // Records are appended in time order, so they are mostly in rowid order already.
    const auto byRowid = [](const Record& a, const Record& b) { return a.rowid < b.rowid; };
    if (!std::is_sorted(records.begin(), records.end(), byRowid))
        std::sort(records.begin(), records.end(), byRowid);
    const auto recordOf = [&](qint64 rowid) -> Record* {
        const auto r = std::lower_bound(records.begin(), records.end(), rowid,
                                        [](const Record& a, qint64 id) { return a.rowid < id; });
        return r != records.end() && r->rowid == rowid ? &*r : nullptr;
    };

    QStringList operators;
    if (!records.empty()) {
        Query q(connection, QString::fromUtf8(Statements::SettlementBookings));
        q.bind(1, records.front().rowid);
        q.bind(2, records.back().rowid);
        auto r = records.begin();
        std::vector<QByteArray> names; // as stored, in the order first met; a handful
        int length = 0;
        while (q.next() && r != records.end()) {
            const qint64 id = q.integer(0);
            while (r != records.end() && r->rowid < id)
                ++r;
            if (r == records.end() || r->rowid != id || r->operatorIndex >= 0)
                continue;
            const char* name = q.utf8(1, &length);
            const QByteArrayView bytes(name, length);
            int lastIndex = 0;
            while (lastIndex < int(names.size()) && QByteArrayView(names[lastIndex]) != bytes)
                ++lastIndex;
            if (lastIndex == int(names.size())) {
                names.emplace_back(name, length);
                operators << QString::fromUtf8(bytes);
            }
            r->operatorIndex = lastIndex;
            r->clear = int(q.integer(2));
        }
        // Few commands serve a correction or a replacement: their links are read apart rather
        // than looked up for every record.
        Query links(connection, QString::fromUtf8(Statements::SettlementLinks));
        links.bind(1, records.front().rowid);
        links.bind(2, records.back().rowid);
        while (links.next())
            if (Record* linked = recordOf(links.integer(0)); linked && linked->link.isEmpty())
                linked->link = links.text(1);
    }

    std::vector<Paid> payouts;
    {
        Query q(connection, QString::fromUtf8(Statements::SettlementPayouts));
        q.bind(1, first);
        q.bind(2, last);
        while (q.next()) {
            const QString day = q.text(0);
            int d = int(days.indexOf(day));
            if (d < 0) {
                days << day;
                d = int(days.size() - 1);
            }
            const QString name = q.text(1);
            int o = int(operators.indexOf(name));
            if (o < 0) {
                operators << name;
                o = int(operators.size() - 1);
            }
            payouts.push_back({d, o, {q.text(2), q.integer(3)}});
        }
    }

    // Per day, per operator; the operator's empty name (none known) sorts first.
    const int width = int(operators.size()) + 1;
    std::vector<Row> cells(std::size_t(days.size()) * std::size_t(width));
    std::vector<bool> used(cells.size(), false);
    const auto cellOf = [&](int day, int operatorIndex) -> Row& {
        const std::size_t at =
            std::size_t(day) * std::size_t(width) + std::size_t(operatorIndex + 1);
        used[at] = true;
        return cells[at];
    };
    for (const Record& r : records) {
        Row& row = cellOf(r.day, r.operatorIndex);
        Cash::Booking booking{std::nullopt, r.amount, r.link};
        if (r.clear >= 0)
            booking.operation = r.clear ? Journal::Operation::Clear : Journal::Operation::Recharge;
        const Cash::Kind kind = Cash::KindOf(booking);
        switch (kind) {
        case Cash::Kind::Recharge:
            ++row.rechargeCount;
            row.rechargeSum += r.amount;
            break;
        case Cash::Kind::Clear:
            ++row.clearCount;
            row.clearSum += r.amount;
            break;
        case Cash::Kind::Correction:
            ++row.correctionCount;
            row.correctionSum += r.amount;
            break;
        case Cash::Kind::Replacement:
            ++row.replacementCount;
            row.replacementSum += r.amount;
            break;
        }
        addCash(row, kind, Cash::CashOf(booking));
        row.net += r.amount;
    }
    for (const Paid& p : payouts)
        addCash(cellOf(p.day, p.operatorIndex), Cash::KindOf(p.payout), Cash::CashOf(p.payout));

    QList<int> dayOrder; // a payout's day may come after the records' days
    for (int d = 0; d < days.size(); ++d)
        dayOrder << d;
    std::sort(dayOrder.begin(), dayOrder.end(), [&](int a, int b) { return days[a] < days[b]; });
    QList<int> order; // operators by name
    for (int i = 0; i < operators.size(); ++i)
        order << i;
    std::sort(order.begin(), order.end(),
              [&](int a, int b) { return operators[a] < operators[b]; });
    order.prepend(-1);

    Result result;
    for (int d : dayOrder) {
        for (int o : order) {
            const std::size_t at = std::size_t(d) * std::size_t(width) + std::size_t(o + 1);
            if (!used[at])
                continue;
            Row row = cells[at];
            row.day = days[d];
            row.operatorName = o < 0 ? UnknownOperator : operators[o];
            add(result.total, row);
            result.rows.push_back(row);
        }
    }
    return result;
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
