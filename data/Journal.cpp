#include "data/Journal.h"

#include "base/Clock.h"
#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/Cards.h"

#include "data/Amount.h"
#include "data/Statements.h"

#include <algorithm>

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

// What the file holds under an entry's id when it is this very command (a replaced file may
// hold another command under the same number): its state, and whether a command of the card
// sent after it from the same balance was booked, which means the card's change is that one's
// (the card went to another desk) and this one never reached it. One read: it runs inside the
// ledger's lock.
struct Held {
    QString state;
    bool bookedLater = false;
};

std::optional<Held> held(const Connection& connection, const Entry& e) {
    Query q(connection, QString::fromUtf8(Statements::JournalEntryCheck));
    q.bind(1, e.id);
    bindEntry(q, e, 2);
    if (!q.next())
        return std::nullopt;
    return Held{q.text(0), q.integer(1) != 0};
}

bool changeBookedElsewhere(const Connection& connection, const Entry& e, const QString& desk) {
    Query q(connection, QString::fromUtf8(Statements::ChangeBookedElsewhere));
    q.bind(1, e.cardNo);
    q.bind(2, std::int64_t(e.balanceBefore));
    q.bind(3, std::int64_t(e.balanceExpected));
    q.bind(4, desk);
    return q.next() && q.integer(0) != 0;
}

