// The rankings of the largest files.
//
// InsertRankEntry keeps at most nRankingSize entries, largest first. A new file goes
// before the first entry that is strictly smaller, so among equal sizes the file met
// first stays ahead; when the ranking is full a file enters only if it is strictly
// larger than the last entry, and the last entry leaves.
#include "Report.h"

#include <algorithm>

namespace tvl {

namespace {

// The first position whose entry is strictly smaller than nSize (rankings are sorted
// descending, so this is the upper bound under "greater").
std::vector<RankEntry>::iterator FirstSmaller(std::vector<RankEntry>& r, std::int64_t nSize)
{
    return std::upper_bound(r.begin(), r.end(), nSize,
                            [](std::int64_t size, const RankEntry& e) { return size > e.nSize; });
}

} // namespace

void DriveReport::InsertRankEntry(std::string_view strName, const std::string& strLocation, std::int64_t nSize)
{
    if (nRankingSize <= 0)
        return;
    const std::size_t bound = static_cast<std::size_t>(nRankingSize);
    // Cheap rejection of the common case: a full ranking and a file no larger than its last.
    if (ranking.size() >= bound && !ranking.empty() && nSize <= ranking.back().nSize)
        return;
    auto pos = FirstSmaller(ranking, nSize);
    if (pos == ranking.end()) {
        if (ranking.size() < bound)
            ranking.push_back(RankEntry{std::string(strName), strLocation, nSize});
        return;
    }
    if (ranking.size() >= bound) {
        // Full: the last entry leaves, the others move one place down.
        std::move_backward(pos, ranking.end() - 1, ranking.end());
        *pos = RankEntry{std::string(strName), strLocation, nSize};
    } else {
        ranking.insert(pos, RankEntry{std::string(strName), strLocation, nSize});
    }
}

void MergeRanking(std::vector<RankEntry>& all, const std::vector<RankEntry>& drive)
{
    for (const RankEntry& e : drive)
        all.insert(FirstSmaller(all, e.nSize), e);
}

} // namespace tvl
