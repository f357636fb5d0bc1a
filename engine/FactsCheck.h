// Whether two reports can be compared: each drive letter both hold must have been
// measured alike (size measure, hidden folders, hard links, exclusions). Compare and
// tovaline-cli diff ask this before they compare, and refuse or warn.
#pragma once

#include "Report.h"
#include "ScanFacts.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tvl {

struct ComparabilityCheck {
    // One sentence per drive measured differently: "C: the first report counts
    // apparent sizes, the second disc usage". Empty when nothing is known to differ.
    std::vector<std::string> differences;
    // The letters both reports hold of which a report does not say how it was measured
    // (a report file without the scan facts): they are compared as they are.
    std::string strUnknownDrives;
    // Seconds from the start of the first scan to the start of the second, when both
    // reports know them.
    std::optional<std::int64_t> nSecondsBetween;

    // The differences as one line ("C: ...; D: ...").
    std::string DifferencesText() const;
};

ComparabilityCheck CheckComparable(const std::vector<std::unique_ptr<DriveReport>>& first, const ReportFacts* pFirst,
                                   const std::vector<std::unique_ptr<DriveReport>>& second, const ReportFacts* pSecond);

} // namespace tvl
