#include "data/Settlement.h"

#include "data/AdoConn.h"

namespace Settlement {

namespace {

// A record is a clear when its journal entry says so; one booked before the journal existed
// is taken by its sign. Amounts follow the query window's rule: more than five characters
// count 0.
const char* const SettleSql = R"sql(
SELECT day, operator,
       sum(NOT clear), sum(CASE WHEN clear THEN 0 ELSE amount END),
       sum(clear), sum(CASE WHEN clear THEN amount ELSE 0 END),
       sum(amount)
FROM (
    SELECT substr(e.日期, 1, 10) AS day,
           coalesce(j.operator, '') AS operator,
           CASE WHEN length(e.金额) <= 5 THEN e.金额 ELSE 0 END AS amount,
           CASE WHEN j.operation IS NOT NULL THEN j.operation = 'clear' ELSE e.金额 < 0 END
               AS clear
    FROM employees e
    LEFT JOIN journal j ON j.record_id = e.rowid AND j.state = 'booked'
    WHERE e.日期 >= ?1 AND e.日期 <= ?2
)
GROUP BY day, operator
ORDER BY day, operator
)sql";

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
    Query q(connection, QString::fromUtf8(SettleSql));
    q.bind(1, from + QStringLiteral(" 00:00:00"));
    q.bind(2, to + QStringLiteral(" 23:59:59"));
    Result result;
    result.total.operatorName.clear();
    while (q.next()) {
        Row row;
        row.day = q.text(0);
        row.operatorName = q.text(1).isEmpty() ? UnknownOperator : q.text(1);
        row.rechargeCount = q.integer(2);
        row.rechargeSum = q.integer(3);
        row.clearCount = q.integer(4);
        row.clearSum = q.integer(5);
        row.net = q.integer(6);
        result.total.rechargeCount += row.rechargeCount;
        result.total.rechargeSum += row.rechargeSum;
        result.total.clearCount += row.clearCount;
        result.total.clearSum += row.clearSum;
        result.total.net += row.net;
        result.rows.push_back(row);
    }
    return result;
}

QStringList ColumnHeadings() {
    return {QStringLiteral("日期"),     QStringLiteral("操作员"),   QStringLiteral("充值笔数"),
            QStringLiteral("充值金额"), QStringLiteral("清零笔数"), QStringLiteral("清零金额"),
            QStringLiteral("净额")};
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
    texts[0] = QStringLiteral("合计");
    return texts;
}

} // namespace Settlement
