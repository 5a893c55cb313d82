#include "reader/DeviceWatcher.h"

DeviceWatcher::DeviceWatcher(HidBridge& bridge, QObject* parent)
    : QObject(parent), m_bridge(bridge) {
    connect(&m_timer, &QTimer::timeout, this, &DeviceWatcher::poll);
}

void DeviceWatcher::start(int intervalMs) {
    m_known = ListDevices(m_bridge);
    m_timer.start(intervalMs);
}

void DeviceWatcher::stop() {
    m_timer.stop();
}

std::set<std::string> DeviceWatcher::ListDevices(HidBridge& bridge) {
    std::set<std::string> paths;
    BridgeDeviceEntry entry;
    for (unsigned index = 0;; ++index) {
        const BridgePathResult result = bridge.BridgeGetDevicePath(index, entry);
        if (result == BridgePathResult::NoMoreItems)
            break;
        if (result == BridgePathResult::Found)
            paths.insert(entry.path);
    }
    return paths;
}

void DeviceWatcher::poll() {
    std::set<std::string> now = ListDevices(m_bridge);
    const std::set<std::string> before = std::exchange(m_known, now);
    for (const std::string& path : before)
        if (!now.contains(path))
            emit deviceRemoved(QString::fromStdString(path));
    for (const std::string& path : now)
        if (!before.contains(path))
            emit deviceArrived(QString::fromStdString(path));
}
