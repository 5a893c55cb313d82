#pragma once

#include <QDateTime>
#include <QString>

#include <atomic>
#include <chrono>
#include <mutex>

// "Now" for everything that stamps or bounds time, so tests can fix it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // Milliseconds on a clock that never jumps, for time-outs ("within 2 s").
    virtual qint64 monotonicMs() const = 0;
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

// Stands still until told to move; readable from any thread.
class FixedClock : public Clock {
public:
    explicit FixedClock(QDateTime at) : m_at(std::move(at)) {}
    QDateTime now() const override {
        std::lock_guard lock(m_mutex);
        return m_at;
    }
    qint64 monotonicMs() const override { return m_ms; }
    void set(QDateTime at) {
        std::lock_guard lock(m_mutex);
        m_at = std::move(at);
    }
    // Moves both clocks on.
    void advance(qint64 ms) {
        {
            std::lock_guard lock(m_mutex);
            m_at = m_at.addMSecs(ms);
        }
        m_ms += ms;
    }

private:
    mutable std::mutex m_mutex;
    QDateTime m_at;
    std::atomic<qint64> m_ms{0};
};

// "%04d-%02d-%02d %02d:%02d:%02d": the form of every stored timestamp and range bound.
QString TimestampText(const QDateTime& at);
QString DayStartText(QDate day);
QString DayEndText(QDate day);
