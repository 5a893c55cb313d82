#include "desk/windows/ShiftCloseDlg.h"

#include "base/Clock.h"
#include "base/Dialogs.h"
#include "base/Messages.h"
#include "reports/ZReport.h"
#include "reports/windows/ZReportPrint.h"

#include "ui_ShiftCloseDlg.h"

#include <QHeaderView>

namespace velkar {

CShiftCloseDlg::CShiftCloseDlg(Dialogs& dialogs, const Clock& clock, Shifts::Shift shift,
                               Close close, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CShiftCloseDlg>()), m_dialogs(dialogs),
      m_clock(clock), m_shift(std::move(shift)), m_close(std::move(close)) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    const QStringList headings = Messages::ZReportHeadings();
    ui->totalsTable->setColumnCount(int(headings.size()));
    ui->totalsTable->setHorizontalHeaderLabels(headings);
    ui->totalsTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    ui->previewButton->hide();
    ui->printButton->hide();
    ui->doneLabel->hide();
    connect(ui->countedEdit, &QLineEdit::textChanged, this, &CShiftCloseDlg::OnCountedChanged);
    connect(ui->floatEdit, &QLineEdit::textChanged, this, &CShiftCloseDlg::OnCountedChanged);
    ui->floatEdit->setText(Cash::YuanText(m_shift.cashFloat));
    connect(ui->countedEdit, &QLineEdit::returnPressed, ui->closeShiftButton, &QPushButton::click);
    connect(ui->closeShiftButton, &QPushButton::clicked, this, &CShiftCloseDlg::OnCloseShift);
    connect(ui->previewButton, &QPushButton::clicked, this, &CShiftCloseDlg::OnPreview);
    connect(ui->printButton, &QPushButton::clicked, this, &CShiftCloseDlg::OnPrint);
    connect(ui->cancelButton, &QPushButton::clicked, this, [this] {
        if (m_closed)
            accept();
        else
            reject();
    });
    showShift(m_shift);
    ui->countedEdit->setFocus();
}

CShiftCloseDlg::~CShiftCloseDlg() = default;

void CShiftCloseDlg::showShift(const Shifts::Shift& shift) {
    ui->headLabel->setText(
        m_closed
            ? ZReport::HeadLines(shift).join(QLatin1Char('\n'))
            : Messages::ShiftWindowHead(shift.id, shift.desk, shift.operatorName, shift.openedAt));
    const QList<QStringList> rows = ZReport::Rows(shift);
    ui->totalsTable->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c) {
            auto* item = new QTableWidgetItem(rows[r][c]);
            item->setTextAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignVCenter
                                          : Qt::AlignRight | Qt::AlignVCenter);
            ui->totalsTable->setItem(r, c, item);
        }
    // The table as tall as its rows, no taller. Rows keep the style's height: sized to their
    // text once the window is shown, they would shrink when the shift is closed.
    int height = ui->totalsTable->horizontalHeader()->sizeHint().height() +
                 2 * ui->totalsTable->frameWidth();
    for (int r = 0; r < ui->totalsTable->rowCount(); ++r)
        height += ui->totalsTable->rowHeight(r);
    ui->totalsTable->setFixedHeight(height);
    ui->movedEdit->setText(shift.expected ? Cash::YuanText(*shift.expected) : QString());
    OnCountedChanged();
}

void CShiftCloseDlg::OnCountedChanged() {
    const std::optional<qint64> cashFloat = Cash::TenthsFromText(ui->floatEdit->text());
    const std::optional<qint64> counted = Cash::TenthsFromText(ui->countedEdit->text());
    if (!cashFloat) {
        ui->expectedEdit->clear();
        ui->differenceEdit->clear();
        return;
    }
    const qint64 drawer = *cashFloat + m_shift.expected.value_or(0);
    ui->expectedEdit->setText(Cash::YuanText(drawer));
    if (!counted) {
        ui->differenceEdit->clear();
        return;
    }
    const qint64 difference = *counted - drawer;
    ui->differenceEdit->setText(Cash::YuanText(difference));
    // A drawer short or over stands out.
    ui->differenceEdit->setStyleSheet(difference == 0 ? QString()
                                                      : QStringLiteral("color: #c00000;"));
}

void CShiftCloseDlg::OnCloseShift() {
    if (m_closed)
        return;
    const std::optional<qint64> cashFloat = Cash::TenthsFromText(ui->floatEdit->text());
    if (!cashFloat) {
        m_dialogs.plain(Messages::TypeCashFloat(), this);
        ui->floatEdit->setFocus();
        ui->floatEdit->selectAll();
        return;
    }
    const std::optional<qint64> counted = Cash::TenthsFromText(ui->countedEdit->text());
    if (!counted) {
        m_dialogs.plain(Messages::TypeCountedCash(), this);
        ui->countedEdit->setFocus();
        ui->countedEdit->selectAll();
        return;
    }
    std::optional<Shifts::Shift> closed = m_close(counted, *cashFloat);
    if (!closed)
        return;
    m_closed = std::move(closed);
    m_shift = *m_closed;
    showShift(m_shift);
    ui->floatEdit->setText(Cash::YuanText(*cashFloat));
    ui->floatEdit->setReadOnly(true);
    ui->countedEdit->setText(Cash::YuanText(*counted));
    ui->countedEdit->setReadOnly(true);
    ui->doneLabel->setText(Messages::ShiftClosedDone(*m_shift.z, m_shift.seal));
    ui->doneLabel->show();
    ui->closeShiftButton->hide();
    ui->previewButton->show();
    ui->printButton->show();
    ui->printButton->setDefault(true);
    ui->printButton->setFocus();
    ui->cancelButton->setText(Messages::CloseButton());
}

void CShiftCloseDlg::OnPreview() {
    if (m_closed)
        PreviewZReport(*m_closed, TimestampText(m_clock.now()), false, this);
}

void CShiftCloseDlg::OnPrint() {
    if (m_closed)
        PrintZReport(m_dialogs, *m_closed, TimestampText(m_clock.now()), false, this);
}

} // namespace velkar
