#include "data/Shift.h"

#include "base/Clock.h"
#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/Audit.h"

#include <QRegularExpression>

namespace velkar {

namespace Shifts {

namespace {

const QString Q(const char* sql) {
    return QString::fromUtf8(sql);
}

std::optional<qint64> optionalInteger(const Query& q, int column) {
    if (q.isNull(column))
        return std::nullopt;
    return q.integer(column);
}

Shift read(const Query& q) {
    Shift s;
    s.id = q.integer(0);
    s.desk = q.text(1);
    s.operatorName = q.text(2);
    s.openedAt = q.text(3);
    s.firstRecord = q.integer(4);
    s.closedAt = q.isNull(5) ? QString() : q.text(5);
    s.closedBy = q.isNull(6) ? QString() : q.text(6);
    s.lastRecord = q.isNull(7) ? 0 : q.integer(7);
    s.z = optionalInteger(q, 8);
    s.expected = optionalInteger(q, 9);
    s.counted = optionalInteger(q, 10);
    s.seal = q.isNull(11) ? QString() : q.text(11);
    s.auditId = q.isNull(12) ? 0 : q.integer(12);
    s.cashFloat = q.isNull(13) ? 0 : q.integer(13);
    s.firstPaid = q.integer(14);
    s.lastPaid = q.isNull(15) ? 0 : q.integer(15);
    return s;
}

std::optional<Shift> readOne(Query& q) {
    if (!q.next())
        return std::nullopt;
    return read(q);
}

qint64 newestRecord(const Connection& connection) {
    Query q(connection, Q(Statements::NewestRecord));
    return q.next() ? q.integer(0) : 0;
}

qint64 newestPayout(const Connection& connection) {
    Query q(connection, Q(Statements::NewestPayout));
    return q.next() ? q.integer(0) : 0;
}

std::vector<KindTotal> emptyTotals() {
    std::vector<KindTotal> totals;
    for (const Cash::KindRule& rule : Cash::Kinds())
        totals.push_back({rule.kind, 0, 0, 0});
    return totals;
}

KindTotal& totalOf(std::vector<KindTotal>& totals, Cash::Kind kind) {
    for (KindTotal& t : totals)
        if (t.kind == kind)
            return t;
    totals.push_back({kind, 0, 0, 0});
    return totals.back();
}

// The shift's bookings and its desk's payouts, as the shift stands up to its last record and
// payout, counted by the cash rule.
std::vector<KindTotal> figure(const Connection& connection, const Shift& shift) {
    std::vector<KindTotal> totals = emptyTotals();
    {
        Query q(connection, Q(Statements::ShiftBookings));
        q.bind(1, shift.desk);
        q.bind(2, shift.firstRecord);
        q.bind(3, shift.lastRecord);
        while (q.next()) {
            const Cash::Booking booking{q.text(0) ==
                                                Journal::OperationName(Journal::Operation::Clear)
                                            ? Journal::Operation::Clear
                                            : Journal::Operation::Recharge,
                                        q.integer(1), q.text(2)};
            KindTotal& t = totalOf(totals, Cash::KindOf(booking));
            ++t.count;
            t.amount += booking.amount;
            t.cash += Cash::CashOf(booking);
        }
    }
    Query q(connection, Q(Statements::ShiftPayouts));
    q.bind(1, shift.desk);
    q.bind(2, shift.firstPaid);
    q.bind(3, shift.lastPaid);
    while (q.next()) {
        const Cash::Payout payout{q.text(0), q.integer(1)};
        totalOf(totals, Cash::KindOf(payout)).cash += Cash::CashOf(payout);
    }
    return totals;
}

qint64 cashOf(const std::vector<KindTotal>& totals) {
    qint64 cash = 0;
    for (const KindTotal& t : totals)
        cash += t.cash;
    return cash;
}

std::vector<KindTotal> keptTotals(const Connection& connection, qint64 id) {
    std::vector<KindTotal> totals = emptyTotals();
    Query q(connection, Q(Statements::ShiftTotals));
    q.bind(1, id);
    while (q.next()) {
        const std::optional<Cash::Kind> kind = Cash::KindFromKey(q.text(0));
        if (!kind)
            continue; // a kind this program does not know counts in no line of its own
        KindTotal& t = totalOf(totals, *kind);
        t.count = q.integer(1);
        t.amount = q.integer(2);
        t.cash = q.integer(3);
    }
    return totals;
}

// Where the desk's latest closed shift ended, and the float it left.
struct Ended {
    qint64 lastRecord = 0;
    qint64 cashFloat = 0;
    qint64 lastPaid = 0;
};

std::optional<Ended> lastClosed(const Connection& connection, const QString& desk) {
    Query last(connection, Q(Statements::LastClosedOfDesk));
    last.bind(1, desk);
    if (!last.next() || last.isNull(0))
        return std::nullopt;
    return Ended{last.integer(0), last.isNull(1) ? 0 : last.integer(1),
                 last.isNull(2) ? 0 : last.integer(2)};
}

void addFigures(const Connection& connection, Shift& shift) {
    if (shift.isOpen()) {
        if (const auto last = lastClosed(connection, shift.desk))
            shift.cashFloat = last->cashFloat;
        shift.lastRecord = newestRecord(connection);
        shift.lastPaid = newestPayout(connection);
        shift.totals = figure(connection, shift);
        shift.expected = cashOf(shift.totals);
    } else {
        shift.totals = keptTotals(connection, shift.id);
    }
}

QString totalsText(const std::vector<KindTotal>& totals) {
    QStringList parts;
    for (const KindTotal& t : totals)
        parts << Messages::KindCountAndSum(Cash::KindText(t.kind), t.count, t.amount);
    return parts.join(QStringLiteral("，"));
}

} // namespace

std::optional<qint64> Shift::drawer() const {
    if (!expected)
        return std::nullopt;
    return cashFloat + *expected;
}

std::optional<qint64> Shift::difference() const {
    if (!counted || !expected)
        return std::nullopt;
    return *counted - *drawer();
}

qint64 Shift::bookings() const {
    qint64 count = 0;
    for (const KindTotal& t : totals)
        count += t.count;
    return count;
}

QString SealOf(const QString& hash) {
    return hash.left(16);
}

bool IsSealText(const QString& text) {
    static const QRegularExpression seal(QStringLiteral("^[0-9a-fA-F]{16}$"));
    return seal.match(text).hasMatch();
}

std::optional<Shift> Find(const Connection& connection, qint64 id) {
    Query q(connection, Q(Statements::ShiftById));
    q.bind(1, id);
    return readOne(q);
}

std::optional<Shift> OpenShiftOf(const Connection& connection, const QString& desk) {
    Query q(connection, Q(Statements::OpenShiftOfDesk));
    q.bind(1, desk);
    return readOne(q);
}

std::optional<Shift> WithFigures(const Connection& connection, qint64 id) {
    const Transaction snapshot(connection, Transaction::Read);
    std::optional<Shift> shift = Find(connection, id);
    if (shift)
        addFigures(connection, *shift);
    return shift;
}

Begun Begin(const Connection& connection, const QString& desk, const QString& operatorName,
            const QDateTime& at) {
    Transaction write(connection, Transaction::Write);
    Begun begun;
    const QString when = TimestampText(at);
    if (std::optional<Shift> open = OpenShiftOf(connection, desk)) {
        if (open->operatorName == operatorName) {
            begun.shift = *open;
            begun.resumed = true;
            write.commit();
            return begun;
        }
        bool bookedSince = false;
        {
            Query booked(connection, Q(Statements::DeskBookedSince));
            booked.bind(1, desk);
            booked.bind(2, open->firstRecord);
            bookedSince = booked.next();
        }
        if (bookedSince) {
            begun.leftOpen = *open;
            write.commit();
            return begun;
        }
        // Nothing moved since the drawer was last counted: the new operator carries on with it.
        Query take(connection, Q(Statements::TakeOverShift));
        take.bind(1, operatorName);
        take.bind(2, when);
        take.bind(3, open->id);
        take.next();
        Audit::Append(connection, operatorName, desk, Audit::ShiftOpened,
                      Messages::ShiftTakenOver(open->id, open->operatorName), at);
        begun.shift = *Find(connection, open->id);
        write.commit();
        return begun;
    }
    // A desk's first shift counts from now on, not the history before shifts were kept.
    const auto last = lastClosed(connection, desk);
    const qint64 first = last ? last->lastRecord : newestRecord(connection);
    const qint64 firstPaid = last ? last->lastPaid : newestPayout(connection);
    qint64 id = 0;
    {
        Query add(connection, Q(Statements::AddShift));
        add.bind(1, desk);
        add.bind(2, operatorName);
        add.bind(3, when);
        add.bind(4, first);
        add.bind(5, firstPaid);
        add.next();
        id = add.integer(0);
    }
    Audit::Append(connection, operatorName, desk, Audit::ShiftOpened, Messages::ShiftNumber(id),
                  at);
    begun.shift = *Find(connection, id);
    write.commit();
    return begun;
}

Shift Close(const Connection& connection, const Closing& closing) {
    Transaction write(connection, Transaction::Write);
    std::optional<Shift> found = Find(connection, closing.shiftId);
    if (!found)
        throw DataError(DataFailure::Other, Messages::ShiftMissing(closing.shiftId));
    Shift shift = *found;
    if (!shift.isOpen())
        throw DataError(DataFailure::Other, Messages::ShiftClosedAlready(shift.id, *shift.z));
    shift.closedAt = TimestampText(closing.at);
    shift.closedBy = closing.closedBy;
    shift.lastRecord = newestRecord(connection);
    shift.lastPaid = newestPayout(connection);
    shift.totals = figure(connection, shift);
    shift.expected = cashOf(shift.totals);
    shift.cashFloat = closing.cashFloat;
    shift.counted = closing.counted;
    {
        Query given(connection, Q(Statements::GivenZNumber));
        given.bind(1, shift.desk);
        shift.z = std::max<qint64>(given.next() ? given.integer(0) : 0, closing.lowestZ) + 1;
    }
    Query raise(connection, Q(Statements::RaiseZNumber));
    raise.bind(1, shift.desk);
    raise.bind(2, *shift.z);
    raise.next();

    const QString desk = closing.desk.isEmpty() ? shift.desk : closing.desk;
    const QString expected = Cash::YuanText(*shift.expected);
    const QString cashFloat = Cash::YuanText(shift.cashFloat);
    const QString drawer = Cash::YuanText(*shift.drawer());
    Audit::Append(connection, closing.closedBy, desk, Audit::CashCounted,
                  shift.counted
                      ? Messages::CashCountedText(shift.id, cashFloat, expected, drawer,
                                                  Cash::YuanText(*shift.counted),
                                                  Cash::YuanText(*shift.difference()))
                      : Messages::CashNotCountedText(shift.id, cashFloat, expected, drawer),
                  closing.at);
    shift.auditId =
        Audit::Append(connection, closing.closedBy, desk, Audit::ShiftClosed,
                      Messages::ShiftClosedText(*shift.z, shift.id, shift.desk, shift.operatorName,
                                                shift.openedAt, shift.closedAt,
                                                totalsText(shift.totals), expected),
                      closing.at);
    {
        Query head(connection, Q(Statements::AuditHead));
        if (!head.next() || head.integer(0) != shift.auditId)
            throw DataError(DataFailure::Other, Messages::ShiftSealUnreadable());
        shift.seal = SealOf(head.text(1));
    }
    Query close(connection, Q(Statements::CloseShift));
    close.bind(1, shift.closedAt);
    close.bind(2, shift.closedBy);
    close.bind(3, shift.lastRecord);
    close.bind(4, *shift.z);
    close.bind(5, *shift.expected);
    if (shift.counted)
        close.bind(6, *shift.counted);
    close.bind(7, shift.seal);
    close.bind(8, shift.auditId);
    close.bind(9, shift.cashFloat);
    close.bind(10, shift.lastPaid);
    close.bind(11, shift.id);
    close.next();
    for (const KindTotal& t : shift.totals) {
        Query add(connection, Q(Statements::AddShiftTotal));
        add.bind(1, shift.id);
        add.bind(2, QString::fromLatin1(Cash::RuleOf(t.kind).key));
        add.bind(3, t.count);
        add.bind(4, t.amount);
        add.bind(5, t.cash);
        add.next();
    }
    write.commit();
    return shift;
}

std::vector<Shift> List(const Connection& connection, const QString& from, const QString& to) {
    const Transaction snapshot(connection, Transaction::Read);
    std::vector<Shift> shifts;
    {
        Query q(connection, Q(Statements::ShiftsBetween));
        q.bind(1, from + QStringLiteral(" 00:00:00"));
        q.bind(2, to + QStringLiteral(" 23:59:59"));
        while (q.next())
            shifts.push_back(read(q));
    }
    for (Shift& shift : shifts)
        addFigures(connection, shift);
    return shifts;
}

void CarryNumbers(const Connection& from, const Connection& to) {
    std::vector<std::pair<QString, qint64>> given;
    {
        Query q(from, Q(Statements::GivenZNumbers));
        while (q.next())
            given.emplace_back(q.text(0), q.integer(1));
    }
    Transaction write(to, Transaction::Write);
    for (const auto& [desk, z] : given) {
        Query raise(to, Q(Statements::RaiseZNumber));
        raise.bind(1, desk);
        raise.bind(2, z);
        raise.next();
    }
    write.commit();
}

QString CarryNumbers(const QString& fromPath, const QString& toPath, int lockTimeoutMs) {
    QString problem;
    // A file from before shifts were kept has given none.
    if (Schema::FileVersion(fromPath, &problem) < 5)
        return problem;
    try {
        const Connection from(fromPath, lockTimeoutMs);
        const Connection to(toPath, lockTimeoutMs);
        CarryNumbers(from, to);
        return {};
    } catch (const DataError& e) {
        return e.description();
    }
}

SealFinding FindSeal(const Connection& connection, const QString& seal) {
    const Transaction snapshot(connection, Transaction::Read);
    SealFinding finding;
    {
        Query q(connection, Q(Statements::AuditEntriesBySeal));
        q.bind(1, seal.toLower());
        if (q.next()) {
            finding.found = true;
            finding.auditId = q.integer(0);
        }
    }
    {
        Query head(connection, Q(Statements::AuditHead));
        if (head.next())
            finding.headId = head.integer(0);
    }
    // Last: a file from before shifts were kept has a trail, but no shift to name.
    try {
        Query shift(connection, Q(Statements::ShiftBySeal));
        shift.bind(1, seal.toLower());
        finding.shift = readOne(shift);
    } catch (const DataError&) {
    }
    return finding;
}

QStringList ColumnHeadings() {
    return Messages::ShiftHeadings();
}

QStringList RowTexts(const Shift& s) {
    const auto money = [](const std::optional<qint64>& tenths) {
        return tenths ? Cash::YuanText(*tenths) : QString();
    };
    return {s.desk,
            s.z ? QString::number(*s.z) : QString(),
            s.operatorName,
            s.openedAt,
            s.isOpen() ? Messages::ShiftStillOpen() : s.closedAt,
            QString::number(s.bookings()),
            money(s.drawer()),
            s.isOpen() ? QString() : (s.counted ? money(s.counted) : Messages::NotCounted()),
            money(s.difference()),
            s.seal};
}

} // namespace Shifts

} // namespace velkar
