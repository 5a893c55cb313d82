#pragma once

#include "reader/SimulatedReader.h"

#include <QString>

#include <vector>

namespace velkar {

// A change of a card made away from this ledger (at a counter of another ledger, or by hand):
// where it equals a command's effect, the frame can't tell the two apart.
struct OffLedger {
    CardNumber cardNo{};
    int before = 0;
    int after = 0;
};

// What the reader carried out against what the desk's ledger holds.
struct LedgerCheck {
    int executed = 0; // changes the reader made on the desk's command
    int booked = 0;   // recharge records in the ledger
    int lost = 0;     // executed, neither booked nor flagged as a mismatch
    int phantom = 0;  // booked with no execution behind it
    // Booked with no execution behind it, but the card was changed off the ledger by exactly
    // that: a change the frame can't tell from the command's.
    int ambiguous = 0;
    int wrongAmount = 0; // booked with another amount than the change
    int mismatch = 0;    // commands flagged for a look
    int notExecuted = 0;
    int pending = 0;
    qint64 bookedYuan = 0; // what the booked executions (and the ambiguous bookings) added up to
    QString problem;       // the store could not be read

    bool sound() const {
        return problem.isEmpty() && lost == 0 && phantom == 0 && wrongAmount == 0;
    }
    QString text() const; // "name: value" lines
};

LedgerCheck CheckLedger(const std::vector<SimulatedReader::Execution>& executed,
                        const QString& databasePath, const std::vector<OffLedger>& offLedger = {});

} // namespace velkar
