#include "Clock.h"

#include <chrono>

namespace tvl {

std::uint32_t SteadyClock::NowMs()
{
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

IClock& SystemClock()
{
    static SteadyClock clock;
    return clock;
}

} // namespace tvl
