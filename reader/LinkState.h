#pragma once

#include <atomic>
#include <cstdint>

namespace velkar {

// The process-wide values through which buttons, timers and the workers hand commands and
// results to one another. Zero at start. A request is taken by one atomic step (exchange), so
// that it never leads to two frames.

extern std::atomic<std::uint8_t> g_rechargePending; // 1: a recharge waits for its frame
extern std::atomic<std::uint8_t> g_clearPending;    // 1: a clear waits for its frame
// Card-initialisation mode command: 0 idle, 2 armed (waits for the clock tick), 1 dispatched.
extern std::atomic<std::uint8_t> g_initTrigger;
extern std::atomic<std::uint8_t> g_initCommand;   // CMD_INIT_MODE while armed, 0 once sent
extern std::atomic<std::int32_t> g_initValue;     // 1 enter, 0 leave
extern std::atomic<std::int32_t> g_initRemaining; // from the last counter report
extern std::atomic<std::int32_t> g_lastOp;        // OP_RECHARGE, OP_CLEAR, 0 before the first
extern std::atomic<std::int32_t> g_lastAmount;    // whole yuan of the last command built
extern std::atomic<std::int32_t> g_balance;       // tenths, from the last card report
extern std::atomic<std::uint8_t> g_connected;     // 1 while the reader is connected

inline constexpr std::uint8_t INIT_IDLE = 0;
inline constexpr std::uint8_t INIT_DISPATCHED = 1;
inline constexpr std::uint8_t INIT_ARMED = 2;

// Back to the start values (tests).
void ResetLinkState();

} // namespace velkar
