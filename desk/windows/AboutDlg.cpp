#include "desk/windows/AboutDlg.h"

#include "ui_AboutDlg.h"

namespace velkar {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::CAboutDlg>()) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

CAboutDlg::~CAboutDlg() = default;

} // namespace velkar
