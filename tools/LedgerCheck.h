#pragma once

#include "reader/SimulatedReader.h"

#include <QString>

#include <vector>

namespace velkar {

// What the reader carried out against what the desk's ledger holds.
struct LedgerCheck {
    int executed = 0;    // changes the reader made on the desk's command
    int booked = 0;      // recharge records in the ledger
    int lost = 0;        // executed, neither booked nor flagged as a mismatch
    int phantom = 0;     // booked with no execution behind it
    int wrongAmount = 0; // booked with another amount than the change
    int mismatch = 0;    // commands flagged for a look
    int notExecuted = 0;
    int pending = 0;
    qint64 bookedYuan = 0; // what the booked executions added up to
    QString problem;       // the store could not be read

    bool sound() const {
        return problem.isEmpty() && lost == 0 && phantom == 0 && wrongAmount == 0;
    }
    QString text() const; // "name: value" lines
};

LedgerCheck CheckLedger(const std::vector<SimulatedReader::Execution>& executed,
                        const QString& databasePath);

} // namespace velkar
