#include "reader/HidBridge.h"

namespace velkar {

HidGuid HidInterfaceClassGuid() {
    return {{0x4D, 0x1E, 0x55, 0xB2, 0xF1, 0x6F, 0x11, 0xCF, 0x88, 0xCB, 0x00, 0x11, 0x11, 0x00,
             0x00, 0x30}};
}

std::vector<BridgeDeviceEntry> ListDevices(HidBridge& bridge) {
    std::vector<BridgeDeviceEntry> devices;
    BridgeDeviceEntry entry;
    for (unsigned index = 0;; ++index) {
        const BridgePathResult result = bridge.BridgeGetDevicePath(index, entry);
        if (result == BridgePathResult::NoMoreItems)
            return devices;
        if (result == BridgePathResult::Found)
            devices.push_back(entry);
    }
}

} // namespace velkar
