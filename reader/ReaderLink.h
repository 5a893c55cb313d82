#pragma once

#include "data/CardRecords.h"
#include "data/Cardholder.h"
#include "data/Journal.h"
#include "data/Schema.h"
#include "reader/CommandBook.h"
#include "reader/CommandOutcome.h"
#include "reader/Frames.h"
#include "reader/HidBridge.h"
#include "reader/StoreWorker.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

namespace velkar {

class Clock;
class DeviceWatcher;
class ReaderThread;

// The desk's link to the card reader: it finds and opens the reader, follows devices coming
// and going, and runs the one reader thread of the open device, which turns reports into
// balances and, with the store worker, into booked records, and writes the command frames.
//
// Construct, use and destroy it on the user-interface thread. Its signals come from the reader
// thread and the store worker: a window connected to them gets them queued, in order. Nothing
// in the link ever waits for a window.
class ReaderLink : public QObject {
    Q_OBJECT
public:
    // `operatorName` is the account logged in; every command it sends is journalled with it
    // and with the desk's name, by default this machine's.
    ReaderLink(HidBridge& bridge, const Clock& clock,
               QString databasePath = Schema::DatabaseLocation(), QString operatorName = {},
               QString deskName = {}, QObject* parent = nullptr);
    ~ReaderLink() override;
    ReaderLink(const ReaderLink&) = delete;
    ReaderLink& operator=(const ReaderLink&) = delete;

    const QString& deskName() const { return m_desk; }
    // Says (statusShown) how many commands in the ledger wait for their card. Call it once
    // the signals are connected.
    void announceWaiting();

    // --- Discovery and connection --------------------------------------------------------

    // FindReaderPath: remembers the first HID device with vendor 1A86 and product E010 that
    // can be opened. Finding nothing leaves the earlier path. Call it at the desk's set-up.
    void findReaderPath();
    QString devicePath() const;

    enum class Opened { Now, Already, Failed, NoAttributes };
    // OnConnect without its clock timer and its box (the desk shows "打开HID设备失败" for
    // Failed). Otherwise the status "设备已连接,VID=..PID=.. VER=.. ", the port list,
    // g_connected and the reader thread.
    Opened connect();
    bool isOpen() const;

    // Starts the device watcher (about every 500 ms). Call it at the desk's set-up.
    void startWatching(int intervalMs = 500);
    // Compares the device list once now (tests, and the simulator window after a plug).
    void pollDevices();
    // OnDeviceEvent for one device. Every event shows its status text; only the reader's own
    // departure closes it, empties the port list and clears g_connected.
    void deviceArrived(const QString& path);
    void deviceRemoved(const QString& path);

    // --- Commands ------------------------------------------------------------------------

    // 充值 with the whole-yuan amount, 清零: checked here (amount 1..1999, a card on the
    // reader now, no command of this desk still waiting, the card's limit), then the store
    // worker writes the journal row and, once it is in the ledger, the reader thread the frame.
    // With `confirmed`, the command goes only to that card with that balance, the one the
    // operator was asked about.
    void requestRecharge(int amount,
                         const std::optional<CommandBook::Card>& confirmed = std::nullopt);
    void requestClear(const std::optional<CommandBook::Card>& confirmed = std::nullopt);
    // The card-initialisation window arms a mode command (1 enter, 0 leave); the next
    // clockTick() dispatches it.
    void armInitCommand(int value);
    // Timer 3, every second: stamps the time text and dispatches an armed mode command.
    void clockTick();

    // --- What the link knows -------------------------------------------------------------

    // The card number text of the latest card report (m_cardNo); empty before the first.
    QString cardNo() const;
    // The card reported within the last two seconds, with its balance in tenths.
    std::optional<CommandBook::Card> cardOnReader() const;
    // The time text stamped by the latest card report or clock tick (m_timeText).
    QString timeText() const;
    bool receiving() const;
    // The card's waiting rows in the ledger are being resolved: it takes no command yet.
    // The card was marked lost, or found again, at this desk: commands to it follow that.
    void noteCardLost(const QString& cardNo, bool lost);
    bool checkingCard(const QString& cardNo) const;
    // Commands of this desk sent and not resolved yet.
    int outstandingCommands() const;
    // The panel was emptied: the card's next report looks its holder up again.
    void forgetShownCardholder();
    // The ledger's file was replaced (a restore): the card on the reader is looked up in it
    // again, what the new ledger has waiting for it resolved at its next report as for a card
    // just laid on, and the waiting commands announced.
    void ledgerReplaced();

