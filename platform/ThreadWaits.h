// How often the calling thread has gone to sleep of its own accord: waiting for the
// disc, a lock or a timer, as opposed to being preempted while it could run. The walk
// compares two readings around a directory read to learn whether the read waited for
// the device.
#pragma once

#include <cstdint>

namespace tvl {

// The calling thread's voluntary context switches so far; 0 when the system does not
// count them (then no read ever looks as if it waited).
std::uint64_t ThreadBlockingWaits();

} // namespace tvl
