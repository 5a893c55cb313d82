#pragma once

#include <atomic>
#include <cstdint>

namespace velkar {

// The process-wide values through which the card-initialisation window, the desk's clock
// timer and the reader thread hand the mode command and the counters to one another. Zero at
// start. A request is taken by one atomic step, so that it never leads to two frames.
// (Recharges and clears travel as journalled commands, not through values like these.)

// Card-initialisation mode command: 0 idle, 2 armed (waits for the clock tick), 1 dispatched.
extern std::atomic<std::uint8_t> g_initTrigger;
extern std::atomic<std::uint8_t> g_initCommand;   // CMD_INIT_MODE while armed, 0 once sent
extern std::atomic<std::int32_t> g_initValue;     // 1 enter, 0 leave
extern std::atomic<std::int32_t> g_initRemaining; // from the last counter report
extern std::atomic<std::uint8_t> g_connected;     // 1 while the reader is connected

inline constexpr std::uint8_t INIT_IDLE = 0;
inline constexpr std::uint8_t INIT_DISPATCHED = 1;
inline constexpr std::uint8_t INIT_ARMED = 2;

// Back to the start values (tests).
void ResetLinkState();

} // namespace velkar
