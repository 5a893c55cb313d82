#include "reports/ReportLayout.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>

namespace ReportLayout {

int PageCount(qsizetype records) {
    return int((records + RowsPerPage - 1) / RowsPerPage);
}

int LastPage(qsizetype records) {
    return std::max(PageCount(records) - 1, 0);
}

qsizetype RowsOnPage(qsizetype records, int page) {
    const qsizetype first = qsizetype(page) * RowsPerPage;
    return std::clamp<qsizetype>(records - first, 0, RowsPerPage);
}

} // namespace ReportLayout

namespace {

using ReportLayout::RowsOnPage;
using ReportLayout::RowsPerPage;

QFont songFont(qreal points) {
    QFont font(QStringLiteral("宋体"));
    font.setPointSizeF(points);
    return font;
}

// Places layout units on the device: scaled by its resolution over `unitsPerInch`, the
// fraction dropped; text by the top-left corner of its line.
class Placer {
public:
    Placer(QPainter& painter, int unitsPerInch)
        : m_painter(painter), m_unitsPerInch(unitsPerInch), m_dpiX(painter.device()->logicalDpiX()),
          m_dpiY(painter.device()->logicalDpiY()) {}

    // Window pixels are the units themselves.
    explicit Placer(QPainter& painter)
        : m_painter(painter), m_unitsPerInch(1), m_dpiX(1), m_dpiY(1) {}

    int x(int units) const { return int(qint64(units) * m_dpiX / m_unitsPerInch); }
    int y(int units) const { return int(qint64(units) * m_dpiY / m_unitsPerInch); }

    void text(int ux, int uy, const QString& text) const {
        if (text.isEmpty())
            return;
        const QFontMetricsF metrics(m_painter.font(), m_painter.device());
        m_painter.drawText(QPointF(x(ux), y(uy) + metrics.ascent()), text);
    }

    void line(int x1, int y1, int x2, int y2) const {
        m_painter.drawLine(QPoint(x(x1), y(y1)), QPoint(x(x2), y(y2)));
    }

private:
    QPainter& m_painter;
    int m_unitsPerInch;
    int m_dpiX;
    int m_dpiY;
};

// Where the columns of one geometry lie, and the rows' pitch.
struct TableGeometry {
    int left, right;       // outer rules
    int top, headerBottom; // the two rules above the rows
    int firstRowText;      // top of the first row's text
    int firstRowRule;      // rule under the first row
    int pitch;
    int columns[4]; // text x of 卡号, 姓名, 日期, 金额
    int rules[5];   // vertical rules
};

constexpr TableGeometry Printed{
    400, 4400, 500, 700, 750, 900, 200, {450, 1050, 1750, 3250}, {400, 1000, 1700, 3200, 4400}};
constexpr TableGeometry Preview{
    50, 550, 50, 70, 75, 90, 20, {55, 130, 205, 380}, {50, 120, 195, 375, 550}};

void drawRows(const Placer& at, const Report& report, int page, const TableGeometry& g) {
    const TextRows& rows = *report.rows;
    const qsizetype first = qsizetype(page) * RowsPerPage;
    const qsizetype count = RowsOnPage(report.recordCount(), page);
    for (qsizetype j = 0; j < count; ++j) {
        const qsizetype r = first + j;
        const int textY = g.firstRowText + g.pitch * int(j);
        const int ruleY = g.firstRowRule + g.pitch * int(j);
        at.text(g.columns[0], textY, rows.text(r, Report::CardNo));
        at.text(g.columns[1], textY, rows.text(r, Report::Name));
        at.text(g.columns[2], textY, rows.text(r, Report::Date));
        at.text(g.columns[3], textY, rows.text(r, Report::Amount));
        at.line(g.left, ruleY, g.right, ruleY);
        for (int x : g.rules)
            at.line(x, g.top, x, ruleY);
    }
}

QString pageLine(int page, int pages) {
    return QStringLiteral("第 ") + PageNumberText(page + 1) + QStringLiteral(" 页  共 ") +
           PageNumberText(pages) + QStringLiteral(" 页");
}

} // namespace

