#include "SizeMeasure.h"

namespace tvl {

bool CanSwitchKind(const std::vector<std::unique_ptr<DriveReport>>& drives)
{
    bool any = false;
    for (const auto& d : drives) {
        if (!d)
            continue;
        if (!d->bFolderFacts)
            return false;
        any = true;
    }
    return any;
}

const char* SizeKindText(SizeKind kind)
{
    return kind == SizeKind::DiscUsage ? "space on disc" : "file length";
}

} // namespace tvl
