#pragma once

#include "data/Settlement.h"
#include "data/Shift.h"
#include "reports/Export.h"
#include "reports/ReportLayout.h"

#include <vector>

namespace velkar {

// The settlement of a range and the shifts that ran in it, as exported and printed: the
// window and the command-line tool write the same tables.
namespace SettlementSheets {

// Every row the window lists, the total line last.
QList<QStringList> Rows(const Settlement::Result& result);

// The settlement's sheet, then the shifts' (when there are any).
QList<Export::Sheet> Sheets(const Settlement::Result& result,
                            const std::vector<Shifts::Shift>& shifts);

// The printed settlement's first table: the recharge and clear columns, as it always printed.
QStringList PrintedHeadings();
std::vector<int> PrintedWidths();
QList<QStringList> PrintedRows(const Settlement::Result& result);

// What the printed settlement shows after its table: the cash apart from transfer, when
// anything moved otherwise than a plain recharge or clear; the shifts, when any ran.
std::vector<TableSection> PrintedSections(const Settlement::Result& result,
                                          const std::vector<Shifts::Shift>& shifts);

} // namespace SettlementSheets

} // namespace velkar
