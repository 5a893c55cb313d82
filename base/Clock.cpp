#include "base/Clock.h"

#include <QTimer>

#include <algorithm>
#include <optional>

namespace velkar {

namespace {

class EventLoopTicker : public Ticker {
public:
    EventLoopTicker(int intervalMs, std::function<void()> timeout) {
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, std::move(timeout));
    }
    void start() override { m_timer.start(); }
    void stop() override { m_timer.stop(); }

private:
    QTimer m_timer;
};

} // namespace

std::unique_ptr<Ticker> Clock::ticker(int intervalMs, std::function<void()> timeout) const {
    return std::make_unique<EventLoopTicker>(intervalMs, std::move(timeout));
}

class FixedClock::ManualTicker : public Ticker {
public:
    ManualTicker(const FixedClock& clock, int intervalMs, std::function<void()> timeout)
        : m_clock(clock), m_intervalMs(intervalMs), m_timeout(std::move(timeout)) {
        std::lock_guard lock(m_clock.m_mutex);
        m_clock.m_tickers.push_back(this);
    }
    ManualTicker(const ManualTicker&) = delete;
    ManualTicker& operator=(const ManualTicker&) = delete;
    ~ManualTicker() override {
        std::lock_guard lock(m_clock.m_mutex);
        std::erase(m_clock.m_tickers, this);
    }
    void start() override {
        std::lock_guard lock(m_clock.m_mutex);
        m_due = m_clock.m_ms + m_intervalMs;
    }
    void stop() override {
        std::lock_guard lock(m_clock.m_mutex);
        m_due.reset();
    }

    const FixedClock& m_clock;
    const int m_intervalMs;
    const std::function<void()> m_timeout;
    std::optional<qint64> m_due; // guarded by the clock's mutex
};

std::unique_ptr<Ticker> FixedClock::ticker(int intervalMs, std::function<void()> timeout) const {
    return std::make_unique<ManualTicker>(*this, intervalMs, std::move(timeout));
}

void FixedClock::advance(qint64 ms) {
    const qint64 end = m_ms + ms;
    for (;;) {
        // A timeout may start, stop or destroy tickers, so the next one is looked up afresh.
        std::function<void()> timeout;
        {
            std::lock_guard lock(m_mutex);
            ManualTicker* next = nullptr;
            for (ManualTicker* t : m_tickers)
                if (t->m_due && *t->m_due <= end && (!next || *t->m_due < *next->m_due))
                    next = t;
            if (!next)
                break;
            const qint64 due = *next->m_due;
            next->m_due = due + std::max(next->m_intervalMs, 1);
            moveToLocked(due);
            timeout = next->m_timeout;
        }
        timeout();
    }
    std::lock_guard lock(m_mutex);
    moveToLocked(end);
}

void FixedClock::moveToLocked(qint64 ms) {
    m_at = m_at.addMSecs(ms - m_ms);
    m_ms = ms;
}

bool FixedClock::tickerDueAt(qint64 ms) const {
    std::lock_guard lock(m_mutex);
    return std::any_of(m_tickers.begin(), m_tickers.end(),
                       [ms](const ManualTicker* t) { return t->m_due == ms; });
}

QString TimestampText(const QDateTime& at) {
    const QDate d = at.date();
    const QTime t = at.time();
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", d.year(), d.month(), d.day(),
                             t.hour(), t.minute(), t.second());
}

QDateTime TimestampFromText(const QString& text) {
    return QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString DayStartText(QDate day) {
    return TimestampText(QDateTime(day, QTime(0, 0, 0)));
}

QString DayEndText(QDate day) {
    return TimestampText(QDateTime(day, QTime(23, 59, 59)));
}

} // namespace velkar
