#include "reports/windows/QueryDlg.h"

#include "base/Clock.h"
#include "base/Dialogs.h"
#include "base/Messages.h"
#include "base/PrivateFile.h"
#include "data/AdoConn.h"
#include "data/CashRule.h"
#include "reports/Export.h"
#include "reports/Report.h"
#include "reports/ReportLayout.h"
#include "reports/TextTableModel.h"
#include "reports/windows/PreviewDlg.h"
#include "reports/windows/RecordList.h"
#include "reports/windows/SettlementDlg.h"

#include "ui_QueryDlg.h"

#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QPrinter>
#include <QStyle>

namespace velkar {

namespace {

const QList<int> ListWidths{110, 110, 200, 110, 80, 110, 60, 80};

// Throws DataError when the store can't be opened or read.
Report collect(HeldConnection& store, const QString& start, const QString& end) {
    return CollectReport(store.require(), start, end);
}

QString cashText(const Report& report) {
    const CashTotals cash = report.cash.value_or(CashTotals{});
    return Messages::CashLine(Cash::YuanText(cash.in), Cash::YuanText(cash.out),
                              Cash::YuanText(cash.net()));
}

} // namespace

CQueryDlg::CQueryDlg(Dialogs& dialogs, const Clock& clock, QString account, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CQueryDlg>()), m_dialogs(dialogs), m_clock(clock),
      m_account(std::move(account)), m_store(&dialogs),
      m_model(new TextTableModel(Messages::QueryListHeadings() << Messages::QueryCashHeadings(),
                                 {Report::CardNo, Report::Name, Report::Date, Report::Amount,
                                  Report::Operator, Report::Desk, Report::Kind, Report::Cash},
                                 this)) {
    const QDate today = m_clock.now().date();
    m_dateTo = today;
    m_dateFrom = today;

    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    QTableView* list = ui->recordList;
    StyleRecordList(list);
    list->setModel(m_model);
    WidenColumnsWithList(list, ListWidths);
    UpdateData(false);
    // Every column in view at the size it opens with.
    int columns = 0;
    for (int width : ListWidths)
        columns += width;
    const int room = columns + 2 * list->frameWidth() +
                     list->style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                     layout()->contentsMargins().left() + layout()->contentsMargins().right();
    resize(std::max(width(), room), height());

    FollowCardLinks(list, 0, ui->linkText, m_store);
    connect(m_model, &TextTableModel::readFailed, this, &CQueryDlg::failed);
    connect(ui->queryButton, &QPushButton::clicked, this, &CQueryDlg::OnRunQuery);
    connect(ui->printButton, &QPushButton::clicked, this, &CQueryDlg::OnPrint);
    connect(ui->previewButton, &QPushButton::clicked, this, &CQueryDlg::OnPreview);
    connect(ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->exportButton, &QPushButton::clicked, this, &CQueryDlg::OnExport);
    connect(ui->settleButton, &QPushButton::clicked, this, &CQueryDlg::OnSettlement);

    QueryRecords();
    m_title = ReportLayout::Title;
}

CQueryDlg::~CQueryDlg() = default;

void CQueryDlg::UpdateData(bool save) {
    if (save) {
        m_dateTo = ui->dateToEdit->date();
        m_dateFrom = ui->dateFromEdit->date();
    } else {
        ui->dateToEdit->setDate(m_dateTo);
        ui->dateFromEdit->setDate(m_dateFrom);
    }
    ui->totalText->setText(m_totalText);
    ui->cashText->setText(m_cashText);
}

QString CQueryDlg::startBound() const {
    return DayStartText(m_dateFrom);
}

QString CQueryDlg::endBound() const {
    return DayEndText(m_dateTo);
}

void CQueryDlg::failed() {
    m_dialogs.plain(Messages::OperationFailed(), this);
}

void CQueryDlg::QueryRecords() {
    UpdateData(true);
    try {
        Report report = collect(m_store, startBound(), endBound());
        m_model->setRows(report.rows);
        m_totalText = report.totalText();
        m_cashText = cashText(report);
    } catch (const DataError&) {
        failed();
        return;
    }
    UpdateData(true);
}

void CQueryDlg::OnRunQuery() {
    QueryRecords();
}

void CQueryDlg::OnPrint() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(ReportLayout::JobName);
    printer.setPrintRange(QPrinter::AllPages);
    if (!m_dialogs.choosePrinter(printer))
        return;
    PrintReport(printer);
}

