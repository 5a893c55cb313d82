#include "app/QtDialogs.h"
#include "app/Startup.h"
#include "app/WorkingFolder.h"
#include "base/Clock.h"
#include "base/CommandLine.h"
#include "base/Messages.h"
#include "base/Settings.h"
#include "data/AdoConn.h"
#include "data/Schema.h"
#include "desk/windows/DeskDlg.h"
#include "reader/BridgeFactory.h"
#include "reader/windows/SimulatorWindow.h"
#include "users/windows/LoginDlg.h"

#include <QApplication>
#include <QFileInfo>
#include <QScreen>

#include <cstdio>

using namespace velkar;

namespace {

constexpr const char* Usage =
    "Usage: velkar [OPTION]...\n"
    "Opens the login window of the card recharge desk.\n"
    "\n"
    "The desk works in the folder named by WorkingFolder in ~/.config/Velkar/Velkar.conf\n"
    "(by default ~/Velkar) and creates the database DataBase.mdb there when it is missing.\n"
    "Reader= in the same file chooses the reader: real (the default), simulated or automatic.\n"
    "\n"
    "Environment:\n"
    "  VELKAR_DIR               work in this folder instead\n"
    "  VELKAR_SIMULATED_READER  1: the simulated reader, 0: the real one\n"
    "\n"
    "Qt's own options (-platform, -style, ...) are accepted as well.\n";

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
    // Before the application object, which wants a display.
    if (const auto answered = CommandLine::AnswerHelpOrVersion(argc, argv, "velkar",
                                                               [] { std::fputs(Usage, stdout); }))
        return *answered;
    QApplication app(argc, argv);
    const QStringList extra = app.arguments().mid(1);
    if (!extra.isEmpty())
        return CommandLine::ReportUsageError(
            "velkar", QStringLiteral("unexpected argument '%1'").arg(extra.first()));
    PrepareApplication(app);
    QtDialogs dialogs;
    Settings settings;
    if (qEnvironmentVariableIsEmpty("VELKAR_DATABASE") && !settings.database().isEmpty())
        qputenv("VELKAR_DATABASE", settings.database().toUtf8());
    QString problem = EnterWorkingFolder(ChosenWorkingFolder(settings));
    // An older database is brought up to date before anyone works on it; a newer one is left
    // alone.
    const QString database = Schema::DatabaseLocation();
    if (problem.isEmpty() &&
        (EngineOf(database) == Engine::Postgres || QFileInfo::exists(database)))
        problem = Schema::Upgrade(database);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "velkar: %s\n", qUtf8Printable(problem));
        // A server's reason is the engine's own words; the desk's verdict follows it.
        dialogs.warning(EngineOf(database) == Engine::Postgres
                            ? Messages::ReasonThenOperationFailed(problem)
                            : problem);
        return CommandLine::Refused;
    }
    QString operatorName;
    {
        CLoginDlg login(dialogs);
        if (login.exec() != QDialog::Accepted)
            return 0;
        operatorName = login.selectedName();
    }
    SystemClock clock;
    const ReaderBackend backend = MakeReaderBackend(settings.readerChoice());
    CDeskDlg desk(dialogs, clock, *backend.bridge, operatorName);
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
