#include "reader/BridgeFactory.h"

#include "reader/HidapiBridge.h"
#include "reader/SimulatedReader.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstdio>

namespace velkar {

namespace {

// A card on a real reader is reported several times a second.
constexpr int SimulatedRepeatMs = 250;

ReaderBackend simulatedBackend() {
    auto simulator = std::make_shared<SimulatedReader>();
    simulator->setRepeatInterval(SimulatedRepeatMs);
    return {simulator, simulator};
}

} // namespace

ReaderChoice EffectiveReaderChoice(ReaderChoice configured) {
    const QByteArray forced = qgetenv("VELKAR_SIMULATED_READER").trimmed();
    if (forced == "1")
        return ReaderChoice::Simulated;
    if (forced == "0")
        return ReaderChoice::Real;
    return configured;
}

bool ReaderListed(HidBridge& bridge) {
    BridgeDeviceEntry entry;
    for (unsigned index = 0;; ++index) {
        const BridgePathResult result = bridge.BridgeGetDevicePath(index, entry);
        if (result == BridgePathResult::NoMoreItems)
            return false;
        if (result == BridgePathResult::Found && entry.vendorId == SimulatedReader::VENDOR_ID &&
            entry.productId == SimulatedReader::PRODUCT_ID)
            return true;
    }
}

ReaderBackend MakeReaderBackend(ReaderChoice configured) {
    switch (EffectiveReaderChoice(configured)) {
    case ReaderChoice::Simulated:
        return simulatedBackend();
    case ReaderChoice::Automatic: {
        auto real = std::make_shared<HidapiBridge>();
        if (ReaderListed(*real))
            return {real, nullptr};
        std::fputs("No card reader found: the simulated reader stands in for it.\n", stderr);
        return simulatedBackend();
    }
    case ReaderChoice::Real:
        break;
    }
    return {std::make_shared<HidapiBridge>(), nullptr};
}

} // namespace velkar
