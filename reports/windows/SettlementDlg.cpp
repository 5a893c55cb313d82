#include "reports/windows/SettlementDlg.h"

#include "base/Clock.h"
#include "base/Dialogs.h"
#include "base/Messages.h"
#include "base/PrivateFile.h"
#include "data/AdoConn.h"
#include "reports/Export.h"
#include "reports/ReportLayout.h"
#include "reports/SettlementSheets.h"
#include "reports/TextTableModel.h"
#include "reports/windows/RecordList.h"
#include "reports/windows/SettlementChart.h"
#include "reports/windows/SettlementPreviewDlg.h"
#include "reports/windows/ShiftList.h"

#include "ui_SettlementDlg.h"

#include <QChartView>
#include <QDir>
#include <QPainter>
#include <QPrinter>

namespace velkar {

namespace {

const QString DateFormat = QStringLiteral("yyyy-MM-dd");

} // namespace

CSettlementDlg::CSettlementDlg(Dialogs& dialogs, const Clock& clock, QDate from, QDate to,
                               const QString& account, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CSettlementDlg>()), m_dialogs(dialogs),
      m_clock(clock) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_model = ShowReviewList(ui->settleList, Settlement::ColumnHeadings());
    m_chartView = new QChartView(ui->chartHolder);
    m_chartView->setRenderHint(QPainter::Antialiasing);
    ui->chartLayout->addWidget(m_chartView);
    // The shifts of the same dates, under the days.
    m_shifts = new ShiftList(m_dialogs, m_clock, account, this);
    ui->layout->insertWidget(ui->layout->indexOf(ui->settleList) + 1, m_shifts);

    const QDate today = m_clock.now().date();
    ui->dateFromEdit->setDate(from.isValid() ? from : today);
    ui->dateToEdit->setDate(to.isValid() ? to : today);
    connect(ui->queryButton, &QPushButton::clicked, this, &CSettlementDlg::OnRunQuery);
    connect(ui->printButton, &QPushButton::clicked, this, &CSettlementDlg::OnPrint);
    connect(ui->previewButton, &QPushButton::clicked, this, &CSettlementDlg::OnPreview);
    connect(ui->exportButton, &QPushButton::clicked, this, &CSettlementDlg::OnExport);
    connect(ui->closeButton, &QPushButton::clicked, this, &QDialog::accept);
    OnRunQuery();
}

CSettlementDlg::~CSettlementDlg() = default;

bool CSettlementDlg::collect(Settlement::Result* result, std::vector<Shifts::Shift>* shifts) {
    try {
        Connection db(Schema::DatabaseLocation());
        const QString from = ui->dateFromEdit->date().toString(DateFormat);
        const QString to = ui->dateToEdit->date().toString(DateFormat);
        *result = Settlement::Collect(db, from, to);
        if (shifts)
            *shifts = Shifts::List(db, from, to);
        return true;
    } catch (const DataError&) {
        m_dialogs.plain(Messages::OperationFailed(), this);
        return false;
    }
}

void CSettlementDlg::OnRunQuery() {
    Settlement::Result result;
    if (!collect(&result))
        return;
    m_result = result;
    auto table = std::make_shared<TextTable>(int(Settlement::ColumnHeadings().size()));
    for (const QStringList& row : SettlementSheets::Rows(m_result)) {
        table->beginRow();
        for (const QString& cell : row)
            table->addCell(cell.toUtf8());
    }
    m_model->setTable(table);
    ui->settleList->resizeColumnsToContents();
    QChart* old = m_chartView->chart();
    m_chartView->setChart(DailyNetChart(m_result));
    delete old;
    m_shifts->showRange(ui->dateFromEdit->date().toString(DateFormat),
                        ui->dateToEdit->date().toString(DateFormat));
}

TableDocument CSettlementDlg::document(const Settlement::Result& result,
                                       const std::vector<Shifts::Shift>& shifts) const {
    TableDocument document;
    document.title = Title;
    document.reportDate = TimestampText(m_clock.now());
    document.headings = SettlementSheets::PrintedHeadings();
    document.columnWidths = SettlementSheets::PrintedWidths();
    document.rows = SettlementSheets::PrintedRows(result);
    document.sections = SettlementSheets::PrintedSections(result, shifts);
    document.aboveHeight = ChartHeight;
    // The preview keeps the document after this window's result has moved on.
    auto kept = std::make_shared<const Settlement::Result>(result);
    document.above = [kept](QPainter& painter, const QRectF& target) {
        PaintDailyNetChart(painter, target, *kept);
    };
    return document;
}

void CSettlementDlg::PrintSettlement(QPrinter& printer) {
    Settlement::Result result;
    std::vector<Shifts::Shift> shifts;
    if (!collect(&result, &shifts))
        return;
    const TableDocument pages = document(result, shifts);
    printer.setDocName(ReportLayout::JobName);
    QPainter painter;
    // Printed to a file, the report is the user's alone; the printer keeps the mode it finds.
    if (!printer.outputFileName().isEmpty())
        PrivateFile::Prepare(printer.outputFileName());
    if (!painter.begin(&printer)) {
        m_dialogs.plain(Messages::OperationFailed(), this);
        return;
    }
    PaintTableDocument(painter, pages, [&printer] { return printer.newPage(); });
    painter.end();
}

void CSettlementDlg::OnPreview() {
    Settlement::Result result;
    std::vector<Shifts::Shift> shifts;
    if (!collect(&result, &shifts))
        return;
    CSettlementPreviewDlg preview(document(result, shifts), this);
    preview.exec();
}

void CSettlementDlg::OnPrint() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(ReportLayout::JobName);
    if (!m_dialogs.choosePrinter(printer))
        return;
    PrintSettlement(printer);
}

void CSettlementDlg::OnExport() {
    const QString path =
        m_dialogs.chooseSaveFile(Export::FileFilter(), QStringLiteral("xlsx"), QDir::homePath());
    if (path.isEmpty())
        return;
    Settlement::Result result;
    std::vector<Shifts::Shift> shifts;
    if (!collect(&result, &shifts))
        return;
    const QString problem = Export::Write(path, SettlementSheets::Sheets(result, shifts));
    if (!problem.isEmpty())
        m_dialogs.plain(Messages::ExportFailed(problem), this);
    else
        m_dialogs.plain(Messages::ExportDone(), this);
}

} // namespace velkar
