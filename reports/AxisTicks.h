#pragma once

#include <QtGlobal>

namespace velkar {

// A value axis of whole yuan: from `min` to `max` in steps of `step`, `count` ticks in all, each
// a whole number and no two alike, at most about eight of them.
struct WholeTicks {
    qint64 min = 0;
    qint64 max = 1;
    qint64 step = 1;
    int count = 2;
};

// The axis that holds every value from `low` to `high` and zero, in steps of 1, 2 or 5 times a
// power of ten.
WholeTicks WholeTicksFor(qint64 low, qint64 high);

} // namespace velkar
