#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class CPasswordDlg;
}

namespace velkar {

class Dialogs;

// Sets a new password for one of the accounts once its current password is confirmed.
class CPasswordDlg : public QDialog {
    Q_OBJECT
public:
    // `by`: the account that changes the passwords, for the trail.
    CPasswordDlg(Dialogs& dialogs, QString by, QWidget* parent = nullptr);
    ~CPasswordDlg() override;

    // For this account alone, whose current password is known: only the new one is asked for.
    void requireNewPasswordFor(const QString& account, const QString& currentPassword);
    // Whether a password was changed before the window closed.
    bool changed() const { return m_changed; }

public slots:
    void OnChange();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::unique_ptr<Ui::CPasswordDlg> ui;
    Dialogs& m_dialogs;
    const QString m_by;
    bool m_changed = false;
};

} // namespace velkar
