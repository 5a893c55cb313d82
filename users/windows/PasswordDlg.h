#pragma once

#include <QDialog>

class Dialogs;
namespace Ui {
class CPasswordDlg;
}

// Sets a new password for one of the accounts once its current password is confirmed.
class CPasswordDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPasswordDlg(Dialogs& dialogs, QWidget* parent = nullptr);
    ~CPasswordDlg() override;

public slots:
    void OnChange();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    Ui::CPasswordDlg* ui;
    Dialogs& m_dialogs;
};
