#pragma once

#include <QDateTime>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace velkar {

// A repeating timer made by a Clock.
class Ticker {
public:
    virtual ~Ticker() = default;
    // Starts the interval afresh, also when it runs already.
    virtual void start() = 0;
    virtual void stop() = 0;
};

// "Now" for everything that stamps or bounds time, so tests can fix it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // Milliseconds on a clock that never jumps, for time-outs ("within 2 s").
    virtual qint64 monotonicMs() const = 0;
    // Calls `timeout` every `intervalMs` while started, on the thread that made it. By default
    // the event loop of that thread runs it.
    virtual std::unique_ptr<Ticker> ticker(int intervalMs, std::function<void()> timeout) const;
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 monotonicMs() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

// Stands still until told to move; readable from any thread. Its tickers run only when it is
// advanced, on the thread that advances it, and must not outlive it.
class FixedClock : public Clock {
public:
    explicit FixedClock(QDateTime at) : m_at(std::move(at)) {}
    QDateTime now() const override {
        std::lock_guard lock(m_mutex);
        return m_at;
    }
    qint64 monotonicMs() const override { return m_ms; }
    std::unique_ptr<Ticker> ticker(int intervalMs, std::function<void()> timeout) const override;
    void set(QDateTime at) {
        std::lock_guard lock(m_mutex);
        m_at = std::move(at);
    }
    // Moves both clocks on, stopping at each ticker that falls due on the way, in time order,
    // to run it.
    void advance(qint64 ms);
    // Whether a started ticker falls due at `ms` on the monotonic clock: a test sees that a
    // start made on another thread's behalf has arrived.
    bool tickerDueAt(qint64 ms) const;

private:
    class ManualTicker;
    void moveToLocked(qint64 ms);

    mutable std::mutex m_mutex;
    QDateTime m_at;
    std::atomic<qint64> m_ms{0};
    mutable std::vector<ManualTicker*> m_tickers; // started or not; guarded by m_mutex
};

// "%04d-%02d-%02d %02d:%02d:%02d": the form of every stored timestamp and range bound.
QString TimestampText(const QDateTime& at);
// The time such a text names; invalid for any other text.
QDateTime TimestampFromText(const QString& text);
QString DayStartText(QDate day);
QString DayEndText(QDate day);

} // namespace velkar
