#include "tools/LedgerCheck.h"

#include "data/AdoConn.h"
#include "data/CardRecords.h"
#include "reader/Frames.h"

#include <QHash>

#include <map>

namespace velkar {

namespace {

struct BookedRow {
    QString cardNo;
    int before = 0;
    int expected = 0;
    QString amount; // the employees row's 金额 as read back
    bool matched = false;
};

} // namespace

QString LedgerCheck::text() const {
    QString t = QStringLiteral("executed: %1\nbooked: %2\nlost: %3\nphantom: %4\nwrong amount: "
                               "%5\nambiguous: %9\nmismatch: %6\nnot executed: %7\npending: %8\n")
                    .arg(executed)
                    .arg(booked)
                    .arg(lost)
                    .arg(phantom)
                    .arg(wrongAmount)
                    .arg(mismatch)
                    .arg(notExecuted)
                    .arg(pending)
                    .arg(ambiguous);
    if (!problem.isEmpty())
        t += QStringLiteral("problem: ") + problem + QLatin1Char('\n');
    return t;
}

namespace {

// What the ledger booked and flagged, counted into `check`; false when it can't be read.
bool readLedger(const QString& databasePath, LedgerCheck& check, std::vector<BookedRow>& booked,
                std::vector<std::pair<QString, int>>& flagged) {
    try {
        Connection db(databasePath);
        Query rows(
            db, QStringLiteral("SELECT j.card_no, j.balance_before, j.balance_expected, j.state, "
                               "e.金额, e.rowid IS NULL FROM journal j LEFT JOIN employees e "
                               "ON e.rowid = j.record_id ORDER BY j.id"));
        while (rows.next()) {
            const QString state = rows.text(3);
            if (state == QLatin1String("booked")) {
                if (rows.integer(5) != 0)
                    ++check.phantom; // booked, yet no record: counted as not in the ledger
                booked.push_back({rows.text(0), int(rows.integer(1)), int(rows.integer(2)),
                                  rows.text(4), false});
            } else if (state == QLatin1String("mismatch")) {
                ++check.mismatch;
                flagged.emplace_back(rows.text(0), int(rows.integer(1)));
            } else if (state == QLatin1String("not_executed")) {
                ++check.notExecuted;
            } else {
                ++check.pending;
            }
        }
        Query count(db, QStringLiteral("SELECT count(*) FROM employees"));
        count.next();
        check.booked = int(count.integer(0));
        // Every record belongs to exactly one booked command.
        check.phantom += std::max(0, check.booked - int(booked.size()));
    } catch (const DataError& e) {
        check.problem = e.description();
        return false;
    }
    return true;
}

// Each execution against the booking it made, or the mismatch flagged for it.
void matchExecutions(const std::vector<SimulatedReader::Execution>& executed, LedgerCheck& check,
                     std::vector<BookedRow>& booked,
                     std::vector<std::pair<QString, int>>& flagged) {
    for (const SimulatedReader::Execution& x : executed) {
        const QString card = CardNumberText(x.cardNo);
        auto row = std::find_if(booked.begin(), booked.end(), [&](const BookedRow& b) {
            return !b.matched && b.cardNo == card && b.before == x.before && b.expected == x.after;
        });
        if (row != booked.end()) {
            row->matched = true;
            const int yuan = x.command == CMD_CLEAR ? -(x.before / 10) : (x.after - x.before) / 10;
            if (row->amount.toInt() != yuan ||
                (x.command != CMD_CLEAR && (x.after - x.before) % 10))
                ++check.wrongAmount;
            check.bookedYuan += yuan;
            continue;
        }
        auto flag = std::find_if(flagged.begin(), flagged.end(), [&](const auto& f) {
            return f.first == card && f.second == x.before;
        });
        if (flag != flagged.end()) {
            flagged.erase(flag);
        } else if (x.before != x.after) { // a change of nothing loses nothing
            ++check.lost;
            if (qEnvironmentVariableIsSet("VELKAR_SOAK_DEBUG"))
                qWarning("lost: card %s command %02X %d -> %d", qPrintable(card), x.command,
                         x.before, x.after);
        }
    }
}

// Every booking needs the reader's execution behind it, a clear of an empty card too; one
// without is ambiguous where a change off the ledger did exactly that, else a phantom.
void explainUnmatched(const std::vector<BookedRow>& booked, std::vector<OffLedger> off,
                      LedgerCheck& check) {
    for (const BookedRow& b : booked) {
        if (b.matched)
            continue;
        const auto explained = std::find_if(off.begin(), off.end(), [&](const OffLedger& o) {
            return CardNumberText(o.cardNo) == b.cardNo && o.before == b.before &&
                   o.after == b.expected;
        });
        if (explained != off.end()) {
            off.erase(explained);
            ++check.ambiguous;
            check.bookedYuan += b.amount.toInt(); // in the ledger as the command's, rightly or not
            if (qEnvironmentVariableIsSet("VELKAR_SOAK_DEBUG"))
                qWarning("ambiguous: card %s %d -> %d", qPrintable(b.cardNo), b.before, b.expected);
            continue;
        }
        ++check.phantom;
        if (qEnvironmentVariableIsSet("VELKAR_SOAK_DEBUG"))
            qWarning("phantom: card %s %d -> %d", qPrintable(b.cardNo), b.before, b.expected);
    }
}

} // namespace

LedgerCheck CheckLedger(const std::vector<SimulatedReader::Execution>& executed,
                        const QString& databasePath, const std::vector<OffLedger>& offLedger) {
    LedgerCheck check;
    check.executed = int(executed.size());
    std::vector<BookedRow> booked;
    std::vector<std::pair<QString, int>> flagged; // mismatches: card, balance before
    if (!readLedger(databasePath, check, booked, flagged))
        return check;
    matchExecutions(executed, check, booked, flagged);
    explainUnmatched(booked, offLedger, check);
    return check;
}

} // namespace velkar
