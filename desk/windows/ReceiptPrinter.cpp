#include "desk/windows/ReceiptPrinter.h"

#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/Audit.h"

#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace velkar {

QString PrintSlip(const Receipt::Slip& slip, int widthMm, const QString& printerName) {
    QPrinter printer(QPrinter::HighResolution);
    const bool toFile = printerName.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive);
    if (toFile) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(printerName);
    } else if (!printerName.isEmpty()) {
        if (QPrinterInfo::printerInfo(printerName).isNull())
            return Messages::PrinterMissing(printerName);
        printer.setPrinterName(printerName);
    } else if (QPrinterInfo::defaultPrinter().isNull()) {
        return Messages::NoDefaultPrinter();
    }
    printer.setDocName(Messages::ReceiptTitle());
    printer.setFullPage(true);
    const QSizeF size(widthMm, Receipt::HeightMm(slip, widthMm));
    printer.setPageLayout(
        QPageLayout(QPageSize(size, QPageSize::Millimeter, QString(), QPageSize::ExactMatch),
                    QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
    QPainter painter;
    if (!painter.begin(&printer))
        return toFile ? Messages::CannotWrite(printerName) : Messages::PrinterRefused(printerName);
    Receipt::Draw(painter, slip, widthMm);
    if (!painter.end())
        return Messages::PrinterRefused(printerName);
    if (toFile && !QFileInfo(printerName).isFile())
        return Messages::CannotWrite(printerName);
    return {};
}

ReceiptPrinter::ReceiptPrinter(QString databasePath, int widthMm, QString printerName,
                               QString account, QObject* parent)
    : QObject(parent), m_databasePath(std::move(databasePath)), m_widthMm(widthMm),
      m_printerName(std::move(printerName)), m_account(std::move(account)),
      m_thread([this] { run(); }) {}

ReceiptPrinter::~ReceiptPrinter() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void ReceiptPrinter::print(const Receipt::Slip& known) {
    m_last = known;
    m_last->reprint = false;
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back({*m_last});
    }
    m_changed.notify_all();
}

void ReceiptPrinter::reprint() {
    if (!m_last)
        return;
    Receipt::Slip slip = *m_last;
    slip.reprint = true;
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back({slip});
    }
    m_changed.notify_all();
}

void ReceiptPrinter::waitUntilIdle() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
}

void ReceiptPrinter::run() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_jobs.empty())
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_busy = true;
        }
        printOne(std::move(job));
        {
            std::lock_guard lock(m_mutex);
            m_busy = false;
        }
        m_changed.notify_all();
    }
}

void ReceiptPrinter::printOne(Job job) {
    Receipt::Slip slip = job.slip;
    // What the ledger booked is what the customer gets; the desk's own view is printed only
    // where the ledger can't say.
    if (slip.journalId > 0) {
        try {
            const Connection db(m_databasePath);
            if (const std::optional<Receipt::Slip> booked = Receipt::Read(db, slip.journalId)) {
                slip = *booked;
                slip.reprint = job.slip.reprint;
            }
        } catch (const DataError&) {
        }
    }
    const QString problem = PrintSlip(slip, m_widthMm, m_printerName);
    if (slip.reprint) {
        QString details = Messages::ReprintDetails(slip.journalId, slip.cardNo);
        if (!problem.isEmpty())
            details += Messages::ReprintFailedDetails(problem);
        Audit::AppendTo(m_databasePath, m_account, Audit::Reprinted, details);
    }
    if (problem.isEmpty())
        emit printed(slip.journalId);
    else
        emit failed(problem);
}

} // namespace velkar
