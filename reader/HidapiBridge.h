#pragma once

#include "reader/HidBridge.h"

#include <map>
#include <memory>
#include <mutex>

namespace velkar {

// The real reader through hidapi (hidraw). Every hidapi enumerate, open and close of the
// program happens in this class.
class HidapiBridge : public HidBridge {
public:
    HidapiBridge();
    ~HidapiBridge() override;
    HidapiBridge(const HidapiBridge&) = delete;
    HidapiBridge& operator=(const HidapiBridge&) = delete;

    void BridgeGetHidGuid(HidGuid& guid) override;
    BridgePathResult BridgeGetDevicePath(unsigned index, BridgeDeviceEntry& entry) override;
    BridgeHandle BridgeOpenDevicePath(const std::string& path) override;
    bool BridgeGetAttributes(BridgeHandle handle, std::uint16_t& vendorId, std::uint16_t& productId,
                             std::uint16_t& version) override;
    bool BridgeGetBufferLen(BridgeHandle handle, std::uint16_t& inputLength,
                            std::uint16_t& outputLength) override;
    bool BridgeSetTimeOut(BridgeHandle handle, unsigned readMs, unsigned writeMs) override;
    bool BridgeInitThreadData(BridgeHandle handle) override;
    bool BridgeReadThreadData(BridgeHandle handle, std::vector<std::uint8_t>& data) override;
    bool BridgeWriteData(BridgeHandle handle, const std::uint8_t* data,
                         std::size_t length) override;
    bool BridgeStopThread(BridgeHandle handle) override;
    bool BridgeWakeRead(BridgeHandle handle) override;
    bool BridgeCloseDevice(BridgeHandle handle) override;

private:
    class Device;
    std::shared_ptr<Device> find(BridgeHandle handle) const;

    mutable std::mutex m_mutex;
    std::map<BridgeHandle, std::shared_ptr<Device>> m_devices;
    BridgeHandle m_nextHandle = 1;
    std::vector<BridgeDeviceEntry> m_listed; // taken afresh at index 0
};

} // namespace velkar
