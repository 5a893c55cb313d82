#include "tools/ReaderSoak.h"

#include "app/Clock.h"
#include "data/AdoConn.h"
#include "data/Schema.h"
#include "reader/DeskView.h"
#include "reader/LinkState.h"
#include "reader/ReaderLink.h"
#include "reader/SimulatedReader.h"
#include "tools/LedgerCheck.h"

#include "support/FakeDialogs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The desk as the soak needs it: it counts what it is shown and answers every box at once.
class SoakView : public DeskView {
public:
    void showBalance(const QString&) override { ++balances; }
    void showStatus(const QString& text) override { count(text); }
    void showPortListed(bool) override {}
    void restartBalanceTimer() override {}
    void showMessage(const QString& text) override { count(text); }
    void showCardholder(const CardholderLookup&) override {}
    void showCardRecords(const QString&, const std::optional<CardRecordList>&) override {}
    void showOutcome(const CommandOutcome& o) override {
        if (o.kind == CommandOutcome::Kind::Retrying)
            ++retries;
    }
    std::atomic<std::uint64_t> balances{0};
    std::atomic<int> retries{0};
    // How often each refusal or failure was shown.
    QString refusals() const {
        std::lock_guard lock(m_mutex);
        QStringList parts;
        for (auto it = m_counts.begin(); it != m_counts.end(); ++it)
            parts << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
        return parts.join(QStringLiteral(", "));
    }

private:
    void count(const QString& text) {
        std::lock_guard lock(m_mutex);
        ++m_counts[text.section(QLatin1Char('\n'), 0, 0)];
    }
    mutable std::mutex m_mutex;
    QMap<QString, int> m_counts;
};

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 3000ms) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(200us);
    }
    return true;
}

// Holds the whole file locked from another connection, as a second program would.
class FileLock {
public:
    FileLock(const QString& path, int ms) {
        m_thread = std::thread([path, ms] {
            sqlite3* db = nullptr;
            sqlite3_open(path.toUtf8().constData(), &db);
            sqlite3_busy_timeout(db, 5000);
            if (sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK) {
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
            }
            sqlite3_close(db);
        });
    }
    ~FileLock() { m_thread.join(); }

private:
    std::thread m_thread;
};

int option(const QStringList& options, const QString& name, int fallback) {
    const qsizetype at = options.indexOf(name);
    return at >= 0 && at + 1 < options.size() ? options[at + 1].toInt() : fallback;
}

// One desk, its reader and the cards in the operator's hand.
class Rig {
public:
    Rig(const QString& database, quint32 seed)
        : clock(QDateTime(QDate(2026, 12, 7), QTime(9, 0, 0))), random(seed),
          link(reader, view, dialogs, clock, database, QStringLiteral("操作员1")) {
        ResetLinkState();
        link.store().setRetryDelays(20, 200);
        link.findReaderPath();
        connect();
        for (int i = 0; i < 4; ++i)
            cards.push_back({CardNumber{0x10, 0x20, 0x30, std::uint8_t(0x40 + i)},
                             std::uint16_t(pick(0, 60000))});
    }

    int pick(int low, int high) { return std::uniform_int_distribution(low, high)(random); }
    bool chance(double p) { return std::bernoulli_distribution(p)(random); }

    void connect() {
        link.connect();
        waitUntil([&] { return reader.collectingHandles() == 1; });
        sync();
    }
    // Until the link has handled every report the reader sent it.
    void sync() {
        link.waitForSendWorkers();
        waitUntil([&] { return view.balances.load() >= reader.reportsToRead(); });
    }
    void step(int ms = 20) { clock.advance(ms); }

    void takeOff() {
        if (const auto card = reader.card())
            for (auto& c : cards)
                if (c.first == card->cardNo)
                    c.second = card->balance;
        reader.removeCard();
    }
    void layOn(int index) {
        takeOff();
        reader.layCard(cards[std::size_t(index)].first, cards[std::size_t(index)].second);
    }
    // Taps every card until nothing this desk sent waits for its card.
    void settle() {
        link.store().setFault(StoreWorker::Fault::None);
        reader.failWrites(false);
        if (!reader.plugged()) {
            reader.plug();
            link.pollDevices();
        }
        if (!link.isOpen())
            connect();
        for (int round = 0; round < 6 && link.outstandingCommands() > 0; ++round) {
            step(CommandBook::ConfirmWaitMs + 1000);
            for (int i = 0; i < int(cards.size()); ++i) {
                layOn(i);
                sync();
                link.waitForStore();
            }
        }
        takeOff();
    }

