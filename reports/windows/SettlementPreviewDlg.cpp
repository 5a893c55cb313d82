#include "reports/windows/SettlementPreviewDlg.h"

#include "base/Messages.h"
#include "ui_SettlementPreviewDlg.h"

#include <QImage>
#include <QPixmap>

namespace velkar {

CSettlementPreviewDlg::CSettlementPreviewDlg(TableDocument document, QWidget* parent)
    : QDialog(parent), ui(new Ui::CSettlementPreviewDlg), m_document(std::move(document)) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(ui->prevButton, &QPushButton::clicked, this, &CSettlementPreviewDlg::OnPrevPage);
    connect(ui->nextButton, &QPushButton::clicked, this, &CSettlementPreviewDlg::OnNextPage);
    connect(ui->closeButton, &QPushButton::clicked, this, &QDialog::accept);
    showPage();
}

CSettlementPreviewDlg::~CSettlementPreviewDlg() {
    delete ui;
}

void CSettlementPreviewDlg::OnPrevPage() {
    if (m_page > 0)
        --m_page;
    showPage();
}

void CSettlementPreviewDlg::OnNextPage() {
    if (m_page < pageCount() - 1)
        ++m_page;
    showPage();
}

void CSettlementPreviewDlg::showPage() {
    ui->pageView->setPixmap(QPixmap::fromImage(TablePageImage(m_document, m_page, Dpi)));
    ui->pageView->adjustSize();
    ui->prevButton->setEnabled(m_page > 0);
    ui->nextButton->setEnabled(m_page < pageCount() - 1);
    ui->pageLabel->setText(Messages::PageOf(m_page + 1, pageCount()));
}

} // namespace velkar
