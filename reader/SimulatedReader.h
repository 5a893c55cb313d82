#pragma once

#include "reader/Frames.h"
#include "reader/HidBridge.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace velkar {

// A virtual reader behind the bridge's operations, for work without the hardware and for
// tests. A person (the simulator window) or a test lays cards on and off, plugs and unplugs
// it; the desk talks to it through HidBridge as it would to the real one. While a card lies on
// it, it repeats the card report (when a repeat interval is set); it executes a recharge
// (at most 65535 tenths) and a clear and reports the new balance at once; in
// card-initialisation mode every card laid on is reported as it came (its number and the
// balance it held), then initialised blank, which lowers the remaining count, reported in a
// counter report.
class SimulatedReader : public HidBridge {
public:
    static constexpr std::uint16_t VENDOR_ID = READER_VENDOR_ID;
    static constexpr std::uint16_t PRODUCT_ID = READER_PRODUCT_ID;
    static constexpr std::uint16_t VERSION = 0x0100;
    static constexpr int START_REMAINING = 300;
    static inline const std::string READER_PATH = "simulated:1a86:e010";

    SimulatedReader();
    ~SimulatedReader() override;
    SimulatedReader(const SimulatedReader&) = delete;
    SimulatedReader& operator=(const SimulatedReader&) = delete;

    // --- The person's side -------------------------------------------------------------
    void plug();
    void unplug(); // every open handle fails from now on
    bool plugged() const;
    void layCard(const CardNumber& cardNo, std::uint16_t balance);
    void removeCard();
    std::optional<CardReport> card() const;
    bool initMode() const;
    int remaining() const;
    void setRemaining(int remaining);
    // Other HID devices on the bus (a mouse), so hot-plug of devices that aren't the reader
    // can be shown.
    void plugOther(const std::string& path, std::uint16_t vendorId = 0x046D,
                   std::uint16_t productId = 0xC077);
    void unplugOther(const std::string& path);

    // Writes fail while set, as they would on a jammed link.
    void failWrites(bool fail);

    // What the reader carried out: the truth a ledger is checked against.
    struct Execution {
        CardNumber cardNo{};
        std::uint8_t command = 0;
        std::uint16_t before = 0;
        std::uint16_t after = 0;
        bool operator==(const Execution&) const = default;
    };
    std::vector<Execution> executed() const;
    // Also appends each execution as a line to `path`, before its report goes out, so the
    // record outlives a process that is killed.
    void setExecutionLog(const QString& path);
    static std::vector<Execution> ReadExecutionLog(const QString& path);

    // Raw bytes that arrive as one read on every collecting handle (a report "reaching the
    // bridge"); also what the reader itself sends.
    void inject(std::vector<std::uint8_t> bytes);
    // The card report of the card lying on the reader (or the counter report in
    // card-initialisation mode), once.
    void reportNow();
    // Repeat reportNow() every `ms` milliseconds; 0 stops repeating (the start state).
    void setRepeatInterval(int ms);

    // Every frame written to the reader, in order.
    std::vector<std::vector<std::uint8_t>> written() const;
    // When the last bytes were handed to the collecting handles.
    std::chrono::steady_clock::time_point lastInjectedAt() const;
    // How many handles collect reports now.
    int collectingHandles() const;
    // How many reads wait for a report now: a driver knows its reader sits in a read.
    int readsWaiting() const;
    // Reports handed to collecting handles that were read or are still waiting to be read
    // (not those dropped with a closed handle): a driver waits until its reader caught up.
    std::uint64_t reportsToRead() const;

    // --- The bridge ---------------------------------------------------------------------
    void BridgeGetHidGuid(HidGuid& guid) override;
    BridgePathResult BridgeGetDevicePath(unsigned index, BridgeDeviceEntry& entry) override;
    BridgeHandle BridgeOpenDevicePath(const std::string& path) override;
    bool BridgeGetAttributes(BridgeHandle handle, std::uint16_t& vendorId, std::uint16_t& productId,
                             std::uint16_t& version) override;
    bool BridgeGetBufferLen(BridgeHandle handle, std::uint16_t& inputLength,
                            std::uint16_t& outputLength) override;
    bool BridgeSetTimeOut(BridgeHandle handle, unsigned readMs, unsigned writeMs) override;
    bool BridgeInitThreadData(BridgeHandle handle) override;
    bool BridgeReadThreadData(BridgeHandle handle, std::vector<std::uint8_t>& data) override;
    bool BridgeWriteData(BridgeHandle handle, const std::uint8_t* data,
                         std::size_t length) override;
    bool BridgeStopThread(BridgeHandle handle) override;
    bool BridgeWakeRead(BridgeHandle handle) override;
    bool BridgeCloseDevice(BridgeHandle handle) override;

private:
    struct Session {
        bool collecting = false;
        unsigned readTimeoutMs = 3000;
        bool woken = false; // the next read (or the one waiting) ends at once
        bool reading = false;
        std::deque<std::vector<std::uint8_t>> arrived;
    };

    void deliverLocked(std::vector<std::uint8_t> bytes);
    void reportLocked();
    void execute(std::span<const std::uint8_t> frame);
    void repeatLoop();

    mutable std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::condition_variable m_repeatChanged;
    bool m_plugged = true;
    std::optional<CardReport> m_card;
    bool m_initMode = false;
    int m_remaining = START_REMAINING;
    std::vector<BridgeDeviceEntry> m_others;
    bool m_failWrites = false;
    std::map<BridgeHandle, Session> m_sessions;
    BridgeHandle m_nextHandle = 1;
    std::vector<std::vector<std::uint8_t>> m_written;
    std::vector<Execution> m_executed;
    std::uint64_t m_reportsToRead = 0;
    QString m_executionLog;
    std::chrono::steady_clock::time_point m_lastInjectedAt{};
    int m_repeatMs = 0;
    bool m_stopping = false;
    std::thread m_repeater;
};

// "1234ABCD" -> card number bytes; nothing for text that is not 1 to 8 hexadecimal digits.
std::optional<CardNumber> ParseCardNumber(const QString& text);

} // namespace velkar
