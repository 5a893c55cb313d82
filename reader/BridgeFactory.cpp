#include "reader/BridgeFactory.h"

#include "reader/HidapiBridge.h"
#include "reader/SimulatedReader.h"

#include <QByteArray>
#include <QtGlobal>

namespace {

// A card on a real reader is reported several times a second.
constexpr int SimulatedRepeatMs = 250;

} // namespace

bool SimulatedReaderRequested() {
    return qgetenv("VELKAR_SIMULATED_READER").trimmed() == "1";
}

ReaderBackend MakeReaderBackend() {
    if (SimulatedReaderRequested()) {
        auto simulator = std::make_shared<SimulatedReader>();
        simulator->setRepeatInterval(SimulatedRepeatMs);
        return {simulator, simulator};
    }
    return {std::make_shared<HidapiBridge>(), nullptr};
}
