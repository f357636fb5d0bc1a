#include "HumanSize.h"

namespace tvl {

std::string FormatHumanSize(std::int64_t nBytes)
{
    static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    // The magnitude as unsigned, so that the most negative count has one too.
    const std::uint64_t m = nBytes < 0 ? 0 - static_cast<std::uint64_t>(nBytes) : static_cast<std::uint64_t>(nBytes);
    const std::string sign = nBytes < 0 ? "-" : "";
    if (m < 1024)
        return sign + std::to_string(m) + " B";
    int unit = 0;
    std::uint64_t divisor = 1024;
    std::uint64_t tenths = 0;
    for (;;) {
        // Rounded tenths of m / divisor without overflow: r < divisor <= 2^60, so r * 10 fits.
        const std::uint64_t q = m / divisor, r = m % divisor;
        tenths = q * 10 + (r * 10 + divisor / 2) / divisor;
        if (tenths < 10240 || unit == 5)
            break;
        ++unit;
        divisor *= 1024;
    }
    return sign + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " " + kUnits[unit];
}

} // namespace tvl
