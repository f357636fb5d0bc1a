#include "ColumnFit.h"

#include <algorithm>

namespace tvl {

std::vector<int> FitColumns(std::vector<int> widths, const std::vector<int>& minimums, int donor)
{
    const auto minimumOf = [&](std::size_t i) { return i < minimums.size() ? std::max(minimums[i], 0) : 0; };
    int missing = 0;
    for (std::size_t i = 0; i < widths.size(); ++i) {
        widths[i] = std::max(widths[i], 0);
        if (static_cast<int>(i) != donor && widths[i] < minimumOf(i)) {
            missing += minimumOf(i) - widths[i];
            widths[i] = minimumOf(i);
        }
    }
    if (donor >= 0 && static_cast<std::size_t>(donor) < widths.size()) {
        int& w = widths[static_cast<std::size_t>(donor)];
        const int floor = minimumOf(static_cast<std::size_t>(donor));
        w = std::max(floor, w - missing);
    }
    return widths;
}

} // namespace tvl