    // Taken off, and laid on again after the wait with a balance changed elsewhere.
    void backWithNewBalance(int index) {
        takeOff();
        sync();
        step(CommandBook::ConfirmWaitMs + 1000);
        cards[std::size_t(index)].second = std::uint16_t(pick(0, 60000));
        layOn(index);
    }

    void command(bool recharge) {
        if (recharge)
            link.requestRecharge(pick(1, MAX_RECHARGE_YUAN));
        else
            link.requestClear();
    }

    SimulatedReader reader;
    SoakView view;
    FakeDialogs dialogs;
    FixedClock clock;
    std::mt19937 random;
    ReaderLink link;
    std::vector<std::pair<CardNumber, std::uint16_t>> cards;
};

void trial(Rig& rig, const QString& database, bool faults, int lockMaxMs) {
    const int card = rig.pick(0, 3);
    const int other = (card + rig.pick(1, 3)) % 4;
    if (rig.chance(0.15)) // near the top of what a card holds
        rig.cards[std::size_t(card)].second = std::uint16_t(65535 - rig.pick(0, 25000));
    rig.layOn(card);
    rig.sync();
    rig.step();
    const int kind = faults ? rig.pick(0, 11) : rig.pick(0, 1);
    switch (kind) {
    case 0:
    case 1:
        rig.command(kind == 0);
        break;
    case 2: // both buttons at once
        rig.command(true);
        rig.command(false);
        break;
    case 3: // two recharges at once
        rig.command(true);
        rig.command(true);
        break;
    case 4: // the card swapped while the command goes out
        rig.command(rig.chance(0.7));
        rig.layOn(other);
        break;
    case 5: // another card reported right after the command
        rig.command(true);
        rig.reader.inject(CardReportFrame(rig.cards[std::size_t(other)].first,
                                          std::uint16_t(rig.pick(0, 60000))));
        break;
    case 6: // the card taken off as the command goes out, and back later with a new balance
        rig.command(true);
        rig.backWithNewBalance(card);
        break;
    case 7: // unplugged while the confirmation is unread
        rig.command(rig.chance(0.5));
        rig.reader.unplug();
        rig.link.pollDevices();
        rig.sync();
        rig.reader.plug();
        rig.link.pollDevices();
        rig.connect();
        rig.reader.reportNow();
        break;
    case 8: // the write fails
        rig.reader.failWrites(true);
        rig.command(true);
        rig.sync();
        rig.reader.failWrites(false);
        break;
    case 9: { // the file locked by another program
        FileLock lock(database, rig.pick(0, lockMaxMs));
        std::this_thread::sleep_for(2ms);
        rig.command(rig.chance(0.7));
        rig.sync();
        rig.reader.reportNow();
        rig.sync();
        break;
    }
    case 10: // the file read-only or the disk full while the booking commits
        rig.link.store().setFault(rig.chance(0.5) ? StoreWorker::Fault::ReadOnly
                                                  : StoreWorker::Fault::DiskFull);
        rig.command(true);
        rig.sync();
        std::this_thread::sleep_for(std::chrono::milliseconds(rig.pick(0, 60)));
        rig.reader.reportNow();
        rig.sync();
        rig.link.store().setFault(StoreWorker::Fault::None);
        break;
    case 11: // off and on again with another balance and no command
        rig.backWithNewBalance(card);
        break;
    }
    rig.sync();
    rig.step();
    rig.reader.reportNow();
    rig.sync();
    if (rig.chance(0.3))
        rig.settle();
}

} // namespace

