#include "desk/windows/BackupPromptDlg.h"

#include "ui_BackupPromptDlg.h"

namespace velkar {

CBackupPromptDlg::CBackupPromptDlg(std::function<void()> backup, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CBackupPromptDlg>()), m_backup(std::move(backup)) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(ui->yesButton, &QPushButton::clicked, this, &CBackupPromptDlg::OnYes);
    connect(ui->noButton, &QPushButton::clicked, this, &CBackupPromptDlg::OnNo);
    connect(ui->handOverButton, &QPushButton::clicked, this, &CBackupPromptDlg::OnHandOver);
    ui->handOverButton->hide();
    connect(ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    ui->yesButton->setFocus();
}

CBackupPromptDlg::~CBackupPromptDlg() = default;

void CBackupPromptDlg::OnYes() {
    if (m_backup)
        m_backup();
    accept();
}

void CBackupPromptDlg::OnNo() {
    accept();
}

void CBackupPromptDlg::offerHandOver(std::function<bool()> handOver) {
    m_handOver = std::move(handOver);
    ui->handOverButton->setVisible(bool(m_handOver));
}

void CBackupPromptDlg::OnHandOver() {
    // A 交班 cancelled leaves the choice open.
    if (m_handOver && m_handOver())
        accept();
}

} // namespace velkar
