#include "reader/SimulatedReader.h"

#include <QFile>

#include <algorithm>

namespace velkar {

namespace {

// Reports nobody reads are dropped oldest first, as a full buffer would.
constexpr std::size_t MaxQueuedReports = 256;

} // namespace

std::optional<CardNumber> ParseCardNumber(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 8)
        return std::nullopt;
    bool ok = false;
    const std::uint32_t value = t.toUInt(&ok, 16);
    if (!ok)
        return std::nullopt;
    return CardNumber{std::uint8_t(value >> 24), std::uint8_t(value >> 16),
                      std::uint8_t(value >> 8), std::uint8_t(value)};
}

SimulatedReader::SimulatedReader() : m_repeater([this] { repeatLoop(); }) {}

SimulatedReader::~SimulatedReader() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_sessions.clear();
    }
    m_repeatChanged.notify_all();
    m_arrived.notify_all();
    m_repeater.join();
}

void SimulatedReader::plug() {
    std::lock_guard lock(m_mutex);
    m_plugged = true;
}

void SimulatedReader::unplug() {
    {
        std::lock_guard lock(m_mutex);
        m_plugged = false;
        m_initMode = false;
        for (const auto& [handle, session] : m_sessions)
            m_reportsToRead -= session.arrived.size();
        m_sessions.clear();
    }
    m_arrived.notify_all();
}

bool SimulatedReader::plugged() const {
    std::lock_guard lock(m_mutex);
    return m_plugged;
}

void SimulatedReader::layCard(const CardNumber& cardNo, std::uint16_t balance) {
    {
        std::lock_guard lock(m_mutex);
        m_card = CardReport{cardNo, balance};
        if (m_initMode) {
            // Read as it comes, then initialised blank.
            deliverLocked(CardReportFrame(cardNo, balance));
            m_remaining = std::max(0, m_remaining - 1);
            m_card->balance = 0;
        }
        reportLocked();
    }
    m_arrived.notify_all();
}

void SimulatedReader::removeCard() {
    std::lock_guard lock(m_mutex);
    m_card.reset();
}

std::optional<CardReport> SimulatedReader::card() const {
    std::lock_guard lock(m_mutex);
    return m_card;
}

bool SimulatedReader::initMode() const {
    std::lock_guard lock(m_mutex);
    return m_initMode;
}

int SimulatedReader::remaining() const {
    std::lock_guard lock(m_mutex);
    return m_remaining;
}

void SimulatedReader::setRemaining(int remaining) {
    std::lock_guard lock(m_mutex);
    m_remaining = std::clamp(remaining, 0, 65535);
}

void SimulatedReader::plugOther(const std::string& path, std::uint16_t vendorId,
                                std::uint16_t productId) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_others, [&](const BridgeDeviceEntry& e) { return e.path == path; });
    m_others.push_back({path, vendorId, productId});
}

void SimulatedReader::unplugOther(const std::string& path) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_others, [&](const BridgeDeviceEntry& e) { return e.path == path; });
}

void SimulatedReader::failWrites(bool fail) {
    std::lock_guard lock(m_mutex);
    m_failWrites = fail;
}

void SimulatedReader::inject(std::vector<std::uint8_t> bytes) {
    {
        std::lock_guard lock(m_mutex);
        deliverLocked(std::move(bytes));
    }
    m_arrived.notify_all();
}

void SimulatedReader::reportNow() {
    {
        std::lock_guard lock(m_mutex);
        reportLocked();
    }
    m_arrived.notify_all();
}

void SimulatedReader::setRepeatInterval(int ms) {
    {
        std::lock_guard lock(m_mutex);
        m_repeatMs = std::max(0, ms);
    }
    m_repeatChanged.notify_all();
}

std::uint64_t SimulatedReader::reportsToRead() const {
    std::lock_guard lock(m_mutex);
    return m_reportsToRead;
}

std::vector<SimulatedReader::Execution> SimulatedReader::executed() const {
    std::lock_guard lock(m_mutex);
    return m_executed;
}

void SimulatedReader::setExecutionLog(const QString& path) {
    std::lock_guard lock(m_mutex);
    m_executionLog = path;
}

