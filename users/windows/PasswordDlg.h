#pragma once

#include <QDialog>

namespace Ui {
class CPasswordDlg;
}

namespace velkar {

class Dialogs;

// Sets a new password for one of the accounts once its current password is confirmed.
class CPasswordDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPasswordDlg(Dialogs& dialogs, QWidget* parent = nullptr);
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
    Ui::CPasswordDlg* ui;
    Dialogs& m_dialogs;
    bool m_changed = false;
};

} // namespace velkar
