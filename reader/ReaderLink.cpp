#include "reader/ReaderLink.h"

#include "base/Clock.h"
#include "base/Dialogs.h"
#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/CardRecords.h"
#include "data/Cardholder.h"
#include "data/Statements.h"
#include "reader/CrashPoint.h"
#include "reader/DebugTrace.h"
#include "reader/DeskView.h"
#include "reader/DeviceWatcher.h"
#include "reader/LinkState.h"

#include <QCoreApplication>
#include <QSysInfo>
#include <QThread>

#include <algorithm>
#include <chrono>

namespace velkar {

namespace {

constexpr unsigned ReaderTimeoutMs = 3000;

bool onApplicationThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace

// --- Workers --------------------------------------------------------------------------------

void ReaderLink::Workers::start(std::function<void()> work) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::lock_guard lock(m_mutex);
    reapLocked();
    std::thread thread([work = std::move(work), done] {
        try {
            work();
        } catch (...) {
            // A worker never takes the program down; each reports its own failures.
        }
        *done = true;
    });
    m_workers.push_back({std::move(thread), std::move(done)});
}

void ReaderLink::Workers::reapLocked() {
    std::erase_if(m_workers, [](Worker& w) {
        if (!*w.done)
            return false;
        w.thread.join();
        return true;
    });
}

void ReaderLink::Workers::waitAll() {
    // A worker may be waiting for the desk, which needs this thread's event loop.
    const bool pump = onApplicationThread();
    for (;;) {
        std::vector<Worker> batch;
        {
            std::lock_guard lock(m_mutex);
            batch.swap(m_workers);
        }
        if (batch.empty())
            return;
        for (Worker& w : batch) {
            while (!*w.done) {
                if (pump)
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            w.thread.join();
        }
    }
}

// --- The link -------------------------------------------------------------------------------

ReaderLink::ReaderLink(HidBridge& bridge, DeskView& view, Dialogs& dialogs, const Clock& clock,
                       QString databasePath, QString operatorName, QString deskName)
    : m_bridge(bridge), m_view(view), m_dialogs(dialogs), m_clock(clock),
      m_databasePath(std::move(databasePath)), m_operatorName(std::move(operatorName)),
      m_desk(deskName.isEmpty() ? QSysInfo::machineHostName() : std::move(deskName)),
      m_store(std::make_unique<StoreWorker>(m_databasePath)) {
    // Commands an earlier run left unresolved (it crashed, or the card never came back) are
    // resolved by their card's next report, as if they had just been sent.
    try {
        Connection db(m_databasePath);
        m_commands.load(Journal::Pending(db));
    } catch (const DataError&) {
        // No file yet, or no journal in it: nothing is waiting.
    }
}

ReaderLink::~ReaderLink() {
    shutdown();
}

void ReaderLink::shutdown() {
    m_stopping = true;
    if (m_watcher)
        m_watcher->stop();
    const BridgeHandle device = m_device.exchange(INVALID_BRIDGE_HANDLE);
    if (device != INVALID_BRIDGE_HANDLE)
        m_bridge.BridgeCloseDevice(device); // the receive worker's next read fails
    m_sendWorkers.waitAll();
    m_receiveWorkers.waitAll();
    if (m_store) {
        // Bookings about to commit may; one still failing stays pending in the journal.
        m_store->waitIdleFor(2000);
        m_store.reset();
    }
}

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

bool ReaderLink::connect() {
    if (m_device.load() != INVALID_BRIDGE_HANDLE)
        return true;
    const QString path = devicePath();
    const BridgeHandle device = m_bridge.BridgeOpenDevicePath(path.toStdString());
    if (device == INVALID_BRIDGE_HANDLE) {
        m_dialogs.warning(Messages::OpenDeviceFailed());
        return false;
    }
    std::uint16_t vendorId = 0, productId = 0, version = 0;
    if (!m_bridge.BridgeGetAttributes(device, vendorId, productId, version)) {
        m_bridge.BridgeCloseDevice(device);
        return false;
    }
    m_view.showStatus(Messages::DeviceConnected(vendorId, productId, version));
    std::uint16_t inputLength = 0, outputLength = 0;
    m_bridge.BridgeGetBufferLen(device, inputLength, outputLength);
    m_bridge.BridgeSetTimeOut(device, ReaderTimeoutMs, ReaderTimeoutMs);
    {
        std::lock_guard lock(m_mutex);
        m_openPath = path;
    }
    m_device = device;
    m_receiveWorkers.start([this, device] { RecvThreadFunction(device); });
    m_view.showPortListed(true);
    g_connected = 1;
    return true;
}

bool ReaderLink::isOpen() const {
    return m_device.load() != INVALID_BRIDGE_HANDLE;
}

void ReaderLink::startWatching(int intervalMs) {
    HidGuid hidClass;
    m_bridge.BridgeGetHidGuid(hidClass); // the watcher follows this class: every HID device
    if (!m_watcher) {
        m_watcher = std::make_unique<DeviceWatcher>(m_bridge);
        QObject::connect(m_watcher.get(), &DeviceWatcher::deviceArrived, m_watcher.get(),
                         [this](const QString& path) { deviceArrived(path); });
        QObject::connect(m_watcher.get(), &DeviceWatcher::deviceRemoved, m_watcher.get(),
                         [this](const QString& path) { deviceRemoved(path); });
    }
    m_watcher->start(intervalMs);
}

void ReaderLink::pollDevices() {
    if (m_watcher)
        m_watcher->poll();
}

void ReaderLink::deviceArrived(const QString&) {
    m_view.showStatus(Messages::DeviceArrived());
    if (!isOpen()) {
        m_view.showPortListed(false);
        g_connected = 0;
    }
    findReaderPath();
}

void ReaderLink::deviceRemoved(const QString& path) {
    m_view.showStatus(Messages::DeviceLeft());
    bool ours = false;
    {
        std::lock_guard lock(m_mutex);
        ours = !m_openPath.isEmpty() && path == m_openPath;
    }
    if (ours) {
        const BridgeHandle device = m_device.exchange(INVALID_BRIDGE_HANDLE);
        if (device != INVALID_BRIDGE_HANDLE)
            m_bridge.BridgeCloseDevice(device);
    }
    if (!isOpen()) {
        m_view.showPortListed(false);
        g_connected = 0;
    }
    findReaderPath();
}

// --- Send side ------------------------------------------------------------------------------

void ReaderLink::requestRecharge(int amount) {
    if (amount < MIN_RECHARGE_YUAN || amount > MAX_RECHARGE_YUAN) {
        m_view.showMessage(Messages::WrongAmount());
        return;
    }
    request(Journal::Operation::Recharge, amount);
}

void ReaderLink::requestClear() {
    request(Journal::Operation::Clear, 0);
}

void ReaderLink::request(Journal::Operation operation, int amount) {
    const BridgeHandle device = m_device.load();
    if (device == INVALID_BRIDGE_HANDLE) {
        m_view.showStatus(Messages::DeviceNotConnected());
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
        refusal = m_commands.reserve(entry, m_clock.monotonicMs(), &key);
    }
    switch (refusal) {
    case CommandBook::Refusal::NoCard:
        m_view.showStatus(Messages::PutCardOnReader());
        return;
    case CommandBook::Refusal::Busy:
        m_view.showStatus(Messages::PreviousNotDone());
        return;
    case CommandBook::Refusal::OverLimit:
        m_view.showMessage(Messages::BalanceOverLimit());
        return;
    case CommandBook::Refusal::None:
        break;
    }
    startSendWorker([this, key, entry, device] { sendCommand(key, entry, device); });
}

void ReaderLink::sendCommand(std::uint64_t key, Journal::Entry entry, BridgeHandle device) {
    // The row is in the file before the frame leaves: whatever happens to this process after,
    // the command is known and is resolved at the card's next report.
    try {
        CrashPoint("journal");
        Connection db(m_databasePath);
        entry.id = Journal::Add(db, entry);
    } catch (const DataError& e) {
        {
            std::lock_guard lock(m_mutex);
            m_commands.drop(key);
        }
        m_view.showMessage(Messages::OperationFailedWith(e.description()));
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_commands.written(key, entry.id);
    }
    const bool recharge = entry.operation == Journal::Operation::Recharge;
    g_lastOp = recharge ? OP_RECHARGE : OP_CLEAR;
    g_lastAmount = entry.amount;
    const CommandFrame frame =
        recharge ? BuildCommandFrame(CMD_RECHARGE, std::uint16_t(entry.amount * 10))
                 : BuildCommandFrame(CMD_CLEAR, std::uint16_t(entry.balanceBefore));
    if (!m_bridge.BridgeWriteData(device, frame.data(), frame.size())) {
        m_view.showStatus(Messages::SendFailed());
        std::optional<CommandBook::Resolution> failed;
        {
            std::lock_guard lock(m_mutex);
            failed = m_commands.failedWrite(key);
        }
        if (failed)
            resolve(*failed);
        return;
    }
    CrashPoint("write");
}

void ReaderLink::armInitCommand(int value) {
    g_initCommand = CMD_INIT_MODE;
    g_initValue = value;
    g_initTrigger = INIT_ARMED;
}

void ReaderLink::clockTick() {
    setTimeText(TimestampText(m_clock.now()));
    std::uint8_t armed = INIT_ARMED;
    if (g_initTrigger.compare_exchange_strong(armed, INIT_DISPATCHED))
        startSendWorker([this] { SendThreadFunction(); });
}

void ReaderLink::startSendWorker(std::function<void()> work) {
    if (m_stopping)
        return;
    m_sendWorkers.start(std::move(work));
}

void ReaderLink::waitForSendWorkers() {
    m_sendWorkers.waitAll();
}

void ReaderLink::waitForStore() {
    m_sendWorkers.waitAll();
    if (m_store)
        m_store->waitIdle();
}

void ReaderLink::dropPendingRequests() {
    g_initTrigger = INIT_IDLE;
    g_initCommand = 0;
    g_initValue = 0;
}

void ReaderLink::SendThreadFunction() {
    const BridgeHandle device = m_device.load();
    if (device == INVALID_BRIDGE_HANDLE) {
        // A request left pending would go out later with whatever the fields then hold.
        m_view.showStatus(Messages::DeviceNotConnected());
        dropPendingRequests();
        return;
    }
    std::uint8_t dispatched = INIT_DISPATCHED;
    if (!g_initTrigger.compare_exchange_strong(dispatched, INIT_IDLE))
        return; // nothing pending
    if (g_initCommand.exchange(0) != CMD_INIT_MODE)
        return;
    const CommandFrame frame =
        BuildCommandFrame(CMD_INIT_MODE, std::uint16_t(g_initValue.exchange(0)));
    if (!m_bridge.BridgeWriteData(device, frame.data(), frame.size()))
        m_view.showStatus(Messages::SendFailed());
}

// --- Receive side ---------------------------------------------------------------------------

void ReaderLink::RecvThreadFunction(BridgeHandle device) {
    if (device == INVALID_BRIDGE_HANDLE) {
        m_view.showStatus(Messages::DeviceNotConnected());
        return;
    }
    if (!m_bridge.BridgeInitThreadData(device)) {
        m_view.showStatus(QStringLiteral("BridgeInitThreadData Error"));
        return;
    }
    ++m_receivers;
    std::vector<std::uint8_t> buffer;
    // Reads go to the handle this worker was started for: once it is closed they fail, and a
    // reader opened later gets its own worker.
    while (m_bridge.BridgeReadThreadData(device, buffer)) {
        if (buffer.empty())
            continue;
        const ReaderReport report = ClassifyReport(buffer);
        if (const auto* counter = std::get_if<CounterReport>(&report))
            g_initRemaining = counter->remaining;
        else if (const auto* card = std::get_if<CardReport>(&report))
            handleCard(*card);
    }
    m_bridge.BridgeStopThread(device);
    readerGone(device);
    DebugTrace("RecvThreadFunction Exit");
    --m_receivers;
}

void ReaderLink::readerGone(BridgeHandle device) {
    // Reads fail once the reader is unplugged. If nobody closed it yet, close it, so that the
    // next 连接 can open it again instead of finding it "already open".
    BridgeHandle expected = device;
    if (!m_device.compare_exchange_strong(expected, INVALID_BRIDGE_HANDLE))
        return;
    m_bridge.BridgeCloseDevice(device);
    g_connected = 0;
    if (!m_stopping)
        m_view.showPortListed(false);
}

void ReaderLink::handleCard(const CardReport& report) {
    // Nothing here waits on the file: the store worker does that.
    const QString cardNo = CardNumberText(report.cardNo);
    const QString stamp = TimestampText(m_clock.now());
    std::vector<CommandBook::Resolution> resolved;
    bool newCard = false;
    {
        std::lock_guard lock(m_mutex);
        m_cardNo = cardNo;
        m_timeText = stamp;
        resolved = m_commands.report(cardNo, report.balance, m_clock.monotonicMs());
        newCard = cardNo != m_shownCardNo;
        if (newCard)
            m_shownCardNo = cardNo;
    }
    for (CommandBook::Resolution& r : resolved) {
        r.entry.resolvedAt = stamp;
        resolve(r);
    }
    if (newCard)
        lookUp(cardNo);
    g_balance = report.balance;
    m_view.showBalance(BalanceText(report.balance));
    m_view.restartBalanceTimer();
}

void ReaderLink::resolve(const CommandBook::Resolution& r) {
    if (r.state == Journal::State::NotExecuted && !r.elsewhere)
        m_view.showOutcome({CommandOutcome::Kind::NotExecuted, r.entry, r.seen, {}, false});
    else if (r.state == Journal::State::Mismatch)
        m_view.showOutcome({CommandOutcome::Kind::Mismatch, r.entry, r.seen, {}, false});
    else if (r.elsewhere && r.elsewhereState == Journal::State::Mismatch)
        m_view.showOutcome({CommandOutcome::Kind::Mismatch,
                            *r.elsewhere,
                            r.elsewhere->balanceExpected,
                            {},
                            false});
    // Told once per booking that fails, however often it is tried again.
    auto told = std::make_shared<bool>(false);
    m_store->mustDo(
        [this, r](const Connection& db) {
            CrashPoint("book");
            const QString at =
                r.entry.resolvedAt.isEmpty() ? TimestampText(m_clock.now()) : r.entry.resolvedAt;
            const auto amountText = [](const Journal::Entry& e) {
                return AmountText(e.operation == Journal::Operation::Clear ? OP_CLEAR : OP_RECHARGE,
                                  e.amount);
            };
            Journal::Resolved outcome;
            if (r.elsewhere) {
                Journal::Resolve(db, {{r.entry, r.state, r.seen, at, {}},
                                      {*r.elsewhere, r.elsewhereState, r.elsewhere->balanceExpected,
                                       at, amountText(*r.elsewhere)}});
                outcome = Journal::Resolved::Now;
            } else {
                outcome =
                    Journal::Resolve(db, {{r.entry, r.state, r.seen, at, amountText(r.entry)}})
                        .front();
            }
            {
                std::lock_guard lock(m_mutex);
                m_commands.resolved(r.key);
            }
            const bool booked = r.state == Journal::State::Booked ||
                                (r.elsewhere && r.elsewhereState == Journal::State::Booked);
            if (outcome != Journal::Resolved::Now || !booked)
                return;
            const Journal::Entry& done = r.elsewhere ? *r.elsewhere : r.entry;
            m_view.showOutcome({CommandOutcome::Kind::Booked, done, r.seen, {}, false});
            std::optional<CardRecordList> records;
            try {
                records = ReadCardTotal(db, done.cardNo);
            } catch (const DataError&) {
            }
            m_view.showCardRecords(done.cardNo, records);
        },
        [this, r, told](const QString& reason) {
            m_view.showOutcome({CommandOutcome::Kind::Retrying, r.entry, r.seen, reason,
                                !std::exchange(*told, true)});
        });
}

void ReaderLink::lookUp(const QString& cardNo) {
    m_store->tryOnce(
        [this, cardNo](const Connection& db) {
            const CardholderLookup lookup = FindCardholder(db, cardNo);
            m_view.showCardholder(lookup);
        },
        [this, cardNo](const QString&) {
            CardholderLookup failed;
            failed.holder.cardNo = cardNo;
            m_view.showCardholder(failed);
        });
}

int ReaderLink::outstandingCommands() const {
    std::lock_guard lock(m_mutex);
    return m_commands.outstanding();
}

void ReaderLink::forgetShownCardholder() {
    std::lock_guard lock(m_mutex);
    m_shownCardNo.clear();
}

// --- Texts ----------------------------------------------------------------------------------

QString ReaderLink::cardNo() const {
    std::lock_guard lock(m_mutex);
    return m_cardNo;
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
