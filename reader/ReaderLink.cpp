#include "reader/ReaderLink.h"

#include "app/Clock.h"
#include "app/Dialogs.h"
#include "data/AdoConn.h"
#include "data/Statements.h"
#include "reader/DebugTrace.h"
#include "reader/DeskView.h"
#include "reader/DeviceWatcher.h"
#include "reader/LinkState.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <chrono>

namespace {

constexpr std::uint16_t ReaderVendorId = 0x1A86;
constexpr std::uint16_t ReaderProductId = 0xE010;
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
                       QString databasePath)
    : m_bridge(bridge), m_view(view), m_dialogs(dialogs), m_clock(clock),
      m_databasePath(std::move(databasePath)) {}

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
}

void ReaderLink::findReaderPath() {
    BridgeDeviceEntry entry;
    for (unsigned index = 0;; ++index) {
        const BridgePathResult result = m_bridge.BridgeGetDevicePath(index, entry);
        if (result == BridgePathResult::NoMoreItems)
            return;
        if (result != BridgePathResult::Found || entry.vendorId != ReaderVendorId ||
            entry.productId != ReaderProductId)
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
        m_dialogs.warning(QStringLiteral("打开HID设备失败"));
        return false;
    }
    std::uint16_t vendorId = 0, productId = 0, version = 0;
    if (!m_bridge.BridgeGetAttributes(device, vendorId, productId, version)) {
        m_bridge.BridgeCloseDevice(device);
        return false;
    }
    m_view.showStatus(
        QString::asprintf("设备已连接,VID=%XPID=%X VER=%X ", vendorId, productId, version));
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
    m_view.showStatus(QStringLiteral("有HID设备到达!"));
    if (!isOpen()) {
        m_view.showPortListed(false);
        g_connected = 0;
    }
    findReaderPath();
}

void ReaderLink::deviceRemoved(const QString& path) {
    m_view.showStatus(QStringLiteral("HID设备已离开!"));
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
    m_amount = amount;
    g_rechargePending = 1;
    startSendWorker();
}

void ReaderLink::requestClear() {
    g_clearPending = 1;
    startSendWorker();
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
        startSendWorker();
}

void ReaderLink::startSendWorker() {
    if (m_stopping)
        return;
    m_sendWorkers.start([this] { SendThreadFunction(); });
}

void ReaderLink::waitForSendWorkers() {
    m_sendWorkers.waitAll();
}

void ReaderLink::dropPendingRequests() {
    g_rechargePending = 0;
    g_clearPending = 0;
    g_initTrigger = INIT_IDLE;
    g_initCommand = 0;
    g_initValue = 0;
}

void ReaderLink::SendThreadFunction() {
    const BridgeHandle device = m_device.load();
    if (device == INVALID_BRIDGE_HANDLE) {
        // A request left pending would go out later with whatever the fields then hold.
        m_view.showStatus(QStringLiteral("设备尚未连接!"));
        dropPendingRequests();
        return;
    }

    CommandFrame frame;
    std::uint64_t serial = 0;
    if (g_rechargePending.exchange(0) != 0) {
        const int amount = m_amount.load();
        if (amount < MIN_RECHARGE_YUAN || amount > MAX_RECHARGE_YUAN) {
            m_view.showMessage(QStringLiteral("充值金额错误"));
            return;
        }
        frame = BuildCommandFrame(CMD_RECHARGE, std::uint16_t(amount * 10));
        g_lastAmount = amount;
        g_lastOp = OP_RECHARGE;
        serial = awaitConfirmation(OP_RECHARGE, amount);
    } else if (g_clearPending.exchange(0) != 0) {
        const int balance = std::clamp(g_balance.load(), 0, 0xFFFF);
        frame = BuildCommandFrame(CMD_CLEAR, std::uint16_t(balance));
        g_lastOp = OP_CLEAR;
        g_lastAmount = balance / 10;
        serial = awaitConfirmation(OP_CLEAR, balance / 10);
    } else {
        std::uint8_t dispatched = INIT_DISPATCHED;
        if (!g_initTrigger.compare_exchange_strong(dispatched, INIT_IDLE))
            return; // nothing pending
        if (g_initCommand.exchange(0) != CMD_INIT_MODE)
            return;
        frame = BuildCommandFrame(CMD_INIT_MODE, std::uint16_t(g_initValue.exchange(0)));
    }

    if (!m_bridge.BridgeWriteData(device, frame.data(), frame.size())) {
        m_view.showStatus(QStringLiteral("发送数失败"));
        withdraw(serial); // the reader never got it, so no report can confirm it
    }
}

