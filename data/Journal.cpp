#include "data/Journal.h"

#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/Audit.h"

#include <sqlite3.h>

namespace velkar {

namespace Journal {

namespace {

struct StateKey {
    State state;
    const char* name;
};
const StateKey States[] = {
    {State::Pending, "pending"},
    {State::Booked, "booked"},
    {State::NotExecuted, "not_executed"},
    {State::Mismatch, "mismatch"},
};

Entry read(const Query& q) {
    Entry e;
    e.id = q.integer(0);
    e.cardNo = q.text(1);
    e.operation = q.text(2) == QLatin1String("clear") ? Operation::Clear : Operation::Recharge;
    e.amount = int(q.integer(3));
    e.balanceBefore = int(q.integer(4));
    e.balanceExpected = int(q.integer(5));
    e.operatorName = q.text(6);
    e.desk = q.text(7);
    e.sentAt = q.text(8);
    e.state = StateFromName(q.text(9)).value_or(State::Pending);
    e.resolvedAt = q.isNull(10) ? QString() : q.text(10);
    if (!q.isNull(11))
        e.balanceSeen = int(q.integer(11));
    if (!q.isNull(12))
        e.recordId = q.integer(12);
    return e;
}

std::vector<Entry> readAll(Query& q) {
    std::vector<Entry> entries;
    while (q.next())
        entries.push_back(read(q));
    return entries;
}

void bindEntry(Query& q, const Entry& e, int first) {
    q.bind(first, e.cardNo);
    q.bind(first + 1, OperationName(e.operation));
    q.bind(first + 2, std::int64_t(e.amount));
    q.bind(first + 3, std::int64_t(e.balanceBefore));
    q.bind(first + 4, std::int64_t(e.balanceExpected));
    q.bind(first + 5, e.operatorName);
    q.bind(first + 6, e.desk);
    q.bind(first + 7, e.sentAt);
}

// Whether the file holds this very command under its id: a replaced file may hold another
// command under the same number.
bool holds(const Connection& connection, const Entry& e, QString* state) {
    Query q(connection, QString::fromUtf8(Statements::JournalEntryState));
    q.bind(1, e.id);
    bindEntry(q, e, 2);
    if (!q.next())
        return false;
    *state = q.text(0);
    return true;
}

const QString TimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString AuditText(const Entry& e, qint64 id, const Resolution& r, std::optional<qint64> record) {
    const auto yuan = [](int tenths) {
        return QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10);
    };
    QString text = Messages::JournalAuditHead(id, e.cardNo);
    text += e.operation == Operation::Clear ? Messages::ClearedFrom(yuan(e.balanceBefore))
                                            : Messages::RechargedBy(e.amount);
    text += Messages::StateAndBalanceSeen(StateText(r.state), yuan(r.balanceSeen));
    if (record)
        text += Messages::BookedAs(*record);
    return text;
}

} // namespace

QString StateName(State state) {
    for (const StateKey& s : States)
        if (s.state == state)
            return QString::fromLatin1(s.name);
    return {};
}

std::optional<State> StateFromName(const QString& name) {
    for (const StateKey& s : States)
        if (name == QLatin1String(s.name))
            return s.state;
    return std::nullopt;
}

QString OperationName(Operation operation) {
    return operation == Operation::Clear ? QStringLiteral("clear") : QStringLiteral("recharge");
}

qint64 Add(const Connection& connection, const Entry& entry) {
    Query q(connection, QString::fromUtf8(Statements::AddJournalEntry));
    bindEntry(q, entry, 1);
    q.next();
    return q.integer(0);
}

std::vector<Resolved> Resolve(const Connection& connection,
                              const std::vector<Resolution>& resolutions) {
    std::vector<Resolved> outcomes;
    Transaction transaction(connection, Transaction::Write);
    {
        // A restore may have put another file in place while this one waited for its lock.
        if (connection.moved())
            throw DataError(SQLITE_CANTOPEN, Messages::DatabaseFileReplaced());
        for (const Resolution& r : resolutions) {
            const Entry& entry = r.entry;
            QString stored;
            qint64 id = entry.id;
            if (id != 0 && holds(connection, entry, &stored)) {
                if (stored != StateName(State::Pending)) {
                    outcomes.push_back(Resolved::Before);
                    continue;
                }
            } else {
                id = Add(connection, entry);
            }
            std::optional<qint64> record;
            if (r.state == State::Booked) {
                Query book(connection, QString::fromUtf8(Statements::BookRecord));
                book.bind(1, entry.cardNo);
                book.bind(2, r.at);
                book.bind(3, r.amountText);
                book.next();
                record = book.integer(0);
                book.reset();
            }
            Query mark(connection, QString::fromUtf8(Statements::ResolveJournalEntry));
            mark.bind(1, StateName(r.state));
            mark.bind(2, r.at);
            mark.bind(3, std::int64_t(r.balanceSeen));
            if (record)
                mark.bind(4, *record);
            mark.bind(5, id);
            mark.next();
            Audit::Append(connection, entry.operatorName, entry.desk,
                          r.state == State::Mismatch ? Audit::Mismatch : Audit::Command,
                          AuditText(entry, id, r, record), QDateTime::fromString(r.at, TimeFormat));
            outcomes.push_back(Resolved::Now);
        }
    }
    transaction.commit();
    return outcomes;
}

QStringList ColumnHeadings() {
    return Messages::JournalHeadings();
}

QString StateText(State state) {
    switch (state) {
    case State::Pending:
        return Messages::StatePending();
    case State::Booked:
        return Messages::StateBooked();
    case State::NotExecuted:
        return Messages::StateNotExecuted();
    case State::Mismatch:
        return Messages::StateMismatch();
    }
    return {};
}

QStringList RowTexts(const Entry& e) {
    const auto yuan = [](int tenths) {
        return QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10);
    };
    return {QString::number(e.id),
            e.cardNo,
            e.operation == Operation::Clear ? Messages::ClearWord() : Messages::RechargeWord(),
            QString::number(e.amount),
            yuan(e.balanceBefore),
            yuan(e.balanceExpected),
            e.operatorName,
            e.desk,
            e.sentAt,
            StateText(e.state),
            e.resolvedAt,
            e.balanceSeen ? yuan(*e.balanceSeen) : QString()};
}

std::vector<Entry> Pending(const Connection& connection) {
    Query q(connection, QString::fromUtf8(Statements::PendingJournalEntries));
    return readAll(q);
}

std::vector<Entry> List(const Connection& connection, std::optional<State> state, int limit) {
    QString sql = QString::fromUtf8(Statements::JournalEntries);
    if (state)
        sql += QStringLiteral(" WHERE state = ?");
    sql += QStringLiteral(" ORDER BY id DESC");
    if (limit > 0)
        sql += QStringLiteral(" LIMIT %1").arg(limit);
    Query q(connection, sql);
    if (state)
        q.bind(1, StateName(*state));
    return readAll(q);
}

} // namespace Journal

} // namespace velkar
