#pragma once

#include "base/ReaderChoice.h"
#include "reader/HidBridge.h"

#include <memory>

namespace velkar {

class SimulatedReader;

// The bridge the program talks to: the real reader through hidapi or the simulated one.
struct ReaderBackend {
    std::shared_ptr<HidBridge> bridge;
    // Set only for the simulated reader: what its window shows and drives.
    std::shared_ptr<SimulatedReader> simulator;
};

// Automatic takes the real reader when one is plugged in at start, else the simulated one.

// VELKAR_SIMULATED_READER=1 (simulated) or =0 (real) overrides the configured choice.
ReaderChoice EffectiveReaderChoice(ReaderChoice configured);
// Whether the bridge lists a device with the reader's vendor and product.
bool ReaderListed(HidBridge& bridge);
ReaderBackend MakeReaderBackend(ReaderChoice configured = ReaderChoice::Real);

} // namespace velkar
