#pragma once

#include "base/Settings.h"
#include "desk/Receipt.h"

#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace velkar {

// Prints one slip on the printer `printerName` names (empty: the system's default; a name
// ending in .pdf: that file), on a page as wide as the roll and as long as the slip. Returns why
// it could not, or an empty text.
QString PrintSlip(const Receipt::Slip& slip, int widthMm, const QString& printerName);

// The desk's receipt printer. Slips are printed one after another on a thread of its own, after
// their bookings were committed, so printing never holds up the desk nor a booking; how each
// ended comes back as a signal on the thread the printer was made on.
class ReceiptPrinter : public QObject {
    Q_OBJECT
public:
    // `account` is who the trail names for a reprint.
    ReceiptPrinter(QString databasePath, int widthMm, QString printerName, QString account,
                   QObject* parent = nullptr);
    // Prints what is queued, then ends its thread.
    ~ReceiptPrinter() override;
    ReceiptPrinter(const ReceiptPrinter&) = delete;
    ReceiptPrinter& operator=(const ReceiptPrinter&) = delete;

    // The slip of the booked command, as the ledger holds it; `known` is printed where the
    // ledger can't be read or holds no booking of it.
    void print(const Receipt::Slip& known);
    // The latest slip again, marked as a reprint; every reprint is audited.
    void reprint();
    bool hasSlip() const { return m_last.has_value(); }

    // Until every slip queued so far is done (tests, and the desk as it closes).
    void waitUntilIdle();

signals:
    void printed(qint64 journalId);
    void failed(const QString& reason);

private:
    struct Job {
        Receipt::Slip slip;
    };
    void run();
    void printOne(Job job);

    const QString m_databasePath;
    const int m_widthMm;
    const QString m_printerName;
    const QString m_account;
    std::optional<Receipt::Slip> m_last;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_jobs;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace velkar
