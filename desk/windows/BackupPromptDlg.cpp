#include "desk/windows/BackupPromptDlg.h"

#include "ui_BackupPromptDlg.h"

namespace velkar {

CBackupPromptDlg::CBackupPromptDlg(std::function<void()> backup, QWidget* parent)
    : QDialog(parent), ui(new Ui::CBackupPromptDlg), m_backup(std::move(backup)) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(ui->yesButton, &QPushButton::clicked, this, &CBackupPromptDlg::OnYes);
    connect(ui->noButton, &QPushButton::clicked, this, &CBackupPromptDlg::OnNo);
    connect(ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    ui->yesButton->setFocus();
}

CBackupPromptDlg::~CBackupPromptDlg() {
    delete ui;
}

void CBackupPromptDlg::OnYes() {
    if (m_backup)
        m_backup();
    accept();
}

void CBackupPromptDlg::OnNo() {
    accept();
}

} // namespace velkar
