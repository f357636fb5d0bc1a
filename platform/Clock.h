// A millisecond clock: unsigned 32-bit, wrapping, from some fixed point.
#pragma once

#include <cstdint>

namespace tvl {

class IClock {
public:
    virtual ~IClock() = default;
    virtual std::uint32_t NowMs() = 0;
};

// The monotonic clock of the machine.
class SteadyClock final : public IClock {
public:
    std::uint32_t NowMs() override;
};

IClock& SystemClock();

} // namespace tvl
