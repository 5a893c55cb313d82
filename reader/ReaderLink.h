#pragma once

#include "data/Schema.h"
#include "reader/CommandBook.h"
#include "reader/Frames.h"
#include "reader/HidBridge.h"
#include "reader/StoreWorker.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace velkar {

class Clock;
class DeskView;
class DeviceWatcher;
class Dialogs;

// The desk's link to the card reader: it finds and opens the reader, follows devices coming
// and going, runs the receive worker that turns reports into balances and booked records, and
// the send workers that turn the operator's requests into command frames. It reports to the
// desk only through DeskView (and Dialogs for the application's own box).
//
// Construct, use and destroy it on the user-interface thread. The workers call DeskView from
// their own threads. The destructor closes the reader and waits for every worker; while it
// waits it keeps the event loop turning, so a worker waiting for the desk (a message box) can
// finish. Destroy it while the desk can still carry out DeskView calls (before the view's own
// members go), or call shutdown() first.
class ReaderLink {
public:
    // `operatorName` is the account logged in; every command it sends is journalled with it
    // and with the desk's name, by default this machine's.
    ReaderLink(HidBridge& bridge, DeskView& view, Dialogs& dialogs, const Clock& clock,
               QString databasePath = Schema::DatabaseLocation(), QString operatorName = {},
               QString deskName = {});
    ~ReaderLink();
    ReaderLink(const ReaderLink&) = delete;
    ReaderLink& operator=(const ReaderLink&) = delete;

    // --- Discovery and connection --------------------------------------------------------

    // FindReaderPath: remembers the first HID device with vendor 1A86 and product E010 that
    // can be opened. Finding nothing leaves the earlier path. Call it at the desk's set-up.
    void findReaderPath();
    QString devicePath() const;

    // OnConnect without its clock timer (the desk restarts timer 3 itself on every press).
    // Already open: nothing. Opening fails: the box "打开HID设备失败". Otherwise the status
    // "设备已连接,VID=..PID=.. VER=.. ", the port list, g_connected and the receive worker.
    // True when the reader is open afterwards.
    bool connect();
    bool isOpen() const;

    // Starts the device watcher (about every 500 ms), which calls deviceArrived and
    // deviceRemoved. Call it at the desk's set-up.
    void startWatching(int intervalMs = 500);
    // Compares the device list once now (tests, and the simulator window after a plug).
    void pollDevices();
    // OnDeviceEvent for one device. Every event shows its status text; only the reader's own
    // departure closes it, empties the port list and clears g_connected.
    void deviceArrived(const QString& path);
    void deviceRemoved(const QString& path);

    // --- Commands (the send side) --------------------------------------------------------

    // 充值 with the whole-yuan amount, 清零: checked here (amount 1..1999, a card on the
    // reader now, no command of this desk still waiting, the card's limit), then a send
    // worker writes the journal row and, once it is in the file, the frame.
    void requestRecharge(int amount);
    void requestClear();
    // The card-initialisation window arms a mode command (1 enter, 0 leave); the next
    // clockTick() dispatches it.
    void armInitCommand(int value);
    // Timer 3, every second: stamps the time text and dispatches an armed mode command.
    void clockTick();

    // --- What the link knows -------------------------------------------------------------

    // The card number text of the latest card report (m_cardNo); empty before the first.
    QString cardNo() const;
    // The time text stamped by the latest card report or clock tick (m_timeText).
    QString timeText() const;
    bool receiving() const { return m_receivers.load() > 0; }
    // Commands sent and not resolved yet, this run's and those left by an earlier one.
    int outstandingCommands() const;
    // The panel was emptied: the card's next report looks its holder up again.
    void forgetShownCardholder();

    // Waits for the send workers started so far and for the store (tests, tools).
    void waitForSendWorkers();
    void waitForStore();
    StoreWorker& store() { return *m_store; }
    // Closes the reader, stops the watcher and waits for every worker. Idempotent.
    void shutdown();

    // The init-mode part of the send worker: takes an armed mode command and writes it.
    void SendThreadFunction();

private:
    void RecvThreadFunction(BridgeHandle device);

    class Workers {
    public:
        void start(std::function<void()> work);
        void waitAll();

    private:
        struct Worker {
            std::thread thread;
            std::shared_ptr<std::atomic<bool>> done;
        };
        void reapLocked();
        std::mutex m_mutex;
        std::vector<Worker> m_workers;
    };

    void request(Journal::Operation operation, int amount);
    void sendCommand(std::uint64_t key, Journal::Entry entry, BridgeHandle device);
    void startSendWorker(std::function<void()> work);
    void dropPendingRequests();
    void handleCard(const CardReport& report);
    void resolve(const CommandBook::Resolution& resolution);
    void lookUp(const QString& cardNo);
    void readerGone(BridgeHandle device);
    void setTimeText(const QString& text);

    HidBridge& m_bridge;
    DeskView& m_view;
    Dialogs& m_dialogs;
    const Clock& m_clock;
    const QString m_databasePath;

    const QString m_operatorName;
    const QString m_desk;

    std::atomic<BridgeHandle> m_device{INVALID_BRIDGE_HANDLE};
    std::atomic<int> m_receivers{0};
    std::atomic<bool> m_stopping{false};

    mutable std::mutex m_mutex; // the texts, the card and the commands
    QString m_devicePath;
    QString m_openPath; // the path of the open reader
    QString m_cardNo;
    QString m_timeText;
    QString m_shownCardNo; // the card whose holder the desk was handed last
    CommandBook m_commands;
    std::unique_ptr<StoreWorker> m_store;

    std::unique_ptr<DeviceWatcher> m_watcher;
    Workers m_receiveWorkers;
    Workers m_sendWorkers;
};

} // namespace velkar
