#include "app/Clock.h"
#include "app/QtDialogs.h"
#include "app/Startup.h"
#include "data/Schema.h"
#include "desk/DeskDlg.h"
#include "reader/BridgeFactory.h"
#include "reader/SimulatorWindow.h"
#include "users/LoginDlg.h"

#include <QApplication>
#include <QFileInfo>
#include <QScreen>

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
    // An older file is brought up to date before anyone works on it; a newer one is left alone.
    if (QFileInfo::exists(Schema::DatabaseFileName)) {
        const QString problem = Schema::Upgrade(Schema::DatabaseFileName);
        if (!problem.isEmpty()) {
            dialogs.warning(problem);
            return 1;
        }
    }
    QString operatorName;
    {
        CLoginDlg login(dialogs);
        if (login.exec() != QDialog::Accepted)
            return 0;
        operatorName = login.selectedName();
    }
    SystemClock clock;
    const ReaderBackend backend = MakeReaderBackend();
    CDeskDlg desk(dialogs, clock, *backend.bridge, operatorName);
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
