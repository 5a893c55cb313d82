#pragma once

#include "reader/Frames.h"
#include "reader/HidBridge.h"

#include <QThread>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>

namespace velkar {

// The one thread that talks to an open reader. It reads and classifies the reports and
// writes the command frames handed to it, in order, between two reads; nothing else touches
// the device while it runs. A frame handed to it wakes the read under way, so it goes out at
// once; a stop closes the device, which ends the read as soon. Otherwise a read waits PollMs.
class ReaderThread : public QThread {
public:
    enum class State { Closed, Open, Receiving, Stopping };
    static constexpr unsigned PollMs = 100;

    struct Handlers {
        std::function<void(const ReaderReport&)> report; // on this thread, in arrival order
        // The reads failed (or collecting never started: false); the last call.
        std::function<void(bool collected)> ended;
    };
    using Written = std::function<void(bool written)>;

    ReaderThread(HidBridge& bridge, BridgeHandle device, Handlers handlers);
    // Stops (closing the device) and waits for the thread.
    ~ReaderThread() override;
    ReaderThread(const ReaderThread&) = delete;
    ReaderThread& operator=(const ReaderThread&) = delete;

    State state() const { return m_state.load(); }
    // stop() was called, or the reads failed: the device is closed.
    bool closed() const { return m_closed.load(); }
    BridgeHandle device() const { return m_device; }

    // Queues a frame; `written` hears on this thread whether it went out (false also when the
    // thread ended before it could).
    void write(const CommandFrame& frame, Written written);
    // Closes the device, which fails the read under way; the thread then ends by itself.
    void stop();

protected:
    void run() override;

private:
    struct Outgoing {
        CommandFrame frame{};
        Written written;
    };
    void RecvThreadFunction();
    void SendThreadFunction();
    void failQueued();

    HidBridge& m_bridge;
    const BridgeHandle m_device;
    Handlers m_handlers;
    std::atomic<State> m_state{State::Open};
    std::atomic<bool> m_closed{false};

    std::mutex m_mutex;
    std::deque<Outgoing> m_outgoing;
    bool m_ended = false;
};

} // namespace velkar
