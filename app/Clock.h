#pragma once

#include <QDateTime>
#include <QString>

// "Now" for everything that stamps or bounds time, so tests can fix it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

class FixedClock : public Clock {
public:
    explicit FixedClock(QDateTime at) : m_at(std::move(at)) {}
    QDateTime now() const override { return m_at; }
    void set(QDateTime at) { m_at = std::move(at); }

private:
    QDateTime m_at;
};

// "%04d-%02d-%02d %02d:%02d:%02d": the form of every stored timestamp and range bound.
QString TimestampText(const QDateTime& at);
QString DayStartText(QDate day);
QString DayEndText(QDate day);
