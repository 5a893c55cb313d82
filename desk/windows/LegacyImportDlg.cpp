#include "desk/windows/LegacyImportDlg.h"

#include "base/Messages.h"

#include "ui_LegacyImportDlg.h"

#include <QFontDatabase>

namespace velkar {

CLegacyImportDlg::CLegacyImportDlg(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CLegacyImportDlg>()) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    // The report lines its figures up in columns.
    ui->reportText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

CLegacyImportDlg::~CLegacyImportDlg() = default;

void CLegacyImportDlg::offer(const QString& chosen, const QString& working) {
    ui->textLabel->setText(Messages::LegacyOffer(chosen, working));
    ui->reportText->hide();
    ui->closeButton->hide();
    ui->importButton->show();
    ui->cancelButton->show();
    ui->cancelButton->setFocus();
    setMinimumWidth(560);
    adjustSize();
}

void CLegacyImportDlg::showReport(const QString& summary, const QString& report) {
    ui->textLabel->setText(summary);
    ui->reportText->setPlainText(report);
    ui->reportText->show();
    ui->importButton->hide();
    ui->cancelButton->hide();
    ui->closeButton->show();
    ui->closeButton->setFocus();
    resize(760, 560);
}

} // namespace velkar
