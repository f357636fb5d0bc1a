// The throttled message pump of long operations. Between two folders the scan calls
// PumpMessages; at most once every 1000 ms it lets the user interface process its
// pending events through the hook. The very first call only starts the clock.
//
// The pump also carries the request to stop a running scan (the Stop button, the main
// window closing, an interrupt at the terminal): whoever handles an event may call
// RequestStop, and the scan ends at its next pump.
#pragma once

#include "Clock.h"
#include "EventPump.h"

#include <atomic>
#include <cstdint>

namespace tvl {

class MessagePump {
public:
    static constexpr std::uint32_t kIntervalMs = 1000;

    explicit MessagePump(IClock& clock = SystemClock(), IEventPump* hook = nullptr)
        : m_clock(clock), m_hook(hook) {}

    // Processes pending events if kIntervalMs have passed since the last time
    // (unsigned 32-bit difference, so the wrap of the counter does no harm).
    void PumpMessages();

    void RequestStop() { m_bStop = true; }
    // Clears a request made through RequestStop (not the watched flag).
    void ClearStop() { m_bStop = false; }
    bool StopRequested() const { return m_bStop || (m_pStopFlag && m_pStopFlag->load(std::memory_order_relaxed)); }
    // A flag set from outside the event loop (a signal handler) that counts as a stop
    // request while it is set; null watches none. Not owned.
    void WatchStopFlag(const std::atomic<bool>* flag) { m_pStopFlag = flag; }

private:
    IClock& m_clock;
    IEventPump* m_hook;
    bool m_bStarted = false;
    std::uint32_t m_lastPump = 0;
    bool m_bStop = false;
    const std::atomic<bool>* m_pStopFlag = nullptr;
};

} // namespace tvl
