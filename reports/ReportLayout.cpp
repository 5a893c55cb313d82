#include "reports/ReportLayout.h"

#include "base/Messages.h"
#include "data/CashRule.h"

#include <QFontMetricsF>
#include <QImage>
#include <QLine>
#include <QPaintDevice>
#include <QPainter>
#include <QPoint>

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

namespace velkar {

namespace {

using ReportLayout::RowsPerPage;

// Pages that `rows` take when the first page holds `firstPageRows` and every later one
// RowsPerPage; none when there are no rows.
int pagesFor(qsizetype rows, int firstPageRows) {
    if (rows <= 0)
        return 0;
    const qsizetype rest = rows - firstPageRows;
    return 1 + (rest > 0 ? int((rest + RowsPerPage - 1) / RowsPerPage) : 0);
}

qsizetype firstRowOn(int page, int firstPageRows) {
    return page == 0 ? 0 : firstPageRows + qsizetype(page - 1) * RowsPerPage;
}

qsizetype rowsOn(qsizetype rows, int page, int firstPageRows) {
    return std::clamp<qsizetype>(rows - firstRowOn(page, firstPageRows), 0,
                                 page == 0 ? firstPageRows : RowsPerPage);
}

} // namespace

namespace ReportLayout {

int PageCount(qsizetype records) {
    return pagesFor(records, RowsPerPage);
}

int LastPage(qsizetype records) {
    return std::max(PageCount(records) - 1, 0);
}

qsizetype RowsOnPage(qsizetype records, int page) {
    return rowsOn(records, page, RowsPerPage);
}

} // namespace ReportLayout

namespace {

// Where a page puts what it shows, in layout units: the printed report, its preview and the
// settlement are each one of these, drawn by one renderer.
struct PageGeometry {
    int unitsPerInch; // 0: the units are the device's own pixels
    struct {
        qreal title, heading, body; // points of 宋体; the first page's rows take the heading's
    } points;
    struct {
        int centre, top;
        int halfByte; // the title is centred by its length in bytes of code page 936
        bool everyPage;
    } title;
    // The table: its top-left corner and width, the heading band and the top of its texts,
    // the rows' pitch; a row's texts stand `inset` below the rule above them.
    int left, top, width, headingHeight, headingTop, pitch, inset;
    QPoint pageLine; // "第 1 页  共 N 页"
    int dateX;       // the report date, after "报表日期:" at the left rule
    struct Total {
        int labelX, valueX;
        const char* unit;
    } totals[2];     // on the first page, on a later one
    int cashLineGap; // from the total block down to the drawer's cash under it
    struct {
        int width; // device pixels; 0: one for every 300 dots to the inch
        bool round;
        bool eachRow; // every row ruled down from the top, or the frame once under the last row
    } rules;
    struct {
        int width; // 0: none
        QLine line;
    } sheet;         // a wide white stroke under the page
    int aboveMargin; // around a drawing between the title and the table
};

constexpr PageGeometry PrintedPage{
    .unitsPerInch = 600,
    .points = {20, 13, 12},
    .title = {2500, 100, 50, false},
    .left = 400,
    .top = 500,
    .width = 4000,
    .headingHeight = 200,
    .headingTop = 40,
    .pitch = 200,
    .inset = 50,
    .pageLine = {2000, 6550},
    .dateX = 1000,
    .totals = {{3450, 3800, " 元"}, {3450, 3800, "元"}},
    .cashLineGap = 100,       // one line of the body font: it still clears the page line
    .rules = {4, true, true}, // four device pixels whatever the resolution
    .sheet = {},
    .aboveMargin = 50,
};

// The preview in a window's pixels; its sheet also wipes the page shown before.
constexpr PageGeometry PreviewPage{
    .unitsPerInch = 0,
    .points = {15, 11, 10},
    .title = {300, 10, 5, true},
    .left = 50,
    .top = 50,
    .width = 500,
    .headingHeight = 20,
    .headingTop = 5,
    .pitch = 20,
    .inset = 5,
    .pageLine = {200, 635},
    .dateX = 120,
    .totals = {{390, 450, " 元"}, {395, 450, " 元"}},
    .cashLineGap = 20,
    .rules = {1, false, true},
    .sheet = {625, QLine(0, 360, 500, 360)},
    .aboveMargin = 0, // nothing is drawn above the table
};

// As printed, with one size of text and rules of four dots on a printer of 1200 to the inch.
constexpr PageGeometry SettlementPage = [] {
    PageGeometry g = PrintedPage;
    g.points.heading = g.points.body;
    g.rules = {0, true, false};
    return g;
}();

// The recharge report's columns on a geometry; the window's texts stand apart from the rules
// by column.
struct ReportColumns {
    std::vector<int> widths;
    std::vector<int> insets; // empty: the geometry's inset
    QString amountHeading;
};

const ReportColumns& printedColumns() {
    static const ReportColumns columns{
        {600, 700, 1500, 1200}, {}, Messages::PrintedAmountHeading()};
    return columns;
}

const ReportColumns& previewColumns() {
    static const ReportColumns columns{
        {70, 75, 180, 175}, {5, 10, 10, 5}, Messages::PreviewAmountHeading()};
    return columns;
}

// What the pages show.
struct PageContent {
    QString title;
    QString reportDate;
    QStringList headings;
    std::vector<int> widths;
    std::vector<int> insets; // empty: the geometry's inset
    qsizetype rows = 0;
    std::function<QString(qsizetype row, int column)> cell;
    int shownPages = 0; // the N of "共 N 页"
    std::optional<QString> total;
    std::optional<QString> cashLine; // under the total block
    int aboveHeight = 0;
    std::function<void(QPainter&, const QRectF&)> above;
    int belowHeight = 0;
    std::function<void(QPainter&, const QRectF&)> below;
    const std::vector<TableSection>* sections = nullptr; // after the table, on its pages on
};

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
        : m_painter(painter), m_unitsPerInch(std::max(unitsPerInch, 1)),
          m_dpiX(unitsPerInch ? painter.device()->logicalDpiX() : 1),
          m_dpiY(unitsPerInch ? painter.device()->logicalDpiY() : 1) {}

