#pragma once

#include "data/CashRule.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace velkar {

class Connection;

// A desk's shifts (班次): from an operator's login to 交班, when the drawer's cash is counted
// against what the shift's bookings moved and the shift gets its desk's next Z number. A desk
// has at most one open shift; its next one starts where its last closed one ended, so each
// booking of a desk's commands falls into exactly one of its shifts.
namespace Shifts {

struct KindTotal {
    Cash::Kind kind = Cash::Kind::Recharge;
    qint64 count = 0;
    qint64 amount = 0; // whole yuan, signed as booked
    qint64 cash = 0;   // tenths, its payouts included
};

struct Shift {
    qint64 id = 0;
    QString desk;
    QString operatorName;
    QString openedAt;       // timestamp text
    qint64 firstRecord = 0; // its bookings' records lie after this one
    QString closedAt;       // empty while open
    QString closedBy;
    qint64 lastRecord = 0; // up to this one, once closed
    qint64 firstPaid = 0;  // its desk's cash payouts after this one (cash_paid)
    qint64 lastPaid = 0;   // up to this one, once closed
    std::optional<qint64> z;
    std::optional<qint64> expected; // tenths: the cash its bookings and payouts moved
    qint64 cashFloat = 0;           // tenths: the change the drawer held besides (备用金)
    std::optional<qint64> counted;  // tenths: all the drawer held; none: closed without a count
    QString seal;                   // the trail's head at 交班, its first 16 hex digits
    qint64 auditId = 0;             // the 交班 entry the seal is the hash of
    std::vector<KindTotal> totals;  // every kind, in the rule's order

    bool isOpen() const { return !z.has_value(); }
    std::optional<qint64> drawer() const;     // what the drawer should hold: float + expected
    std::optional<qint64> difference() const; // counted - drawer
    qint64 bookings() const;                  // the count over all kinds
};

// The first 16 hexadecimal digits of an audit hash.
QString SealOf(const QString& hash);

// What a login found on its desk.
struct Begun {
    Shift shift; // the operator's open shift; none (id 0) while `leftOpen` waits
    bool resumed = false;
    // Another operator's shift with bookings, still open: it is closed (its cash counted) before
    // the operator's own shift begins.
    std::optional<Shift> leftOpen;
};

// At an operator's login on `desk`, in one write: the desk's open shift is resumed when it is
// the operator's, taken over when another operator left it without a booking, and returned
// untouched in `leftOpen` when it holds another operator's bookings; otherwise a new shift is
// opened. Opening and taking over are audited. Raises DataError.
Begun Begin(const Connection& connection, const QString& desk, const QString& operatorName,
            const QDateTime& at);

std::optional<Shift> Find(const Connection& connection, qint64 id);
std::optional<Shift> OpenShiftOf(const Connection& connection, const QString& desk);

// The shift with its totals: as kept at 交班 for a closed one, and as they stand now (up to the
// newest record, expected cash included, the float its desk's last shift left) for an open one.
// Raises DataError.
std::optional<Shift> WithFigures(const Connection& connection, qint64 id);

struct Closing {
    qint64 shiftId = 0;
    std::optional<qint64> counted; // tenths; none: not counted
    qint64 cashFloat = 0;          // tenths
    QString closedBy;              // the account that counted
    QString desk;                  // where it was closed, for the trail
    QDateTime at;
    // The desk's own memory of the highest Z number it printed: the next is above it too.
    qint64 lowestZ = 0;
};

// Closes the open shift in one write: its totals up to the newest record and expected cash
// stored, the counted cash and 交班 audited, the desk's next Z number given (above any it was
// ever given, on this ledger and in `lowestZ`), and the trail's head after the 交班 entry taken
// as its seal. Returns the closed shift. Raises DataError, also when it is closed already.
Shift Close(const Connection& connection, const Closing& closing);

// The shifts that ran on some part of `from`..`to` (dates yyyy-MM-dd, both included), oldest
// first, with their totals.
std::vector<Shift> List(const Connection& connection, const QString& from, const QString& to);

// Raises the Z numbers `to` has given to at least those `from` has: a restored file never gives
// a number again that the file it replaced gave. Returns why it failed, or an empty text.
QString CarryNumbers(const QString& fromPath, const QString& toPath, int lockTimeoutMs = 10000);
void CarryNumbers(const Connection& from, const Connection& to);

// What the trail says of a seal printed on a Z report.
struct SealFinding {
    bool found = false; // an entry's hash begins with it: the trail up to there is as sealed
    qint64 auditId = 0; // that entry
    qint64 headId = 0;  // the newest entry now
    std::optional<Shift> shift; // the shift the ledger says it sealed
};
// `seal` is 16 hexadecimal digits, either case. Raises DataError.
SealFinding FindSeal(const Connection& connection, const QString& seal);
bool IsSealText(const QString& text);

// The shift list as people read it, for the settlement window and the command-line tool.
QStringList ColumnHeadings();
QStringList RowTexts(const Shift& shift);

} // namespace Shifts

} // namespace velkar
