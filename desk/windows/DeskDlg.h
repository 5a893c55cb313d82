#pragma once

#include "data/AdoConn.h"
#include "data/CardRecords.h"
#include "data/Journal.h"
#include "desk/CardholderPanel.h"
#include "desk/windows/DatabaseActions.h"
#include "desk/windows/ShiftActions.h"
#include "reader/CommandBook.h"
#include "reader/CommandOutcome.h"
#include "users/Session.h"

#include <QDialog>

class QLabel;

#include <memory>
#include <optional>

namespace Ui {
class CDeskDlg;
}

namespace velkar {

class Clock;
class Ticker;
class Dialogs;
class HidBridge;
class ReaderLink;
class Settings;
class TextTableModel;

// The recharge desk: the reader connection, the card on the reader with its balance, the
// amount to charge, the cardholder panel, the card's booked operations with their total, and
// the function buttons. It owns the reader link, whose signals reach it queued, in the order
// they were sent.
class CDeskDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int TIMER_BALANCE = 1;
    static constexpr int TIMER_CLOCK = 3;
    static constexpr int TimerBalanceMs = 2000;
    static constexpr int TimerClockMs = 1000;
    static constexpr int IDM_ABOUTBOX = 16;

    // `session`: who logged in; the account is journalled with every command it sends.
    CDeskDlg(Dialogs& dialogs, const Clock& clock, HidBridge& bridge, Session session = {},
             QWidget* parent = nullptr);
    ~CDeskDlg() override;

    ReaderLink& link() { return *m_link; }
    // Backups remember their folder there, also for the next run.
    void rememberBackupFolderIn(Settings& settings) { m_databaseActions.rememberIn(settings); }
    // Opens with the size the desk had when it was last closed, and keeps the size it closes
    // with for the next run.
    void rememberSizeIn(Settings& settings);
    // At login: the operator's shift begins, with the receipts and automatic backups `settings`
    // set; 交班 is offered in the exit prompt from then on.
    void beginShift(Settings& settings);
    ShiftActions& shifts() { return m_shifts; }

    // The card's balance in large digits, for the customer across the counter; an empty text
    // blanks it. Follows the balance field by itself.
    void showBigBalance(const QString& text);
    // The focus in 金额 with its text selected, so that the next amount typed replaces it.
    void readyForAmount();

    // The ledger failed its check at start, for `problem`: no recharge or clear goes out until
    // a restore has put a sound one in its place.
    void refuseBookingsFor(const QString& problem);

    // Refills the list and the total from the records of the card of the latest report, or of
    // `cardNo`.
    void LoadCardRecords();
    void LoadCardRecords(const QString& cardNo);
    void showRecordsOf(const QString& cardNo);

public slots:
    void OnConnect();
    void OnRecharge();
    void OnClear();
    void OnTimer(int id);
    void OnProfileUpdate();
    void OnListClick();
    void OnSysCommand(int command);
    void OnCardInit();
    void OnRecords();
    void OnUserManage();
    void OnQuery();
    void OnBackup();
    void OnRestore();
    void OnExit();
    void OnShift();
    void OnReprint();
    void OnJournal();
    void OnAudit();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the reader link reports.
    void showCard(const QString& cardNo, int balance);
    void showStatus(const QString& text);
    void showPortListed(bool listed);
    void showMessage(const QString& text);
    void showCardholder(const CardholderLookup& lookup);
    void showCardRecords(const Journal::CardTotals& totals, bool ok);
    void showOutcome(const CommandOutcome& outcome);
    void forgetAmount();
    // Asks before a clear or a large recharge of the card on the reader; false: not to be sent.
    // `confirmed` gets the card the answer was given for.
    bool confirm(bool clear, int amount, std::optional<CommandBook::Card>* confirmed);
    // False, with the reason shown, while the ledger is refused.
    bool ledgerUsable();
    // After a restore: everything shown from the ledger is read again.
    void ledgerReplaced();

    void OnInitDialog();
    // Moves the bound fields between members and controls in one fixed order. Taking them
    // stops at an amount that is not a whole number, with the complaint shown.
    bool UpdateData(bool save);
    void ResetPanel();
    // True for the administrator; anyone else is told "您没有管理员权限！".
    bool administratorOnly();
    void fillCardholder(const CardholderLookup& lookup);
    void showLost(bool lost);
    void OnReportLost();
    void OnReplace();
    void OnCorrect();
    void OnClosePlan();
    void startPlan(bool correction);
    void showPlan(const PlanReport& report);
    void fillCardRecords(const std::optional<CardRecordPages>& records);
    void setUpCustomerPanel();
    void setUpKeys();
    void setUpStatusBar();
    void showReaderState();

    std::unique_ptr<Ui::CDeskDlg> ui;
    Dialogs& m_dialogs;
    const Clock& m_clock;
    bool m_cardLost = false; // the card on the reader, as the ledger last said
    const Session m_session;
    HidBridge& m_bridge;
    CardholderPanel m_panel;
    DatabaseActions m_databaseActions;
    ShiftActions m_shifts;
    bool m_exitPrompted = false; // the exit prompt is shown once, however the desk closes

    QString m_timeText;        // clock text, 1024
    QString m_balanceText;     // 1011
    int m_amount = 0;          // 1012, whole yuan
    QString m_amountCard;      // the card on the reader when 金额 was last emptied
    CardholderLookup m_lookup; // the latest cardholder lookup the link handed over
    QString m_ledgerProblem;   // why the ledger is refused; empty: it is sound

    std::unique_ptr<Ticker> m_balanceTimer;
    std::unique_ptr<Ticker> m_clockTimer;

    HeldConnection m_store; // the list's reads
    TextTableModel* m_records = nullptr;
    QLabel* m_readerState = nullptr;

    std::unique_ptr<ReaderLink> m_link;
};

} // namespace velkar
