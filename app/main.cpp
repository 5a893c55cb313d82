#include "app/QtDialogs.h"
#include "app/Startup.h"
#include "users/LoginDlg.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    PrepareApplication(app);
    QtDialogs dialogs;
    CLoginDlg login(dialogs);
    login.exec();
    return 0;
}
