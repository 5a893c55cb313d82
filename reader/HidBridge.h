#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velkar {

// A handle of an open device, as the bridge hands it out. Handles are never reused, so a
// worker holding a closed one can't reach a device opened later.
using BridgeHandle = std::int64_t;
inline constexpr BridgeHandle INVALID_BRIDGE_HANDLE = -1;

struct HidGuid {
    std::array<std::uint8_t, 16> bytes{};
    bool operator==(const HidGuid&) const = default;
};

// One entry of the bridge's HID device list.
struct BridgeDeviceEntry {
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

enum class BridgePathResult {
    Found,      // the entry is filled in
    None,       // nothing usable at this index; try the next
    NoMoreItems // past the end of the list
};

// The bridge library through which the reader is reached. Reads on the receive worker and
// writes on send workers may run at the same time on one handle.
class HidBridge {
public:
    virtual ~HidBridge() = default;

    // The HID interface class, the class of devices the device watcher follows.
    virtual void BridgeGetHidGuid(HidGuid& guid) = 0;
    virtual BridgePathResult BridgeGetDevicePath(unsigned index, BridgeDeviceEntry& entry) = 0;
    // INVALID_BRIDGE_HANDLE on failure.
    virtual BridgeHandle BridgeOpenDevicePath(const std::string& path) = 0;
    virtual bool BridgeGetAttributes(BridgeHandle handle, std::uint16_t& vendorId,
                                     std::uint16_t& productId, std::uint16_t& version) = 0;
    virtual bool BridgeGetBufferLen(BridgeHandle handle, std::uint16_t& inputLength,
                                    std::uint16_t& outputLength) = 0;
    virtual bool BridgeSetTimeOut(BridgeHandle handle, unsigned readMs, unsigned writeMs) = 0;
    // Starts collecting incoming reports for the handle.
    virtual bool BridgeInitThreadData(BridgeHandle handle) = 0;
    // Waits up to the read time-out (or a wake) and replaces `data` with what arrived (maybe
    // nothing). False once the handle is closed, the device is gone or collecting was never
    // started.
    virtual bool BridgeReadThreadData(BridgeHandle handle, std::vector<std::uint8_t>& data) = 0;
    virtual bool BridgeWriteData(BridgeHandle handle, const std::uint8_t* data,
                                 std::size_t length) = 0;
    virtual bool BridgeStopThread(BridgeHandle handle) = 0;
    // Wakes a read waiting on the handle, which then fails.
    virtual bool BridgeCloseDevice(BridgeHandle handle) = 0;
    // Ends the read waiting on the handle at once, as a read in which nothing arrived (no
    // failure); with no read waiting, the next read ends so. Any thread may call it, so a
    // writer queueing a frame gets the reading thread to send it without touching the device.
    virtual bool BridgeWakeRead(BridgeHandle handle) = 0;
};

// {4D1E55B2-F16F-11CF-88CB-001111000030}, the HID interface class.
HidGuid HidInterfaceClassGuid();

// The card reader's USB ids.
inline constexpr std::uint16_t READER_VENDOR_ID = 0x1A86;
inline constexpr std::uint16_t READER_PRODUCT_ID = 0xE010;

inline bool IsReader(const BridgeDeviceEntry& entry) {
    return entry.vendorId == READER_VENDOR_ID && entry.productId == READER_PRODUCT_ID;
}

// The bridge's whole device list, in its order: the one walk over BridgeGetDevicePath.
std::vector<BridgeDeviceEntry> ListDevices(HidBridge& bridge);

} // namespace velkar
