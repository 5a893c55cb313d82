#pragma once

#include "data/Shift.h"
#include "reader/CommandOutcome.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QStatusBar;
class QWidget;

namespace velkar {

class Clock;
class DatabaseActions;
class Dialogs;
class ReceiptPrinter;
class Settings;

// The desk's shift, and what goes with its end: 交班 with the cash counted and the Z report,
// the slips printed after bookings, and the backups that make themselves at 交班 and at exit.
class ShiftActions : public QObject {
    Q_OBJECT
public:
    // `outstanding` tells how many of the desk's commands still wait for the reader.
    ShiftActions(Dialogs& dialogs, const Clock& clock, DatabaseActions& databaseActions,
                 QString operatorName, std::function<int()> outstanding, QWidget* owner);
    ~ShiftActions() override;

    // At login: the receipts and backups as `settings` set them, the receipt's state in `bar`;
    // the operator's shift begun (another operator's left open is closed first, its cash
    // counted), and a warning when the newest backup is more than a day old.
    void begin(Settings& settings, QStatusBar* bar);
    bool begun() const { return m_begun; }
    std::optional<qint64> shiftId() const { return m_shiftId; }

    // 交班 of the desk's open shift: refused while commands wait; the window, the Z number and
    // seal, the automatic backup; with `next`, the operator's next shift begins. True once
    // closed.
    bool closeShift(bool next);
    // The automatic backup as the desk closes.
    void atExit();

    // A booking the desk was told of: its slip goes to the printer.
    void booked(const CommandOutcome& outcome);
    // 补打: the latest slip again.
    void reprint();
    ReceiptPrinter* receipts() const { return m_receipts.get(); }

private:
    // Opens or resumes the operator's shift, closing another operator's left open first.
    void beginShift();
    std::optional<Shifts::Shift> closeOne(const Shifts::Shift& shift, std::optional<qint64> counted,
                                          qint64 cashFloat);
    bool showCloseWindow(const Shifts::Shift& shift, bool mayLeaveUncounted);
    void autoBackup();
    void warnOfOldBackups();
    void showReceiptState(const QString& text);

    Dialogs& m_dialogs;
    const Clock& m_clock;
    DatabaseActions& m_databaseActions;
    const QString m_operatorName;
    std::function<int()> m_outstanding;
    QWidget* m_owner;
    Settings* m_settings = nullptr;
    bool m_begun = false;
    std::optional<qint64> m_shiftId;
    std::unique_ptr<ReceiptPrinter> m_receipts;
    QLabel* m_receiptState = nullptr;
};

} // namespace velkar