// The trail's text of a resolution by `desk`, before and after the record it booked.
std::pair<QString, QString> AuditTextAround(const Entry& e, qint64 id, State state, int seen,
                                            const QString& desk) {
    const auto yuan = Messages::YuanText;
    QString text = Messages::JournalAuditHead(id, e.cardNo);
    text += e.operation == Operation::Clear ? Messages::ClearedFrom(yuan(e.balanceBefore))
                                            : Messages::RechargedBy(e.amount);
    text += Messages::StateAndBalanceSeen(StateText(state), yuan(seen));
    return {text, desk != e.desk ? Messages::ResolvedByDesk(desk) : QString()};
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

namespace {

// The card's count and total.
class TotalsRead {
public:
    TotalsRead(const Connection& connection, CardTotals* totals)
        : m_query(connection, Statements::CardRecordsTotal), m_totals(totals) {
        m_query.bind(1, totals->cardNo);
    }
    Query& query() { return m_query; }
    void read() {
        if (m_query.next()) {
            m_totals->count = m_query.integer(0);
            m_totals->total = m_query.integer(1);
        }
        m_totals->read = true;
    }

private:
    Query m_query;
    CardTotals* m_totals;
};

// Commits, with the card's count and total when something was booked. A file sums them inside
// the transaction, where they cost no round trip. A server sums them once the ledger's lock is
// given back, in the commit's round trip. The booking is in by then: a failed read leaves the
// totals unread rather than the booking looking undone, which would keep the desk from telling
// it.
void commitWithTotals(const Connection& connection, Transaction& transaction, bool booked,
                      CardTotals* totals) {
    if (!booked || !totals) {
        transaction.commit();
        return;
    }
    TotalsRead read(connection, totals);
    if (connection.engine() != Engine::Postgres) {
        read.read();
        transaction.commit();
        return;
    }
    transaction.commitThen(read.query());
    try {
        read.read();
    } catch (const DataError&) {
        totals->read = false;
    }
}

// Adds a booked command's record and marks the command booked with it; returns the record. On a
// server one statement also notes the card's balance seen (`*seenNoted`).
qint64 book(const Connection& connection, const Resolution& r, qint64 id, const QString& desk,
            bool* seenNoted) {
    if (connection.engine() == Engine::Postgres) {
        // Each statement is a round trip inside the ledger's lock.
        Query q(connection, Statements::BookAndResolveOnServer);
        q.bind(1, r.entry.cardNo);
        q.bind(2, r.at);
        q.bind(3, r.amountText);
        q.bind(4, std::int64_t(r.balanceSeen));
        q.bind(5, id);
        q.bind(6, desk);
        if (!q.next())
            throw DataError(DataFailure::Other, Messages::OperationFailed());
        *seenNoted = true;
        return q.integer(0);
    }
    Query record(connection, QString::fromUtf8(Statements::BookRecord));
    record.bind(1, r.entry.cardNo);
    record.bind(2, r.at);
    record.bind(3, r.amountText);
    record.next();
    const qint64 recordId = record.integer(0);
    Query mark(connection, QString::fromUtf8(Statements::ResolveJournalEntry));
    mark.bind(1, StateName(State::Booked));
    mark.bind(2, r.at);
    mark.bind(3, std::int64_t(r.balanceSeen));
    mark.bind(4, recordId);
    mark.bind(5, id);
    mark.next();
    return recordId;
}

// Resolves one entry inside the caller's write transaction.
Settled settleOne(const Connection& connection, const Resolution& r, const QString& resolvingDesk,
                  bool* seenNoted) {
    const Entry& entry = r.entry;
    Settled settled;
    settled.state = r.state;
    qint64 id = entry.id;
    const QString desk = resolvingDesk.isEmpty() ? entry.desk : resolvingDesk;
    if (const auto stored = id != 0 ? held(connection, entry) : std::nullopt) {
        if (stored->state != StateName(State::Pending)) {
            settled.how = Resolved::Before;
            settled.state = StateFromName(stored->state).value_or(State::Pending);
            return settled;
        }
        if (settled.state == State::Booked && stored->bookedLater)
            settled.state = State::NotExecuted;
    } else {
        // A change taken for a command carried out on a card swapped in is known by the
        // balances alone. Another desk that met the card since and booked that very change
        // knows it by its own card: the change is that desk's.
        if (r.sentAs != 0 && settled.state == State::Booked &&
            changeBookedElsewhere(connection, entry, desk))
            settled.state = State::NotExecuted;
        id = Add(connection, entry);
        if (r.sentAs != 0) {
            Query link(connection, QString::fromUtf8(Statements::CopyJournalLink));
            link.bind(1, id);
            link.bind(2, r.sentAs);
            link.next();
        }
    }
    if (settled.state == State::Booked) {
        settled.recordId = book(connection, r, id, desk, seenNoted);
    } else {
        Query mark(connection, QString::fromUtf8(Statements::ResolveJournalEntry));
        mark.bind(1, StateName(settled.state));
        mark.bind(2, r.at);
        mark.bind(3, std::int64_t(r.balanceSeen));
        mark.bind(5, id);
        mark.next();
    }
    const auto [head, tail] = AuditTextAround(entry, id, settled.state, r.balanceSeen, desk);
    const QString text =
        head + (settled.recordId ? Messages::BookedAs(*settled.recordId) : QString()) + tail;
    Audit::Add(connection, entry.operatorName, desk,
               settled.state == State::Mismatch ? Audit::Mismatch : Audit::Command, text,
               TimestampFromText(r.at));
    return settled;
}

void requireSameFile(const Connection& connection) {
    // A restore may have put another file in place while this one waited for its lock.
    if (connection.moved())
        throw DataError(DataFailure::FileReplaced, Messages::DatabaseFileReplaced());
}

// A server books one pending command the reader carried out in one round trip: the check, the
// booking and its trail entry in one statement sent with the commit. Nothing when that statement
// left the command alone (resolved meanwhile, explained by a later command, or not in the
// ledger): the general way settles it then, under the lock again.
std::optional<Settled> bookAtOnce(const Connection& connection,
                                  const std::vector<Resolution>& resolutions,
                                  const QString& resolvingDesk, CardTotals* totals) {
    if (connection.engine() != Engine::Postgres || resolutions.size() != 1)
        return std::nullopt;
    const Resolution& r = resolutions.front();
    const Entry& e = r.entry;
    if (r.state != State::Booked || e.id == 0)
        return std::nullopt;
    const QString desk = resolvingDesk.isEmpty() ? e.desk : resolvingDesk;
    const auto [head, tail] = AuditTextAround(e, e.id, State::Booked, r.balanceSeen, desk);
    const auto [before, after] = Messages::BookedAsAround();
    Transaction transaction(connection, Transaction::WriteWithFirst);
    requireSameFile(connection);
    Query book(connection, Statements::BookCheckedOnServer);
    book.bind(1, e.cardNo);
    book.bind(2, r.at);
    book.bind(3, r.amountText);
    book.bind(4, std::int64_t(r.balanceSeen));
    book.bind(5, e.id);
    book.bind(6, desk);
    book.bind(7, OperationName(e.operation));
    book.bind(8, std::int64_t(e.amount));
    book.bind(9, std::int64_t(e.balanceBefore));
    book.bind(10, std::int64_t(e.balanceExpected));
    book.bind(11, e.operatorName);
    book.bind(12, e.desk);
    book.bind(13, e.sentAt);
    book.bind(14, Audit::TimeText(TimestampFromText(r.at)));
    book.bind(15, Audit::Command);
    book.bind(16, head + before);
    book.bind(17, after + tail);
    CardTotals unwanted{e.cardNo};
    CardTotals* const into = totals ? totals : &unwanted;
    TotalsRead read(connection, into);
    if (!transaction.commitAfter(book, read.query()) || !book.next() || book.isNull(2))
        return std::nullopt;
    Settled settled;
    settled.recordId = book.integer(2);
    try {
        read.read();
    } catch (const DataError&) {
        into->read = false; // the booking stands
    }
    return settled;
}

QString amountText(const Entry& e) {
    return BookedAmountText(e.operation == Operation::Clear, e.amount);
}

} // namespace

void ReadCardTotals(const Connection& connection, CardTotals* totals) {
    TotalsRead(connection, totals).read();
}

std::vector<Settled> Settle(const Connection& connection,
                            const std::vector<Resolution>& resolutions,
                            const QString& resolvingDesk, CardTotals* totals) {
    if (auto once = bookAtOnce(connection, resolutions, resolvingDesk, totals))
        return {*once};
    std::vector<Settled> outcomes;
    Transaction transaction(connection, Transaction::WriteWithFirst);
    requireSameFile(connection);
    bool booked = false;
    bool seenNoted = false;
    for (const Resolution& r : resolutions) {
        outcomes.push_back(settleOne(connection, r, resolvingDesk, &seenNoted));
        booked = booked || (outcomes.back().how == Resolved::Now && outcomes.back().recordId);
    }
    for (std::size_t i = 0; i < resolutions.size() && !seenNoted; ++i)
        if (outcomes[i].how == Resolved::Now && outcomes[i].recordId) {
            const Resolution& r = resolutions[i];
            Cards::Seen(connection, r.entry.cardNo, r.balanceSeen, r.at,
                        resolvingDesk.isEmpty() ? r.entry.desk : resolvingDesk);
        }
    commitWithTotals(connection, transaction, booked, totals);
    return outcomes;
}

std::vector<Resolved> Resolve(const Connection& connection,
                              const std::vector<Resolution>& resolutions) {
    std::vector<Resolved> outcomes;
    for (const Settled& s : Settle(connection, resolutions))
        outcomes.push_back(s.how);
    return outcomes;
}

std::vector<Entry> ResolveWaiting(const Connection& connection, const QString& cardNo, int seen,
                                  const std::vector<qint64>& held, const QString& at,
                                  const QString& resolvingDesk, CardTotals* totals,
                                  Arrival* arrival) {
    Transaction transaction(connection, Transaction::WriteWithFirst);
    requireSameFile(connection);
    std::vector<Entry> waiting;
    {
        Query q(connection, QString::fromUtf8(Statements::PendingJournalEntriesOfCard));
        q.bind(1, cardNo);
        while (q.next()) {
            Entry e = read(q);
            if (std::find(held.begin(), held.end(), e.id) == held.end())
                waiting.push_back(std::move(e));
        }
    }
    // Newest first, the balance walked back: a newer command that explains what the card shows
    // leaves its balance before to explain the older ones.
    int target = seen;
    std::vector<Resolution> resolutions(waiting.size());
    for (std::size_t i = waiting.size(); i-- > 0;) {
        const Entry& e = waiting[i];
        State state = State::Mismatch;
        if (e.balanceExpected == target && e.balanceExpected != e.balanceBefore) {
            state = State::Booked;
            target = e.balanceBefore;
        } else if (e.balanceBefore == target) {
            // A lookup that waited on the ledger may run on a report older than a command sent
            // after the card went on elsewhere (another desk, or another run of this one at the
            // same time): the balance before proves nothing then, and the command waits for a
            // later report. Includes a clear of an empty card. This desk's earlier runs ended
            // before the report, however close in time.
            const bool elsewhere =
                e.desk != resolvingDesk ||
                (arrival && !arrival->runStartedAt.isEmpty() && e.sentAt > arrival->runStartedAt);
            const bool newer = elsewhere && e.sentAt >= at;
            state = newer ? State::Pending : State::NotExecuted;
        }
        resolutions[i] = {e, state, seen, at, amountText(e)};
    }
    std::vector<Entry> done;
    bool booked = false;
    bool seenNoted = false; // written again below, for the card whatever was booked
    for (const Resolution& r : resolutions) {
        if (r.state == State::Pending)
            continue;
        const Settled s = settleOne(connection, r, resolvingDesk, &seenNoted);
        if (s.how != Resolved::Now)
            continue;
        booked = booked || s.recordId;
        Entry e = r.entry;
        e.state = s.state;
        e.resolvedAt = at;
        e.balanceSeen = seen;
        e.recordId = s.recordId;
        done.push_back(std::move(e));
    }
    Cards::Seen(connection, cardNo, seen, at, resolvingDesk);
    const auto card = Cards::Find(connection, cardNo);
    if (arrival && card && card->state == Cards::State::Lost) {
        arrival->lost = true;
        Audit::Append(connection, arrival->account, resolvingDesk, Audit::LostCardSighted,
                      Messages::LostSightedDetails(cardNo, seen), TimestampFromText(at));
    }
    commitWithTotals(connection, transaction, booked, totals);
    return done;
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
    const auto yuan = Messages::YuanText;
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
