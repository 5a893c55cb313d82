#include "RecordingDevice.h"

#include "data/Amount.h"
#include "reports/Report.h"
#include "reports/ReportLayout.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QTest>

using namespace velkar;

namespace {

Report makeReport(int records) {
    Report report;
    auto rows = std::make_shared<TableRows>();
    for (int i = 0; i < records; ++i) {
        rows->table().appendRow(
            {QStringLiteral("C%1").arg(i, 4, 10, QChar('0')),
             QStringLiteral("2024-03-01 10:%1:00").arg(i % 60, 2, 10, QChar('0')),
             QStringLiteral("100"), i == 0 ? QString() : QStringLiteral("王%1").arg(i)});
        report.total += 100;
    }
    report.rows = rows;
    return report;
}

const ReportHeading Heading{QStringLiteral("充值记录"), QStringLiteral("2024-03-02 08:00:00")};

void print(RecordingDevice& device, const Report& report) {
    QPainter painter(&device);
    PaintPrintedReport(painter, report, Heading, [&device] { return device.newPage(); });
}

bool at(const RecordingDevice::Text* t, qreal x, qreal y) {
    return t && qAbs(t->topLeft.x() - x) < 0.01 && qAbs(t->topLeft.y() - y) < 0.01;
}

QString where(const RecordingDevice::Text* t) {
    return t ? QStringLiteral("%1 at %2,%3 (%4 pt)")
                   .arg(t->text)
                   .arg(t->topLeft.x())
                   .arg(t->topLeft.y())
                   .arg(t->font.pointSizeF())
             : QStringLiteral("missing");
}

} // namespace

class ReportLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("AR PL UMing CN"));
    }

    // One rule, two limits: the reports count the "-" among five characters, the desk allows
    // four digits after it.
    void amountRule_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("cardValue");
        QTest::newRow("plain") << "100" << 100 << 100;
        QTest::newRow("negative") << "-25" << -25 << -25;
        QTest::newRow("lone minus") << "-" << 0 << 0;
        QTest::newRow("five digits") << "99999" << 99999 << 0;
        QTest::newRow("six characters") << "100000" << 0 << 0;
        QTest::newRow("negative six characters") << "-10000" << 0 << 0;
        QTest::newRow("negative five characters") << "-9999" << -9999 << -9999;
        QTest::newRow("fraction") << "12.5" << 0 << 0;
        QTest::newRow("letter") << "12a" << 0 << 0;
        QTest::newRow("leading blank") << " 12" << 0 << 0;
        QTest::newRow("plus") << "+12" << 0 << 0;
        QTest::newRow("two minuses") << "--1" << 0 << 0;
        QTest::newRow("empty") << "" << 0 << 0;
        QTest::newRow("full-width digit") << "１" << 0 << 0;
    }
    void amountRule() {
        QFETCH(QString, text);
        QFETCH(int, value);
        QFETCH(int, cardValue);
        QCOMPARE(AmountValue(QStringView(text), ReportAmountLimit), value);
        QCOMPARE(AmountValue(QByteArrayView(text.toUtf8()), ReportAmountLimit), value);
        QCOMPARE(CardAmountValue(text), cardValue);
        QCOMPARE(AmountValue(QByteArrayView(text.toUtf8()), CardAmountLimit), cardValue);
    }

    void pageNumbersAndTitleBytes() {
        QCOMPARE(PageNumberText(0), QStringLiteral("0"));
        QCOMPARE(PageNumberText(1786), QStringLiteral("1786"));
        QCOMPARE(PageNumberText(9999), QStringLiteral("9999"));
        QCOMPARE(PageNumberText(10000), QString());
        QCOMPARE(PageNumberText(-1), QString());
        QCOMPARE(CodePage936Length(QStringLiteral("充值记录")), 8);
        QCOMPARE(CodePage936Length(QStringLiteral("ab充")), 4);
        QCOMPARE(ReportLayout::PageCount(0), 0);
        QCOMPARE(ReportLayout::PageCount(28), 1);
        QCOMPARE(ReportLayout::PageCount(29), 2);
        QCOMPARE(ReportLayout::LastPage(0), 0);
        QCOMPARE(ReportLayout::LastPage(56), 1);
    }

    void textTableKeepsCells() {
        TextTable table(3);
        const QString longCell(300, QChar(0x738b)); // needs a two-byte length
        table.appendRow({"", longCell, "O'Brien"});
        table.appendRow({"a", "", "b"});
        QCOMPARE(table.rowCount(), 2);
        QCOMPARE(table.text(0, 0), QString());
        QCOMPARE(table.text(0, 1), longCell);
        QCOMPARE(table.text(0, 2), QStringLiteral("O'Brien"));
        QCOMPARE(table.text(1, 2), QStringLiteral("b"));
        QCOMPARE(table.text(2, 0), QString());
    }

    void printedPages_data() {
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("totalY");
        QTest::addColumn<QString>("totalText");
        QTest::addColumn<QString>("lastPageLine");
        QTest::newRow("none") << 0 << 1 << 750 << "0 元"
                              << "第 1 页  共 0 页";
        QTest::newRow("27") << 27 << 1 << 6150 << "2700 元"
                            << "第 1 页  共 1 页";
        QTest::newRow("28") << 28 << 1 << 6350 << "2800 元"
                            << "第 1 页  共 1 页";
        QTest::newRow("29") << 29 << 2 << 950 << "2900元"
                            << "第 2 页  共 2 页";
        QTest::newRow("56") << 56 << 2 << 6350 << "5600元"
                            << "第 2 页  共 2 页";
    }
    void printedPages() {
        QFETCH(int, records);
        QFETCH(int, pages);
        QFETCH(int, totalY);
        QFETCH(QString, totalText);
        QFETCH(QString, lastPageLine);
        RecordingDevice device(600);
        const Report report = makeReport(records);
        print(device, report);
        QCOMPARE(device.pages(), pages);
        const int last = pages - 1;

        for (int page = 0; page < pages; ++page) {
            // The title only on the first page; the headers in 13 points on every page.
            const auto* title = device.find(page, QStringLiteral("充值记录"));
            if (page == 0) {
                QVERIFY2(at(title, 2100, 100), qPrintable(where(title)));
                QCOMPARE(title->font.pointSizeF(), 20.0);
                QCOMPARE(title->font.family(), QStringLiteral("宋体"));
            } else {
                QVERIFY(!title);
            }
            const auto* money = device.find(page, QStringLiteral("金额(元)"));
            QVERIFY2(at(money, 3250, 540), qPrintable(where(money)));
            QCOMPARE(money->font.pointSizeF(), 13.0);
            QVERIFY(at(device.find(page, QStringLiteral("时间")), 1750, 540));

            // Rows repeat their positions from page to page; 13 points on page 1, 12 later.
            const int onPage = int(ReportLayout::RowsOnPage(records, page));
            for (int j = 0; j < onPage; ++j) {
                const int r = page * 28 + j;
                const auto* card =
                    device.find(page, QStringLiteral("C%1").arg(r, 4, 10, QChar(u'0')));
                QVERIFY2(at(card, 450, 750 + 200 * j), qPrintable(where(card)));
                QCOMPARE(card->font.pointSizeF(), page == 0 ? 13.0 : 12.0);
                if (r > 0)
                    QVERIFY(
                        at(device.find(page, QStringLiteral("王%1").arg(r)), 1050, 750 + 200 * j));
            }
            const QString pageLine = QStringLiteral("第 %1 页  共 %2 页")
                                         .arg(page + 1)
                                         .arg(pages == 1 && records == 0 ? 0 : pages);
            const auto* line = device.find(page, pageLine);
            QVERIFY2(at(line, 2000, 6550), qPrintable(pageLine));
            QCOMPARE(line->font.pointSizeF(), page == 0 ? 13.0 : 12.0);

            // The rules: 4 pixels wide; the frame ends under the page's last row.
            const auto lines = device.linesOn(page);
            int verticals = 0;
            for (const auto& l : lines) {
                QCOMPARE(l.width, 4.0);
                if (l.line.x1() == l.line.x2()) {
                    ++verticals;
                    QCOMPARE(l.line.y1(), 500.0);
                    QVERIFY(l.line.y2() <= 900 + 200 * (onPage - 1));
                }
            }
            QCOMPARE(verticals, 5 * onPage);
            QCOMPARE(lines.size(), 2 + 6 * onPage);

            // The total block only on the last page.
            const auto* total = device.find(page, QStringLiteral("总计:"));
            QCOMPARE(bool(total), page == last);
        }
        QCOMPARE(device.find(last, lastPageLine) != nullptr, true);
        const auto* total = device.find(last, QStringLiteral("总计:"));
        QVERIFY2(at(total, 3450, totalY), qPrintable(where(total)));
        QCOMPARE(total->font.pointSizeF(), 12.0);
        const auto* sum = device.find(last, totalText);
        QVERIFY2(at(sum, 3800, totalY), qPrintable(totalText));
        QVERIFY(at(device.find(last, QStringLiteral("报表日期:")), 400, totalY));
        const auto* date = device.find(last, Heading.reportDate);
        QVERIFY(at(date, 1000, totalY));
        QCOMPARE(date->font.pointSizeF(), 12.0);
    }

    void printedPositionsFollowTheResolution() {
        RecordingDevice device(300);
        print(device, makeReport(1));
        QVERIFY(at(device.find(0, QStringLiteral("充值记录")), 1050, 50));
        QVERIFY(at(device.find(0, QStringLiteral("卡号")), 225, 270));
        QVERIFY(at(device.find(0, QStringLiteral("C0000")), 225, 375));
        const auto lines = device.linesOn(0);
        QCOMPARE(lines.first().line, QLineF(200, 250, 2200, 250));
        QCOMPARE(lines.first().width, 4.0); // the pen is not scaled

        RecordingDevice odd(360); // the fraction is dropped: 450 -> 270, 1050 -> 630
        print(odd, makeReport(2));
        QVERIFY(at(odd.find(0, QStringLiteral("C0001")), 270, 570));
        QVERIFY(at(odd.find(0, QStringLiteral("王1")), 630, 570));
    }

    void previewPages_data() {
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("pageLine");
        QTest::addColumn<int>("totalX");
        QTest::addColumn<int>("totalY");
        QTest::newRow("none") << 0 << 0 << 0 << "第 1 页  共 0 页" << 390 << 75;
        QTest::newRow("28") << 28 << 0 << 28 << "第 1 页  共 1 页" << 390 << 635;
        QTest::newRow("29 first") << 29 << 0 << 28 << "第 1 页  共 2 页" << -1 << 0;
        QTest::newRow("29 second") << 29 << 1 << 1 << "第 2 页  共 2 页" << 395 << 95;
    }
    void previewPages() {
        QFETCH(int, records);
        QFETCH(int, page);
        QFETCH(int, rows);
        QFETCH(QString, pageLine);
        QFETCH(int, totalX);
        QFETCH(int, totalY);
        RecordingDevice device(96, {600, 700});
        {
            QPainter painter(&device);
            DrawPreviewPage(painter, makeReport(records), Heading, page);
        }
        // The sheet first: a wide white stroke; then 1-pixel black rules.
        QCOMPARE(device.lines.first().line, QLineF(0, 360, 500, 360));
        QCOMPARE(device.lines.first().width, 625.0);
        QCOMPARE(device.lines.first().color, QColor(Qt::white));
        QCOMPARE(device.lines.size(), 1 + 2 + 6 * rows);
        QCOMPARE(device.lines.last().width, 1.0);

        const auto* title = device.find(0, QStringLiteral("充值记录"));
        QVERIFY2(at(title, 260, 10), qPrintable(where(title)));
        QCOMPARE(title->font.pointSizeF(), 15.0);
        const auto* money = device.find(0, QStringLiteral("金额（元）"));
        QVERIFY(at(money, 380, 55));
        QCOMPARE(money->font.pointSizeF(), 11.0);
        for (int j = 0; j < rows; ++j) {
            const auto* card =
                device.find(0, QStringLiteral("C%1").arg(page * 28 + j, 4, 10, QChar(u'0')));
            QVERIFY2(at(card, 55, 75 + 20 * j), qPrintable(where(card)));
            QCOMPARE(card->font.pointSizeF(), page == 0 ? 11.0 : 10.0);
        }
        const auto* line = device.find(0, pageLine);
        QVERIFY2(at(line, 200, 635), qPrintable(pageLine));
        const auto* total = device.find(0, QStringLiteral("总计:"));
        if (totalX < 0) {
            QVERIFY(!total);
            return;
        }
        QVERIFY2(at(total, totalX, totalY), qPrintable(where(total)));
        QCOMPARE(total->font.pointSizeF(), 10.0);
        QVERIFY(at(device.find(0, QStringLiteral("%1 元").arg(records * 100)), 450, totalY));
        QVERIFY(at(device.find(0, QStringLiteral("报表日期:")), 50, totalY));
        QVERIFY(at(device.find(0, Heading.reportDate), 120, totalY));
    }

    // A name longer than its column is cut short with "…" before the 时间 rule, on paper and
    // in the preview; a name that fits, a card number and a time are drawn whole.
    void longNamesStayInTheirColumn() {
        Report report;
        auto rows = std::make_shared<TableRows>();
        const QString longName = QStringLiteral("欧阳很长很长的名字和一个更长的英文名 Alexandra");
        rows->table().appendRow({QStringLiteral("ABCDEF01"), QStringLiteral("2024-03-01 10:00:00"),
                                 QStringLiteral("100"), longName});
        rows->table().appendRow({QStringLiteral("00000002"), QStringLiteral("2024-03-01 10:01:00"),
                                 QStringLiteral("100000"), QStringLiteral("王五")});
        // The widest card number there is.
        rows->table().appendRow({QStringLiteral("DDDDDDDD"), QStringLiteral("2024-12-31 23:59:59"),
                                 QStringLiteral("-99999"), QStringLiteral("Wolfgang")});
        report.rows = rows;
        for (const bool preview : {false, true}) {
            RecordingDevice device(preview ? 96 : 600,
                                   preview ? QSize(600, 700) : QSize(5100, 6600));
            {
                QPainter painter(&device);
                if (preview)
                    DrawPreviewPage(painter, report, Heading, 0);
                else
                    DrawPrintedPage(painter, report, Heading, 0);
            }
            const int timeRule = preview ? 50 + 70 + 75 : 1700;
            const auto* name = device.find(0, QStringLiteral("王五"));
            QVERIFY(name);
            const RecordingDevice::Text* cut = nullptr;
            for (const auto& t : device.texts)
                if (t.text.startsWith(QStringLiteral("欧阳")))
                    cut = &t;
            QVERIFY(cut);
            QVERIFY2(cut->text.endsWith(QChar(0x2026)), qPrintable(cut->text));
            QVERIFY(longName.startsWith(cut->text.chopped(1)));
            const qreal right =
                cut->topLeft.x() + QFontMetricsF(cut->font, &device).horizontalAdvance(cut->text);
            QVERIFY2(right <= timeRule, qPrintable(QString::number(right)));
            for (const char* whole : {"ABCDEF01", "00000002", "2024-03-01 10:00:00", "100000",
                                      "DDDDDDDD", "2024-12-31 23:59:59", "-99999", "Wolfgang"})
                QVERIFY2(device.find(0, QString::fromLatin1(whole)), whole);
        }
    }

    // Further tables flow on under the report date: a caption, their own heading, and onto a new
    // page when not even one row fits, their heading repeated; the page count covers them all.
    void settlementSectionsFlowOn() {
        TableDocument document;
        document.title = QStringLiteral("日结");
        document.reportDate = Heading.reportDate;
        document.headings = QStringList{QStringLiteral("日期")};
        document.columnWidths = {4000};
        for (int r = 0; r < 20; ++r)
            document.rows << QStringList{QStringLiteral("d%1").arg(r)};
        TableSection cash{QStringLiteral("现金收支"), {QStringLiteral("现金")}, {2000, 2000}, {}};
        for (int r = 0; r < 3; ++r)
            cash.rows << QStringList{QStringLiteral("c%1").arg(r), QStringLiteral("x%1").arg(r)};
        TableSection shifts{QStringLiteral("班次"), {QStringLiteral("Z 号")}, {4000}, {}};
        for (int r = 0; r < 40; ++r)
            shifts.rows << QStringList{QStringLiteral("z%1").arg(r)};
        document.sections = {cash, shifts};
        QCOMPARE(ReportLayout::TablePageCount(document), 3);

        RecordingDevice device(600);
        {
            QPainter painter(&device);
            PaintTableDocument(painter, document, [&device] { return device.newPage(); });
        }
        QCOMPARE(device.pages(), 3);
        // 20 rows end at 4700; the date under them, the cash table's caption two lines down.
        QVERIFY(at(device.find(0, QStringLiteral("报表日期:")), 400, 4750));
        QVERIFY(at(device.find(0, QStringLiteral("现金收支")), 400, 5150));
        const auto* heading = device.find(0, QStringLiteral("现金"));
        QVERIFY2(at(heading, 450, 5340), qPrintable(where(heading)));
        QVERIFY(at(device.find(0, QStringLiteral("x2")), 2450, 5950));
        // The shifts' caption, heading and a row do not fit under it: a page of their own.
        QVERIFY(!device.find(0, QStringLiteral("班次")));
        QVERIFY(at(device.find(1, QStringLiteral("班次")), 400, 550));
        QVERIFY(at(device.find(1, QStringLiteral("z0")), 450, 950));
        QVERIFY(at(device.find(1, QStringLiteral("z26")), 450, 6150));
        QVERIFY(!device.find(2, QStringLiteral("班次")));
        QVERIFY(at(device.find(2, QStringLiteral("Z 号")), 450, 540));
        QVERIFY(at(device.find(2, QStringLiteral("z27")), 450, 750));
        QVERIFY(at(device.find(2, QStringLiteral("第 3 页  共 3 页")), 2000, 6550));
        // No table of the document's own on the pages after its last.
        QVERIFY(!device.find(1, QStringLiteral("日期")));
        QVERIFY(!device.find(2, QStringLiteral("报表日期:")));
        for (const auto& l : device.linesOn(2))
            QVERIFY(l.line.y1() >= 500 && l.line.y2() <= 500 + 200 + 13 * 200);
    }

    // A correction's or a replacement's amount says so on paper, and the drawer's cash follows
    // the total; a range of plain recharges and clears prints as it always did.
    void printedReportTellsCashFromTransfer() {
        Report report;
        auto rows = std::make_shared<TableRows>(8);
        rows->table().appendRow({"C1", "2024-03-01 10:00:00", "100", "", "", "", "recharge", ""});
        rows->table().appendRow(
            {"C2", "2024-03-01 11:00:00", "33", "", "", "", "recharge", "replacement"});
        report.rows = rows;
        report.total = 133;
        report.cash = CashTotals{1000, 7, 7, true};
        RecordingDevice device(600);
        print(device, report);
        QVERIFY(device.find(0, QStringLiteral("100")));
        QVERIFY(at(device.find(0, QStringLiteral("33（补卡）")), 3250, 950));
        const auto* cash = device.find(0, QStringLiteral("现金收入: 100.0 元  现金支出: 0.7 元  "
                                                         "现金净额: 99.3 元"));
        QVERIFY2(at(cash, 400, 1250), qPrintable(where(cash)));

        report.cash->linked = false;
        RecordingDevice plain(600);
        print(plain, report);
        for (const auto& t : plain.textsOn(0))
            QVERIFY2(!t.text.startsWith(QStringLiteral("现金")), qPrintable(t.text));
    }

    // The settlement is printed on the report's page with a chart above the table on the first
    // page: fewer rows there, the frame ruled once per page, the date under the last row.
    void settlementPages() {
        TableDocument document;
        document.title = QStringLiteral("日结");
        document.reportDate = Heading.reportDate;
        document.headings = QStringList{QStringLiteral("日期")};
        document.columnWidths = {700, 600, 500, 600, 500, 600, 500};
        for (int r = 0; r < 25; ++r)
            document.rows << QStringList{QStringLiteral("%1.0").arg(r),
                                         QStringLiteral("%1.1").arg(r)};
        document.aboveHeight = 1500;
        QList<QRectF> charts;
        document.above = [&charts](QPainter&, const QRectF& target) { charts << target; };
        QCOMPARE(ReportLayout::TableRowsOnFirstPage(document), 20);
        QCOMPARE(ReportLayout::TablePageCount(document), 2);

        RecordingDevice device(600);
        {
            QPainter painter(&device);
            PaintTableDocument(painter, document, [&device] { return device.newPage(); });
        }
        QCOMPARE(device.pages(), 2);
        QCOMPARE(charts, QList<QRectF>{QRectF(400, 450, 4000, 1400)});
        const auto* title = device.find(0, document.title);
        QVERIFY2(at(title, 2300, 100), qPrintable(where(title)));
        QVERIFY(!device.find(1, document.title));
        QVERIFY(at(device.find(0, QStringLiteral("日期")), 450, 2040));
        QVERIFY(at(device.find(1, QStringLiteral("日期")), 450, 540));
        QVERIFY(at(device.find(0, QStringLiteral("0.0")), 450, 2250));
        QVERIFY(at(device.find(0, QStringLiteral("19.1")), 1150, 6050));
        const auto* row = device.find(1, QStringLiteral("20.0"));
        QVERIFY2(at(row, 450, 750), qPrintable(where(row)));
        QCOMPARE(row->font.pointSizeF(), 12.0);
        QVERIFY(at(device.find(0, QStringLiteral("第 1 页  共 2 页")), 2000, 6550));
        QVERIFY(!device.find(0, QStringLiteral("报表日期:")));
        QVERIFY(at(device.find(1, QStringLiteral("报表日期:")), 400, 1750));
        QVERIFY(at(device.find(1, Heading.reportDate), 1000, 1750));
        QVERIFY(!device.find(1, QStringLiteral("总计:")));

        // Two rules above the rows, one under each, eight verticals down to the last.
        const int lastRule[] = {6200, 1700};
        for (int page = 0; page < 2; ++page) {
            const auto lines = device.linesOn(page);
            QCOMPARE(lines.size(), 2 + (page == 0 ? 20 : 5) + 8);
            for (const auto& l : lines) {
                QCOMPARE(l.width, 2.0); // a dot for every 300 to the inch
                if (l.line.x1() == l.line.x2())
                    QCOMPARE(l.line, QLineF(l.line.x1(), page == 0 ? 2000 : 500, l.line.x1(),
                                            lastRule[page]));
            }
            QCOMPARE(lines.last().line.x1(), 4400.0);
        }
    }
};

QTEST_MAIN(ReportLayoutTest)
#include "tst_report_layout.moc"
