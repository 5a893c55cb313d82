#pragma once

#include "data/Shift.h"

#include <QString>

class QPrinter;
class QWidget;

namespace velkar {

class Dialogs;

// The Z report on the screen and on paper, drawn by the report renderer. `copy`: printed again
// after its 交班, which the title says.
void PreviewZReport(const Shifts::Shift& shift, const QString& printedAt, bool copy,
                    QWidget* parent);
// Asks for a printer; true once printed.
bool PrintZReport(Dialogs& dialogs, const Shifts::Shift& shift, const QString& printedAt, bool copy,
                  QWidget* parent);
// On a printer already chosen; false when it can't be drawn on.
bool PaintZReport(QPrinter& printer, const Shifts::Shift& shift, const QString& printedAt,
                  bool copy);

} // namespace velkar
