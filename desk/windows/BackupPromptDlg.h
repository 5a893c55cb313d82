#pragma once

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class CBackupPromptDlg;
}

namespace velkar {

// Offers one more backup before the desk closes. 是 runs the backup, then the prompt closes;
// 否 closes it without one; both end it Accepted, and the desk closes. 交班, where offered,
// closes the shift first and then ends it Accepted as well. 取消, Escape and the close box end it
// Rejected: the desk stays open.
class CBackupPromptDlg : public QDialog {
    Q_OBJECT
public:
    CBackupPromptDlg(std::function<void()> backup, QWidget* parent = nullptr);
    ~CBackupPromptDlg() override;

    // Offers 交班 as well: `handOver` closes the shift, true once closed, and the prompt with it.
    void offerHandOver(std::function<bool()> handOver);

public slots:
    void OnYes();
    void OnNo();
    void OnHandOver();

private:
    std::unique_ptr<Ui::CBackupPromptDlg> ui;
    std::function<void()> m_backup;
    std::function<bool()> m_handOver;
};

} // namespace velkar
