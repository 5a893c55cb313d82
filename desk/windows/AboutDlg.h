#pragma once

#include <QDialog>

namespace Ui {
class CAboutDlg;
}

namespace velkar {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

private:
    Ui::CAboutDlg* ui;
};

} // namespace velkar
