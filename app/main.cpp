#include "app/Clock.h"
#include "app/QtDialogs.h"
#include "app/Settings.h"
#include "app/Startup.h"
#include "app/WorkingFolder.h"
#include "desk/DeskDlg.h"
#include "reader/BridgeFactory.h"
#include "reader/SimulatorWindow.h"
#include "users/LoginDlg.h"

#include <QApplication>
#include <QScreen>

#include <cstdio>

namespace {

// The simulated reader's window stands to the right of the desk, both in view.
void PlaceBeside(QWidget& desk, QWidget& simulator) {
    const QRect screen = desk.screen()->availableGeometry();
    const int gap = 8;
    const QSize deskFrame = desk.frameGeometry().size();
    const QSize simFrame = simulator.frameGeometry().size();
    const int width = deskFrame.width() + gap + simFrame.width();
    const int x = screen.left() + std::max(0, (screen.width() - width) / 2);
    const int y = screen.top() + std::max(0, (screen.height() - deskFrame.height()) / 2);
    desk.move(x, y);
    simulator.move(x + deskFrame.width() + gap, y);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    PrepareApplication(app);
    QtDialogs dialogs;
    Settings settings;
    const QString problem = EnterWorkingFolder(ChosenWorkingFolder(settings));
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "velkar: %s\n", qUtf8Printable(problem));
        dialogs.warning(problem);
        return 1;
    }
    {
        CLoginDlg login(dialogs);
        if (login.exec() != QDialog::Accepted)
            return 0;
    }
    SystemClock clock;
    const ReaderBackend backend = MakeReaderBackend(settings.readerChoice());
    CDeskDlg desk(dialogs, clock, *backend.bridge);
    desk.rememberBackupFolderIn(settings);
    std::unique_ptr<SimulatorWindow> simulator;
    if (backend.simulator) {
        simulator = std::make_unique<SimulatorWindow>(*backend.simulator);
        simulator->adjustSize();
        PlaceBeside(desk, *simulator);
        simulator->show();
        // Modal to nothing but itself, so the simulator's window stays usable beside it.
        desk.setWindowModality(Qt::WindowModal);
    }
    desk.exec();
    return 0;
}
