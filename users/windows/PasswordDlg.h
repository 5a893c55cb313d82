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

public slots:
    void OnChange();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    Ui::CPasswordDlg* ui;
    Dialogs& m_dialogs;
};

} // namespace velkar
