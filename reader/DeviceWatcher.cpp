#include "reader/DeviceWatcher.h"

namespace velkar {

DeviceWatcher::DeviceWatcher(HidBridge& bridge, QObject* parent)
    : QObject(parent), m_bridge(bridge) {
    connect(&m_timer, &QTimer::timeout, this, &DeviceWatcher::poll);
}

void DeviceWatcher::start(int intervalMs) {
    m_known = ListPaths(m_bridge);
    m_timer.start(intervalMs);
}

void DeviceWatcher::stop() {
    m_timer.stop();
}

std::set<std::string> DeviceWatcher::ListPaths(HidBridge& bridge) {
    std::set<std::string> paths;
    for (const BridgeDeviceEntry& entry : ListDevices(bridge))
        paths.insert(entry.path);
    return paths;
}

void DeviceWatcher::poll() {
    std::set<std::string> now = ListPaths(m_bridge);
    const std::set<std::string> before = std::exchange(m_known, now);
    for (const std::string& path : before)
        if (!now.contains(path))
            emit deviceRemoved(QString::fromStdString(path));
    for (const std::string& path : now)
        if (!before.contains(path))
            emit deviceArrived(QString::fromStdString(path));
}

} // namespace velkar