    // A replacement or correction of the card was started in the ledger: its commands go out
    // now, one after another as each is booked, while the card stays on the reader. One left
    // unfinished goes on at the card's next arrival, at any desk.
    void startPlan(const QString& cardNo);
    bool planRunning(const QString& cardNo) const;
    // The administrator closed the card's plan by hand: the card takes ordinary commands.
    void planClosed(const QString& cardNo);

    // Waits until every frame handed to the reader thread went out (tests, tools).
    void waitForSendWorkers();
    // The same, then until the store worker is idle.
    void waitForStore();
    StoreWorker& store() { return *m_store; }
    // Closes the reader, stops the watcher and the store, which finishes what it can within
    // `storeWaitMs`; what it can't stays pending in the journal. Idempotent.
    void shutdown(int storeWaitMs = 2000);

signals:
    void cardReported(const QString& cardNo, int balance); // every valid card report
    void counterReported(int remaining);
    void statusShown(const QString& text);
    void portListed(bool listed);
    // A box owned by the desk: a refusal or a failure. Nobody waits for it.
    void messageShown(const QString& text);
    void cardholderFound(const velkar::CardholderLookup& lookup);
    // A card's records changed: their count and total as the booking left them (ok false:
    // they could not be read).
    void cardRecordsChanged(const velkar::Journal::CardTotals& totals, bool ok);
    void outcomeReported(const velkar::CommandOutcome& outcome);
    void planReported(const velkar::PlanReport& report);

private:
    void request(Journal::Operation operation, int amount,
                 const std::optional<CommandBook::Card>& confirmed);
    void journalAndSend(std::uint64_t key, Journal::Entry entry);
    void sendFrame(std::uint64_t key, const Journal::Entry& entry);
    void handleReport(const ReaderReport& report, BridgeHandle device);
    void handleCard(const CardReport& report);
    void resolveWaiting(const QString& cardNo, int seen, const QString& at);
    void resolve(const CommandBook::Resolution& resolution);
    // Both run on the store's thread, inside a settled booking's step.
    void followPlan(const Connection& db, const CommandBook::Resolution& resolution,
                    const Journal::Settled& first);
    // What this desk settled, told to its window.
    void tellSettled(Journal::State state, const Journal::Entry& changed, int seen, bool planned,
                     const Journal::CardTotals& totals);
    // The card's count and total to the window, read again when the booking could not.
    void tellCardRecords(const Journal::CardTotals& totals);
    void lookUp(const QString& cardNo);
    void continuePlan(const QString& cardNo);
    void planStep(const Connection& db, const QString& cardNo);
    void stopPlan(const Connection& db, const QString& cardNo, const QString& problem);
    void readerEnded(BridgeHandle device, bool collected);
    void closeReader();
    std::shared_ptr<ReaderThread> reader() const;
    void setTimeText(const QString& text);

    HidBridge& m_bridge;
    const Clock& m_clock;
    const QString m_databasePath;
    const QString m_operatorName;
    const QString m_startedAt; // this run's, as the journal writes times
    const QString m_desk;

    std::atomic<bool> m_stopping{false};

    mutable std::mutex m_mutex; // the texts, the card, the commands and the reader thread
    QString m_devicePath;
    QString m_openPath; // the path of the open reader
    QString m_cardNo;
    QString m_timeText;
    QString m_shownCardNo; // the card whose holder the desk was handed last
    CommandBook m_commands;
    QString m_checkFailure; // why the latest look at a card's waiting rows failed
    std::shared_ptr<ReaderThread> m_reader;
    std::atomic<int> m_framesQueued{0};

    std::unique_ptr<StoreWorker> m_store;
    std::unique_ptr<DeviceWatcher> m_watcher;
};

} // namespace velkar

Q_DECLARE_METATYPE(velkar::CardholderLookup)
Q_DECLARE_METATYPE(velkar::Journal::CardTotals)
Q_DECLARE_METATYPE(velkar::CommandOutcome)
Q_DECLARE_METATYPE(velkar::PlanReport)
