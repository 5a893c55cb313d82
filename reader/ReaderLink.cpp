#include "reader/ReaderLink.h"

#include "base/Clock.h"
#include "base/Log.h"
#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/Cards.h"
#include "data/Plans.h"
#include "reader/CrashPoint.h"
#include "reader/DeviceWatcher.h"
#include "reader/LinkState.h"
#include "reader/ReaderThread.h"

#include <QSysInfo>
#include <QThread>

namespace velkar {

namespace {

constexpr unsigned WriteTimeoutMs = 3000;

} // namespace

ReaderLink::ReaderLink(HidBridge& bridge, const Clock& clock, QString databasePath,
                       QString operatorName, QString deskName, QObject* parent)
    : QObject(parent), m_bridge(bridge), m_clock(clock), m_databasePath(std::move(databasePath)),
      m_operatorName(std::move(operatorName)), m_startedAt(TimestampText(clock.now())),
      m_desk(deskName.isEmpty() ? QSysInfo::machineHostName() : std::move(deskName)),
      m_store(std::make_unique<StoreWorker>(m_databasePath)) {
    qRegisterMetaType<CardholderLookup>();
    qRegisterMetaType<Journal::CardTotals>();
    qRegisterMetaType<CommandOutcome>();
    qRegisterMetaType<PlanReport>();
}

void ReaderLink::announceWaiting() {
    // Commands left waiting (by a run that ended, or another desk) are resolved at their
    // card's next report; the operator is told that some wait.
    m_store->tryOnce(
        [this](const Connection& db) {
            if (const int waiting = int(Journal::Pending(db).size()))
                emit statusShown(Messages::Waiting(waiting));
        },
        {});
}

ReaderLink::~ReaderLink() {
    shutdown();
}

void ReaderLink::shutdown(int storeWaitMs) {
    m_stopping = true;
    if (m_watcher)
        m_watcher->stop();
    std::shared_ptr<ReaderThread> reader;
    {
        std::lock_guard lock(m_mutex);
        reader = std::move(m_reader);
    }
    reader.reset(); // closes the device and waits for the thread
    if (m_store) {
        // Bookings about to commit may; one still failing stays pending in the journal.
        m_store->waitIdleFor(storeWaitMs);
        // Stopped before it goes: the task under way may still queue the next one on it.
        m_store->stop();
        m_store.reset();
    }
}

// --- Discovery and connection ---------------------------------------------------------------

void ReaderLink::findReaderPath() {
    for (const BridgeDeviceEntry& entry : ListDevices(m_bridge)) {
        if (!IsReader(entry))
            continue;
        // Only a reader this program may open counts.
        const BridgeHandle test = m_bridge.BridgeOpenDevicePath(entry.path);
        if (test == INVALID_BRIDGE_HANDLE)
            continue;
        m_bridge.BridgeCloseDevice(test);
        std::lock_guard lock(m_mutex);
        m_devicePath = QString::fromStdString(entry.path);
        return;
    }
}

QString ReaderLink::devicePath() const {
    std::lock_guard lock(m_mutex);
    return m_devicePath;
}

std::shared_ptr<ReaderThread> ReaderLink::reader() const {
    std::lock_guard lock(m_mutex);
    return m_reader;
}

bool ReaderLink::isOpen() const {
    const auto thread = reader();
    return thread && !thread->closed();
}

bool ReaderLink::receiving() const {
    const auto thread = reader();
    if (!thread)
        return false;
    const ReaderThread::State state = thread->state();
    return state == ReaderThread::State::Receiving || state == ReaderThread::State::Stopping;
}

ReaderLink::Opened ReaderLink::connect() {
    if (isOpen())
        return Opened::Already;
    const QString path = devicePath();
    const BridgeHandle device = m_bridge.BridgeOpenDevicePath(path.toStdString());
    if (device == INVALID_BRIDGE_HANDLE)
        return Opened::Failed;
    std::uint16_t vendorId = 0, productId = 0, version = 0;
    if (!m_bridge.BridgeGetAttributes(device, vendorId, productId, version)) {
        m_bridge.BridgeCloseDevice(device);
        return Opened::NoAttributes;
    }
    emit statusShown(Messages::DeviceConnected(vendorId, productId, version));
    std::uint16_t inputLength = 0, outputLength = 0;
    m_bridge.BridgeGetBufferLen(device, inputLength, outputLength);
    // A read ends early for a frame to send (the reader thread wakes it) or a stop.
    m_bridge.BridgeSetTimeOut(device, ReaderThread::PollMs, WriteTimeoutMs);
    auto thread = std::make_shared<ReaderThread>(
        m_bridge, device,
        ReaderThread::Handlers{
            [this, device](const ReaderReport& report) { handleReport(report, device); },
            [this, device](bool collected) { readerEnded(device, collected); }});
    std::shared_ptr<ReaderThread> previous;
    {
        std::lock_guard lock(m_mutex);
        m_openPath = path;
        previous = std::exchange(m_reader, thread);
    }
    previous.reset(); // its device is closed already; this only waits for its last steps
    thread->start();
    emit portListed(true);
    g_connected = 1;
    return Opened::Now;
}

void ReaderLink::startWatching(int intervalMs) {
    HidGuid hidClass;
    m_bridge.BridgeGetHidGuid(hidClass); // the watcher follows this class: every HID device
    if (!m_watcher) {
        m_watcher = std::make_unique<DeviceWatcher>(m_bridge);
        QObject::connect(m_watcher.get(), &DeviceWatcher::deviceArrived, this,
                         &ReaderLink::deviceArrived);
        QObject::connect(m_watcher.get(), &DeviceWatcher::deviceRemoved, this,
                         &ReaderLink::deviceRemoved);
    }
    m_watcher->start(intervalMs);
}

void ReaderLink::pollDevices() {
    if (m_watcher)
        m_watcher->poll();
}

void ReaderLink::deviceArrived(const QString&) {
    emit statusShown(Messages::DeviceArrived());
    if (!isOpen()) {
        emit portListed(false);
        g_connected = 0;
    }
    findReaderPath();
}

void ReaderLink::deviceRemoved(const QString& path) {
    emit statusShown(Messages::DeviceLeft());
    bool ours = false;
    {
        std::lock_guard lock(m_mutex);
        ours = !m_openPath.isEmpty() && path == m_openPath;
    }
    if (ours)
        closeReader();
    if (!isOpen()) {
        emit portListed(false);
        g_connected = 0;
    }
    findReaderPath();
}

void ReaderLink::closeReader() {
    if (const auto thread = reader())
        thread->stop(); // the read under way fails and the thread ends by itself
}

void ReaderLink::readerEnded(BridgeHandle device, bool collected) {
    if (!collected)
        emit statusShown(QStringLiteral("BridgeInitThreadData Error"));
    // Reads fail once the reader is unplugged. Close it, so that the next 连接 can open it
    // again instead of finding it "already open".
    const auto thread = reader();
    if (!thread || thread->device() != device)
        return; // a reader opened since has its own thread
    thread->stop();
    g_connected = 0;
    if (!m_stopping)
        emit portListed(false);
}

// --- Commands -------------------------------------------------------------------------------

void ReaderLink::requestRecharge(int amount, const std::optional<CommandBook::Card>& confirmed) {
    if (amount < MIN_RECHARGE_YUAN || amount > MAX_RECHARGE_YUAN) {
        emit messageShown(Messages::WrongAmount());
        return;
    }
    request(Journal::Operation::Recharge, amount, confirmed);
}

void ReaderLink::requestClear(const std::optional<CommandBook::Card>& confirmed) {
    request(Journal::Operation::Clear, 0, confirmed);
}

void ReaderLink::request(Journal::Operation operation, int amount,
                         const std::optional<CommandBook::Card>& confirmed) {
    if (!isOpen()) {
        emit statusShown(Messages::DeviceNotConnected());
        return;
    }
    Journal::Entry entry;
    entry.operation = operation;
    entry.amount = amount;
    entry.operatorName = m_operatorName;
    entry.desk = m_desk;
    entry.sentAt = TimestampText(m_clock.now());
    std::uint64_t key = 0;
    CommandBook::Refusal refusal;
    {
        std::lock_guard lock(m_mutex);
        refusal = m_commands.reserve(entry, m_clock.monotonicMs(), &key, confirmed);
    }
    switch (refusal) {
    case CommandBook::Refusal::NoCard:
        emit statusShown(Messages::PutCardOnReader());
        return;
    case CommandBook::Refusal::Busy:
        emit statusShown(Messages::PreviousNotDone());
        return;
    case CommandBook::Refusal::Checking: {
        // The ledger could not be asked what other desks left for this card: say why.
        const QString reason = [&] {
            std::lock_guard lock(m_mutex);
            return m_checkFailure;
        }();
        if (reason.isEmpty())
            emit statusShown(Messages::CheckingCard());
        else
            emit messageShown(Messages::OperationFailedWith(reason));
        return;
    }
    case CommandBook::Refusal::Lost:
        emit messageShown(Messages::LostCardRefused());
        return;
    case CommandBook::Refusal::OverLimit:
        emit messageShown(Messages::BalanceOverLimit());
        return;
    case CommandBook::Refusal::NotConfirmed:
        emit messageShown(Messages::NotTheConfirmedCard());
        return;
    case CommandBook::Refusal::Planned:
        emit messageShown(Messages::PlanOpenOnCard(cardNo()));
        return;
    case CommandBook::Refusal::None:
        break;
    }
    journalAndSend(key, entry);
}

void ReaderLink::journalAndSend(std::uint64_t key, Journal::Entry entry) {
    // The row is in the ledger before the frame leaves: whatever happens to this process
    // after, the command is known and is resolved at the card's next report, at any desk.
    ++m_framesQueued;
    m_store->tryOnce(
        [this, key, entry](const Connection& db) mutable {
            CrashPoint("journal");
            entry.id = Journal::Add(db, entry);
            qCDebug(ReaderLog).noquote() << m_desk << "journal" << entry.id << entry.cardNo
                                         << entry.balanceBefore << "->" << entry.balanceExpected;
            {
                std::lock_guard lock(m_mutex);
                m_commands.written(key, entry.id);
            }
            sendFrame(key, entry);
        },
        [this, key](const QString& reason) {
            {
                std::lock_guard lock(m_mutex);
                m_commands.drop(key);
            }
            emit messageShown(Messages::OperationFailedWith(reason));
            --m_framesQueued;
        });
}

void ReaderLink::sendFrame(std::uint64_t key, const Journal::Entry& entry) {
    const bool recharge = entry.operation == Journal::Operation::Recharge;
    const CommandFrame frame =
        recharge ? BuildCommandFrame(CMD_RECHARGE, std::uint16_t(entry.amount * 10))
                 : BuildCommandFrame(CMD_CLEAR, std::uint16_t(entry.balanceBefore));
    const auto written = [this, key](bool ok) {
        if (ok) {
            {
                std::lock_guard lock(m_mutex);
                m_commands.sent(key, m_clock.monotonicMs());
            }
            CrashPoint("write");
        } else {
            emit statusShown(Messages::SendFailed());
            std::optional<CommandBook::Resolution> failed;
            {
                std::lock_guard lock(m_mutex);
                failed = m_commands.failedWrite(key);
            }
            if (failed)
                resolve(*failed);
        }
        --m_framesQueued;
    };
    if (const auto thread = reader())
        thread->write(frame, written);
    else
        written(false);
}

void ReaderLink::armInitCommand(int value) {
    g_initCommand = CMD_INIT_MODE;
    g_initValue = value;
    g_initTrigger = INIT_ARMED;
}

void ReaderLink::clockTick() {
    setTimeText(TimestampText(m_clock.now()));
    std::uint8_t armed = INIT_ARMED;
    if (!g_initTrigger.compare_exchange_strong(armed, INIT_IDLE))
        return;
    const auto thread = reader();
    if (!thread || thread->closed()) {
        // A request left pending would go out later with whatever the fields then hold.
        emit statusShown(Messages::DeviceNotConnected());
        g_initCommand = 0;
        g_initValue = 0;
        return;
    }
    if (g_initCommand.exchange(0) != CMD_INIT_MODE)
        return;
    ++m_framesQueued;
    thread->write(BuildCommandFrame(CMD_INIT_MODE, std::uint16_t(g_initValue.exchange(0))),
                  [this](bool ok) {
                      if (!ok)
                          emit statusShown(Messages::SendFailed());
                      --m_framesQueued;
                  });
}

void ReaderLink::waitForSendWorkers() {
    // Tests and tools only: a frame handed to the reader thread goes out at its next turn.
    while (m_framesQueued.load() > 0)
        QThread::msleep(1);
}

void ReaderLink::waitForStore() {
    waitForSendWorkers();
    if (m_store)
        m_store->waitIdle();
}

// --- Reports --------------------------------------------------------------------------------

void ReaderLink::handleReport(const ReaderReport& report, BridgeHandle) {
    if (const auto* counter = std::get_if<CounterReport>(&report)) {
        g_initRemaining = counter->remaining;
        emit counterReported(counter->remaining);
    } else if (const auto* card = std::get_if<CardReport>(&report)) {
        handleCard(*card);
    }
}

void ReaderLink::handleCard(const CardReport& report) {
    // Nothing here waits on the ledger: the store worker does that.
    const QString cardNo = CardNumberText(report.cardNo);
    const QString stamp = TimestampText(m_clock.now());
    CommandBook::Report seen;
    bool newCard = false;
    {
        std::lock_guard lock(m_mutex);
        m_cardNo = cardNo;
        m_timeText = stamp;
        seen = m_commands.report(cardNo, report.balance, m_clock.monotonicMs());
        newCard = cardNo != m_shownCardNo;
        if (newCard)
            m_shownCardNo = cardNo;
    }
    qCDebug(ReaderLog).noquote() << m_desk << "report" << cardNo << report.balance << stamp
                                 << (seen.arrived ? "arrived" : "") << seen.resolved.size()
                                 << "resolved";
    // Shown before anything the store says of the card, so the desk's change of card never
    // wipes an outcome of it.
    emit cardReported(cardNo, report.balance);
    // What other desks (or an earlier run) left for the card is resolved before this desk's
    // own commands: the store takes the tasks in this order.
    if (seen.arrived)
        resolveWaiting(cardNo, report.balance, stamp);
    for (CommandBook::Resolution& r : seen.resolved) {
        r.entry.resolvedAt = stamp;
        resolve(r);
    }
    if (newCard)
        lookUp(cardNo);
}

void ReaderLink::resolveWaiting(const QString& cardNo, int seen, const QString& at) {
    auto told = std::make_shared<bool>(false);
    m_store->mustDo(
        [this, cardNo, seen, at](const Connection& db) {
            std::vector<qint64> held;
            {
                std::lock_guard lock(m_mutex);
                held = m_commands.heldIds();
            }
            Journal::CardTotals totals{cardNo};
            Journal::Arrival arrival{m_operatorName, false, m_startedAt};
            const std::vector<Journal::Entry> done =
                Journal::ResolveWaiting(db, cardNo, seen, held, at, m_desk, &totals, &arrival);
            if (ReaderLog().isDebugEnabled()) {
                QStringList ids, states;
                for (qint64 id : held)
                    ids << QString::number(id);
                for (const Journal::Entry& e : done)
                    states << QStringLiteral("%1:%2").arg(e.id).arg(int(e.state));
                qCDebug(ReaderLog).noquote()
                    << m_desk << "waiting of" << cardNo << "seen" << seen << at << "held"
                    << ids.join(',') << "resolved" << states.join(',');
            }
            const bool planned = Plans::OpenOf(db, cardNo).has_value();
            {
                std::lock_guard lock(m_mutex);
                m_commands.setPlanned(cardNo, planned);
                m_commands.lookedUp(cardNo, arrival.lost);
                m_checkFailure.clear();
            }
            bool booked = false;
            for (const Journal::Entry& e : done) {
                booked = booked || e.state == Journal::State::Booked;
                if (e.state == Journal::State::Booked)
                    emit outcomeReported(
                        {CommandOutcome::Kind::Booked, e, seen, {}, false, planned});
                else if (e.state == Journal::State::Mismatch)
                    emit outcomeReported({CommandOutcome::Kind::Mismatch, e, seen, {}, false});
            }
            if (booked)
                tellCardRecords(totals);
            if (planned && !arrival.lost)
                continuePlan(cardNo);
        },
        [this, cardNo, seen, told](const QString& reason) {
            {
                std::lock_guard lock(m_mutex);
                m_checkFailure = reason;
            }
            Journal::Entry e;
            e.cardNo = cardNo;
            emit outcomeReported(
                {CommandOutcome::Kind::Retrying, e, seen, reason, !std::exchange(*told, true)});
        });
}

// The plan's next step is worked out from the ledger, whoever resolved this.
void ReaderLink::followPlan(const Connection& db, const CommandBook::Resolution& r,
                            const Journal::Settled& first) {
    if (first.state == Journal::State::Booked)
        continuePlan(r.entry.cardNo);
    else if (first.how == Journal::Resolved::Now)
        stopPlan(db, r.entry.cardNo,
                 r.elsewhere ? Messages::PlanCommandOnOtherCard(r.elsewhere->cardNo)
                 : first.state == Journal::State::Mismatch ? Messages::PlanMismatch()
                                                           : Messages::PlanNotExecuted());
}

void ReaderLink::tellSettled(Journal::State state, const Journal::Entry& changed, int seen,
                             bool planned, const Journal::CardTotals& totals) {
    switch (state) {
    case Journal::State::Booked:
        emit outcomeReported({CommandOutcome::Kind::Booked, changed, seen, {}, false, planned});
        tellCardRecords(totals);
        break;
    case Journal::State::Mismatch:
        emit outcomeReported({CommandOutcome::Kind::Mismatch, changed, seen, {}, false});
        break;
    case Journal::State::NotExecuted:
        emit outcomeReported({CommandOutcome::Kind::NotExecuted, changed, seen, {}, false});
        break;
    case Journal::State::Pending:
        break;
    }
}

void ReaderLink::resolve(const CommandBook::Resolution& r) {
    // Told once per booking that fails, however often it is tried again.
    auto told = std::make_shared<bool>(false);
    m_store->mustDo(
        [this, r](const Connection& db) {
            CrashPoint("book");
            const QString at =
                r.entry.resolvedAt.isEmpty() ? TimestampText(m_clock.now()) : r.entry.resolvedAt;
            const auto amountText = [](const Journal::Entry& e) {
                return BookedAmountText(e.operation == Journal::Operation::Clear, e.amount);
            };
            std::vector<Journal::Resolution> resolutions{
                {r.entry, r.state, r.seen, at, r.elsewhere ? QString() : amountText(r.entry)}};
            if (r.elsewhere)
                resolutions.push_back({*r.elsewhere, r.elsewhereState, r.elsewhere->balanceExpected,
                                       at, amountText(*r.elsewhere), r.entry.id});
            const Journal::Entry& changed = r.elsewhere ? *r.elsewhere : r.entry;
            Journal::CardTotals totals{changed.cardNo};
            const std::vector<Journal::Settled> settled =
                Journal::Settle(db, resolutions, m_desk, &totals);
            {
                std::lock_guard lock(m_mutex);
                m_commands.resolved(r.key);
            }
            const Journal::Settled& last = settled.back();
            qCDebug(ReaderLog).noquote() << m_desk << "settled" << r.entry.id << int(r.state)
                                         << "seen" << r.seen << int(last.how);
            bool planned = false;
            {
                std::lock_guard lock(m_mutex);
                planned = m_commands.planned(r.entry.cardNo);
            }
            if (planned)
                followPlan(db, r, settled.front());
            if (last.how != Journal::Resolved::Now)
                return; // another desk resolved it first, and showed it
            tellSettled(last.state, changed, r.elsewhere ? r.elsewhere->balanceExpected : r.seen,
                        planned, totals);
        },
        [this, r, told](const QString& reason) {
            emit outcomeReported({CommandOutcome::Kind::Retrying, r.entry, r.seen, reason,
                                  !std::exchange(*told, true)});
        });
}

void ReaderLink::lookUp(const QString& cardNo) {
    m_store->tryOnce(
        [this, cardNo](const Connection& db) {
            CardholderLookup found = FindCardholder(db, cardNo);
            const auto card = Cards::Find(db, cardNo);
            found.lost = card && card->state == Cards::State::Lost;
            emit cardholderFound(found);
        },
        [this, cardNo](const QString&) {
            CardholderLookup failed;
            failed.holder.cardNo = cardNo;
            emit cardholderFound(failed);
        });
}

void ReaderLink::startPlan(const QString& cardNo) {
    {
        std::lock_guard lock(m_mutex);
        m_commands.setPlanned(cardNo, true);
    }
    continuePlan(cardNo);
}

bool ReaderLink::planRunning(const QString& cardNo) const {
    std::lock_guard lock(m_mutex);
    return m_commands.planned(cardNo);
}

void ReaderLink::planClosed(const QString& cardNo) {
    std::lock_guard lock(m_mutex);
    m_commands.setPlanned(cardNo, false);
}

void ReaderLink::tellCardRecords(const Journal::CardTotals& totals) {
    if (totals.read) {
        emit cardRecordsChanged(totals, true);
        return;
    }
    // Not read after the booking's commit: read again on their own, the booking told already.
    const QString cardNo = totals.cardNo;
    m_store->tryOnce(
        [this, cardNo](const Connection& db) {
            Journal::CardTotals again{cardNo};
            Journal::ReadCardTotals(db, &again);
            emit cardRecordsChanged(again, true);
        },
        [this, cardNo](const QString&) { emit cardRecordsChanged({cardNo}, false); });
}

void ReaderLink::continuePlan(const QString& cardNo) {
    // A step that can't be taken for the ledger is tried again; each try starts from what the
    // ledger and the reader say then, so a card taken away meanwhile simply ends it.
    auto told = std::make_shared<bool>(false);
    m_store->mustDo([this, cardNo](const Connection& db) { planStep(db, cardNo); },
                    [this, told](const QString& reason) {
                        if (!std::exchange(*told, true))
                            emit statusShown(Messages::OperationFailedWith(reason));
                    });
}

void ReaderLink::stopPlan(const Connection& db, const QString& cardNo, const QString& problem) {
    const auto plan = Plans::OpenOf(db, cardNo);
    if (!plan)
        return;
    emit planReported(
        {PlanReport::Kind::Stopped, plan->kind == Plans::Kind::Correction, cardNo, 0, problem});
}

void ReaderLink::planStep(const Connection& db, const QString& cardNo) {
    // The step and its journal row are decided in one write transaction: no other desk can book
    // a command of the plan in between, so what is left is what the ledger says is left.
    Transaction transaction(db, Transaction::Write);
    const std::optional<Plans::Plan> plan = Plans::OpenOf(db, cardNo);
    std::optional<CommandBook::Card> card;
    {
        std::lock_guard lock(m_mutex);
        if (!plan) {
            m_commands.setPlanned(cardNo, false);
            return;
        }
        card = m_commands.current(m_clock.monotonicMs());
        if (!card || card->cardNo != cardNo || m_commands.lookingUp(cardNo))
            return; // it goes on at the card's next arrival
    }
    const bool correction = plan->kind == Plans::Kind::Correction;
    const Plans::Step step = Plans::NextStep(*plan, Plans::CommandsOf(db, *plan), card->balance);
    const QString at = TimestampText(m_clock.now());
    switch (step.what) {
    case Plans::Step::What::Wait:
        return;
    case Plans::Step::What::Stop:
        emit planReported({PlanReport::Kind::Stopped, correction, cardNo, 0, step.problem});
        return;
    case Plans::Step::What::Finish:
        Plans::Finish(db, *plan, step.cash, m_operatorName, m_desk, at);
        transaction.commit();
        {
            std::lock_guard lock(m_mutex);
            m_commands.setPlanned(cardNo, false);
        }
        emit planReported({PlanReport::Kind::Finished, correction, cardNo, step.cash, {}});
        return;
    case Plans::Step::What::Send:
        break;
    }
    Journal::Entry entry;
    entry.operation = step.operation;
    entry.amount = step.amount;
    entry.operatorName = m_operatorName;
    entry.desk = m_desk;
    entry.sentAt = at;
    std::uint64_t key = 0;
    CommandBook::Refusal refusal;
    {
        std::lock_guard lock(m_mutex);
        refusal = m_commands.reserve(entry, m_clock.monotonicMs(), &key, card, true);
    }
    if (refusal != CommandBook::Refusal::None)
        return; // another command of this desk is out: its resolution brings the next step
    try {
        CrashPoint("journal");
        entry.id = Journal::Add(db, entry);
        Plans::Link(db, entry.id, *plan, entry);
        transaction.commit();
    } catch (...) {
        std::lock_guard lock(m_mutex);
        m_commands.drop(key);
        throw;
    }
    {
        std::lock_guard lock(m_mutex);
        m_commands.written(key, entry.id);
    }
    emit statusShown(Messages::PlanRunning(correction ? Messages::CorrectionWord()
                                                      : Messages::ReplacementWord()));
    ++m_framesQueued;
    sendFrame(key, entry);
}

void ReaderLink::noteCardLost(const QString& cardNo, bool lost) {
    std::lock_guard lock(m_mutex);
    m_commands.setLost(cardNo, lost);
}

bool ReaderLink::checkingCard(const QString& cardNo) const {
    std::lock_guard lock(m_mutex);
    return m_commands.lookingUp(cardNo);
}

int ReaderLink::outstandingCommands() const {
    std::lock_guard lock(m_mutex);
    return m_commands.outstanding();
}

void ReaderLink::forgetShownCardholder() {
    std::lock_guard lock(m_mutex);
    m_shownCardNo.clear();
}

void ReaderLink::ledgerReplaced() {
    QString cardNo;
    {
        std::lock_guard lock(m_mutex);
        m_commands.ledgerReplaced();
        if (m_commands.current(m_clock.monotonicMs()))
            cardNo = m_cardNo;
        m_shownCardNo = cardNo;
    }
    if (!cardNo.isEmpty())
        lookUp(cardNo);
    announceWaiting();
}

// --- Texts ----------------------------------------------------------------------------------

QString ReaderLink::cardNo() const {
    std::lock_guard lock(m_mutex);
    return m_cardNo;
}

std::optional<CommandBook::Card> ReaderLink::cardOnReader() const {
    std::lock_guard lock(m_mutex);
    return m_commands.current(m_clock.monotonicMs());
}

QString ReaderLink::timeText() const {
    std::lock_guard lock(m_mutex);
    return m_timeText;
}

void ReaderLink::setTimeText(const QString& text) {
    std::lock_guard lock(m_mutex);
    m_timeText = text;
}

} // namespace velkar
