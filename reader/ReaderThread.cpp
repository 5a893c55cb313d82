#include "reader/ReaderThread.h"

#include "reader/DebugTrace.h"

namespace velkar {

ReaderThread::ReaderThread(HidBridge& bridge, BridgeHandle device, Handlers handlers)
    : m_bridge(bridge), m_device(device), m_handlers(std::move(handlers)) {}

ReaderThread::~ReaderThread() {
    stop();
    wait();
    failQueued(); // never started, or ended before a late write
}

void ReaderThread::write(const CommandFrame& frame, Written written) {
    {
        std::unique_lock lock(m_mutex);
        if (!m_ended) {
            m_outgoing.push_back({frame, std::move(written)});
            lock.unlock();
            // Queued before the wake, so the read it ends is followed by this frame's write.
            m_bridge.BridgeWakeRead(m_device);
            return;
        }
    }
    written(false);
}

void ReaderThread::stop() {
    State running = State::Receiving;
    m_state.compare_exchange_strong(running, State::Stopping);
    if (!m_closed.exchange(true))
        m_bridge.BridgeCloseDevice(m_device);
}

void ReaderThread::run() {
    RecvThreadFunction();
}

void ReaderThread::RecvThreadFunction() {
    const bool collected = m_bridge.BridgeInitThreadData(m_device);
    if (collected) {
        State open = State::Open;
        m_state.compare_exchange_strong(open, State::Receiving);
        std::vector<std::uint8_t> buffer;
        for (;;) {
            SendThreadFunction();
            if (!m_bridge.BridgeReadThreadData(m_device, buffer))
                break;
            if (!buffer.empty())
                m_handlers.report(ClassifyReport(buffer));
        }
        m_bridge.BridgeStopThread(m_device);
    }
    failQueued();
    if (collected)
        DebugTrace("RecvThreadFunction Exit");
    if (m_handlers.ended)
        m_handlers.ended(collected);
    m_state = State::Closed;
}

void ReaderThread::SendThreadFunction() {
    for (;;) {
        Outgoing next;
        {
            std::lock_guard lock(m_mutex);
            if (m_outgoing.empty())
                return;
            next = std::move(m_outgoing.front());
            m_outgoing.pop_front();
        }
        next.written(m_bridge.BridgeWriteData(m_device, next.frame.data(), next.frame.size()));
    }
}

void ReaderThread::failQueued() {
    std::deque<Outgoing> left;
    {
        std::lock_guard lock(m_mutex);
        m_ended = true;
        left.swap(m_outgoing);
    }
    for (Outgoing& o : left)
        o.written(false);
}

} // namespace velkar
