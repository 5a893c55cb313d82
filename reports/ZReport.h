#pragma once

#include "data/Shift.h"
#include "reports/ReportLayout.h"

#include <QString>

namespace velkar {

// The Z report of a closed shift, on the report's pages: the desk, the operator and the period
// above a table of the counts and sums per kind, then the expected and counted cash, their
// difference, the seal (the audit trail's head at 交班) and a line to sign on.
namespace ZReport {

// What the report shows besides the table, line by line: the head, then the figures under it.
QStringList HeadLines(const Shifts::Shift& shift);
QStringList FigureLines(const Shifts::Shift& shift);
// The table's rows: each kind, then the total line.
QList<QStringList> Rows(const Shifts::Shift& shift);

// `copy`: printed again later, which the title says.
TableDocument Document(const Shifts::Shift& shift, const QString& printedAt, bool copy = false);

} // namespace ZReport

} // namespace velkar
