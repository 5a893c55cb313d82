#pragma once

#include "users/Session.h"

#include <QDialog>
#include <memory>

namespace Ui {
class CLoginDlg;
}

namespace velkar {

class Dialogs;
class Settings;

// The first window: picks an account and checks its password. Ends Accepted after a
// successful login (the desk then opens), Rejected on 退出, Escape or the close box. The
// administrator still on the delivered password replaces it first, and is told at every login
// which accounts still hold it.
class CLoginDlg : public QDialog {
    Q_OBJECT
public:
    explicit CLoginDlg(Dialogs& dialogs, QWidget* parent = nullptr);
    // With what the desk keeps in `settings`: see rememberTrailIn, and the verdicts on stored
    // password hashes tried against the delivered one, so that no slow hash is tried twice.
    CLoginDlg(Dialogs& dialogs, Settings& settings, QWidget* parent = nullptr);
    ~CLoginDlg() override;

    // The name of the selected list entry; typed text is not a name.
    QString selectedName() const;
    // Who logged in; empty until the window ends Accepted.
    const Session& session() const { return m_session; }

    // The ledger failed its check: only the administrator, who may restore it, gets in.
    void admitAdministratorOnly() { m_administratorOnly = true; }

    // The administrator's login checks the audit chain from where the last check, kept in
    // `settings`, found it intact; without, the whole chain. The same as the constructor's,
    // after the password was first offered without them.
    void rememberTrailIn(Settings& settings) { m_settings = &settings; }

public slots:
    void OnLogin();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    CLoginDlg(Dialogs& dialogs, Settings* settings, QWidget* parent);
    void offerDeliveredPassword();
    // The administrator's delivered password replaced in the password window; false when the
    // window was left without.
    bool replaceDeliveredPassword();

    std::unique_ptr<Ui::CLoginDlg> ui;
    Dialogs& m_dialogs;
    bool m_administratorOnly = false;
    Settings* m_settings = nullptr;
    Session m_session;
};

} // namespace velkar
