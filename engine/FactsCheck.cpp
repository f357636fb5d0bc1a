#include "FactsCheck.h"

namespace tvl {

std::string ComparabilityCheck::DifferencesText() const
{
    std::string text;
    for (const std::string& d : differences)
        text += (text.empty() ? "" : "; ") + d;
    return text;
}

ComparabilityCheck CheckComparable(const std::vector<std::unique_ptr<DriveReport>>& first, const ReportFacts* pFirst,
                                   const std::vector<std::unique_ptr<DriveReport>>& second, const ReportFacts* pSecond)
{
    ComparabilityCheck check;
    for (const auto& a : first) {
        if (!a)
            continue;
        for (const auto& b : second) {
            if (!b || b->cDrive != a->cDrive)
                continue;
            if (!a->pFacts || !b->pFacts) {
                if (check.strUnknownDrives.find(a->cDrive) == std::string::npos)
                    check.strUnknownDrives += a->cDrive;
            } else if (std::string d = OptionsDifference(a->pFacts->options, b->pFacts->options); !d.empty()) {
                check.differences.push_back(std::string(1, a->cDrive) + ": " + d);
            }
            break;
        }
    }
    if (pFirst && pSecond)
        check.nSecondsBetween = pSecond->nStartTime - pFirst->nStartTime;
    return check;
}

} // namespace tvl
