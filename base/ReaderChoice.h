#pragma once

namespace velkar {

// Which reader the desk talks to: the USB reader, the simulated one, or the simulated one when
// no reader is plugged in at start.
enum class ReaderChoice { Real, Simulated, Automatic };

} // namespace velkar
