#include "SizeMeasure.h"

namespace tvl {

SizeKind ShownKind(const DriveReport& drive, std::optional<SizeKind> wanted)
{
    return wanted && CanShow(drive, *wanted) ? *wanted : PrimaryKind(drive);
}

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

std::optional<std::int64_t> ItemCountChange(const DriveComparison& drive, const FolderChange& change)
{
    if ((!drive.pOld && !drive.pNew) || (drive.pOld && !drive.pOld->bFolderFacts) ||
        (drive.pNew && !drive.pNew->bFolderFacts))
        return std::nullopt;
    const std::int64_t before = change.pOld ? change.pOld->nItemsWithSubs : 0;
    const std::int64_t after = change.pNew ? change.pNew->nItemsWithSubs : 0;
    return SizeChange(before, after);
}

} // namespace tvl
