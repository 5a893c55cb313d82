#pragma once

#include "reports/ReportLayout.h"

#include <QDialog>
#include <memory>

namespace Ui {
class CSettlementPreviewDlg;
}

namespace velkar {

// The settlement's printed pages on the screen, drawn by the same page renderer as on paper,
// one page at a time.
class CSettlementPreviewDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int Dpi = 80;

    explicit CSettlementPreviewDlg(TableDocument document, QWidget* parent = nullptr);
    ~CSettlementPreviewDlg() override;

    int page() const { return m_page; }
    int pageCount() const { return ReportLayout::TablePageCount(m_document); }

public slots:
    void OnPrevPage();
    void OnNextPage();

private:
    void showPage();

    std::unique_ptr<Ui::CSettlementPreviewDlg> ui;
    TableDocument m_document;
    int m_page = 0;
};

} // namespace velkar
