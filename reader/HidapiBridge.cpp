#include "reader/HidapiBridge.h"

#include "reader/HidFraming.h"

#include <hidapi/hidapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>

namespace velkar {

namespace {

// hidapi can't interrupt a read: it waits in slices so that a wake (a frame to send) or
// closing the handle ends it soon. A slice costs one poll of the device.
constexpr int ReadSliceMs = 5;
constexpr unsigned DefaultTimeoutMs = 3000;

} // namespace

// One open device. The last holder closes it, so a read in progress never sees it freed.
class HidapiBridge::Device {
public:
    explicit Device(hid_device* device) : m_device(device) {}
    ~Device() { hid_close(m_device); }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    hid_device* raw() const { return m_device; }
    std::mutex writeMutex; // a frame's reports must not interleave with another's
    std::atomic<bool> closed{false};
    std::atomic<bool> collecting{false};
    std::atomic<bool> woken{false};
    std::atomic<unsigned> readTimeoutMs{DefaultTimeoutMs};

private:
    hid_device* m_device;
};

HidapiBridge::HidapiBridge() {
    hid_init();
}

HidapiBridge::~HidapiBridge() {
    {
        std::lock_guard lock(m_mutex);
        for (auto& [handle, device] : m_devices)
            device->closed = true;
        m_devices.clear();
    }
    hid_exit();
}

std::shared_ptr<HidapiBridge::Device> HidapiBridge::find(BridgeHandle handle) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_devices.find(handle);
    return it == m_devices.end() ? nullptr : it->second;
}

void HidapiBridge::BridgeGetHidGuid(HidGuid& guid) {
    guid = HidInterfaceClassGuid();
}

BridgePathResult HidapiBridge::BridgeGetDevicePath(unsigned index, BridgeDeviceEntry& entry) {
    std::lock_guard lock(m_mutex);
    if (index == 0) {
        m_listed.clear();
        hid_device_info* all = hid_enumerate(0, 0);
        for (const hid_device_info* d = all; d; d = d->next)
            m_listed.push_back({d->path ? d->path : "", d->vendor_id, d->product_id});
        hid_free_enumeration(all);
    }
    if (index >= m_listed.size())
        return BridgePathResult::NoMoreItems;
    if (m_listed[index].path.empty())
        return BridgePathResult::None;
    entry = m_listed[index];
    return BridgePathResult::Found;
}

BridgeHandle HidapiBridge::BridgeOpenDevicePath(const std::string& path) {
    if (path.empty())
        return INVALID_BRIDGE_HANDLE;
    hid_device* raw = hid_open_path(path.c_str());
    if (!raw)
        return INVALID_BRIDGE_HANDLE;
    auto device = std::make_shared<Device>(raw);
    std::lock_guard lock(m_mutex);
    const BridgeHandle handle = m_nextHandle++;
    m_devices.emplace(handle, std::move(device));
    return handle;
}

bool HidapiBridge::BridgeGetAttributes(BridgeHandle handle, std::uint16_t& vendorId,
                                       std::uint16_t& productId, std::uint16_t& version) {
    const auto device = find(handle);
    if (!device)
        return false;
    const hid_device_info* info = hid_get_device_info(device->raw());
    if (!info)
        return false;
    vendorId = info->vendor_id;
    productId = info->product_id;
    version = info->release_number;
    return true;
}

bool HidapiBridge::BridgeGetBufferLen(BridgeHandle handle, std::uint16_t& inputLength,
                                      std::uint16_t& outputLength) {
    if (!find(handle))
        return false;
    inputLength = outputLength = std::uint16_t(BRIDGE_REPORT_SIZE + 1);
    return true;
}

bool HidapiBridge::BridgeSetTimeOut(BridgeHandle handle, unsigned readMs, unsigned) {
    const auto device = find(handle);
    if (!device)
        return false;
    device->readTimeoutMs = readMs; // hidraw writes do not wait
    return true;
}

bool HidapiBridge::BridgeInitThreadData(BridgeHandle handle) {
    const auto device = find(handle);
    if (!device)
        return false;
    device->collecting = true;
    return true;
}

bool HidapiBridge::BridgeReadThreadData(BridgeHandle handle, std::vector<std::uint8_t>& data) {
    data.clear();
    const auto device = find(handle);
    if (!device || !device->collecting)
        return false;
    std::vector<std::uint8_t> report(BRIDGE_REPORT_SIZE + 1);
    using namespace std::chrono;
    const auto deadline =
        steady_clock::now() + milliseconds(std::max(1u, device->readTimeoutMs.load()));
    for (;;) {
        if (device->closed || !device->collecting)
            return false;
        if (device->woken.exchange(false))
            return true;
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        if (left <= 0)
            return true;
        const int n = hid_read_timeout(device->raw(), report.data(), report.size(),
                                       int(std::min<decltype(left)>(left, ReadSliceMs)));
        if (n < 0)
            return false;
        if (n > 0) {
            device->woken = false; // the frames go out after this read anyway
            data = UnframeInputReport({report.data(), std::size_t(n)});
            return true;
        }
    }
}

bool HidapiBridge::BridgeWriteData(BridgeHandle handle, const std::uint8_t* data,
                                   std::size_t length) {
    const auto device = find(handle);
    if (!device || device->closed)
        return false;
    std::lock_guard lock(device->writeMutex);
    for (const auto& report : FrameOutputReports({data, length})) {
        if (hid_write(device->raw(), report.data(), report.size()) < 0)
            return false;
    }
    return true;
}

bool HidapiBridge::BridgeStopThread(BridgeHandle handle) {
    const auto device = find(handle);
    if (!device)
        return false;
    device->collecting = false;
    return true;
}

bool HidapiBridge::BridgeWakeRead(BridgeHandle handle) {
    const auto device = find(handle);
    if (!device)
        return false;
    device->woken = true;
    return true;
}

bool HidapiBridge::BridgeCloseDevice(BridgeHandle handle) {
    std::shared_ptr<Device> device;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_devices.find(handle);
        if (it == m_devices.end())
            return false;
        device = std::move(it->second);
        m_devices.erase(it);
    }
    device->closed = true;
    return true;
}

} // namespace velkar
