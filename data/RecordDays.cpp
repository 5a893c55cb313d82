#include "data/RecordDays.h"

#include "base/Messages.h"
#include "data/Connection.h"
#include "data/SeekRows.h"

#include <algorithm>
#include <vector>

namespace velkar::RecordDays {

namespace {

// A day's records in the range, or part of a day's at the range's ends.
struct Span {
    QString lo, hi;
    qsizetype first = 0; // the index of its first record in the range
    qsizetype count = 0;
};

// Texts compared as the store compares them, byte by byte in UTF-8.
QByteArray key(const QString& text) {
    return text.toUtf8();
}

} // namespace

Sums Recount(const Connection& connection, const QString& start, const QString& end,
             qint64 newest) {
    Query total(connection, Statements::RecordsBetweenTotal);
    total.bind(1, start);
    total.bind(2, end);
    total.bind(3, std::int64_t(newest));
    total.next();
    return {total.integer(0), total.integer(1), total.integer(2)};
}

Range Read(std::shared_ptr<const Connection> connection, const QString& start, const QString& end,
           qint64 newest) {
    auto spans = std::make_shared<std::vector<Span>>();
    Range range;
    {
        Query days(*connection, QString::fromUtf8(Statements::RecordDaysBetween));
        days.bind(1, start);
        days.bind(2, end);
        // Fewer characters than the ten that name a day still bound it from below.
        days.bind(3, start.left(10));
        const QByteArray from = key(start), to = key(end);
        std::vector<Span> partial;
        while (days.next()) {
            Span span{days.text(0), days.text(1), 0, days.integer(2)};
            if (key(span.lo) >= from && key(span.hi) <= to) {
                range.sums.count += days.integer(2);
                range.sums.total += days.integer(3);
                range.sums.negative += days.integer(4);
            } else {
                // A day the range cuts: its part is counted from its records.
                if (key(span.lo) < from)
                    span.lo = start;
                if (key(span.hi) > to)
                    span.hi = end;
                span.count = -1;
            }
            spans->push_back(span);
        }
        for (Span& span : *spans) {
            if (span.count >= 0)
                continue;
            const Sums part = Recount(*connection, span.lo, span.hi, newest);
            span.count = part.count;
            range.sums.count += part.count;
            range.sums.total += part.total;
            range.sums.negative += part.negative;
        }
    }
    std::erase_if(*spans, [](const Span& span) { return span.count <= 0; });
    qsizetype first = 0;
    for (Span& span : *spans) {
        span.first = first;
        first += span.count;
    }
    // A position is found by the days' counts, then a seek inside one day.
    auto seek = std::make_shared<std::unique_ptr<Query>>();
    const std::weak_ptr<const Connection> on = connection;
    SeekRows::Locate locate = [spans, seek, on, newest](qsizetype row) {
        const auto after =
            std::upper_bound(spans->begin(), spans->end(), row,
                             [](qsizetype r, const Span& span) { return r < span.first; });
        const Span& span = *(after - 1);
        const std::shared_ptr<const Connection> connection = on.lock();
        if (!*seek)
            *seek = std::make_unique<Query>(*connection,
                                            QString::fromUtf8(Statements::RecordPositionBetween));
        Query& q = **seek;
        q.reset();
        q.bind(1, span.lo);
        q.bind(2, span.hi);
        q.bind(3, std::int64_t(newest));
        q.bind(4, std::int64_t(row - span.first));
        return SeekRows::FirstPosition(q);
    };
    range.rows = std::make_shared<SeekRows>(
        connection, first, Statements::RecordBlockBetween,
        std::vector<SeekRows::Parameter>{start, end, std::int64_t(newest)}, std::move(locate));
    return range;
}

QString Disagreement(const Connection& connection) {
    // Each kept span against its records, then the count of all records: with the spans apart
    // from one another, a record outside every span shows in the second.
    Query newest(connection, QString::fromUtf8(Statements::NewestRecord));
    newest.next();
    const qint64 last = newest.integer(0);
    Query days(
        connection,
        QStringLiteral("SELECT lo, hi, count, total, negative FROM record_days ORDER BY lo"));
    qint64 kept = 0;
    while (days.next()) {
        const Sums want{days.integer(2), days.integer(3), days.integer(4)};
        const Sums have = Recount(connection, days.text(0), days.text(1), last);
        if (want != have || want.count <= 0)
            return Messages::DayTotalsDiffer(days.text(0), want.count, have.count);
        kept += want.count;
    }
    Query all(connection, QStringLiteral("SELECT count(*) FROM employees"));
    all.next();
    if (all.integer(0) != kept)
        return Messages::RecordsOutsideDays(kept, all.integer(0));
    return {};
}

} // namespace velkar::RecordDays
