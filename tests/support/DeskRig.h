#pragma once

#include "support/Controls.h"
#include "support/FakeDialogs.h"
#include "support/QuickTry.h"
#include "support/TestDatabase.h"

#include "base/Clock.h"
#include "data/Audit.h"
#include "desk/windows/DeskDlg.h"
#include "reader/Frames.h"
#include "reader/LinkState.h"
#include "reader/ReaderLink.h"
#include "reader/SimulatedReader.h"
#include "users/Accounts.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <memory>

namespace velkar {

// A desk over a fresh database and the simulated reader (or one made from it), which reports
// only when told. Its timers run on the fixed clock: only advance() moves them.
template <typename Reader = SimulatedReader> struct BasicDeskRig {
    BasicDeskRig() : clock(QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9))) {}

    // Logged in as `account`; the administrator's name gives the administrator's rights.
    void open(const QString& account = {}) {
        ResetLinkState();
        desk = std::make_unique<CDeskDlg>(
            dialogs, clock, reader,
            Session{account, account == AdministratorName, Audit::ThisDesk()});
        desk->show();
    }
    QLineEdit* edit(const char* id) const { return control<QLineEdit>(desk.get(), id); }
    QPushButton* button(const char* id) const { return control<QPushButton>(desk.get(), id); }
    QTableView* list() const { return control<QTableView>(desk.get(), "recordList"); }
    // Clicks a push or picture button.
    void click(const char* id) {
        auto* b = control<QAbstractButton>(desk.get(), id);
        QVERIFY2(b, qPrintable(QStringLiteral("no button %1").arg(QLatin1String(id))));
        b->click();
    }

    void connectReader() {
        button("connectButton")->click();
        QTRY_COMPARE(reader.collectingHandles(), 1);
    }
    // Lays the card on (its report goes out at once) and waits until the desk shows it and
    // has restarted its balance timer.
    void lay(const CardNumber& card, std::uint16_t balance) {
        reader.layCard(card, balance);
        QTRY_COMPARE(edit("balanceEdit")->text(), BalanceText(balance));
        QTRY_COMPARE(edit("cardNoEdit")->text(), CardNumberText(card));
        QTRY_VERIFY(clock.tickerDueAt(clock.monotonicMs() + CDeskDlg::TimerBalanceMs));
        QTRY_VERIFY(!desk->link().checkingCard(CardNumberText(card)));
    }
    // The card on the reader reports once more. A millisecond passes first, so that the balance
    // timer the report restarts tells when the desk has handled it.
    void reportAgain() {
        clock.advance(1);
        reader.reportNow();
        QTRY_VERIFY(clock.tickerDueAt(clock.monotonicMs() + CDeskDlg::TimerBalanceMs));
    }
    // Types the amount and presses; a question the press asks (a clear, a large recharge) is
    // answered `confirm`.
    void press(const char* id, const QString& amount, bool confirm = true) {
        edit("amountEdit")->setText(amount);
        dialogs.answerQuestion(confirm);
        button(id)->click();
        dialogs.forgetAnswers();
        desk->link().waitForSendWorkers();
    }
    // Presses and waits for the reader's confirmation to be booked and listed.
    void book(const char* id, const QString& amount, const QString& message, int rows) {
        press(id, amount);
        QTRY_COMPARE(dialogs.lastText(), message);
        QTRY_COMPARE(list()->model()->rowCount(), rows);
    }
    // One tick of the desk's clock timer, which sends an armed mode command.
    void tick() {
        clock.advance(CDeskDlg::TimerClockMs);
        desk->link().waitForSendWorkers();
    }
    QStringList sent() {
        desk->link().waitForSendWorkers();
        QStringList frames;
        for (const auto& frame : reader.written())
            frames << HexText(frame);
        return frames;
    }
    QString cell(int row, int column) const {
        return list()->model()->index(row, column).data().toString();
    }

    TestDatabase db;
    Reader reader;
    FakeDialogs dialogs;
    FixedClock clock;
    std::unique_ptr<CDeskDlg> desk; // last: it goes first
};

using DeskRig = BasicDeskRig<>;

} // namespace velkar
