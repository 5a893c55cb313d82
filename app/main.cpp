#include "app/ProgramArguments.h"
#include "app/QtDialogs.h"
#include "app/Startup.h"
#include "app/WorkingFolder.h"
#include "base/Clock.h"
#include "base/CommandLine.h"
#include "base/Messages.h"
#include "base/PrivateFile.h"
#include "base/Settings.h"
#include "data/AdoConn.h"
#include "data/Schema.h"
#include "desk/DeskStatus.h"
#include "desk/windows/DatabaseActions.h"
#include "desk/windows/DeskDlg.h"
#include "reader/BridgeFactory.h"
#include "reader/windows/SimulatorWindow.h"
#include "users/Accounts.h"
#include "users/windows/LoginDlg.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>

#include <cstdio>

using namespace velkar;

namespace {

constexpr const char* Usage =
    "用法：velkar [选项]...\n"
    "打开储值卡充值台的登录窗口。\n"
    "\n"
    "充值台在 ~/.config/Velkar/Velkar.conf 的 WorkingFolder 所指的文件夹（默认 ~/Velkar）中工作，\n"
    "那里没有数据库 DataBase.mdb 时就建立它；Database= 指定共用账本（postgresql://…）。\n"
    "同一文件中的 Reader= 选择读卡器：real（默认）、simulated 或 automatic。\n"
    "\n"
    "环境变量：\n"
    "  VELKAR_DIR               改在这个文件夹中工作\n"
    "  VELKAR_DATABASE          改用这个数据库文件或 postgresql:// 账本\n"
    "  VELKAR_SIMULATED_READER  1：模拟读卡器，0：真实读卡器\n"
    "\n"
    "也接受 Qt 自己的选项（-platform 名称、-style 名称、-reverse 等）。\n";

// The simulated reader's window stands to the right of the desk, both in view; the desk gives
// up width for it where the screen is narrow.
void PlaceBeside(QWidget& desk, QWidget& simulator) {
    const QRect screen = desk.screen()->availableGeometry();
    const int gap = 8;
    const QSize simFrame = simulator.frameGeometry().size();
    const int frameWidth = desk.frameGeometry().width() - desk.width();
    const int room = screen.width() - simFrame.width() - gap - frameWidth;
    if (desk.width() > room)
        desk.resize(std::max(room, desk.minimumSizeHint().width()), desk.height());
    const QSize deskFrame = desk.frameGeometry().size();
    const int width = deskFrame.width() + gap + simFrame.width();
    const int x = screen.left() + std::max(0, (screen.width() - width) / 2);
    const int y = screen.top() + std::max(0, (screen.height() - deskFrame.height()) / 2);
    desk.move(x, y);
    simulator.move(x + deskFrame.width() + gap, y);
}

} // namespace

int main(int argc, char* argv[]) {
    // Before the application object, which wants a display.
    if (const auto answered = CommandLine::AnswerHelpOrVersion(
            argc, argv, "velkar", [] { std::fputs(Usage, stdout); },
            CommandLine::Language::Chinese))
        return *answered;
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const QString problem = ArgumentProblem(arguments); !problem.isEmpty()) {
        std::fprintf(stderr, "velkar: %s\n\n%s", qUtf8Printable(problem), Usage);
        return CommandLine::UsageError;
    }
    if (const QString problem =
            DisplayProblem(arguments, [](const char* name) { return qEnvironmentVariable(name); });
        !problem.isEmpty()) {
        std::fprintf(stderr, "velkar: %s\n", qUtf8Printable(problem));
        return CommandLine::Refused;
    }
    // Whatever a library writes for the desk (the database's journal, a printed PDF) starts
    // as the user's alone; the desk's own writes make sure of it besides.
    PrivateFile::RestrictNewFiles();
    PrepareRuntimeFolder();
    ReportUnreachableDisplay("velkar");
    QApplication app(argc, argv);
    ReportedDisplayReached();
    PrepareApplication(app);
    SpeakChinese(app);
    QtDialogs dialogs;
    Settings settings;
    if (const QString refusal = DamagedSettingsRefusal(settings, dialogs); !refusal.isEmpty()) {
        std::fprintf(stderr, "velkar: %s\n", qUtf8Printable(refusal));
        return CommandLine::Refused;
    }
    if (qEnvironmentVariableIsEmpty("VELKAR_DATABASE") && !settings.database().isEmpty())
        qputenv("VELKAR_DATABASE", settings.database().toUtf8());
    QString problem = EnterWorkingFolder(ChosenWorkingFolder(settings));
    const QString database = Schema::DatabaseLocation();
    LedgerAtStart ledger;
    if (problem.isEmpty()) {
        // A large ledger takes a while to check: the window says so meanwhile.
        RunWithProgress(Messages::CheckingDatabase(), {}, [&](const DatabaseCopy::Options&) {
            ledger = PrepareLedger(database);
            return QString();
        });
        problem = ledger.refusal;
    }
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "velkar: %s\n", qUtf8Printable(problem));
        // A server's reason is the engine's own words; the desk's verdict follows it.
        dialogs.warning(EngineOf(database) == Engine::Postgres
                            ? Messages::ReasonThenOperationFailed(problem)
                            : problem);
        return CommandLine::Refused;
    }
    const bool server = EngineOf(database) == Engine::Postgres;
    // The administrator's login goes on from here, walking only what was added since.
    RememberCheckedTrail(settings, database, ledger.trail.id > 0 ? &ledger.trail : nullptr);
    if (!ledger.unsound.isEmpty()) {
        std::fprintf(stderr, "velkar: %s\n", qUtf8Printable(ledger.unsound));
        dialogs.warning(
            Messages::LedgerUnsoundAtStart(LedgerText(database), ledger.unsound, server));
    }
    Session session;
    {
        CLoginDlg login(dialogs, settings);
        if (!ledger.unsound.isEmpty())
            login.admitAdministratorOnly();
        if (login.exec() != QDialog::Accepted)
            return 0;
        session = login.session();
    }
    SystemClock clock;
    const ReaderBackend backend = MakeReaderBackend(settings.readerChoice());
    CDeskDlg desk(dialogs, clock, *backend.bridge, session);
    desk.rememberBackupFolderIn(settings);
    desk.rememberSizeIn(settings);
    if (!ledger.unsound.isEmpty())
        desk.refuseBookingsFor(ledger.unsound);
    std::unique_ptr<SimulatorWindow> simulator;
    if (backend.simulator) {
        simulator = std::make_unique<SimulatorWindow>(*backend.simulator);
        simulator->adjustSize();
        PlaceBeside(desk, *simulator);
        simulator->show();
        // Modal to nothing but itself, so the simulator's window stays usable beside it.
        desk.setWindowModality(Qt::WindowModal);
    }
    // The shift begins once the desk is on the screen, so what it asks stands over the desk.
    QTimer::singleShot(0, &desk, [&desk, &settings] { desk.beginShift(settings); });
    desk.exec();
    return 0;
}
