#include "reader/LinkState.h"

namespace velkar {

std::atomic<std::uint8_t> g_initTrigger{0};
std::atomic<std::uint8_t> g_initCommand{0};
std::atomic<std::int32_t> g_initValue{0};
std::atomic<std::int32_t> g_initRemaining{0};
std::atomic<std::uint8_t> g_connected{0};

void ResetLinkState() {
    g_initTrigger = 0;
    g_initCommand = 0;
    g_initValue = 0;
    g_initRemaining = 0;
    g_connected = 0;
}

} // namespace velkar
