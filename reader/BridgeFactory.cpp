#include "reader/BridgeFactory.h"

#include "reader/HidapiBridge.h"
#include "reader/SimulatedReader.h"

#include <QByteArray>
#include <QStringList>
#include <QtGlobal>

#include <cstdio>

namespace velkar {

namespace {

// A card on a real reader is reported several times a second.
constexpr int SimulatedRepeatMs = 250;

// For trying the whole program against a reader that outlives it: VELKAR_SIMULATED_LOG keeps
// what the reader carried out, and the card it last changed lies on it again at the next start
// as the reader left it; VELKAR_SIMULATED_CARD ("12345678 100") lays a first card.
void restoreCard(SimulatedReader& simulator) {
    const QString log = qEnvironmentVariable("VELKAR_SIMULATED_LOG");
    if (!log.isEmpty()) {
        simulator.setExecutionLog(log);
        const auto done = SimulatedReader::ReadExecutionLog(log);
        if (!done.empty()) {
            simulator.layCard(done.back().cardNo, done.back().after);
            return;
        }
    }
    const QStringList card = qEnvironmentVariable("VELKAR_SIMULATED_CARD").split(' ');
    bool ok = card.size() == 2;
    const auto cardNo = ok ? ParseCardNumber(card[0]) : std::nullopt;
    const int balance = ok ? card[1].toInt(&ok) : 0;
    if (cardNo && ok && balance >= 0 && balance <= 0xFFFF)
        simulator.layCard(*cardNo, std::uint16_t(balance));
}

ReaderBackend simulatedBackend() {
    auto simulator = std::make_shared<SimulatedReader>();
    simulator->setRepeatInterval(SimulatedRepeatMs);
    restoreCard(*simulator);
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