int RunSoak(const QStringList& options, QTextStream& out, QTextStream& err) {
    if (options.contains(QStringLiteral("--help"))) {
        out << "usage: velkar-reader soak [--trials N] [--seed S] [--faults on|off] "
               "[--lock-max-ms MS]\n";
        return 0;
    }
    const int trials = std::max(1, option(options, QStringLiteral("--trials"), 200));
    const quint32 seed = quint32(option(options, QStringLiteral("--seed"), 1));
    const int lockMaxMs = option(options, QStringLiteral("--lock-max-ms"), 1500);
    const qsizetype f = options.indexOf(QStringLiteral("--faults"));
    const bool faults = !(f >= 0 && f + 1 < options.size() && options[f + 1] == "off");

    QTemporaryDir dir;
    const QString database = dir.filePath(Schema::DatabaseFileName);
    if (const QString problem = Schema::CreateDatabase(database); !problem.isEmpty()) {
        err << problem << '\n';
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    LedgerCheck check;
    int retries = 0;
    QString refusals;
    {
        Rig rig(database, seed);
        for (int i = 0; i < trials; ++i)
            trial(rig, database, faults, lockMaxMs);
        rig.settle();
        rig.link.waitForStore();
        retries = rig.view.retries;
        refusals = rig.view.refusals();
        rig.link.shutdown();
        check = CheckLedger(rig.reader.executed(), database);
    }
    out << "trials: " << trials << "\nseed: " << seed << '\n'
        << check.text() << "booking retries: " << retries << "\nshown: " << refusals
        << "\nseconds: " << QString::number(timer.elapsed() / 1000.0, 'f', 1) << '\n';
    return check.sound() ? 0 : 1;
}

// --- Across processes -------------------------------------------------------------------------

namespace {

const CardNumber CrashCard{0x0C, 0x0A, 0x05, 0x0E};
constexpr std::uint16_t CrashStartBalance = 30000;

// The card's balance as the reader last left it: it lives on the card, not in any process.
std::uint16_t cardBalance(const QString& log) {
    const auto done = SimulatedReader::ReadExecutionLog(log);
    return done.empty() ? CrashStartBalance : done.back().after;
}

} // namespace

int RunCrashChild(const QStringList& options) {
    const QString folder = options.value(options.indexOf(QStringLiteral("--folder")) + 1);
    const bool settle = options.contains(QStringLiteral("--settle"));
    const QString database = QDir(folder).filePath(Schema::DatabaseFileName);
    const QString log = QDir(folder).filePath(QStringLiteral("executed.log"));
    SimulatedReader reader;
    reader.setExecutionLog(log);
    SoakView view;
    FakeDialogs dialogs;
    SystemClock clock;
    ReaderLink link(reader, view, dialogs, clock, database, QStringLiteral("操作员2"));
    link.findReaderPath();
    if (!link.connect())
        return 1;
    waitUntil([&] { return reader.collectingHandles() == 1; });
    std::mt19937 random(quint32(option(options, QStringLiteral("--seed"), 1)));
    const auto sync = [&] {
        link.waitForSendWorkers();
        waitUntil([&] { return view.balances.load() >= reader.reportsToRead(); });
    };
    // The card tapped again: what an earlier process left pending resolves now.
    reader.layCard(CrashCard, cardBalance(log));
    sync();
    link.waitForStore();
    if (settle)
        return link.outstandingCommands() == 0 ? 0 : 3;
    for (;;) {
        const auto balance = reader.card()->balance;
        if (balance > 60000 || std::bernoulli_distribution(0.2)(random))
            link.requestClear();
        else
            link.requestRecharge(std::uniform_int_distribution(1, 300)(random));
        sync();
        reader.reportNow();
        sync();
        link.waitForStore();
    }
}

int RunCrash(const QStringList& options, const QString& program, QTextStream& out,
             QTextStream& err) {
    const int kills = std::max(1, option(options, QStringLiteral("--kills"), 200));
    const quint32 seed = quint32(option(options, QStringLiteral("--seed"), 1));
    QTemporaryDir dir;
    const QString database = dir.filePath(Schema::DatabaseFileName);
    if (const QString problem = Schema::CreateDatabase(database); !problem.isEmpty()) {
        err << problem << '\n';
        return 1;
    }
    std::mt19937 random(seed);
    const char* const points[] = {"journal", "write", "book"};
    QElapsedTimer timer;
    timer.start();
    int unsettled = 0, unsound = 0;
    for (int i = 0; i < kills; ++i) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const int how = std::uniform_int_distribution(0, 5)(random);
        if (how < 3)
            env.insert(QStringLiteral("VELKAR_CRASH_AT"), QString::fromLatin1(points[how]));
        child.setProcessEnvironment(env);
        child.start(program, {QStringLiteral("crash-child"), QStringLiteral("--folder"), dir.path(),
                              QStringLiteral("--seed"), QString::number(random())});
        child.waitForStarted();
        // Killed where a point says, or at a random moment of its work.
        if (!child.waitForFinished(how < 3 ? 10000 : std::uniform_int_distribution(5, 250)(random)))
            child.kill();
        child.waitForFinished();

        QProcess settle;
        settle.start(program, {QStringLiteral("crash-child"), QStringLiteral("--folder"),
                               dir.path(), QStringLiteral("--settle")});
        settle.waitForFinished(30000);
        if (settle.exitCode() != 0)
            ++unsettled;
        if (!Schema::CheckDatabase(database).isEmpty())
            ++unsound;
    }
    const LedgerCheck check =
        CheckLedger(SimulatedReader::ReadExecutionLog(dir.filePath("executed.log")), database);
    out << "kills: " << kills << "\nseed: " << seed << '\n'
        << check.text() << "unsettled: " << unsettled << "\nunsound files: " << unsound
        << "\nseconds: " << QString::number(timer.elapsed() / 1000.0, 'f', 1) << '\n';
    return check.sound() && check.pending == 0 && unsettled == 0 && unsound == 0 ? 0 : 1;
}
