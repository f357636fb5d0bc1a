#include "Progress.h"

#include <cstdint>

namespace tvl {

PercentDisplay ComputePercent(int nPos, int nTotal)
{
    PercentDisplay d;
    if (nPos == -1)
        return d;
    int percent = 0;
    if (nTotal > 0 && nPos > 0) {
        const double p = static_cast<double>(static_cast<std::int64_t>(nPos) * 100) / nTotal;
        percent = p >= 100.0 ? 100 : static_cast<int>(p);
    }
    d.barPos = percent;
    d.text = std::to_string(percent) + "%\n";
    return d;
}

} // namespace tvl
