// Ctrl+C at the terminal during a scan. While an InterruptGuard lives, SIGINT only sets
// a flag, which the scan's message pump reads as a stop request; the command then writes
// nothing and ends with kInterrupted. When the guard ends, the previous handling of
// SIGINT is back, so a Ctrl+C while the report is printed ends the program at once.
#pragma once

#include <atomic>
#include <csignal>

namespace tvl::cli {

// The exit status of a command stopped by SIGINT, as shells report it (128 + 2).
inline constexpr int kInterrupted = 130;

class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // Set by the handler; cleared when a guard starts.
    static const std::atomic<bool>* Flag();
    bool Interrupted() const { return Flag()->load(); }

private:
    struct sigaction m_previous {};
    bool m_bInstalled = false;
};

} // namespace tvl::cli
