#include "users/windows/PasswordDlg.h"

#include "base/Dialogs.h"
#include "users/Accounts.h"
#include "users/windows/EnterKey.h"

#include "ui_PasswordDlg.h"

namespace velkar {

CPasswordDlg::CPasswordDlg(Dialogs& dialogs, QString by, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CPasswordDlg>()), m_dialogs(dialogs),
      m_by(std::move(by)) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui->userCombo->addItems(Schema::AccountNames);
    ui->userCombo->setCurrentIndex(0);
    ui->userCombo->setFocus();
    connect(ui->changeButton, &QPushButton::clicked, this, &CPasswordDlg::OnChange);
    connect(ui->exitButton, &QPushButton::clicked, this, &QDialog::reject);
}

CPasswordDlg::~CPasswordDlg() = default;

void CPasswordDlg::requireNewPasswordFor(const QString& account, const QString& currentPassword) {
    ui->userCombo->setCurrentIndex(ui->userCombo->findText(account));
    ui->userCombo->setEnabled(false);
    ui->oldPasswordEdit->setText(currentPassword);
    ui->oldPasswordEdit->setEnabled(false);
    ui->newPasswordEdit->setFocus();
}

void CPasswordDlg::OnChange() {
    const int index = ui->userCombo->currentIndex();
    const QString name = index < 0 ? QString() : ui->userCombo->itemText(index);
    const PasswordOutcome outcome =
        ChangePassword(&m_dialogs, m_by, name, ui->oldPasswordEdit->text(),
                       ui->newPasswordEdit->text(), ui->repeatPasswordEdit->text());
    switch (outcome) {
    case PasswordOutcome::EmptyName:
    case PasswordOutcome::EmptyPassword:
        m_dialogs.warning(PasswordMessage(outcome));
        return;
    case PasswordOutcome::Changed:
        m_changed = true;
        m_dialogs.plain(PasswordMessage(outcome), this);
        reject();
        return;
    default:
        m_dialogs.plain(PasswordMessage(outcome), this);
        return;
    }
}

void CPasswordDlg::keyPressEvent(QKeyEvent* event) {
    if (!HandleEnterKey(this, event, [this] { OnChange(); }))
        QDialog::keyPressEvent(event);
}

} // namespace velkar
