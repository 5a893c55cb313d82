#include "data/RecordDays.h"

#include "base/Messages.h"
#include "data/Amount.h"
#include "data/Connection.h"
#include "data/SeekRows.h"
#include "data/SqliteEngine.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <optional>
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

// A kept span and its sums.
struct KeptSpan {
    QByteArray lo, hi;
    Sums sums;
};

// Whether no record can fall in two of the spans, in order of their beginnings.
bool apart(const std::vector<KeptSpan>& spans) {
    for (std::size_t i = 1; i < spans.size(); ++i)
        if (spans[i].lo <= spans[i - 1].hi)
            return false;
    return true;
}

// The sums of the statement's current 金额 (column 1) by the reports' rule. A whole number
// goes through the desk's own rule on its digits; any other value, which a file of the current
// form can't hold, through the store's rule itself.
void addAmount(sqlite3_stmt* rows, sqlite3_stmt* rule, Sums& sums) {
    ++sums.count;
    if (sqlite3_column_type(rows, 1) == SQLITE_INTEGER) {
        char digits[24];
        const auto end =
            std::to_chars(std::begin(digits), std::end(digits), sqlite3_column_int64(rows, 1)).ptr;
        const int value =
            AmountValue(QByteArrayView(digits, end - std::begin(digits)), ReportAmountLimit);
        sums.total += value;
        sums.negative += std::min(value, 0);
        return;
    }
    sqlite3_reset(rule);
    sqlite3_bind_value(rule, 1, sqlite3_column_value(rows, 1));
    if (sqlite3_step(rule) == SQLITE_ROW) {
        sums.total += sqlite3_column_int64(rule, 0);
        sums.negative += sqlite3_column_int64(rule, 1);
    }
}

// The sums of each span, apart from one another and in order, counted in one read of every
// record in 日期 order, and after them those of every record; nothing when a span is bounded by
// a value other than a text. Only a text 日期 then falls in a span, as the store orders every
// text apart from other kinds of value.
std::optional<std::vector<Sums>> countedInOneRead(sqlite3* db, const std::vector<KeptSpan>& spans) {
    const auto notText = PrepareOwn(db, Statements::RecordDaysNotText);
    if (sqlite3_step(notText.get()) != SQLITE_ROW || sqlite3_column_int64(notText.get(), 0) != 0)
        return std::nullopt;
    const auto rows = PrepareOwn(db, Statements::RecordAmountsByDay);
    const auto rule = PrepareOwn(db, Statements::AmountByRule);
    std::vector<Sums> sums(spans.size() + 1);
    std::size_t span = 0;
    int rc;
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
        if (sqlite3_column_type(rows.get(), 0) == SQLITE_TEXT) {
            const auto* at = reinterpret_cast<const char*>(sqlite3_column_text(rows.get(), 0));
            const QByteArrayView day(at, sqlite3_column_bytes(rows.get(), 0));
            while (span < spans.size() && spans[span].hi < day)
                ++span;
            if (span < spans.size() && spans[span].lo <= day)
                addAmount(rows.get(), rule.get(), sums[span]);
        }
        addAmount(rows.get(), rule.get(), sums.back());
    }
    if (rc != SQLITE_DONE)
        throw DataError(DataFailure::Other, QString::fromUtf8(sqlite3_errmsg(db)));
    return sums;
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
    std::vector<KeptSpan> spans;
    {
        Query days(connection, QString::fromUtf8(Statements::RecordDaysInOrder));
        const auto bytes = [&](int column) {
            int length = 0;
            const char* at = days.utf8(column, &length);
            return QByteArray(at, length);
        };
        while (days.next())
            spans.push_back(
                {bytes(0), bytes(1), Sums{days.integer(2), days.integer(3), days.integer(4)}});
    }
    // A file's spans apart from one another are added up in one read of its records.
    std::optional<std::vector<Sums>> counted;
    if (connection.engine() == Engine::Sqlite && apart(spans))
        counted = countedInOneRead(connection.handle(), spans);
    // Each kept span against its records, then the count of all records: with the spans apart
    // from one another, a record outside every span shows in the second.
    qint64 newest = 0;
    if (!counted) {
        Query last(connection, QString::fromUtf8(Statements::NewestRecord));
        last.next();
        newest = last.integer(0);
    }
    qint64 kept = 0;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const Sums& want = spans[i].sums;
        const QString lo = QString::fromUtf8(spans[i].lo);
        const Sums have = counted ? (*counted)[i]
                                  : Recount(connection, lo, QString::fromUtf8(spans[i].hi), newest);
        if (want != have || want.count <= 0)
            return Messages::DayTotalsDiffer(lo, want.count, have.count);
        kept += want.count;
    }
    qint64 all = counted ? counted->back().count : 0;
    if (!counted) {
        Query count(connection, QStringLiteral("SELECT count(*) FROM employees"));
        count.next();
        all = count.integer(0);
    }
    if (all != kept)
        return Messages::RecordsOutsideDays(kept, all);
    return {};
}

} // namespace velkar::RecordDays
