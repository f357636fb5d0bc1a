#include "Interrupt.h"

namespace tvl::cli {

namespace {

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void OnInterrupt(int)
{
    g_interrupted.store(true, std::memory_order_relaxed);
}

} // namespace

InterruptGuard::InterruptGuard()
{
    g_interrupted.store(false);
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART; // system calls of the walk go on; the pump ends the scan
    m_bInstalled = ::sigaction(SIGINT, &sa, &m_previous) == 0;
}

InterruptGuard::~InterruptGuard()
{
    if (m_bInstalled)
        ::sigaction(SIGINT, &m_previous, nullptr);
}

const std::atomic<bool>* InterruptGuard::Flag()
{
    return &g_interrupted;
}

} // namespace tvl::cli