std::vector<SimulatedReader::Execution> SimulatedReader::ReadExecutionLog(const QString& path) {
    std::vector<Execution> done;
    QFile log(path);
    if (!log.open(QIODevice::ReadOnly))
        return done;
    while (!log.atEnd()) {
        const QList<QByteArray> f = log.readLine().trimmed().split(' ');
        const auto card = f.size() == 4 ? ParseCardNumber(QString::fromLatin1(f[0])) : std::nullopt;
        if (card)
            done.push_back({*card, std::uint8_t(f[1].toInt()), std::uint16_t(f[2].toInt()),
                            std::uint16_t(f[3].toInt())});
    }
    return done;
}

std::vector<std::vector<std::uint8_t>> SimulatedReader::written() const {
    std::lock_guard lock(m_mutex);
    return m_written;
}

std::chrono::steady_clock::time_point SimulatedReader::lastInjectedAt() const {
    std::lock_guard lock(m_mutex);
    return m_lastInjectedAt;
}

int SimulatedReader::collectingHandles() const {
    std::lock_guard lock(m_mutex);
    return int(std::count_if(m_sessions.begin(), m_sessions.end(),
                             [](const auto& s) { return s.second.collecting; }));
}

int SimulatedReader::readsWaiting() const {
    std::lock_guard lock(m_mutex);
    return int(std::count_if(m_sessions.begin(), m_sessions.end(),
                             [](const auto& s) { return s.second.reading; }));
}

void SimulatedReader::deliverLocked(std::vector<std::uint8_t> bytes) {
    if (!m_plugged)
        return;
    for (auto& [handle, session] : m_sessions) {
        if (!session.collecting)
            continue;
        if (session.arrived.size() >= MaxQueuedReports) {
            session.arrived.pop_front();
            --m_reportsToRead;
        }
        session.arrived.push_back(bytes);
        ++m_reportsToRead;
    }
    m_lastInjectedAt = std::chrono::steady_clock::now();
}

void SimulatedReader::reportLocked() {
    if (m_initMode)
        deliverLocked(CounterReportFrame(std::uint16_t(m_remaining)));
    else if (m_card)
        deliverLocked(CardReportFrame(m_card->cardNo, m_card->balance));
}

void SimulatedReader::execute(std::span<const std::uint8_t> frame) {
    const std::optional<Command> command = ParseCommandFrame(frame);
    if (!command)
        return; // the reader ignores what it does not understand
    const int value = command->value;
    const auto carryOut = [&](int after) {
        const Execution done{m_card->cardNo, command->command, m_card->balance,
                             std::uint16_t(after)};
        m_executed.push_back(done);
        if (!m_executionLog.isEmpty()) {
            QFile log(m_executionLog);
            if (log.open(QIODevice::Append)) // one write, so a kill never leaves half a line
                log.write(QStringLiteral("%1 %2 %3 %4\n")
                              .arg(CardNumberText(done.cardNo))
                              .arg(done.command)
                              .arg(done.before)
                              .arg(done.after)
                              .toLatin1());
        }
        m_card->balance = done.after;
        reportLocked();
    };
    switch (command->command) {
    case CMD_RECHARGE:
        if (m_card && !m_initMode)
            carryOut(std::min(65535, m_card->balance + value)); // the card saturates
        break;
    case CMD_CLEAR:
        if (m_card && !m_initMode)
            carryOut(0);
        break;
    case CMD_INIT_MODE:
        m_initMode = value != 0;
        if (m_initMode)
            reportLocked();
        break;
    default:
        break;
    }
}

void SimulatedReader::repeatLoop() {
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (m_repeatMs <= 0) {
            m_repeatChanged.wait(lock);
            continue;
        }
        m_repeatChanged.wait_for(lock, std::chrono::milliseconds(m_repeatMs));
        if (m_stopping || m_repeatMs <= 0)
            continue;
        reportLocked();
        m_arrived.notify_all();
    }
}

// --- The bridge ---------------------------------------------------------------------------

void SimulatedReader::BridgeGetHidGuid(HidGuid& guid) {
    guid = HidInterfaceClassGuid();
}

