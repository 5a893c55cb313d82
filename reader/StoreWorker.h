#pragma once

#include <QString>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace velkar {

class Connection;

// The reader link's own connection to the database, on a thread of its own. Bookings are
// tried until they commit, and the card's holder and records are read here, so the receive
// worker never waits on the file: reports keep being read while it is locked.
class StoreWorker {
public:
    using Task = std::function<void(const Connection&)>; // raises DataError to fail
    using Failed = std::function<void(const QString& reason)>;

    // A fault laid on the connection, so tests and the soak reach the failure paths.
    enum class Fault { None, ReadOnly, DiskFull };

    static constexpr int DefaultBusyTimeoutMs = 1000;

    explicit StoreWorker(QString databasePath, int busyTimeoutMs = DefaultBusyTimeoutMs);
    // Ends after the try under way. Tasks not done are dropped: what must outlive the process
    // is in the journal already.
    ~StoreWorker();
    StoreWorker(const StoreWorker&) = delete;
    StoreWorker& operator=(const StoreWorker&) = delete;

    // Ends the thread after the try under way, as the destructor does; the worker still takes
    // tasks, which nobody runs. A task under way may still hand it more work meanwhile.
    void stop();

    // Tried, in order, until it runs without raising; `failed` hears of every failed try.
    void mustDo(Task task, Failed failed);
    // Tried once; `failed` hears if it raised.
    void tryOnce(Task task, Failed failed);

    // Waits until nothing is queued or being retried (tests, tools).
    void waitIdle();
    // The same for at most `ms`; true when idle.
    bool waitIdleFor(int ms);
    void setFault(Fault fault);
    // Time between two tries of a failing task, growing to the second value.
    void setRetryDelays(int firstMs, int longestMs);
    // How long a try waits for another program's lock before it fails; from the next try on.
    void setBusyTimeout(int ms);

private:
    struct Job {
        Task task;
        Failed failed;
        bool retry;
    };

    void run();
    // The job due next, or none once stopping; waits for one. Called and returns locked.
    std::optional<Job> next(std::unique_lock<std::mutex>& lock, bool* booking);
    bool attempt(const Job& job, QString* reason);
    const Connection& connection();

    const QString m_path;
    std::unique_ptr<Connection> m_connection; // worker thread only
    int m_connectionTimeoutMs = 0;            // the one m_connection was opened with
    bool m_readOnly = false;                  // what m_connection was last set to

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_reads;    // tried once
    std::deque<Job> m_bookings; // the head is retried until it commits
    bool m_busy = false;
    bool m_stopping = false;
    Fault m_fault = Fault::None;
    bool m_retryNow = false;
    int m_delayMs = 0;                                 // before the head booking's next try
    std::chrono::steady_clock::time_point m_retryAt{}; // when it is due
    int m_firstDelayMs = 100;
    int m_longestDelayMs = 1000;
    int m_busyTimeoutMs;
    std::thread m_thread;
};

} // namespace velkar
