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
};

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
    std::vector<Record> records;
    QStringList days;
    {
        Query q(connection, QString::fromUtf8(Statements::SettlementRecords));
        q.bind(1, from + QStringLiteral(" 00:00:00"));
        q.bind(2, to + QStringLiteral(" 23:59:59"));
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
            records.push_back({q.integer(0), q.integer(2), int(days.size() - 1)});
        }
    }
    // Records are appended in time order, so they are mostly in rowid order already.
    const auto byRowid = [](const Record& a, const Record& b) { return a.rowid < b.rowid; };
    if (!std::is_sorted(records.begin(), records.end(), byRowid))
        std::sort(records.begin(), records.end(), byRowid);

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
    }

    // Per day, per operator; the operator's empty name (none known) sorts first.
    const int width = int(operators.size()) + 1;
    std::vector<Row> cells(std::size_t(days.size()) * std::size_t(width));
    std::vector<bool> used(cells.size(), false);
    for (const Record& r : records) {
        const std::size_t at =
            std::size_t(r.day) * std::size_t(width) + std::size_t(r.operatorIndex + 1);
        Row& row = cells[at];
        used[at] = true;
        Cash::Booking booking{std::nullopt, r.amount, {}};
        if (r.clear >= 0)
            booking.operation = r.clear ? Journal::Operation::Clear : Journal::Operation::Recharge;
        const bool clear = Cash::KindOf(booking) == Cash::Kind::Clear;
        if (clear) {
            ++row.clearCount;
            row.clearSum += r.amount;
        } else {
            ++row.rechargeCount;
            row.rechargeSum += r.amount;
        }
        row.net += r.amount;
    }
    QList<int> order; // operators by name
    for (int i = 0; i < operators.size(); ++i)
        order << i;
    std::sort(order.begin(), order.end(),
              [&](int a, int b) { return operators[a] < operators[b]; });
    order.prepend(-1);

    Result result;
    for (int d = 0; d < days.size(); ++d) {
        for (int o : order) {
            const std::size_t at = std::size_t(d) * std::size_t(width) + std::size_t(o + 1);
            if (!used[at])
                continue;
            Row row = cells[at];
            row.day = days[d];
            row.operatorName = o < 0 ? UnknownOperator : operators[o];
            result.total.rechargeCount += row.rechargeCount;
            result.total.rechargeSum += row.rechargeSum;
            result.total.clearCount += row.clearCount;
            result.total.clearSum += row.clearSum;
            result.total.net += row.net;
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
            QString::number(row.net)};
}

QStringList TotalTexts(const Result& result) {
    QStringList texts = RowTexts(result.total);
    texts[0] = Messages::Total();
    return texts;
}

} // namespace Settlement

} // namespace velkar
