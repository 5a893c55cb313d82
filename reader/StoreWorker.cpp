#include "reader/StoreWorker.h"

#include "base/Log.h"

#include "data/AdoConn.h"

#include <chrono>

namespace velkar {

StoreWorker::StoreWorker(QString databasePath, int busyTimeoutMs)
    : m_path(std::move(databasePath)), m_busyTimeoutMs(busyTimeoutMs), m_thread([this] { run(); }) {
}

StoreWorker::~StoreWorker() {
    stop();
}

void StoreWorker::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void StoreWorker::mustDo(Task task, Failed failed) {
    {
        std::lock_guard lock(m_mutex);
        m_bookings.push_back({std::move(task), std::move(failed), true});
    }
    m_changed.notify_all();
}

void StoreWorker::tryOnce(Task task, Failed failed) {
    {
        std::lock_guard lock(m_mutex);
        m_reads.push_back({std::move(task), std::move(failed), false});
    }
    m_changed.notify_all();
}

void StoreWorker::waitIdle() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(
        lock, [this] { return m_stopping || (!m_busy && m_reads.empty() && m_bookings.empty()); });
}

bool StoreWorker::waitIdleFor(int ms) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(ms),
                              [this] { return !m_busy && m_reads.empty() && m_bookings.empty(); });
}

void StoreWorker::setFault(Fault fault) {
    {
        std::lock_guard lock(m_mutex);
        m_fault = fault;
        m_retryNow = true; // a booking waiting out its delay tries again at once
    }
    m_changed.notify_all();
}

void StoreWorker::setRetryDelays(int firstMs, int longestMs) {
    std::lock_guard lock(m_mutex);
    m_firstDelayMs = firstMs;
    m_longestDelayMs = longestMs;
}

void StoreWorker::setBusyTimeout(int ms) {
    std::lock_guard lock(m_mutex);
    m_busyTimeoutMs = ms;
}

const Connection& StoreWorker::connection() {
    int timeoutMs;
    {
        std::lock_guard lock(m_mutex);
        timeoutMs = m_busyTimeoutMs;
    }
    // Go to whatever file now has the name.
    if (m_connection && (m_connection->moved() || m_connectionTimeoutMs != timeoutMs))
        m_connection.reset();
    if (!m_connection) {
        m_connection = std::make_unique<Connection>(m_path, timeoutMs);
        m_connectionTimeoutMs = timeoutMs;
        m_readOnly = false;
    }
    return *m_connection;
}

bool StoreWorker::attempt(const Job& job, QString* reason) {
    Fault fault;
    {
        std::lock_guard lock(m_mutex);
        fault = m_fault;
    }
    try {
        const Connection& db = connection();
        const bool readOnly = fault == Fault::ReadOnly && job.retry; // a booking's commit
        // Set only when it changes: the pragma expires every prepared statement of the file.
        if (readOnly != m_readOnly) {
            db.run(db.engine() == Engine::Postgres
                       ? QStringLiteral("SET default_transaction_read_only = %1")
                             .arg(readOnly ? "on" : "off")
                       : QStringLiteral("PRAGMA query_only = %1").arg(readOnly ? 1 : 0));
            m_readOnly = readOnly;
        }
        if (fault == Fault::DiskFull && job.retry)
            throw DataError(DataFailure::Full, QStringLiteral("database or disk is full"));
        job.task(db);
        return true;
    } catch (const DataError& e) {
        *reason = e.description();
    } catch (const std::exception& e) {
        *reason = QString::fromUtf8(e.what());
    }
    return false;
}

std::optional<StoreWorker::Job> StoreWorker::next(std::unique_lock<std::mutex>& lock,
                                                  bool* booking) {
    using std::chrono::steady_clock;
    for (;;) {
        if (m_stopping)
            return std::nullopt;
        if (std::exchange(m_retryNow, false))
            m_retryAt = {};
        const bool bookingDue = !m_bookings.empty() && steady_clock::now() >= m_retryAt;
        if (!m_reads.empty() || bookingDue)
            break;
        if (m_bookings.empty())
            m_changed.wait(lock);
        else
            m_changed.wait_until(lock, m_retryAt);
    }
    // Reads first: the operator waits for them, and a booking that fails would keep them.
    *booking = m_reads.empty();
    if (*booking)
        return m_bookings.front(); // stays queued until it commits
    Job job = std::move(m_reads.front());
    m_reads.pop_front();
    return job;
}

void StoreWorker::run() {
    std::unique_lock lock(m_mutex);
    bool booking = false;
    while (const std::optional<Job> job = next(lock, &booking)) {
        m_busy = true;
        lock.unlock();
        QString reason;
        const bool done = attempt(*job, &reason);
        if (!done) {
            qCDebug(DataLog).noquote()
                << (job->retry ? "booking failed, tried again later:" : "read failed:") << reason;
            if (job->failed)
                job->failed(reason);
        }
        lock.lock();
        m_busy = false;
        if (booking && done) {
            m_bookings.pop_front();
            m_delayMs = 0;
            m_retryAt = {};
        } else if (booking) {
            m_delayMs = m_delayMs == 0 ? m_firstDelayMs : std::min(m_delayMs * 2, m_longestDelayMs);
            m_retryAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_delayMs);
        }
        m_changed.notify_all();
    }
    m_connection.reset();
}

} // namespace velkar
