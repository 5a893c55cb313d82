#include "records/windows/SheetImportDlg.h"

#include "base/Messages.h"
#include "reports/TextTableModel.h"
#include "reports/windows/RecordList.h"

#include "ui_SheetImportDlg.h"

#include <QFileInfo>
#include <QHeaderView>

namespace velkar {

CSheetImportDlg::CSheetImportDlg(const CardholderSheet::Preview& preview, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CSheetImportDlg>()),
      m_model(new TextTableModel(CardholderSheet::PreviewHeadings(), {0, 1, 2, 3, 4, 5, 6, 7, 8},
                                 this)) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(Messages::SheetImportTitle() + QStringLiteral(" - ") +
                   QFileInfo(preview.source).fileName());
    ui->summaryLabel->setText(
        Messages::SheetSummary(preview.added, preview.changed, preview.same, preview.refused) +
        QLatin1Char('\n') + Messages::SheetImportAsk());
    ui->notesLabel->setText(preview.notes.join(QLatin1Char('\n')));
    ui->notesLabel->setVisible(!preview.notes.isEmpty());
    auto table = std::make_shared<TextTable>(int(CardholderSheet::PreviewHeadings().size()));
    for (const CardholderSheet::Row& row : preview.rows) {
        table->beginRow();
        for (const QString& text : CardholderSheet::PreviewTexts(row))
            table->addCell(text.toUtf8());
    }
    StyleRecordList(ui->rowList);
    ui->rowList->setModel(m_model);
    m_model->setTable(std::move(table));
    const int widths[] = {44, 40, 50, 70, 70, 130, 90, 130};
    for (int c = 0; c < int(std::size(widths)); ++c)
        ui->rowList->setColumnWidth(c, widths[c]);
    // Why a row is refused, or what changes, takes the rest.
    ui->rowList->horizontalHeader()->setStretchLastSection(true);
    // Nothing to write: only 取消 is left.
    ui->importButton->setEnabled(preview.added + preview.changed > 0);
    ui->cancelButton->setFocus();
}

CSheetImportDlg::~CSheetImportDlg() = default;

} // namespace velkar
