#include "reports/windows/SettlementPreviewDlg.h"

#include "reports/windows/PreviewDlg.h"
#include "ui_SettlementPreviewDlg.h"

#include <QImage>
#include <QPixmap>

namespace velkar {

CSettlementPreviewDlg::CSettlementPreviewDlg(TableDocument document, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CSettlementPreviewDlg>()),
      m_document(std::move(document)) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    connect(ui->prevButton, &QPushButton::clicked, this, &CSettlementPreviewDlg::OnPrevPage);
    connect(ui->nextButton, &QPushButton::clicked, this, &CSettlementPreviewDlg::OnNextPage);
    connect(ui->closeButton, &QPushButton::clicked, this, &QDialog::accept);
    showPage();
}

CSettlementPreviewDlg::~CSettlementPreviewDlg() = default;

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

// The page carries its own page line; the buttons say, as the report's preview does, whether
// there is a page that way.
void CSettlementPreviewDlg::showPage() {
    ui->pageView->setPixmap(QPixmap::fromImage(TablePageImage(m_document, m_page, Dpi)));
    ui->pageView->adjustSize();
    CPreviewDlg::SetPicture(ui->prevButton,
                            m_page > 0 ? CPreviewDlg::PrevPicture : CPreviewDlg::PrevGreyPicture);
    CPreviewDlg::SetPicture(ui->nextButton, m_page < pageCount() - 1
                                                ? CPreviewDlg::NextPicture
                                                : CPreviewDlg::NextGreyPicture);
}

} // namespace velkar
