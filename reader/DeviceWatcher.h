#pragma once

#include "reader/HidBridge.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <set>
#include <string>

namespace velkar {

// Follows the HID devices the bridge lists and reports which ones came and went. Compares the
// list about every 500 ms on the thread it lives on.
class DeviceWatcher : public QObject {
    Q_OBJECT

public:
    explicit DeviceWatcher(HidBridge& bridge, QObject* parent = nullptr);

    // Takes the present devices as the baseline and polls from then on.
    void start(int intervalMs = 500);
    void stop();
    // Compares once now.
    void poll();

    // Every HID device path the bridge lists now.
    static std::set<std::string> ListPaths(HidBridge& bridge);

signals:
    void deviceArrived(const QString& path);
    void deviceRemoved(const QString& path);

private:
    HidBridge& m_bridge;
    QTimer m_timer;
    std::set<std::string> m_known;
};

} // namespace velkar
