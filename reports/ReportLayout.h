#pragma once

#include "base/Messages.h"
#include "reports/Report.h"

#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QImage;
class QPainter;

namespace velkar {

namespace ReportLayout {

inline constexpr int RowsPerPage = 28;
inline const QString Title = Messages::RechargeRecords();
inline const QString JobName = QStringLiteral("Evenness Tester Doc");

// Pages of the report: the ceiling of records / 28, 0 when there are none.
int PageCount(qsizetype records);
// Index (from 0) of the page that carries the total block; page 0 when there are no records.
int LastPage(qsizetype records);
qsizetype RowsOnPage(qsizetype records, int page);

} // namespace ReportLayout

// What a drawn page shows besides the rows.
struct ReportHeading {
    QString title;
    QString reportDate;
};

// The printed page `page` (from 0) in layout units of 1/600 inch, placed on the painter's
// device by its resolution.
void DrawPrintedPage(QPainter& painter, const Report& report, const ReportHeading& heading,
                     int page);

// Every printed page, one after another; `newPage` begins each page after the first and
// returns false when the device can't.
void PaintPrintedReport(QPainter& painter, const Report& report, const ReportHeading& heading,
                        const std::function<bool()>& newPage);

// The preview's page `page` (from 0) in device pixels of a window.
void DrawPreviewPage(QPainter& painter, const Report& report, const ReportHeading& heading,
                     int page);

// A further table printed after a document's own, under a caption.
struct TableSection {
    QString caption;
    QStringList headings;
    std::vector<int> columnWidths; // layout units, 4000 in all at most
    QList<QStringList> rows;
};

// Any table printed as the recharge report is: the title on the first page, ruled rows of 28 to
// a page, "第 1 页  共 N 页" under each, the report date under the last row. The first page may
// carry a drawing (a chart) between the title and the table.
struct TableDocument {
    QString title;
    QString reportDate;
    QStringList headings;
    std::vector<int> columnWidths; // layout units of 1/600 inch, 4000 in all
    QList<QStringList> rows;       // a total line included, last
    int aboveHeight = 0;           // layout units the drawing takes on the first page
    std::function<void(QPainter&, const QRectF&)> above;
    // A drawing under the report date on the last page, as wide as the table.
    int belowHeight = 0;
    std::function<void(QPainter&, const QRectF&)> below;
    // Tables after the report date, on as many further pages as they need; none on most.
    std::vector<TableSection> sections;
};

namespace ReportLayout {
int TablePageCount(const TableDocument& document); // at least 1
int TableRowsOnFirstPage(const TableDocument& document);
} // namespace ReportLayout

void DrawTablePage(QPainter& painter, const TableDocument& document, int page);
void PaintTableDocument(QPainter& painter, const TableDocument& document,
                        const std::function<bool()>& newPage);
// A page as the printer gets it, on an A4 sheet of `dpi` dots to the inch: the preview.
QImage TablePageImage(const TableDocument& document, int page, int dpi);

} // namespace velkar
