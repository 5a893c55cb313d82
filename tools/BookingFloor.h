#pragma once

#include <QString>

namespace velkar {

// What the engine itself allows `desks` desks booking at once on one ledger: each a thread with
// a connection of its own that writes, for each of `commands` recharges, the rows a booking
// writes (the journal entry, then the record, the entry's answer and an audit entry in one
// write transaction), every statement prepared once, straight through the engine's C API.
// Commands booked a second over all desks; 0 with `problem` set when a desk failed.
double BookingFloorPerSecond(const QString& location, int desks, int commands, QString* problem);

} // namespace velkar
