#include "reports/ReportLayout.h"

#include <QFontMetricsF>
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
