#include "reports/windows/ZReportPrint.h"

#include "base/Dialogs.h"
#include "base/Messages.h"
#include "reports/ZReport.h"
#include "reports/windows/SettlementPreviewDlg.h"

#include <QPainter>
#include <QPrinter>

namespace velkar {

void PreviewZReport(const Shifts::Shift& shift, const QString& printedAt, bool copy,
                    QWidget* parent) {
    CSettlementPreviewDlg preview(ZReport::Document(shift, printedAt, copy), parent);
    preview.setWindowTitle(Messages::ZReportPreviewTitle());
    preview.exec();
}

bool PaintZReport(QPrinter& printer, const Shifts::Shift& shift, const QString& printedAt,
                  bool copy) {
    printer.setDocName(Messages::ZReportTitle());
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    PaintTableDocument(painter, ZReport::Document(shift, printedAt, copy),
                       [&printer] { return printer.newPage(); });
    return painter.end();
}

bool PrintZReport(Dialogs& dialogs, const Shifts::Shift& shift, const QString& printedAt, bool copy,
                  QWidget* parent) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(Messages::ZReportTitle());
    if (!dialogs.choosePrinter(printer))
        return false;
    if (PaintZReport(printer, shift, printedAt, copy))
        return true;
    dialogs.plain(Messages::OperationFailed(), parent);
    return false;
}

} // namespace velkar
