#include "reports/AxisTicks.h"

#include <algorithm>

namespace velkar {

namespace {

constexpr qint64 MostSteps = 7;

qint64 floorTo(qint64 value, qint64 step) {
    const qint64 q = value / step;
    return (value % step != 0 && value < 0 ? q - 1 : q) * step;
}

qint64 ceilTo(qint64 value, qint64 step) {
    const qint64 q = value / step;
    return (value % step != 0 && value > 0 ? q + 1 : q) * step;
}

} // namespace

WholeTicks WholeTicksFor(qint64 low, qint64 high) {
    low = std::min<qint64>(low, 0);
    high = std::max<qint64>(high, 0);
    const qint64 span = std::max<qint64>(high - low, 1);
    WholeTicks ticks;
    for (qint64 power = 1;; power *= 10) {
        for (qint64 factor : {1, 2, 5}) {
            const qint64 step = factor * power;
            const qint64 min = floorTo(low, step);
            qint64 max = ceilTo(high, step);
            if (max == min)
                max = min + step;
            if ((max - min) / step <= MostSteps || step > span) {
                ticks = {min, max, step, int((max - min) / step) + 1};
                return ticks;
            }
        }
    }
}

} // namespace velkar
