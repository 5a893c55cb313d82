#include "tools/ReaderSoak.h"

#include "base/Clock.h"
#include "data/AdoConn.h"
#include "data/Amount.h"
#include "data/Cards.h"
#include "data/PasswordHash.h"
#include "data/Plans.h"
#include "data/Schema.h"
#include "reader/LinkState.h"
#include "reader/ReaderLink.h"
#include "reader/SimulatedReader.h"
#include "tools/BookingFloor.h"
#include "tools/LedgerCheck.h"

#include "support/FakeDialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <limits>
#include <memory>
#include <random>
#include <thread>

namespace velkar {

namespace {

using namespace std::chrono_literals;

// The desk as the soak needs it: it counts what it is shown, on whichever thread shows it.
class SoakView {
public:
    void attach(ReaderLink& link) {
        const auto direct = Qt::DirectConnection;
        QObject::connect(
            &link, &ReaderLink::cardReported, &link, [this](const QString&, int) { ++balances; },
            direct);
        QObject::connect(
            &link, &ReaderLink::statusShown, &link, [this](const QString& t) { count(t); }, direct);
        QObject::connect(
            &link, &ReaderLink::messageShown, &link, [this](const QString& t) { count(t); },
            direct);
        QObject::connect(
            &link, &ReaderLink::outcomeReported, &link,
            [this](const CommandOutcome& o) {
                if (o.kind == CommandOutcome::Kind::Retrying)
                    ++retries;
                if (o.kind == CommandOutcome::Kind::Booked) {
                    bookedAt = std::chrono::steady_clock::now().time_since_epoch().count();
                    {
                        std::lock_guard lock(m_mutex);
                        ++booked;
                    }
                    m_booked.notify_all();
                }
            },
            direct);
    }
    // Until more than `before` bookings were shown: woken by the booking itself, as a window
    // would be, so that the wait costs the machine nothing the desks could use.
    bool waitBooked(int before, std::chrono::milliseconds limit) {
        std::unique_lock lock(m_mutex);
        return m_booked.wait_for(lock, limit, [&] { return booked.load() > before; });
    }
    std::atomic<std::uint64_t> balances{0};
    std::atomic<int> retries{0};
    std::atomic<int> booked{0};
    std::atomic<std::chrono::steady_clock::rep> bookedAt{0}; // the latest booking's commit
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
    std::condition_variable m_booked;
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

// Holds the whole database locked from another connection, as a second program would (on a
// server: another desk's long write).
class WriteLock {
public:
    WriteLock(const QString& location, int ms) {
        m_thread = std::thread([location, ms] {
            if (EngineOf(location) == Engine::Postgres) {
                try {
                    Connection db(location);
                    Transaction write(db, Transaction::Write);
                    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                    write.commit();
                } catch (const DataError&) {
                }
                return;
            }
            try {
                // Readers too are kept out, as a program that locks the whole file would.
                const Connection db(location, Connection::Open::Unread, 5000);
                db.run(QStringLiteral("BEGIN EXCLUSIVE"));
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                db.run(QStringLiteral("COMMIT"));
            } catch (const DataError&) {
            }
        });
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    ~WriteLock() { m_thread.join(); }

private:
    std::thread m_thread;
};

QString textOption(const QStringList& options, const QString& name) {
    const qsizetype at = options.indexOf(name);
    return at >= 0 && at + 1 < options.size() ? options[at + 1] : QString();
}

int option(const QStringList& options, const QString& name, int fallback) {
    const QString text = textOption(options, name);
    return text.isEmpty() ? fallback : text.toInt();
}

// The desks sharing one ledger are told apart in its journal by these names.
QString deskName(int desk) {
    return desk < 0 ? QString() : QStringLiteral("desk-%1").arg(desk + 1);
}

// One desk, its reader and the cards in the operator's hand.
class Rig {
public:
    // `desk` picks the cards (each desk has its own) and names the desk; -1 for a desk alone.
    // `name` names it otherwise (another desk of the same ledger).
    Rig(const QString& database, quint32 seed, int desk = -1, const QString& log = {},
        int busyMs = StoreWorker::DefaultBusyTimeoutMs, const QString& name = {})
        : clock(QDateTime(QDate(2026, 12, 7), QTime(9, 0, 0))), random(seed),
          link(reader, clock, database, QStringLiteral("操作员1"),
               name.isEmpty() ? deskName(desk) : name) {
        view.attach(link);
        if (!log.isEmpty())
            reader.setExecutionLog(log);
        link.store().setRetryDelays(20, 200);
        link.store().setBusyTimeout(busyMs);
        link.findReaderPath();
        connect();
        for (int i = 0; i < 4; ++i)
            cards.push_back({CardNumber{0x10, 0x20, std::uint8_t(0x30 + std::max(desk, 0)),
                                        std::uint8_t(0x40 + i)},
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
    // Until what the ledger held for the card on the reader is resolved (bounded: a locked
    // ledger keeps it waiting).
    void checked(int ms = 1000) {
        sync();
        if (const auto card = reader.card())
            waitUntil([&] { return !link.checkingCard(CardNumberText(card->cardNo)); },
                      std::chrono::milliseconds(ms));
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
    // Taps every card once, later than anything was sent, and on until nothing this desk sent
    // waits for its card. The first round also brings the cards to what other desks of the
    // ledger left waiting, as the cards' next customers would.
    void settle() {
        link.store().setFault(StoreWorker::Fault::None);
        reader.failWrites(false);
        if (!reader.plugged()) {
            reader.plug();
            link.pollDevices();
        }
        if (!link.isOpen())
            connect();
        for (int round = 0; round < 6 && (round == 0 || link.outstandingCommands() > 0); ++round) {
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
    void backWithNewBalance(int index, std::vector<OffLedger>& offLedger) {
        takeOff();
        sync();
        step(CommandBook::ConfirmWaitMs + 1000);
        auto& card = cards[std::size_t(index)];
        const int after = pick(0, 60000);
        offLedger.push_back({card.first, card.second, after});
        card.second = std::uint16_t(after);
        layOn(index);
    }

    int command(bool recharge) {
        const int amount = pick(1, MAX_RECHARGE_YUAN);
        if (recharge)
            link.requestRecharge(amount);
        else
            link.requestClear();
        return amount;
    }

    SimulatedReader reader;
    SoakView view;
    FixedClock clock;
    std::mt19937 random;
    ReaderLink link;
    std::vector<std::pair<CardNumber, std::uint16_t>> cards;
};

const QStringList Scenarios{
    QStringLiteral("all"),       QStringLiteral("restart-while-unreachable"),
    QStringLiteral("walkover"),  QStringLiteral("absent-card"),
    QStringLiteral("elsewhere"), QStringLiteral("lifecycle")};

// One soak: the desk, the other desks of its ledger it meets, and what the readers of the
// desks that ended carried out.
struct Soak {
    QString database;
    quint32 seed = 1;
    int desk = -1;
    QString log; // where the readers log what they carried out (desks in processes of their own)
    int busyMs = StoreWorker::DefaultBusyTimeoutMs;
    int lockMaxMs = 0;
    bool faults = true;
    std::unique_ptr<Rig> rig;
    std::unique_ptr<Rig> neighbour;               // another desk of the ledger, met by the card
    std::vector<SimulatedReader::Execution> gone; // carried out by readers of ended desks
    std::vector<OffLedger> offLedger;
    int ended = 0;
    int newCards = 0; // cards handed out for lost ones

    QString logOf(const char* suffix) const { return log.isEmpty() ? log : log + suffix; }

    Rig& other() {
        if (!neighbour)
            neighbour = std::make_unique<Rig>(database, seed + 17, desk, logOf("-b"), busyMs,
                                              deskName(desk) + QStringLiteral("-b"));
        neighbour->clock.set(rig->clock.now()); // the counters' clocks agree
        return *neighbour;
    }
    // A desk that ends without a word (killed), its reader's record kept. Returns the card on
    // its reader as the reader left it: a frame handed to the reader may still go out as the
    // desk dies, so the card and the record are read only once it is gone.
    std::optional<CardReport> end(std::unique_ptr<Rig>& desk) {
        desk->link.store().setFault(StoreWorker::Fault::DiskFull);
        desk->link.shutdown(0);
        const auto done = desk->reader.executed();
        gone.insert(gone.end(), done.begin(), done.end());
        const std::optional<CardReport> left = desk->reader.card();
        desk.reset();
        ++ended;
        return left;
    }
    std::vector<SimulatedReader::Execution> executed() const {
        std::vector<SimulatedReader::Execution> all = gone;
        for (const Rig* r : {rig.get(), neighbour.get()})
            if (r) {
                const auto done = r->reader.executed();
                all.insert(all.end(), done.begin(), done.end());
            }
        return all;
    }
};

// Carries the card from the desk's reader to `there`, lays it on, and back again.
std::uint16_t carry(Rig& from, int index) {
    from.takeOff();
    from.sync();
    return from.cards[std::size_t(index)].second;
}

void layOnOther(Rig& there, const CardNumber& card, std::uint16_t balance) {
    there.reader.removeCard();
    there.reader.layCard(card, balance);
    there.checked();
}

std::uint16_t takeFromOther(Rig& there) {
    there.sync();
    there.link.waitForStore();
    const std::uint16_t balance = there.reader.card() ? there.reader.card()->balance : 0;
    there.reader.removeCard();
    there.sync();
    return balance;
}

// A command sent as the card is lifted (so the frame most likely finds no card), then a card
// changed elsewhere by exactly the command's effect laid on: this card, or another.
void absentCard(Soak& s, int card, int other) {
    Rig& rig = *s.rig;
    const bool recharge = rig.chance(0.7);
    const int amount = rig.command(recharge);
    rig.takeOff();
    rig.sync();
    const int target = rig.chance(0.5) ? card : other;
    auto& c = rig.cards[std::size_t(target)];
    const int after = recharge ? std::min(65535, c.second + amount * 10) : 0;
    if (after != c.second)
        s.offLedger.push_back({c.first, c.second, after});
    c.second = std::uint16_t(after);
    rig.step(rig.chance(0.5) ? rig.pick(int(CommandBook::FollowUpMs) + 1, 1500)
                             : int(CommandBook::ConfirmWaitMs) + 1000);
    rig.layOn(target);
}

// The card topped up (or cleared) at another desk of the ledger while this desk's command,
// sent as the card was lifted, waits for it.
void elsewhere(Soak& s, int card) {
    Rig& rig = *s.rig;
    const bool recharge = rig.chance(0.8);
    const int amount = rig.command(recharge);
    if (rig.chance(0.7))
        rig.takeOff(); // lifted as the frame goes out
    rig.sync();
    const std::uint16_t balance = carry(rig, card);
    Rig& there = s.other();
    layOnOther(there, rig.cards[std::size_t(card)].first, balance);
    if (recharge)
        there.link.requestRecharge(amount); // the same amount: the change looks like ours
    else
        there.link.requestClear();
    there.sync();
    rig.cards[std::size_t(card)].second = takeFromOther(there);
    rig.step(rig.chance(0.5) ? 100 : CommandBook::ConfirmWaitMs + 1000);
    rig.layOn(card);
}

// A desk killed after its reader carried a command out (or before the frame went out), and
// the card carried to a desk of the ledger that runs on; or the desk itself started again
// while the ledger can't be reached for longer than it waits, then booking on.
void killedDesk(Soak& s, int card, bool restart) {
    Rig& rig = *s.rig;
    auto doomed =
        std::make_unique<Rig>(s.database, rig.random(), s.desk, s.logOf("-k"), s.busyMs,
                              restart ? deskName(s.desk) : deskName(s.desk) + QStringLiteral("-k"));
    doomed->clock.set(rig.clock.now());
    const std::uint16_t balance = carry(rig, card);
    layOnOther(*doomed, rig.cards[std::size_t(card)].first, balance);
    doomed->link.store().setFault(StoreWorker::Fault::DiskFull); // dies before the booking
    const bool writeFails = rig.chance(0.2);
    doomed->reader.failWrites(writeFails);
    doomed->command(rig.chance(0.8));
    doomed->sync();
    rig.cards[std::size_t(card)].second =
        doomed->reader.card() ? doomed->reader.card()->balance : balance;
    s.end(doomed);
    if (!restart) {
        rig.step(100);
        rig.layOn(card); // a desk of the ledger running on meets the card
        return;
    }
    // Started again while the ledger is locked longer than the desk waits.
    auto cards = rig.cards;
    const quint32 seed = rig.random();
    const auto clock = rig.clock.now();
    s.end(s.rig);
    {
        WriteLock lock(s.database, s.busyMs * 2 + 50);
        std::this_thread::sleep_for(2ms);
        s.rig = std::make_unique<Rig>(s.database, seed, s.desk, s.log, s.busyMs);
        s.rig->cards = cards;
        s.rig->clock.set(clock);
        s.rig->layOn(card);
        s.rig->sync();
        s.rig->command(true); // refused: the card's waiting rows are not resolved yet
        s.rig->sync();
    }
    s.rig->checked(s.busyMs * 10);
}

// Until the card's open plan is done, or `rounds` taps of the card found it still open.
bool planDone(Rig& rig, int index, const QString& database, int rounds) {
    const QString cardNo = CardNumberText(rig.cards[std::size_t(index)].first);
    const auto open = [&] {
        try {
            Connection db(database);
            return Plans::OpenOf(db, cardNo).has_value();
        } catch (const DataError&) {
            return true;
        }
    };
    for (int round = 0; round < rounds; ++round) {
        rig.sync();
        rig.link.waitForStore();
        if (waitUntil([&] { return !open(); }, 1500ms))
            return true;
        rig.step(CommandBook::ConfirmWaitMs + 1000);
        rig.layOn(index); // taken off and laid on again: the plan goes on at its arrival
        rig.checked();
    }
    return !open();
}

// A plan that can't go on by itself is closed by the administrator, the rest paid out in cash,
// once nothing of it waits; the plan stays open when something still does.
void closeByHand(Rig& rig, const QString& cardNo, const QString& database) {
    rig.settle();
    try {
        Connection db(database);
        const std::optional<Plans::Plan> open = Plans::OpenOf(db, cardNo);
        if (!open)
            return;
        const Plans::Start admin{QStringLiteral("管理员"), rig.link.deskName(),
                                 TimestampText(rig.clock.now())};
        if (Plans::Close(db, *open, admin).isEmpty())
            rig.link.planClosed(cardNo);
    } catch (const DataError&) {
    }
}

// A fault while a plan's commands go out: the card lifted, the ledger failing, the reader
// unplugged, or the desk killed and started again.
void planFault(Soak& s, int index) {
    Rig& rig = *s.rig;
    std::this_thread::sleep_for(std::chrono::microseconds(rig.pick(0, 3000)));
    switch (rig.pick(0, 5)) {
    case 4: // another card laid on in its place while a command goes out
        rig.layOn((index + rig.pick(1, 3)) % 4);
        rig.sync();
        break;
    case 0:
        rig.takeOff();
        rig.sync();
        break;
    case 1:
        rig.link.store().setFault(StoreWorker::Fault::DiskFull);
        std::this_thread::sleep_for(std::chrono::milliseconds(rig.pick(1, 30)));
        rig.link.store().setFault(StoreWorker::Fault::None);
        break;
    case 2:
        rig.reader.failWrites(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(rig.pick(1, 20)));
        rig.reader.failWrites(false);
        break;
    case 3: { // killed, and the desk started again where it stood
        auto cards = rig.cards;
        const quint32 seed = rig.random();
        const auto clock = rig.clock.now();
        if (const auto card = s.end(s.rig))
            for (auto& c : cards)
                if (c.first == card->cardNo)
                    c.second = card->balance;
        s.rig = std::make_unique<Rig>(s.database, seed, s.desk, s.log, s.busyMs);
        s.rig->cards = cards;
        s.rig->clock.set(clock);
        s.rig->layOn(index);
        break;
    }
    default:
        break;
    }
}

// 挂失 and 补卡 of the card, or 冲正 of a recharge of it, with faults on the way.
void lifecycle(Soak& s, int index) {
    Rig& rig = *s.rig;
    const QString cardNo = CardNumberText(rig.cards[std::size_t(index)].first);
    const Plans::Start start{QStringLiteral("管理员"), rig.link.deskName(),
                             TimestampText(rig.clock.now())};
    Plans::Plan plan;
    QString problem;
    if (rig.chance(0.5)) {
        rig.command(true); // the recharge the operator then finds mistaken
        rig.sync();
        rig.reader.reportNow();
        rig.sync();
        rig.link.waitForStore();
        const auto card = rig.reader.card();
        try {
            Connection db(s.database);
            const auto records = Plans::CorrectableOf(db, cardNo);
            if (!card || records.empty())
                return;
            problem = Plans::StartCorrection(db, cardNo, records.front().recordId, card->balance,
                                             start, &plan);
        } catch (const DataError&) {
            return;
        }
    } else {
        // The card goes missing, once nothing of it waits; a new one, never seen, takes its
        // place.
        rig.settle();
        const auto lost = rig.cards[std::size_t(index)];
        const int n = s.newCards++;
        const CardNumber fresh{0x20, std::uint8_t(0x30 + std::max(s.desk, 0)), std::uint8_t(n >> 8),
                               std::uint8_t(n)};
        try {
            Connection db(s.database);
            {
                Query holder(db, QString::fromUtf8(Statements::ImportCardholder));
                holder.bind(1, QString::number(n));
                holder.bind(2, cardNo);
                holder.bind(3, QStringLiteral("持卡人"));
                holder.bind(4, QStringLiteral("null"));
                holder.bind(5, QStringLiteral("13800000000"));
                holder.bind(6, QStringLiteral("null"));
                try {
                    holder.next();
                } catch (const DataError&) { // the holder came with an earlier replacement
                }
            }
            rig.takeOff();
            rig.sync();
            rig.link.waitForStore();
            if (!Cards::ReportLost(db, cardNo, QStringLiteral("遗失"), start.account, start.desk)
                     .isEmpty())
                return;
            rig.cards[std::size_t(index)] = {fresh, std::uint16_t(rig.pick(0, 3) == 0 ? 500 : 0)};
            rig.layOn(index);
            rig.checked();
            problem = Plans::StartReplacement(db, cardNo, CardNumberText(fresh), start, &plan,
                                              lost.second, QStringLiteral("soak"));
        } catch (const DataError&) {
            return;
        }
    }
    if (!problem.isEmpty())
        return;
    rig.link.startPlan(plan.cardNo);
    if (rig.chance(0.6))
        planFault(s, index);
    if (!planDone(*s.rig, index, s.database, 6))
        closeByHand(*s.rig, plan.cardNo, s.database);
}

// The kind of trial: a scenario's own, or (for "all") a plain booking or one of the faults.
int trialKind(Soak& s, const QString& scenario) {
    Rig& rig = *s.rig;
    const int kind = scenario == QLatin1String("restart-while-unreachable") ? 12
                     : scenario == QLatin1String("walkover")                ? 13
                     : scenario == QLatin1String("absent-card")             ? 14
                     : scenario == QLatin1String("elsewhere")               ? 15
                     : scenario == QLatin1String("lifecycle")               ? 16
                     : s.faults                                             ? rig.pick(0, 15)
                                                                            : rig.pick(0, 1);
    if (kind >= 12 && rig.chance(0.25))
        return rig.pick(0, 1); // the scenario's desk also just books
    return kind;
}

// What goes wrong at the counter in a trial of `kind`, with the card `card` laid on.
void mishap(Soak& s, int kind, int card, int other) {
    Rig& rig = *s.rig;
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
        rig.backWithNewBalance(card, s.offLedger);
        break;
    case 7: // unplugged while the confirmation is unread
        rig.command(rig.chance(0.5));
        rig.reader.unplug();
        rig.link.pollDevices();
        // Plugged in again before the reader thread saw it go, the reader would still count
        // as open, and the desk would wait in vain for it to connect.
        waitUntil([&] { return !rig.link.receiving(); });
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
        WriteLock lock(s.database, rig.pick(0, s.lockMaxMs));
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
        rig.backWithNewBalance(card, s.offLedger);
        break;
    case 12:
        killedDesk(s, card, true);
        break;
    case 13:
        killedDesk(s, card, false);
        break;
    case 14:
        absentCard(s, card, other);
        break;
    case 15:
        elsewhere(s, card);
        break;
    case 16:
        lifecycle(s, card);
        break;
    }
}

void trial(Soak& s, const QString& scenario) {
    Rig& rig = *s.rig;
    const int card = rig.pick(0, 3);
    const int other = (card + rig.pick(1, 3)) % 4;
    if (rig.chance(0.15)) // near the top of what a card holds
        rig.cards[std::size_t(card)].second = std::uint16_t(65535 - rig.pick(0, 25000));
    rig.layOn(card);
    rig.checked();
    rig.step();
    const int kind = trialKind(s, scenario);
    mishap(s, kind, card, other);
    Rig& now = *s.rig; // a restart replaced the desk
    now.sync();
    now.step();
    now.reader.reportNow();
    now.checked();
    if (kind >= 12 || now.chance(0.2)) // the desk books on with the card, as a counter would
        now.command(now.chance(0.8));
    now.sync();
    now.step();
    now.reader.reportNow();
    now.sync();
    if (now.chance(0.3))
        now.settle();
}

} // namespace

namespace {

// What the plans came to, counted by plansConserved.
struct PlanCounts {
    int done = 0;
    int open = 0;
    int broken = 0;
};

// One plan against what the journal booked for it; an unsound one is told to `out`.
void checkPlan(Connection& db, Plans::Kind kind, qint64 id, const QString& cardNo, int value,
               bool finished, PlanCounts& counts, QTextStream& out) {
    Plans::Plan plan;
    plan.kind = kind;
    plan.id = id;
    int booked = 0, clears = 0, before = 0;
    for (const Plans::Command& c : Plans::CommandsOf(db, plan)) {
        // What went to a card laid on in the plan's card's place is not the plan's value.
        if (c.state != Journal::State::Booked || c.cardNo != cardNo)
            continue;
        if (c.operation == Journal::Operation::Clear) {
            ++clears;
            before = c.balanceBefore;
        } else {
            booked += c.amount;
        }
    }
    if (kind == Plans::Kind::Correction)
        value = clears ? before - value * 10 : 0; // what the card should end with
    const int cash = Plans::CashPaid(db, plan).value_or(0);
    const bool sound =
        clears <= 1 && (finished ? booked * 10 + cash == value : booked * 10 <= value && cash == 0);
    if (!sound)
        out << "plan " << Plans::KindKey(kind) << ' ' << id << ": value " << value << ", booked "
            << booked << " yuan, cash " << cash << '\n';
    counts.broken += sound ? 0 : 1;
    (finished ? counts.done : counts.open) += 1;
}

// Every replacement and correction against what the journal booked for it: a done one moved
// exactly its value (the lost card's balance, or what its card held less the mistake) as
// recharges and cash paid; an open one never more. One clear at most a correction.
bool plansConserved(const QString& database, QTextStream& out) {
    PlanCounts counts;
    try {
        Connection db(database);
        Query replacements(db,
                           QStringLiteral("SELECT id, balance, state, new_card FROM replacements"));
        while (replacements.next())
            checkPlan(db, Plans::Kind::Replacement, replacements.integer(0), replacements.text(3),
                      int(replacements.integer(1)), replacements.text(2) == QLatin1String("done"),
                      counts, out);
        Query corrections(db, QStringLiteral("SELECT id, amount, state, card_no FROM corrections"));
        while (corrections.next())
            checkPlan(db, Plans::Kind::Correction, corrections.integer(0), corrections.text(3),
                      int(corrections.integer(1)), corrections.text(2) == QLatin1String("done"),
                      counts, out);
    } catch (const DataError& e) {
        out << "problem: " << e.description() << '\n';
        return false;
    }
    out << "plans done: " << counts.done << "\nplans open: " << counts.open
        << "\nplans unsound: " << counts.broken << '\n';
    return counts.broken == 0;
}

// Starts one process per desk, all at once, and waits for them all. False when one failed or
// hung; each desk's own lines are shown under its name.
bool runDesks(const std::vector<QStringList>& arguments, int limitMs, QTextStream& out,
              QStringList* said = nullptr) {
    std::vector<std::unique_ptr<QProcess>> desks;
    for (const QStringList& args : arguments) {
        desks.push_back(std::make_unique<QProcess>());
        desks.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        desks.back()->start(QCoreApplication::applicationFilePath(), args);
    }
    bool ok = true;
    for (std::size_t i = 0; i < desks.size(); ++i) {
        QProcess& desk = *desks[i];
        if (!desk.waitForFinished(limitMs)) {
            desk.kill();
            desk.waitForFinished();
            ok = false;
        }
        ok &= desk.exitStatus() == QProcess::NormalExit && desk.exitCode() == 0;
        for (const QString& line : QString::fromUtf8(desk.readAllStandardOutput())
                                       .split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            out << deskName(int(i)) << ": " << line << '\n';
            if (said)
                *said << line;
        }
    }
    return ok;
}

// What a desk process changed off the ledger, one line a change beside its log.
void writeOffLedger(const QString& log, const std::vector<OffLedger>& changes) {
    QFile file(log + QStringLiteral("-off"));
    if (log.isEmpty() || !file.open(QIODevice::WriteOnly))
        return;
    for (const OffLedger& c : changes)
        file.write(QStringLiteral("%1 %2 %3\n")
                       .arg(CardNumberText(c.cardNo))
                       .arg(c.before)
                       .arg(c.after)
                       .toLatin1());
}

std::vector<OffLedger> readOffLedger(const QStringList& logs) {
    std::vector<OffLedger> all;
    for (const QString& log : logs) {
        QFile file(log + QStringLiteral("-off"));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        while (!file.atEnd()) {
            const QList<QByteArray> f = file.readLine().trimmed().split(' ');
            if (const auto card =
                    f.size() == 3 ? ParseCardNumber(QString::fromLatin1(f[0])) : std::nullopt)
                all.push_back({*card, f[1].toInt(), f[2].toInt()});
        }
    }
    return all;
}

std::vector<SimulatedReader::Execution> executedBy(const QStringList& logs) {
    std::vector<SimulatedReader::Execution> all;
    for (const QString& log : logs)
        for (const char* desk : {"", "-b", "-k"}) { // the desk, and the desks it met
            const auto done = SimulatedReader::ReadExecutionLog(log + QLatin1String(desk));
            all.insert(all.end(), done.begin(), done.end());
        }
    return all;
}

// The ledger of `desks` desks against what their readers carried out: each change booked
// once, each desk's bookings under its own name, and the query's total over every date the
// sum of what the desks booked.
bool checkSharedLedger(const std::vector<SimulatedReader::Execution>& executed,
                       const QString& database, int desks, const std::vector<OffLedger>& offLedger,
                       QTextStream& out) {
    const LedgerCheck check = CheckLedger(executed, database, offLedger);
    out << check.text();
    if (!check.problem.isEmpty())
        return false;
    qint64 queryTotal = 0, desksTotal = 0, twice = 0;
    QMap<QString, qint64> byDesk;
    try {
        Connection db(database);
        Query total(db, Statements::RecordsBetweenTotal);
        total.bind(1, QString());
        total.bind(2, QStringLiteral("9999"));
        total.bind(3, std::numeric_limits<std::int64_t>::max());
        total.next();
        queryTotal = total.integer(1);
        Query rows(db, QStringLiteral("SELECT j.desk, e.金额 FROM journal j JOIN employees e ON "
                                      "e.rowid = j.record_id WHERE j.state = 'booked'"));
        while (rows.next())
            byDesk[rows.text(0)] += AmountValue(QStringView(rows.text(1)), ReportAmountLimit);
        Query shared(db, QStringLiteral("SELECT count(record_id) - count(DISTINCT record_id) "
                                        "FROM journal"));
        shared.next();
        twice = shared.integer(0);
    } catch (const DataError& e) {
        out << "problem: " << e.description() << '\n';
        return false;
    }
    for (auto it = byDesk.begin(); it != byDesk.end(); ++it) {
        out << "booked by " << it.key() << ": " << it.value() << " yuan\n";
        desksTotal += it.value();
    }
    out << "records booked for two commands: " << twice << "\nquery total: " << queryTotal
        << " yuan\nexecuted changes booked: " << check.bookedYuan << " yuan\n";
    // Desks meet others of the ledger (named after them) in their scenarios.
    const bool plans = plansConserved(database, out);
    return plans && check.sound() && check.pending == 0 && twice == 0 && byDesk.size() >= desks &&
           queryTotal == desksTotal && desksTotal == check.bookedYuan;
}

// Creates the ledger the soak books into: a fresh file, or the schema in the empty database
// `--database` names. Nobody logs in to it, so its accounts' passwords are hashed cheaply.
QString createLedger(const QStringList& options, const QTemporaryDir& dir, QString* database) {
    *database = textOption(options, QStringLiteral("--database"));
    if (database->isEmpty())
        *database = dir.filePath(Schema::DatabaseFileName);
    return Schema::CreateDatabase(*database, PasswordHash::CheapestCost);
}

} // namespace

namespace {

struct SoakOptions {
    int trials = 200;
    quint32 seed = 1;
    int busyMs = StoreWorker::DefaultBusyTimeoutMs;
    int lockMaxMs = 0;
    bool faults = true;
    int desks = 1;
    int desk = -1; // one desk process of several sharing the ledger; the first process checks it
    QString scenario;
    QString log;
};

SoakOptions soakOptions(const QStringList& options) {
    SoakOptions o;
    o.trials = std::max(1, option(options, QStringLiteral("--trials"), 200));
    o.seed = quint32(option(options, QStringLiteral("--seed"), 1));
    // How long the desk waits for a lock, and the longest another program holds it: half again
    // as long, so that locks both shorter and longer than the wait come up.
    o.busyMs = option(options, QStringLiteral("--busy-ms"), StoreWorker::DefaultBusyTimeoutMs);
    o.lockMaxMs = option(options, QStringLiteral("--lock-max-ms"), o.busyMs * 3 / 2);
    const qsizetype f = options.indexOf(QStringLiteral("--faults"));
    o.faults = !(f >= 0 && f + 1 < options.size() && options[f + 1] == "off");
    o.desks = std::max(1, option(options, QStringLiteral("--desks"), 1));
    o.desk = option(options, QStringLiteral("--desk"), -1);
    o.scenario = textOption(options, QStringLiteral("--scenario"));
    if (o.scenario.isEmpty())
        o.scenario = QStringLiteral("all");
    o.log = textOption(options, QStringLiteral("--log"));
    return o;
}

QString seconds(const QElapsedTimer& timer) {
    return QString::number(double(timer.elapsed()) / 1000.0, 'f', 1);
}

// One process per desk on the same ledger, which is checked once they are all done.
int soakDesks(const SoakOptions& o, const QString& database, const QTemporaryDir& dir,
              const QElapsedTimer& timer, QTextStream& out) {
    std::vector<QStringList> arguments;
    QStringList logs;
    for (int i = 0; i < o.desks; ++i) {
        logs << dir.filePath(QStringLiteral("executed-%1.log").arg(i));
        arguments.push_back(
            {QStringLiteral("soak"), QStringLiteral("--desk"), QString::number(i),
             QStringLiteral("--database"), database, QStringLiteral("--log"), logs.back(),
             QStringLiteral("--trials"), QString::number(o.trials), QStringLiteral("--seed"),
             QString::number(o.seed + quint32(i) * 7919u), QStringLiteral("--faults"),
             o.faults ? QStringLiteral("on") : QStringLiteral("off"), QStringLiteral("--busy-ms"),
             QString::number(o.busyMs), QStringLiteral("--lock-max-ms"),
             QString::number(o.lockMaxMs), QStringLiteral("--scenario"), o.scenario});
    }
    const bool desksOk = runDesks(arguments, 20 * 60 * 1000, out);
    out << "desks: " << o.desks << "\ntrials per desk: " << o.trials << "\nseed: " << o.seed
        << '\n';
    const bool sound =
        checkSharedLedger(executedBy(logs), database, o.desks, readOffLedger(logs), out);
    out << "seconds: " << seconds(timer) << '\n';
    return desksOk && sound ? 0 : 1;
}

struct SoakOutcome {
    LedgerCheck check;
    int retries = 0;
    QString refusals;
    std::size_t executed = 0;
};

// The trials of one desk in this process. A desk of several leaves the ledger's check to the
// process that started it and writes what it changed off the ledger beside its log.
SoakOutcome soakHere(const SoakOptions& o, const QString& database) {
    SoakOutcome outcome;
    Soak s;
    s.database = database;
    s.seed = o.seed;
    s.desk = o.desk;
    s.log = o.log;
    s.busyMs = o.busyMs;
    s.lockMaxMs = o.lockMaxMs;
    s.faults = o.faults;
    ResetLinkState();
    s.rig = std::make_unique<Rig>(database, o.seed, o.desk, s.log, o.busyMs);
    for (int i = 0; i < o.trials; ++i)
        trial(s, o.scenario);
    if (s.neighbour) {
        s.neighbour->settle();
        s.neighbour->link.waitForStore();
    }
    s.rig->settle();
    s.rig->link.waitForStore();
    outcome.retries = s.rig->view.retries;
    outcome.refusals = s.rig->view.refusals();
    s.rig->link.shutdown();
    if (s.neighbour)
        s.neighbour->link.shutdown();
    const auto all = s.executed();
    outcome.executed = all.size();
    if (o.desk < 0)
        outcome.check = CheckLedger(all, database, s.offLedger);
    else
        writeOffLedger(s.log, s.offLedger);
    return outcome;
}

} // namespace

int RunSoak(const QStringList& options, QTextStream& out, QTextStream& err) {
    if (options.contains(QStringLiteral("--help"))) {
        out << "usage: velkar-reader soak [--trials N] [--seed S] [--faults on|off] "
               "[--busy-ms MS] [--lock-max-ms MS] [--database EMPTY-LOCATION] [--desks N]\n";
        return 0;
    }
    const SoakOptions o = soakOptions(options);
    QTemporaryDir dir;
    QString database = textOption(options, QStringLiteral("--database"));
    if (o.desk < 0) {
        if (const QString problem = createLedger(options, dir, &database); !problem.isEmpty()) {
            err << problem << '\n';
            return 1;
        }
    }
    QElapsedTimer timer;
    timer.start();
    if (o.desks > 1)
        return soakDesks(o, database, dir, timer, out);
    if (!Scenarios.contains(o.scenario)) {
        err << "unknown scenario " << o.scenario << "; one of "
            << Scenarios.join(QStringLiteral(", ")) << '\n';
        return 2;
    }
    const SoakOutcome outcome = soakHere(o, database);
    if (o.desk >= 0) { // the ledger is checked once every desk is done
        out << "seed: " << o.seed << "\nexecuted: " << outcome.executed
            << "\nbooking retries: " << outcome.retries << "\nseconds: " << seconds(timer) << '\n';
        return 0;
    }
    out << "scenario: " << o.scenario << "\ntrials: " << o.trials << "\nseed: " << o.seed << '\n'
        << outcome.check.text();
    const bool plans = plansConserved(database, out);
    out << "booking retries: " << outcome.retries << "\nshown: " << outcome.refusals
        << "\nseconds: " << seconds(timer) << '\n';
    return outcome.check.sound() && plans ? 0 : 1;
}

// --- Across processes -------------------------------------------------------------------------

namespace {

constexpr std::uint16_t CrashStartBalance = 30000;

// Each desk has a card of its own.
CardNumber crashCard(int desk) {
    return CardNumber{0x0C, 0x0A, 0x05, std::uint8_t(0x0E + std::max(desk, 0))};
}

// The card's balance as the reader last left it: it lives on the card, not in any process.
std::uint16_t cardBalance(const QString& log) {
    const auto done = SimulatedReader::ReadExecutionLog(log);
    return done.empty() ? CrashStartBalance : done.back().after;
}

// The count a statement with one text parameter gives; -1 unreadable.
int countOf(const QString& database, const QString& sql, const QString& value) {
    try {
        Connection db(database);
        Query q(db, sql);
        q.bind(1, value);
        q.next();
        return int(q.integer(0));
    } catch (const DataError&) {
        return -1;
    }
}

// Commands of one desk the ledger still holds as sent and not resolved.
int pendingOf(const QString& database, const QString& desk) {
    return countOf(
        database,
        QStringLiteral("SELECT count(*) FROM journal WHERE state = 'pending' AND desk = ?"), desk);
}

// Sessions on the server that named themselves `name`.
int sessionsOf(const QString& database, const QString& name) {
    return countOf(
        database,
        QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE application_name = ?"), name);
}

QString figures(std::vector<double> ms) {
    if (ms.empty())
        return QStringLiteral("no bookings");
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[std::size_t(q * double(ms.size() - 1))]; };
    return QString::asprintf("median %.2f ms, p95 %.2f ms, max %.2f ms", at(0.5), at(0.95),
                             ms.back());
}

} // namespace

int RunCrashChild(const QStringList& options) {
    const QString folder = textOption(options, QStringLiteral("--folder"));
    const bool settle = options.contains(QStringLiteral("--settle"));
    // Books until the folder holds a file "stop", then tells how long its bookings waited.
    const bool untilStopped = options.contains(QStringLiteral("--until-stopped"));
    // Books this many recharges of 1 yuan as fast as they go, then tells their latencies.
    const int commands = option(options, QStringLiteral("--commands"), 0);
    const int desk = option(options, QStringLiteral("--desk"), -1);
    QString database = textOption(options, QStringLiteral("--database"));
    if (database.isEmpty())
        database = QDir(folder).filePath(Schema::DatabaseFileName);
    const QString log = QDir(folder).filePath(QStringLiteral("executed.log"));
    // A desk killed in the middle of its write: the lock must die with it.
    if (options.contains(QStringLiteral("--hold-write-lock"))) {
        try {
            Connection db(database);
            Transaction write(db, Transaction::Write);
            std::this_thread::sleep_for(std::chrono::hours(1));
        } catch (const DataError&) {
        }
        return 1;
    }
    SimulatedReader reader;
    reader.setExecutionLog(log);
    SoakView view;
    SystemClock clock;
    ReaderLink link(reader, clock, database, QStringLiteral("操作员2"), deskName(desk));
    view.attach(link);
    link.findReaderPath();
    if (link.connect() != ReaderLink::Opened::Now)
        return 1;
    waitUntil([&] { return reader.collectingHandles() == 1; });
    std::mt19937 random(quint32(option(options, QStringLiteral("--seed"), 1)));
    const auto sync = [&] {
        link.waitForSendWorkers();
        waitUntil([&] { return view.balances.load() >= reader.reportsToRead(); });
    };
    // The card tapped again: what an earlier process left pending resolves now.
    reader.layCard(crashCard(desk), cardBalance(log));
    sync();
    link.waitForStore();
    // A desk sharing the ledger also holds the others' pending commands, which they resolve:
    // its own are counted in the journal by whoever started it.
    if (settle)
        return desk >= 0 || link.outstandingCommands() == 0 ? 0 : 3;
    QTextStream out(stdout);
    if (commands > 0) {
        std::vector<double> ms;
        QElapsedTimer all;
        all.start();
        for (int i = 0; i < commands; ++i) {
            const int before = view.booked;
            const auto sent = std::chrono::steady_clock::now();
            link.requestRecharge(1);
            if (!view.waitBooked(before, 10s))
                return 1;
            const std::chrono::steady_clock::duration waited{view.bookedAt -
                                                             sent.time_since_epoch().count()};
            ms.push_back(std::chrono::duration<double, std::milli>(waited).count());
            link.waitForStore();
        }
        out << "commands: " << commands << ", "
            << QString::number(double(all.elapsed()) / 1000.0, 'f', 2)
            << " s, sent to booked: " << figures(ms) << '\n';
        return 0;
    }
    const QString stop = QDir(folder).filePath(QStringLiteral("stop"));
    std::vector<double> waits;
    while (!untilStopped || !QFile::exists(stop)) {
        const int before = view.booked;
        QElapsedTimer wait;
        wait.start();
        const auto balance = reader.card()->balance;
        if (balance > 60000 || std::bernoulli_distribution(0.2)(random))
            link.requestClear();
        else
            link.requestRecharge(std::uniform_int_distribution(1, 300)(random));
        sync();
        reader.reportNow();
        sync();
        link.waitForStore();
        if (view.booked > before)
            waits.push_back(double(wait.nsecsElapsed()) / 1e6);
    }
    out << "bookings: " << waits.size() << ", waited " << figures(waits) << "\nlongest wait ms: "
        << (waits.empty() ? 0.0 : *std::max_element(waits.begin(), waits.end())) << '\n';
    return 0;
}

namespace {

// One desk killed over and over, and started again after each kill to settle what it left.
struct CrashRun {
    QString program;
    QString database;
    QStringList where; // the killed desk's folder, ledger and name
    bool shared = false;
    bool onServer = false;
    int killed = -1;
    int killWithinMs = 250;
    std::mt19937 random;
};

// A desk started and killed where a point says, or at a random moment of its work.
void killOne(CrashRun& run) {
    static const char* const points[] = {"journal", "write", "book"};
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const int how = std::uniform_int_distribution(0, run.shared ? 6 : 5)(run.random);
    if (how < 3)
        env.insert(QStringLiteral("VELKAR_CRASH_AT"), QString::fromLatin1(points[how]));
    child.setProcessEnvironment(env);
    QStringList args = QStringList{QStringLiteral("crash-child")}
                       << run.where << QStringLiteral("--seed") << QString::number(run.random());
    if (how == 6)
        args << QStringLiteral("--hold-write-lock");
    child.start(run.program, args);
    child.waitForStarted();
    if (!child.waitForFinished(
            how < 3 ? 10000 : std::uniform_int_distribution(5, run.killWithinMs)(run.random)))
        child.kill();
    child.waitForFinished();
    // A killed desk's last statement may still commit on the server after the process died; a
    // desk is started again only after that, as it would be at a counter.
    if (run.onServer)
        waitUntil([&] { return sessionsOf(run.database, deskName(run.killed)) == 0; }, 10s);
}

// The desk started again resolves all the killed one left pending; false, told to `err`, when
// it hung, crashed or left some.
bool settledAgain(const CrashRun& run, int kill, QTextStream& err) {
    QProcess settle;
    settle.start(run.program, QStringList{QStringLiteral("crash-child")}
                                  << run.where << QStringLiteral("--settle"));
    const bool ended = settle.waitForFinished(30000);
    const int left = run.shared ? pendingOf(run.database, deskName(run.killed)) : 0;
    if (ended && settle.exitStatus() == QProcess::NormalExit && settle.exitCode() == 0 && left == 0)
        return true;
    err << "after kill " << kill << ": the desk started again "
        << (!ended                                        ? "hung"
            : settle.exitStatus() != QProcess::NormalExit ? "crashed"
                                                          : "ended")
        << " with " << settle.exitCode() << ", its pending commands: " << left << '\n';
    return false;
}

// The desk that booked on beside the killed one, stopped: its lines shown, and the ledger both
// booked into checked. `waitedLong` when it hung or one of its bookings waited over the limit.
bool survivorSound(QProcess& survivor, const QTemporaryDir& dir, const QString& database,
                   int maxWaitMs, bool* waitedLong, QTextStream& out) {
    QFile(dir.filePath(QStringLiteral("desk-1/stop"))).open(QIODevice::WriteOnly);
    const bool ended = survivor.waitForFinished(60000) && survivor.exitCode() == 0;
    const QString said = QString::fromUtf8(survivor.readAllStandardOutput());
    for (const QString& line : said.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        out << deskName(0) << ": " << line << '\n';
    const double longest = said.section(QStringLiteral("longest wait ms: "), 1)
                               .section(QLatin1Char('\n'), 0, 0)
                               .toDouble();
    *waitedLong = !ended || longest > maxWaitMs;
    return checkSharedLedger(executedBy({dir.filePath(QStringLiteral("desk-1/executed.log")),
                                         dir.filePath(QStringLiteral("desk-2/executed.log"))}),
                             database, 2, {}, out);
}

} // namespace

int RunCrash(const QStringList& options, const QString& program, QTextStream& out,
             QTextStream& err) {
    const int kills = std::max(1, option(options, QStringLiteral("--kills"), 200));
    const quint32 seed = quint32(option(options, QStringLiteral("--seed"), 1));
    CrashRun run;
    run.program = program;
    // With two desks the first books on while the second is killed over and over.
    run.shared = option(options, QStringLiteral("--desks"), 1) > 1;
    const int maxWaitMs = option(options, QStringLiteral("--max-wait-ms"), 3000);
    // A desk is killed at most this long after its start: long enough for many bookings.
    run.killWithinMs = std::max(6, option(options, QStringLiteral("--kill-within-ms"), 250));
    QTemporaryDir dir;
    if (const QString problem = createLedger(options, dir, &run.database); !problem.isEmpty()) {
        err << problem << '\n';
        return 1;
    }
    run.killed = run.shared ? 1 : -1;
    QString folder = dir.path();
    QProcess survivor;
    if (run.shared) {
        QDir(dir.path()).mkpath(QStringLiteral("desk-1"));
        QDir(dir.path()).mkpath(QStringLiteral("desk-2"));
        folder = dir.filePath(QStringLiteral("desk-2"));
        survivor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        survivor.start(program,
                       {QStringLiteral("crash-child"), QStringLiteral("--folder"),
                        dir.filePath(QStringLiteral("desk-1")), QStringLiteral("--database"),
                        run.database, QStringLiteral("--desk"), QStringLiteral("0"),
                        QStringLiteral("--until-stopped"), QStringLiteral("--seed"),
                        QString::number(seed + 1)});
        survivor.waitForStarted();
    }
    // On a server the killed desk's sessions carry its name, so that their end can be seen.
    run.onServer = run.shared && EngineOf(run.database) == Engine::Postgres;
    run.where = QStringList{QStringLiteral("--folder"),
                            folder,
                            QStringLiteral("--database"),
                            run.onServer ? run.database + QStringLiteral("&application_name=") +
                                               deskName(run.killed)
                                         : run.database,
                            QStringLiteral("--desk"),
                            QString::number(run.killed)};
    run.random.seed(seed);
    QElapsedTimer timer;
    timer.start();
    int unsettled = 0, unsound = 0;
    // A server's check takes longer than a kill; it runs while the next desk starts, which a
    // server lets it, one check at a time.
    std::future<QString> serverCheck;
    const auto countCheck = [&] {
        if (serverCheck.valid() && !serverCheck.get().isEmpty())
            ++unsound;
    };
    for (int i = 0; i < kills; ++i) {
        killOne(run);
        unsettled += settledAgain(run, i + 1, err) ? 0 : 1;
        countCheck();
        if (run.onServer)
            serverCheck = std::async(std::launch::async, [database = run.database] {
                return Schema::CheckDatabase(database);
            });
        else if (!Schema::CheckDatabase(run.database).isEmpty())
            ++unsound;
    }
    countCheck();
    bool sound = false;
    bool waitedLong = false;
    out << "kills: " << kills << "\nseed: " << seed << '\n';
    if (run.shared) {
        sound = survivorSound(survivor, dir, run.database, maxWaitMs, &waitedLong, out);
    } else {
        const LedgerCheck check = CheckLedger(
            SimulatedReader::ReadExecutionLog(dir.filePath("executed.log")), run.database);
        out << check.text();
        sound = check.sound() && check.pending == 0;
    }
    out << "unsettled: " << unsettled << "\nunsound files: " << unsound;
    if (run.shared)
        out << "\nsurvivor waited too long: " << (waitedLong ? "yes" : "no");
    out << "\nseconds: " << seconds(timer) << '\n';
    return sound && !waitedLong && unsettled == 0 && unsound == 0 ? 0 : 1;
}

namespace {

// The records in the ledger; -1 when it can't be read.
int bookedIn(const QString& database, QTextStream& err) {
    try {
        Connection db(database);
        Query count(db, QStringLiteral("SELECT count(*) FROM employees"));
        count.next();
        return int(count.integer(0));
    } catch (const DataError& e) {
        err << e.description() << '\n';
        return -1;
    }
}

// Has the server write out what it holds (a right the bench's role may lack: then it says so).
void checkpoint(const QString& database, QTextStream& err) {
    try {
        Connection db(database);
        Query(db, QStringLiteral("CHECKPOINT")).next();
    } catch (const DataError& e) {
        err << e.description() << '\n';
    }
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// One round of the desk bench on `database`: the desks' commands/s and their longest wait, then
// the floor's commands/s. False when a desk failed or a command went unbooked.
bool deskRound(const QString& database, const std::vector<QStringList>& arguments, int commands,
               std::vector<double> figures[3], QTextStream& out, QTextStream& err) {
    const int desks = int(arguments.size());
    const int before = bookedIn(database, err);
    QElapsedTimer wall;
    wall.start();
    QStringList said;
    bool ok = runDesks(arguments, 30 * 60 * 1000, out, &said);
    const double seconds = double(wall.elapsed()) / 1000.0;
    const int booked = bookedIn(database, err) - before;
    ok &= before >= 0 && booked == desks * commands;
    out << "wall: " << QString::number(seconds, 'f', 2) << " s, "
        << QString::number(desks * commands / seconds, 'f', 1) << " commands/s, booked " << booked
        << '\n';
    // The longest a command waited from its sending to its booking, while the other desks
    // booked theirs.
    double longest = 0;
    for (const QString& line : said)
        longest = std::max(
            longest,
            line.section(QStringLiteral(", max "), 1).section(QLatin1Char(' '), 0, 0).toDouble());
    QString problem;
    const double floor = BookingFloorPerSecond(database, desks, commands, &problem);
    if (!problem.isEmpty()) {
        err << problem << '\n';
        ok = false;
    }
    figures[0].push_back(desks * commands / seconds);
    figures[1].push_back(floor);
    figures[2].push_back(longest);
    return ok;
}

} // namespace

int RunDeskBench(const QStringList& options, QTextStream& out, QTextStream& err) {
    const int desks = std::max(1, option(options, QStringLiteral("--desks"), 2));
    const int commands = std::max(1, option(options, QStringLiteral("--commands"), 1000));
    // The desks and the floor take turns, so that a machine busy for a while weighs on both;
    // the figures are the medians of the rounds.
    const int rounds = std::max(1, option(options, QStringLiteral("--rounds"), 1));
    const QString server = textOption(options, QStringLiteral("--database"));
    QTemporaryDir dir;
    // The server's figures beside those of one file the desks share.
    QStringList locations;
    if (!server.isEmpty())
        locations << server;
    locations << dir.filePath(Schema::DatabaseFileName);
    bool ok = true;
    for (const QString& database : locations) {
        if (const QString problem = Schema::CreateDatabase(database); !problem.isEmpty()) {
            err << problem << '\n';
            return 1;
        }
        // Each round's desks are new ones with cards of their own: a card fills up after a few
        // thousand recharges.
        const auto deskArguments = [&](int round) {
            std::vector<QStringList> arguments;
            for (int i = round * desks; i < (round + 1) * desks; ++i) {
                const QString folder = dir.filePath(QStringLiteral("%1-%2").arg(i).arg(
                    EngineOf(database) == Engine::Postgres ? QStringLiteral("server")
                                                           : QStringLiteral("file")));
                QDir().mkpath(folder);
                arguments.push_back({QStringLiteral("crash-child"), QStringLiteral("--folder"),
                                     folder, QStringLiteral("--database"), database,
                                     QStringLiteral("--desk"), QString::number(i),
                                     QStringLiteral("--commands"), QString::number(commands)});
            }
            return arguments;
        };
        out << (EngineOf(database) == Engine::Postgres ? "server" : "shared file") << ", " << desks
            << " desks, " << commands << " commands each, " << rounds << " rounds\n";
        std::vector<double> figures[3]; // commands/s, the floor's, longest wait
        for (int round = 0; round < rounds; ++round)
            ok &= deskRound(database, deskArguments(round), commands, figures, out, err);
        const double perSecond = median(figures[0]);
        const double floor = median(figures[1]);
        out << "commands_per_s: " << QString::number(perSecond, 'f', 1) << '\n'
            << "floor_commands_per_s: " << QString::number(floor, 'f', 1) << '\n'
            << "commands_per_s_ratio: "
            << QString::number(floor > 0 ? perSecond / floor : 0, 'f', 2) << '\n'
            << "longest_wait_ms: "
            << QString::number(*std::max_element(figures[2].begin(), figures[2].end()), 'f', 1)
            << '\n';
        // The server writes what it was given while the next block runs, on the same disk: a
        // checkpoint now keeps those writes out of the shared file's waits.
        if (EngineOf(database) == Engine::Postgres)
            checkpoint(database, err);
    }
    return ok ? 0 : 1;
}

} // namespace velkar
