#include "users/windows/LoginDlg.h"

#include "base/Dialogs.h"
#include "base/Messages.h"
#include "data/Audit.h"
#include "users/Accounts.h"
#include "users/windows/EnterKey.h"
#include "users/windows/PasswordDlg.h"

#include "ui_LoginDlg.h"

namespace velkar {

CLoginDlg::CLoginDlg(Dialogs& dialogs, QWidget* parent) : CLoginDlg(dialogs, nullptr, parent) {}

CLoginDlg::CLoginDlg(Dialogs& dialogs, Settings& settings, QWidget* parent)
    : CLoginDlg(dialogs, &settings, parent) {}

CLoginDlg::CLoginDlg(Dialogs& dialogs, Settings* settings, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CLoginDlg>()), m_dialogs(dialogs),
      m_settings(settings) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui->userCombo->addItems(Schema::AccountNames);
    ui->userCombo->setCurrentIndex(0);
    offerDeliveredPassword();
    connect(ui->userCombo, &QComboBox::currentIndexChanged, this,
            &CLoginDlg::offerDeliveredPassword);
    // The password is what is typed first; Tab then goes in the order the window reads.
    ui->passwordEdit->setFocus();
    connect(ui->loginButton, &QPushButton::clicked, this, &CLoginDlg::OnLogin);
    connect(ui->exitButton, &QPushButton::clicked, this, &QDialog::reject);
}

CLoginDlg::~CLoginDlg() = default;

// The delivered password is offered only while the chosen account still holds it, so that a
// changed password never starts the day with "密码错误". A password typed by hand stays.
void CLoginDlg::offerDeliveredPassword() {
    const QString typed = ui->passwordEdit->text();
    if (!typed.isEmpty() && typed != Schema::DeliveredPassword)
        return;
    const QString name = selectedName();
    const bool changed =
        m_settings ? DeliveredPasswordChanged(*m_settings, name) : DeliveredPasswordChanged(name);
    ui->passwordEdit->setText(changed ? QString() : Schema::DeliveredPassword);
}

QString CLoginDlg::selectedName() const {
    const int index = ui->userCombo->currentIndex();
    return index < 0 ? QString() : ui->userCombo->itemText(index);
}

void CLoginDlg::OnLogin() {
    const QString name = selectedName();
    const QString password = ui->passwordEdit->text();
    // Refused before the password is tried: nothing is written into a ledger under suspicion.
    if (m_administratorOnly && !name.isEmpty() && name != AdministratorName) {
        m_dialogs.warning(Messages::OnlyAdministratorMayLogIn(), this);
        return;
    }
    const LoginOutcome outcome = CheckLogin(&m_dialogs, name, password);
    switch (outcome) {
    case LoginOutcome::Success:
        if (name == AdministratorName) {
            const QString broken =
                m_settings ? AuditChainProblem(*m_settings) : AuditChainProblem();
            if (!broken.isEmpty())
                m_dialogs.warning(Messages::AuditTrailChanged(broken), this);
            // Anyone at the counter knows the delivered password: the desk waits for a new one.
            if (password == Schema::DeliveredPassword && !replaceDeliveredPassword()) {
                m_dialogs.warning(Messages::DeliveredPasswordKept(), this);
                return;
            }
            const QStringList still = m_settings ? RecordDeliveredPasswords(*m_settings, name)
                                                 : RecordDeliveredPasswords(name);
            if (!still.isEmpty())
                m_dialogs.warning(
                    Messages::DeliveredPasswordsLeft(still, Schema::DeliveredPassword), this);
        }
        m_session = {name, name == AdministratorName, Audit::ThisDesk()};
        accept();
        return;
    case LoginOutcome::NoSuchUser:
    case LoginOutcome::WrongPassword:
        m_dialogs.plain(LoginMessage(outcome), this);
        return;
    default:
        m_dialogs.warning(LoginMessage(outcome));
        return;
    }
}

bool CLoginDlg::replaceDeliveredPassword() {
    m_dialogs.warning(Messages::DeliveredPasswordMustChange(Schema::DeliveredPassword), this);
    CPasswordDlg window(m_dialogs, AdministratorName, this);
    window.requireNewPasswordFor(AdministratorName, Schema::DeliveredPassword);
    window.exec();
    return window.changed();
}

void CLoginDlg::keyPressEvent(QKeyEvent* event) {
    if (!HandleEnterKey(this, event, [this] { OnLogin(); }))
        QDialog::keyPressEvent(event);
}

} // namespace velkar
