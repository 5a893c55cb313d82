#pragma once

#include <QDialog>

#include <functional>

namespace Ui {
class CBackupPromptDlg;
}

namespace velkar {

// Offers one more backup before the desk closes. 是 runs the backup, then the prompt closes;
// 否, Escape and the close box close it without one.
class CBackupPromptDlg : public QDialog {
    Q_OBJECT
public:
    CBackupPromptDlg(std::function<void()> backup, QWidget* parent = nullptr);
    ~CBackupPromptDlg() override;

public slots:
    void OnYes();
    void OnNo();

private:
    Ui::CBackupPromptDlg* ui;
    std::function<void()> m_backup;
};

} // namespace velkar
