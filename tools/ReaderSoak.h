#pragma once

#include <QStringList>
#include <QTextStream>

namespace velkar {

// The booking path under the faults of a real counter, with the simulated reader's record of
// what it carried out as the truth. Each prints "name: value" lines and returns 0 only when
// nothing was lost, invented or booked wrong.
int RunSoak(const QStringList& options, QTextStream& out, QTextStream& err);
// The same across processes killed at random points of the path.
int RunCrash(const QStringList& options, const QString& program, QTextStream& out,
             QTextStream& err);
int RunCrashChild(const QStringList& options);
// Several desk processes booking at once into one ledger: their latencies and throughput.
int RunDeskBench(const QStringList& options, QTextStream& out, QTextStream& err);

} // namespace velkar
