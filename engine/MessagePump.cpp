#include "MessagePump.h"

namespace tvl {

void MessagePump::PumpMessages()
{
    const std::uint32_t now = m_clock.NowMs();
    if (!m_bStarted) {
        m_bStarted = true;
        m_lastPump = now;
    }
    if (static_cast<std::uint32_t>(now - m_lastPump) < kIntervalMs)
        return;
    m_lastPump = now;
    if (m_hook)
        m_hook->ProcessPendingEvents();
}

} // namespace tvl