void DrawPrintedPage(QPainter& painter, const Report& report, const ReportHeading& heading,
                     int page) {
    const Placer at(painter, 600);
    const qsizetype records = report.recordCount();
    const QFont headerFont = songFont(13);
    const QFont bodyFont = songFont(12);
    painter.setPen(QPen(Qt::black));

    if (page == 0) {
        painter.setFont(songFont(20));
        at.text(2500 - 50 * CodePage936Length(heading.title), 100, heading.title);
    }
    painter.setFont(headerFont);
    at.text(450, 540, QStringLiteral("卡号"));
    at.text(1050, 540, QStringLiteral("姓名"));
    at.text(1750, 540, QStringLiteral("时间"));
    at.text(3250, 540, QStringLiteral("金额(元)"));
    // The first page keeps the header font for its rows.
    if (page > 0)
        painter.setFont(bodyFont);

    // Four device pixels whatever the resolution.
    painter.setPen(QPen(Qt::black, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    at.line(400, 500, 4400, 500);
    at.line(400, 700, 4400, 700);
    drawRows(at, report, page, Printed);
    at.text(2000, 6550, pageLine(page, ReportLayout::PageCount(records)));

    if (page == ReportLayout::LastPage(records)) {
        painter.setFont(bodyFont);
        const int y = 750 + 200 * int(RowsOnPage(records, page));
        at.text(3450, y, QStringLiteral("总计:"));
        at.text(3800, y, report.totalText() + (page == 0 ? QStringLiteral(" 元") : "元"));
        at.text(400, y, QStringLiteral("报表日期:"));
        at.text(1000, y, heading.reportDate);
    }
}

void PaintPrintedReport(QPainter& painter, const Report& report, const ReportHeading& heading,
                        const std::function<bool()>& newPage) {
    const int pages = std::max(ReportLayout::PageCount(report.recordCount()), 1);
    for (int page = 0; page < pages; ++page) {
        if (page > 0 && !newPage())
            return;
        DrawPrintedPage(painter, report, heading, page);
    }
}

void DrawPreviewPage(QPainter& painter, const Report& report, const ReportHeading& heading,
                     int page) {
    const Placer at(painter);
    const qsizetype records = report.recordCount();
    const QFont headerFont = songFont(11);
    const QFont bodyFont = songFont(10);

    // A wide white stroke is the sheet; it also wipes the page shown before.
    painter.setPen(QPen(Qt::white, 625, Qt::SolidLine, Qt::RoundCap));
    at.line(0, 360, 500, 360);
    painter.setPen(QPen(Qt::black, 1));

    painter.setFont(songFont(15));
    at.text(300 - 5 * CodePage936Length(heading.title), 10, heading.title);
    painter.setFont(headerFont);
    at.text(55, 55, QStringLiteral("卡号"));
    at.text(130, 55, QStringLiteral("姓名"));
    at.text(205, 55, QStringLiteral("时间"));
    at.text(380, 55, QStringLiteral("金额（元）"));
    painter.setFont(page == 0 ? headerFont : bodyFont);

    at.line(50, 50, 550, 50);
    at.line(50, 70, 550, 70);
    drawRows(at, report, page, Preview);
    at.text(200, 635, pageLine(page, ReportLayout::PageCount(records)));

    if (page == ReportLayout::LastPage(records)) {
        painter.setFont(bodyFont);
        const int y = 75 + 20 * int(RowsOnPage(records, page));
        at.text(page == 0 ? 390 : 395, y, QStringLiteral("总计:"));
        at.text(450, y, report.totalText() + QStringLiteral(" 元"));
        at.text(50, y, QStringLiteral("报表日期:"));
        at.text(120, y, heading.reportDate);
    }
}

namespace {

constexpr int TableLeft = 400;
constexpr int TableTop = 500;
constexpr int LastRule = 6300; // under the 28th row of a page
constexpr int PageLineY = 6550;
constexpr int Pitch = 200;

int tableTop(const TableDocument& d, int page) {
    return page == 0 && d.above ? TableTop + d.aboveHeight : TableTop;
}

int firstRowOf(const TableDocument& d, int page) {
    return page == 0 ? 0 : ReportLayout::TableRowsOnFirstPage(d) + (page - 1) * RowsPerPage;
}

} // namespace

namespace ReportLayout {

int TableRowsOnFirstPage(const TableDocument& d) {
    return std::max((LastRule - (tableTop(d, 0) + 400)) / Pitch + 1, 1);
}

int TablePageCount(const TableDocument& d) {
    const qsizetype rest = d.rows.size() - TableRowsOnFirstPage(d);
    return 1 + (rest > 0 ? int((rest + RowsPerPage - 1) / RowsPerPage) : 0);
}

} // namespace ReportLayout

void DrawTablePage(QPainter& painter, const TableDocument& d, int page) {
    const Placer at(painter, 600);
    const int pages = ReportLayout::TablePageCount(d);
    painter.setPen(QPen(Qt::black));
    if (page == 0) {
        painter.setFont(songFont(20));
        at.text(2500 - 50 * CodePage936Length(d.title), 100, d.title);
        if (d.above) {
            painter.save();
            d.above(painter, QRectF(at.x(TableLeft), at.y(TableTop - 50), at.x(4000),
                                    at.y(d.aboveHeight - 100)));
            painter.restore();
        }
    }
    const int top = tableTop(d, page);
    std::vector<int> xs{TableLeft};
    for (int w : d.columnWidths)
        xs.push_back(xs.back() + w);
    const int right = xs.back();
    painter.setFont(songFont(12));
    for (int c = 0; c < d.headings.size() && c + 1 < int(xs.size()); ++c)
        at.text(xs[c] + 50, top + 40, d.headings[c]);
    // Four dots on a printer of 1200 to the inch, as the report's rules; one on a screen.
    const int rule = std::max(1, painter.device()->logicalDpiX() / 300);
    painter.setPen(QPen(Qt::black, rule, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    at.line(TableLeft, top, right, top);
    at.line(TableLeft, top + 200, right, top + 200);

    const int first = firstRowOf(d, page);
    const int count =
        std::clamp(int(d.rows.size()) - first, 0,
                   page == 0 ? ReportLayout::TableRowsOnFirstPage(d) : int(RowsPerPage));
    int ruleY = top + 200;
    for (int j = 0; j < count; ++j) {
        const QStringList& row = d.rows[first + j];
        const int textY = top + 250 + Pitch * j;
        ruleY = top + 400 + Pitch * j;
        for (int c = 0; c < row.size() && c + 1 < int(xs.size()); ++c)
            at.text(xs[c] + 50, textY, row[c]);
        at.line(TableLeft, ruleY, right, ruleY);
    }
    for (int x : xs)
        at.line(x, top, x, ruleY);
    at.text(2000, PageLineY, pageLine(page, pages));
    if (page == pages - 1) {
        at.text(400, ruleY + 50, QStringLiteral("报表日期:"));
        at.text(1000, ruleY + 50, d.reportDate);
    }
}

void PaintTableDocument(QPainter& painter, const TableDocument& document,
                        const std::function<bool()>& newPage) {
    const int pages = ReportLayout::TablePageCount(document);
    for (int page = 0; page < pages; ++page) {
        if (page > 0 && !newPage())
            return;
        DrawTablePage(painter, document, page);
    }
}

QImage TablePageImage(const TableDocument& document, int page, int dpi) {
    const qreal dotsPerMeter = dpi / 0.0254;
    QImage image(int(8.27 * dpi), int(11.69 * dpi), QImage::Format_RGB32);
    image.setDotsPerMeterX(int(dotsPerMeter));
    image.setDotsPerMeterY(int(dotsPerMeter));
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    DrawTablePage(painter, document, page);
    return image;
}
