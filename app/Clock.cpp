#include "app/Clock.h"

QString TimestampText(const QDateTime& at) {
    const QDate d = at.date();
    const QTime t = at.time();
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", d.year(), d.month(), d.day(),
                             t.hour(), t.minute(), t.second());
}

QString DayStartText(QDate day) {
    return TimestampText(QDateTime(day, QTime(0, 0, 0)));
}

QString DayEndText(QDate day) {
    return TimestampText(QDateTime(day, QTime(23, 59, 59)));
}