BridgePathResult SimulatedReader::BridgeGetDevicePath(unsigned index, BridgeDeviceEntry& entry) {
    std::lock_guard lock(m_mutex);
    std::vector<BridgeDeviceEntry> listed = m_others;
    if (m_plugged)
        listed.push_back({READER_PATH, VENDOR_ID, PRODUCT_ID});
    if (index >= listed.size())
        return BridgePathResult::NoMoreItems;
    entry = listed[index];
    return BridgePathResult::Found;
}

BridgeHandle SimulatedReader::BridgeOpenDevicePath(const std::string& path) {
    std::lock_guard lock(m_mutex);
    if (!m_plugged || path != READER_PATH)
        return INVALID_BRIDGE_HANDLE;
    const BridgeHandle handle = m_nextHandle++;
    m_sessions.emplace(handle, Session{});
    return handle;
}

bool SimulatedReader::BridgeGetAttributes(BridgeHandle handle, std::uint16_t& vendorId,
                                          std::uint16_t& productId, std::uint16_t& version) {
    std::lock_guard lock(m_mutex);
    if (!m_sessions.contains(handle))
        return false;
    vendorId = VENDOR_ID;
    productId = PRODUCT_ID;
    version = VERSION;
    return true;
}

bool SimulatedReader::BridgeGetBufferLen(BridgeHandle handle, std::uint16_t& inputLength,
                                         std::uint16_t& outputLength) {
    std::lock_guard lock(m_mutex);
    if (!m_sessions.contains(handle))
        return false;
    inputLength = outputLength = 33;
    return true;
}

bool SimulatedReader::BridgeSetTimeOut(BridgeHandle handle, unsigned readMs, unsigned) {
    std::lock_guard lock(m_mutex);
    const auto it = m_sessions.find(handle);
    if (it == m_sessions.end())
        return false;
    it->second.readTimeoutMs = readMs;
    return true;
}

bool SimulatedReader::BridgeInitThreadData(BridgeHandle handle) {
    std::lock_guard lock(m_mutex);
    const auto it = m_sessions.find(handle);
    if (it == m_sessions.end())
        return false;
    it->second.collecting = true;
    return true;
}

bool SimulatedReader::BridgeReadThreadData(BridgeHandle handle, std::vector<std::uint8_t>& data) {
    data.clear();
    std::unique_lock lock(m_mutex);
    auto it = m_sessions.find(handle);
    if (it == m_sessions.end() || !it->second.collecting)
        return false;
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(std::max(1u, it->second.readTimeoutMs));
    for (bool timedOut = false;;) {
        it = m_sessions.find(handle); // the session may have ended while we waited
        if (it == m_sessions.end())
            return false;
        Session& session = it->second;
        session.reading = false;
        if (!session.collecting)
            return false;
        // A report read also serves a wake: the reader sends its frames after every read.
        if (!session.arrived.empty() || session.woken || timedOut) {
            if (!session.arrived.empty()) {
                data = std::move(session.arrived.front());
                session.arrived.pop_front();
            }
            session.woken = false;
            return true;
        }
        session.reading = true;
        timedOut = m_arrived.wait_until(lock, deadline) == std::cv_status::timeout;
    }
}

bool SimulatedReader::BridgeWriteData(BridgeHandle handle, const std::uint8_t* data,
                                      std::size_t length) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_plugged || !m_sessions.contains(handle) || m_failWrites)
            return false;
        m_written.emplace_back(data, data + length);
        execute({data, length});
    }
    m_arrived.notify_all();
    return true;
}

bool SimulatedReader::BridgeStopThread(BridgeHandle handle) {
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_sessions.find(handle);
        if (it == m_sessions.end())
            return false;
        it->second.collecting = false;
        m_reportsToRead -= it->second.arrived.size();
        it->second.arrived.clear();
    }
    m_arrived.notify_all();
    return true;
}

bool SimulatedReader::BridgeWakeRead(BridgeHandle handle) {
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_sessions.find(handle);
        if (it == m_sessions.end())
            return false;
        it->second.woken = true;
    }
    m_arrived.notify_all();
    return true;
}

bool SimulatedReader::BridgeCloseDevice(BridgeHandle handle) {
    bool closed = false;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_sessions.find(handle);
        closed = it != m_sessions.end();
        if (closed) {
            m_reportsToRead -= it->second.arrived.size();
            m_sessions.erase(it);
        }
    }
    m_arrived.notify_all();
    return closed;
}

} // namespace velkar
