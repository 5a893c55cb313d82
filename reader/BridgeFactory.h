#pragma once

#include "reader/HidBridge.h"

#include <memory>

class SimulatedReader;

// The bridge the program talks to: the simulated reader when VELKAR_SIMULATED_READER=1,
// otherwise the real one through hidapi.
struct ReaderBackend {
    std::shared_ptr<HidBridge> bridge;
    // Set only for the simulated reader: what its window shows and drives.
    std::shared_ptr<SimulatedReader> simulator;
};

bool SimulatedReaderRequested();
ReaderBackend MakeReaderBackend();
