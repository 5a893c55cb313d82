#pragma once

#include <QTest>

// Qt polls the condition of a QTRY_ macro every 50 ms. What these tests wait for is another
// thread's work, mostly a millisecond away, and 50 ms a wait added up to seconds a program.
// The conditions and time-outs stay Qt's (counted in steps, as Qt counts them, so a wait can
// only last longer); only the polling is finer. Qt 6.7 rewrote these macros; there they are
// left as they are.
#if QT_VERSION < QT_VERSION_CHECK(6, 7, 0)
// clang-format off
#undef QTRY_IMPL
#define QTRY_IMPL(expr, timeout) \
    const int qt_test_step = 1; \
    const int qt_test_timeoutValue = timeout; \
    { QTRY_LOOP_IMPL(expr, qt_test_timeoutValue, qt_test_step) } \
    QTRY_TIMEOUT_DEBUG_IMPL(expr, qt_test_timeoutValue, qt_test_step)
// clang-format on
#endif