std::uint64_t ReaderLink::awaitConfirmation(int op, int amount) {
    // Registered before the write: the reader may confirm before the write returns.
    std::lock_guard lock(m_mutex);
    m_waiting = SentCommand{m_cardNo, op, amount, ++m_serial};
    return m_serial;
}

void ReaderLink::withdraw(std::uint64_t serial) {
    std::lock_guard lock(m_mutex);
    if (m_waiting && m_waiting->serial == serial)
        m_waiting.reset();
}

std::optional<ReaderLink::SentCommand> ReaderLink::takeConfirmed(const QString& cardNo) {
    std::lock_guard lock(m_mutex);
    if (!m_waiting || m_waiting->cardNo != cardNo)
        return std::nullopt;
    return std::exchange(m_waiting, std::nullopt);
}

// --- Receive side ---------------------------------------------------------------------------

void ReaderLink::RecvThreadFunction(BridgeHandle device) {
    if (device == INVALID_BRIDGE_HANDLE) {
        m_view.showStatus(QStringLiteral("设备尚未连接!"));
        return;
    }
    if (!m_bridge.BridgeInitThreadData(device)) {
        m_view.showStatus(QStringLiteral("BridgeInitThreadData Error"));
        return;
    }
    ++m_receivers;
    std::optional<CardReport> previous; // the last card report this worker saw
    std::vector<std::uint8_t> buffer;
    // Reads go to the handle this worker was started for: once it is closed they fail, and a
    // reader opened later gets its own worker.
    while (m_bridge.BridgeReadThreadData(device, buffer)) {
        if (buffer.empty())
            continue;
        const Report report = ClassifyReport(buffer);
        if (const auto* counter = std::get_if<CounterReport>(&report))
            g_initRemaining = counter->remaining;
        else if (const auto* card = std::get_if<CardReport>(&report))
            handleCard(*card, previous);
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

void ReaderLink::handleCard(const CardReport& report, std::optional<CardReport>& previous) {
    const QString cardNo = CardNumberText(report.cardNo);
    {
        std::lock_guard lock(m_mutex);
        m_cardNo = cardNo;
    }
    g_balance = report.balance;
    m_view.showBalance(BalanceText(report.balance));
    setTimeText(TimestampText(m_clock.now()));
    m_view.restartBalanceTimer();

    const bool changed =
        previous && previous->cardNo == report.cardNo && previous->balance != report.balance;
    previous = report;
    if (changed)
        book(cardNo);

    if (cardNo != m_view.shownCardNo()) {
        try {
            m_view.lookupCardholder(cardNo);
        } catch (...) {
            m_view.showMessage(QStringLiteral("操作失败"));
        }
    }
}

void ReaderLink::book(const QString& cardNo) {
    // Only the command sent to this very card confirms, and only once.
    const std::optional<SentCommand> command = takeConfirmed(cardNo);
    if (!command)
        return;
    try {
        CAdoConn conn(&m_dialogs, m_databasePath);
        conn.OpenConnection();
        const RecordsetPtr records = conn.OpenRecordset(Statements::AppendRecord);
        records->AddNew();
        records->PutCollect(QStringLiteral("卡号"), cardNo);
        records->PutCollect(QStringLiteral("日期"), timeText());
        records->PutCollect(QStringLiteral("金额"), AmountText(command->op, command->amount));
        records->Update();
        conn.CloseRecordset();
        conn.CloseConnection();
    } catch (...) {
        // The worker goes on following the reader; the operator sees the booking failed.
        m_view.showMessage(QStringLiteral("操作失败"));
        return;
    }
    m_view.showMessage(command->op == OP_CLEAR ? QStringLiteral("清零成功")
                                               : QStringLiteral("充值成功"));
    try {
        m_view.reloadCardRecords(cardNo);
    } catch (...) {
        m_view.showMessage(QStringLiteral("操作失败"));
    }
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
