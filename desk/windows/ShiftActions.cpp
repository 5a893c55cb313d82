#include "desk/windows/ShiftActions.h"

#include "base/Clock.h"
#include "base/Dialogs.h"
#include "base/Messages.h"
#include "base/Settings.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/AutoBackup.h"
#include "desk/Receipt.h"
#include "desk/windows/DatabaseActions.h"
#include "desk/windows/ReceiptPrinter.h"
#include "desk/windows/ShiftCloseDlg.h"

#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>

namespace velkar {

ShiftActions::ShiftActions(Dialogs& dialogs, const Clock& clock, DatabaseActions& databaseActions,
                           QString operatorName, std::function<int()> outstanding, QWidget* owner)
    : m_dialogs(dialogs), m_clock(clock), m_databaseActions(databaseActions),
      m_operatorName(std::move(operatorName)), m_outstanding(std::move(outstanding)),
      m_owner(owner) {}

ShiftActions::~ShiftActions() = default;

void ShiftActions::begin(Settings& settings, QStatusBar* bar) {
    m_settings = &settings;
    m_begun = true;
    if (bar) {
        m_receiptState = new QLabel(bar);
        m_receiptState->setObjectName(QStringLiteral("receiptState"));
        m_receiptState->setStyleSheet(QStringLiteral("color: #c00000;"));
        bar->addWidget(m_receiptState);
    }
    if (const int width = Receipt::WidthMm(settings.receipt()); width > 0) {
        m_receipts = std::make_unique<ReceiptPrinter>(DatabaseActions::workingPath(), width,
                                                      settings.receiptPrinter(), m_operatorName);
        connect(m_receipts.get(), &ReceiptPrinter::failed, this,
                [this](const QString& why) { showReceiptState(Messages::ReceiptFailed(why)); });
        connect(m_receipts.get(), &ReceiptPrinter::printed, this, [this] { showReceiptState({}); });
    }
    beginShift();
    warnOfOldBackups();
}

void ShiftActions::beginShift() {
    // A shift left open by another operator is closed first; then the operator's own begins.
    for (int round = 0; round < 2; ++round) {
        Shifts::Begun begun;
        try {
            const Connection db(DatabaseActions::workingPath());
            begun = Shifts::Begin(db, Audit::ThisDesk(), m_operatorName, m_clock.now());
        } catch (const DataError& e) {
            m_dialogs.notice(Messages::ShiftNotBegun(e.description()), m_owner);
            return;
        }
        if (!begun.leftOpen) {
            m_shiftId = begun.shift.id;
            return;
        }
        m_dialogs.notice(
            Messages::ShiftLeftOpen(begun.leftOpen->operatorName, begun.leftOpen->openedAt),
            m_owner);
        if (!showCloseWindow(*begun.leftOpen, true))
            return;
    }
}

std::optional<Shifts::Shift> ShiftActions::closeOne(const Shifts::Shift& shift,
                                                    std::optional<qint64> counted,
                                                    qint64 cashFloat) {
    Shifts::Closing closing;
    closing.shiftId = shift.id;
    closing.counted = counted;
    closing.cashFloat = cashFloat;
    closing.closedBy = m_operatorName;
    closing.desk = Audit::ThisDesk();
    closing.at = m_clock.now();
    closing.lowestZ = m_settings ? m_settings->highestZNumber() : 0;
    std::optional<Shifts::Shift> closed;
    try {
        const Connection db(DatabaseActions::workingPath());
        closed = Shifts::Close(db, closing);
    } catch (const DataError& e) {
        m_dialogs.plain(Messages::OperationFailedWith(e.description()), m_owner);
        return std::nullopt;
    }
    if (m_settings)
        m_settings->setHighestZNumber(*closed->z);
    if (m_shiftId == closed->id)
        m_shiftId.reset();
    autoBackup();
    return closed;
}

bool ShiftActions::showCloseWindow(const Shifts::Shift& shift, bool mayLeaveUncounted) {
    std::optional<Shifts::Shift> figured;
    try {
        const Connection db(DatabaseActions::workingPath());
        figured = Shifts::WithFigures(db, shift.id);
    } catch (const DataError& e) {
        m_dialogs.plain(Messages::OperationFailedWith(e.description()), m_owner);
        return false;
    }
    if (!figured)
        return false;
    CShiftCloseDlg window(
        m_dialogs, m_clock, *figured,
        [this, &shift](std::optional<qint64> counted, qint64 cashFloat) {
            return closeOne(shift, counted, cashFloat);
        },
        m_owner);
    window.exec();
    if (window.closed())
        return true;
    // The drawer was not counted: the shift closes all the same, so the next one starts clean.
    return mayLeaveUncounted && closeOne(shift, std::nullopt, figured->cashFloat).has_value();
}

bool ShiftActions::closeShift(bool next) {
    if (const int waiting = m_outstanding ? m_outstanding() : 0; waiting > 0) {
        m_dialogs.notice(Messages::ShiftWaitsForCommands(waiting), m_owner);
        return false;
    }
    std::optional<Shifts::Shift> open;
    try {
        const Connection db(DatabaseActions::workingPath());
        open = Shifts::OpenShiftOf(db, Audit::ThisDesk());
    } catch (const DataError& e) {
        m_dialogs.plain(Messages::OperationFailedWith(e.description()), m_owner);
        return false;
    }
    if (!open) {
        m_dialogs.notice(Messages::NoOpenShift(), m_owner);
        return false;
    }
    if (!showCloseWindow(*open, false))
        return false;
    if (next)
        beginShift();
    return true;
}

void ShiftActions::atExit() {
    autoBackup();
    if (m_receipts)
        m_receipts->waitUntilIdle();
}

void ShiftActions::autoBackup() {
    if (!m_settings || m_settings->autoBackupFolder().isEmpty())
        return;
    const QString problem = m_databaseActions.AutoBackupInto(m_settings->autoBackupFolder(),
                                                             m_settings->autoBackupKeep());
    if (!problem.isEmpty())
        m_dialogs.notice(Messages::AutoBackupFailed(problem), m_owner);
}

void ShiftActions::warnOfOldBackups() {
    std::optional<QDateTime> newest;
    if (!m_settings->autoBackupFolder().isEmpty())
        newest = AutoBackup::Newest(m_settings->autoBackupFolder());
    if (!m_settings->lastBackupFolder().isEmpty()) {
        const QFileInfo manual(DatabaseCopy::BackupTarget(m_settings->lastBackupFolder()));
        if (manual.isFile() && (!newest || manual.lastModified() > *newest))
            newest = manual.lastModified();
    }
    const QDateTime now = m_clock.now();
    if (!AutoBackup::Overdue(newest, now))
        return;
    try {
        // A ledger without a record has nothing to lose yet.
        const Connection db(DatabaseActions::workingPath());
        Query records(db, QString::fromUtf8(Statements::NewestRecord));
        if (!records.next() || records.integer(0) == 0)
            return;
    } catch (const DataError&) {
        return;
    }
    m_dialogs.notice(newest ? Messages::BackupOlderThanADay(TimestampText(*newest))
                            : Messages::NoBackupYet(),
                     m_owner);
}

void ShiftActions::booked(const CommandOutcome& outcome) {
    if (outcome.kind != CommandOutcome::Kind::Booked || !m_receipts)
        return;
    const Journal::Entry& e = outcome.entry;
    const bool clear = e.operation == Journal::Operation::Clear;
    Receipt::Slip slip;
    slip.journalId = e.id;
    slip.desk = e.desk;
    slip.operatorName = e.operatorName;
    slip.time = TimestampText(m_clock.now());
    slip.cardNo = e.cardNo;
    slip.amount = clear ? -qint64(e.amount) : qint64(e.amount);
    slip.kind = Cash::KindText(Cash::KindOf({e.operation, slip.amount, {}}));
    slip.balanceBefore = e.balanceBefore;
    slip.balanceAfter = outcome.seen;
    m_receipts->print(slip);
}

void ShiftActions::reprint() {
    if (!m_receipts)
        m_dialogs.notice(Messages::ReceiptsOff(), m_owner);
    else if (!m_receipts->hasSlip())
        m_dialogs.notice(Messages::NoSlipYet(), m_owner);
    else
        m_receipts->reprint();
}

void ShiftActions::showReceiptState(const QString& text) {
    if (m_receiptState)
        m_receiptState->setText(text);
}

} // namespace velkar
