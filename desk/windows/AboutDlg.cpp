#include "desk/windows/AboutDlg.h"

#include "ui_AboutDlg.h"

namespace velkar {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), ui(new Ui::CAboutDlg) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

CAboutDlg::~CAboutDlg() {
    delete ui;
}

} // namespace velkar