    int x(int units) const { return int(qint64(units) * m_dpiX / m_unitsPerInch); }
    int y(int units) const { return int(qint64(units) * m_dpiY / m_unitsPerInch); }

    void text(int ux, int uy, const QString& text) const {
        if (text.isEmpty())
            return;
        const QFontMetricsF metrics(m_painter.font(), m_painter.device());
        m_painter.drawText(QPointF(x(ux), y(uy) + metrics.ascent()), text);
    }

    // The text cut to `room` layout units, its end replaced by "…", so that it never reaches
    // into the next column.
    void text(int ux, int uy, const QString& text, int room) const {
        if (text.isEmpty())
            return;
        const QFontMetricsF metrics(m_painter.font(), m_painter.device());
        const qreal width = x(ux + room) - x(ux);
        this->text(ux, uy,
                   metrics.horizontalAdvance(text) <= width
                       ? text
                       : metrics.elidedText(text, Qt::ElideRight, width));
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

QString pageLine(int page, int pages) {
    return Messages::PageOfWritten(PageNumberText(page + 1), PageNumberText(pages));
}

// Layout units the drawing takes on page `page`.
int aboveHeight(const PageContent& c, int page) {
    return page == 0 && c.above ? c.aboveHeight : 0;
}

// Rows under the drawing of the first page, at least one; later pages take RowsPerPage.
int rowsOnFirstPage(const PageGeometry& g, int drawingHeight) {
    const int lastRule = g.top + g.headingHeight + g.pitch * RowsPerPage;
    const int firstRule = g.top + drawingHeight + g.headingHeight + g.pitch;
    return std::max((lastRule - firstRule) / g.pitch + 1, 1);
}

// The pages the table itself takes, at least one.
int tablePages(const PageGeometry& g, const PageContent& c) {
    return std::max(pagesFor(c.rows, rowsOnFirstPage(g, aboveHeight(c, 0))), 1);
}

// Where a part of a further table stands: its rows `first`..`first + count` on `page`, its
// heading band at `top`, its caption above that on the page where it begins.
struct SectionPart {
    int page;
    std::size_t section;
    qsizetype first;
    qsizetype count;
    int captionTop; // -1: none, the table goes on from the page before
    int top;
};

// The further tables flow on from under the report date of the table's last page: each begins
// with its caption where a caption, its heading and one row still fit, else on a new page, and
// goes on over as many pages as its rows take, its heading repeated on each.
std::vector<SectionPart> sectionParts(const PageGeometry& g, const PageContent& c) {
    std::vector<SectionPart> parts;
    if (!c.sections || c.sections->empty())
        return parts;
    const int lastRule = g.top + g.headingHeight + g.pitch * RowsPerPage;
    const int firstPageRows = rowsOnFirstPage(g, aboveHeight(c, 0));
    int page = tablePages(g, c) - 1;
    const qsizetype lastRows = rowsOn(c.rows, page, firstPageRows);
    int cursor = g.top + aboveHeight(c, page) + g.headingHeight + g.pitch * int(lastRows);
    cursor += 2 * g.pitch; // the report date's line
    if (c.below)
        cursor += g.pitch + c.belowHeight;
    for (std::size_t s = 0; s < c.sections->size(); ++s) {
        const TableSection& section = (*c.sections)[s];
        if (cursor + g.pitch + g.headingHeight + g.pitch > lastRule) {
            ++page;
            cursor = g.top;
        }
        int captionTop = cursor;
        int top = cursor + g.pitch;
        qsizetype first = 0;
        do {
            const qsizetype room = std::max((lastRule - top - g.headingHeight) / g.pitch, 0);
            const qsizetype count = std::min<qsizetype>(room, section.rows.size() - first);
            parts.push_back({page, s, first, count, captionTop, top});
            first += count;
            cursor = top + g.headingHeight + g.pitch * int(count) + g.pitch;
            if (first < section.rows.size()) {
                ++page;
                captionTop = -1;
                top = g.top;
            }
        } while (first < section.rows.size());
    }
    return parts;
}

int pageCount(const PageGeometry& g, const PageContent& c) {
    const std::vector<SectionPart> parts = sectionParts(g, c);
    return std::max(tablePages(g, c), parts.empty() ? 0 : parts.back().page + 1);
}

void drawSections(QPainter& painter, const Placer& at, const PageGeometry& g, const PageContent& c,
                  int page) {
    const QFont headingFont = songFont(g.points.heading);
    const QFont bodyFont = songFont(g.points.body);
    const int ruleWidth =
        g.rules.width ? g.rules.width : std::max(1, painter.device()->logicalDpiX() / 300);
    for (const SectionPart& part : sectionParts(g, c)) {
        if (part.page != page)
            continue;
        const TableSection& section = (*c.sections)[part.section];
        painter.setPen(QPen(Qt::black));
        painter.setFont(headingFont);
        if (part.captionTop >= 0)
            at.text(g.left, part.captionTop + g.inset, section.caption);
        std::vector<int> xs{g.left};
        for (int w : section.columnWidths)
            xs.push_back(xs.back() + w);
        const int columns = int(xs.size()) - 1;
        for (int col = 0; col < section.headings.size() && col < columns; ++col)
            at.text(xs[col] + g.inset, part.top + g.headingTop, section.headings[col],
                    xs[col + 1] - xs[col] - g.inset - g.inset / 2);
        painter.setPen(QPen(Qt::black, ruleWidth));
        painter.setFont(bodyFont);
        int ruleY = part.top + g.headingHeight;
        at.line(g.left, part.top, xs.back(), part.top);
        at.line(g.left, ruleY, xs.back(), ruleY);
        for (qsizetype j = 0; j < part.count; ++j) {
            const QStringList& row = section.rows[part.first + j];
            for (int col = 0; col < columns; ++col)
                at.text(xs[col] + g.inset, ruleY + g.inset, row.value(col),
                        xs[col + 1] - xs[col] - g.inset - g.inset / 2);
            ruleY += g.pitch;
            at.line(g.left, ruleY, xs.back(), ruleY);
        }
        for (int x : xs)
            at.line(x, part.top, x, ruleY);
    }
}

// The sheet's line, the title and what stands above the table; returns the height of the last.
int drawHead(QPainter& painter, const Placer& at, const PageGeometry& g, const PageContent& c,
             int page) {
    if (g.sheet.width) {
        painter.setPen(QPen(Qt::white, g.sheet.width, Qt::SolidLine, Qt::RoundCap));
        at.line(g.sheet.line.x1(), g.sheet.line.y1(), g.sheet.line.x2(), g.sheet.line.y2());
    }
    painter.setPen(QPen(Qt::black));
    if (page == 0 || g.title.everyPage) {
        painter.setFont(songFont(g.points.title));
        at.text(g.title.centre - g.title.halfByte * CodePage936Length(c.title), g.title.top,
                c.title);
    }
    const int above = aboveHeight(c, page);
    if (above) {
        painter.save();
        c.above(painter, QRectF(at.x(g.left), at.y(g.top - g.aboveMargin), at.x(g.width),
                                at.y(above - 2 * g.aboveMargin)));
        painter.restore();
    }
    return above;
}

// Where a page's rows go: the columns' edges, the table's top, the rule under the heading.
struct RowsPlace {
    const std::vector<int>& xs;
    int top = 0;
    int ruleY = 0;
    qsizetype first = 0;
    qsizetype count = 0;
};

// Draws the rows with their rules; returns where the rule under the last one is.
int drawRows(const Placer& at, const PageGeometry& g, const PageContent& c, const RowsPlace& place,
             const std::function<int(int)>& textX) {
    const std::vector<int>& xs = place.xs;
    const int columns = int(xs.size()) - 1;
    int ruleY = place.ruleY;
    for (qsizetype j = 0; j < place.count; ++j) {
        const int textY = ruleY + g.inset;
        ruleY += g.pitch;
        for (int col = 0; col < columns; ++col)
            at.text(textX(col), textY, c.cell(place.first + j, col),
                    xs[col + 1] - textX(col) - g.inset / 2);
        at.line(g.left, ruleY, xs.back(), ruleY);
        if (g.rules.eachRow)
            for (int x : xs)
                at.line(x, place.top, x, ruleY);
    }
    if (!g.rules.eachRow)
        for (int x : xs)
            at.line(x, place.top, x, ruleY);
    return ruleY;
}

void drawPage(QPainter& painter, const PageGeometry& g, const PageContent& c, int page) {
    const Placer at(painter, g.unitsPerInch);
    const int above = drawHead(painter, at, g, c, page);
    const int lastTablePage = tablePages(g, c) - 1;
    if (page > lastTablePage) {
        drawSections(painter, at, g, c, page);
        painter.setFont(songFont(page == 0 ? g.points.heading : g.points.body));
        at.text(g.pageLine.x(), g.pageLine.y(), pageLine(page, c.shownPages));
        return;
    }
    const int top = g.top + above;
    std::vector<int> xs{g.left};
    for (int w : c.widths)
        xs.push_back(xs.back() + w);
    const int columns = int(xs.size()) - 1;
    const auto textX = [&](int column) {
        return xs[column] + (c.insets.empty() ? g.inset : c.insets[column]);
    };
    painter.setFont(songFont(g.points.heading));
    for (int col = 0; col < c.headings.size() && col < columns; ++col)
        at.text(textX(col), top + g.headingTop, c.headings[col]);
    const QFont bodyFont = songFont(g.points.body);
    if (page > 0)
        painter.setFont(bodyFont);

    const int ruleWidth =
        g.rules.width ? g.rules.width : std::max(1, painter.device()->logicalDpiX() / 300);
    painter.setPen(g.rules.round
                       ? QPen(Qt::black, ruleWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin)
                       : QPen(Qt::black, ruleWidth));
    const int right = xs.back();
    int ruleY = top + g.headingHeight;
    at.line(g.left, top, right, top);
    at.line(g.left, ruleY, right, ruleY);

    const int firstPageRows = rowsOnFirstPage(g, aboveHeight(c, 0));
    const qsizetype first = firstRowOn(page, firstPageRows);
    const qsizetype count = rowsOn(c.rows, page, firstPageRows);
    ruleY = drawRows(at, g, c, {xs, top, ruleY, first, count}, textX);
    at.text(g.pageLine.x(), g.pageLine.y(), pageLine(page, c.shownPages));

    if (page == lastTablePage) {
        painter.setFont(bodyFont);
        const int y = ruleY + g.inset;
        if (c.total) {
            const PageGeometry::Total& total = g.totals[page == 0 ? 0 : 1];
            at.text(total.labelX, y, Messages::GrandTotalLabel());
            at.text(total.valueX, y, *c.total + QString::fromUtf8(total.unit));
        }
        if (c.cashLine)
            at.text(g.left, y + g.cashLineGap, *c.cashLine);
        at.text(g.left, y, Messages::ReportDateLabel());
        at.text(g.dateX, y, c.reportDate);
        if (c.below) {
            painter.save();
            c.below(painter,
                    QRectF(at.x(g.left), at.y(y + g.pitch), at.x(g.width), at.y(c.belowHeight)));
            painter.restore();
        }
        drawSections(painter, at, g, c, page);
    }
}

void paintPages(QPainter& painter, const PageGeometry& g, const PageContent& c,
                const std::function<bool()>& newPage) {
    const int pages = pageCount(g, c);
    for (int page = 0; page < pages; ++page) {
        if (page > 0 && !newPage())
            return;
        drawPage(painter, g, c, page);
    }
}

PageContent reportContent(const ReportColumns& columns, const Report& report,
                          const ReportHeading& heading) {
    static constexpr Report::Column Order[] = {Report::CardNo, Report::Name, Report::Date,
                                               Report::Amount};
    const std::shared_ptr<const TextRows> rows = report.rows;
    // The drawer's cash is said only when it differs from what the amounts already tell.
    std::optional<QString> cashLine;
    if (report.cash && report.cash->linked)
        cashLine =
            Messages::CashLine(Cash::YuanText(report.cash->in), Cash::YuanText(report.cash->out),
                               Cash::YuanText(report.cash->net()));
    return {heading.title,
            heading.reportDate,
            // The printed amount's heading names its unit.
            Messages::RecordHeadings().first(3) << columns.amountHeading,
            columns.widths,
            columns.insets,
            report.recordCount(),
            [rows](qsizetype row, int column) {
                const QString text = rows->text(row, Order[column]);
                if (Order[column] != Report::Amount)
                    return text;
                // A correction's or a replacement's amount says so: the report tells them from
                // a plain recharge or clear without a column of its own.
                const QString link = rows->text(row, Report::Link);
                return link.isEmpty()
                           ? text
                           : Messages::LinkedAmount(
                                 text,
                                 RecordKindText(text, rows->text(row, Report::Operation), link));
            },
            ReportLayout::PageCount(report.recordCount()),
            report.totalText(),
            cashLine,
            0,
            {},
            0,
            {}};
}

PageContent tableContent(const TableDocument& d) {
    PageContent content{d.title,
                        d.reportDate,
                        d.headings,
                        d.columnWidths,
                        {},
                        d.rows.size(),
                        [&d](qsizetype row, int column) { return d.rows[row].value(column); },
                        0,
                        std::nullopt,
                        std::nullopt,
                        d.aboveHeight,
                        d.above,
                        d.belowHeight,
                        d.below,
                        &d.sections};
    content.shownPages = pageCount(SettlementPage, content);
    return content;
}

} // namespace

void DrawPrintedPage(QPainter& painter, const Report& report, const ReportHeading& heading,
                     int page) {
    drawPage(painter, PrintedPage, reportContent(printedColumns(), report, heading), page);
}

void PaintPrintedReport(QPainter& painter, const Report& report, const ReportHeading& heading,
                        const std::function<bool()>& newPage) {
    paintPages(painter, PrintedPage, reportContent(printedColumns(), report, heading), newPage);
}

void DrawPreviewPage(QPainter& painter, const Report& report, const ReportHeading& heading,
                     int page) {
    drawPage(painter, PreviewPage, reportContent(previewColumns(), report, heading), page);
}

namespace ReportLayout {

int TableRowsOnFirstPage(const TableDocument& d) {
    return rowsOnFirstPage(SettlementPage, d.above ? d.aboveHeight : 0);
}

int TablePageCount(const TableDocument& d) {
    return tableContent(d).shownPages;
}

} // namespace ReportLayout

void DrawTablePage(QPainter& painter, const TableDocument& document, int page) {
    drawPage(painter, SettlementPage, tableContent(document), page);
}

void PaintTableDocument(QPainter& painter, const TableDocument& document,
                        const std::function<bool()>& newPage) {
    paintPages(painter, SettlementPage, tableContent(document), newPage);
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

} // namespace velkar