void CQueryDlg::PrintReport(QPrinter& printer) {
    m_recordCount = 0;
    UpdateData(true);
    m_reportDate = TimestampText(m_clock.now());
    Report report;
    try {
        report = collect(m_store, startBound(), endBound());
    } catch (const DataError&) {
        failed();
        return;
    }
    m_recordCount = report.recordCount();

    // One job, page after page, so that a file receives the whole report.
    printer.setDocName(ReportLayout::JobName);
    QPainter painter;
    // Printed to a file, the report is the user's alone; the printer keeps the mode it finds.
    if (!printer.outputFileName().isEmpty())
        PrivateFile::Prepare(printer.outputFileName());
    if (!painter.begin(&printer)) {
        failed();
        return;
    }
    const int pages = std::max(ReportLayout::PageCount(m_recordCount), 1);
    const std::unique_ptr<ProgressWindow> progress =
        m_dialogs.progress(Messages::PrintingReport(), pages, this);
    int page = 0;
    bool cancelled = false;
    try {
        PaintPrintedReport(painter, report, {m_title, m_reportDate}, [&] {
            if (!progress->advance(++page)) {
                cancelled = true;
                return false;
            }
            return printer.newPage();
        });
    } catch (const DataError&) {
        printer.abort();
        painter.end();
        failed();
        return;
    }
    if (cancelled) {
        printer.abort();
        painter.end();
        return;
    }
    progress->advance(pages);
    if (!painter.end())
        failed();
}

void CQueryDlg::OnPreview() {
    UpdateData(true);
    CPreviewDlg preview(m_dialogs, m_clock, startBound(), endBound(), this);
    preview.exec();
}

void CQueryDlg::OnExport() {
    const QString path =
        m_dialogs.chooseSaveFile(Export::FileFilter(), QStringLiteral("xlsx"), QDir::homePath());
    if (path.isEmpty())
        return;
    UpdateData(true);
    // Read afresh, as printing does: the list's columns with each cell as the list shows it,
    // and the total line the same sum the window shows.
    static constexpr Report::Column Shown[] = {Report::CardNo, Report::Name,     Report::Date,
                                               Report::Amount, Report::Operator, Report::Desk,
                                               Report::Kind,   Report::Cash};
    Export::Sheet sheet{ReportLayout::Title,
                        Messages::QueryListHeadings() << Messages::QueryCashHeadings(),
                        {},
                        {false, false, false, true, false, false, false, true}};
    Report report;
    qint64 rowsCash = 0; // tenths
    try {
        report = collect(m_store, startBound(), endBound());
        const TextRows& rows = *report.rows;
        for (qsizetype r = 0; r < rows.count(); ++r) {
            QStringList cells;
            for (Report::Column column : Shown)
                cells << rows.text(r, column);
            rowsCash += RecordCash(rows.text(r, Report::Amount), rows.text(r, Report::Operation),
                                   rows.text(r, Report::Link));
            sheet.rows << cells;
        }
    } catch (const DataError&) {
        failed();
        return;
    }
    // The cash column adds up on the total line; the payouts and the drawer's figures follow.
    const CashTotals cash = report.cash.value_or(CashTotals{});
    sheet.rows << QStringList{Messages::Total(),       {}, {}, report.totalText(), {}, {}, {},
                              Cash::YuanText(rowsCash)};
    const QStringList lines = Messages::QueryCashLines();
    const qint64 figures[] = {-cash.paid, cash.in, cash.out, cash.net()};
    for (int i = 0; i < lines.size(); ++i)
        sheet.rows << QStringList{lines[i], {}, {}, {}, {}, {}, {}, Cash::YuanText(figures[i])};
    const QString problem = Export::Write(path, sheet);
    if (!problem.isEmpty())
        m_dialogs.plain(Messages::ExportFailed(problem), this);
    else
        m_dialogs.plain(Messages::ExportDone(), this);
}

void CQueryDlg::OnSettlement() {
    UpdateData(true);
    CSettlementDlg dialog(m_dialogs, m_clock, m_dateFrom, m_dateTo, m_account, this);
    dialog.exec();
}

void CQueryDlg::keyPressEvent(QKeyEvent* event) {
    // Enter neither closes the window nor presses a button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace velkar
