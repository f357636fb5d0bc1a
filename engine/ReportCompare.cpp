#include "ReportCompare.h"

#include <algorithm>
#include <limits>
#include <string_view>

namespace tvl {

const char* ChangeStateName(ChangeState state)
{
    switch (state) {
    case ChangeState::Unchanged: return "unchanged";
    case ChangeState::Grown: return "grown";
    case ChangeState::Shrunk: return "shrunk";
    case ChangeState::New: return "new";
    case ChangeState::Removed: return "removed";
    }
    return "unchanged";
}

std::int64_t SizeChange(std::int64_t before, std::int64_t after)
{
    std::int64_t d = 0;
    if (__builtin_sub_overflow(after, before, &d))
        return after > before ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    return d;
}

std::optional<double> ChangePercent(std::int64_t before, std::int64_t after)
{
    if (before <= 0)
        return std::nullopt;
    return (static_cast<double>(after) - static_cast<double>(before)) / static_cast<double>(before) * 100.0;
}

bool ChangeShown(std::int64_t change, std::int64_t nMinChange)
{
    if (change == 0)
        return false;
    if (change == std::numeric_limits<std::int64_t>::min())
        return true;
    return (change < 0 ? -change : change) >= nMinChange;
}

ChangeState StateOfSizes(std::int64_t before, std::int64_t after)
{
    return after > before ? ChangeState::Grown : after < before ? ChangeState::Shrunk : ChangeState::Unchanged;
}

namespace {

// The positions of a drive's folder list in path order: the list's own order when it
// is in path order (always, for reports that the scan or the reader made from a sound
// file), else a stable sort of the positions.
std::vector<std::uint32_t> PathOrder(const DriveReport* d)
{
    std::vector<std::uint32_t> order;
    if (!d)
        return order;
    const auto& list = d->Folders();
    order.resize(list.size());
    for (std::size_t i = 0; i < list.size(); ++i)
        order[i] = static_cast<std::uint32_t>(i);
    bool sorted = true;
    for (std::size_t i = 1; i < list.size() && sorted; ++i)
        sorted = CompareFolderPaths(list[i - 1]->strPath, list[i]->strPath) <= 0;
    if (!sorted)
        std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            return CompareFolderPaths(list[a]->strPath, list[b]->strPath) < 0;
        });
    return order;
}

// The changes of one folder from position `from` on, in name order (byte order; equal
// names keep their stored order): the order files are stored in is the order the
// directory listed them, which differs from one file system to another.
void SortByName(std::vector<FileChange>& out, std::size_t from)
{
    const auto first = out.begin() + static_cast<std::ptrdiff_t>(from);
    const auto byName = [](const FileChange& x, const FileChange& y) { return x.Name() < y.Name(); };
    if (!std::is_sorted(first, out.end(), byName))
        std::stable_sort(first, out.end(), byName);
}

void AllFiles(const FolderRecord* f, std::uint32_t nFolder, bool bNew, std::vector<FileChange>& out)
{
    const std::size_t from = out.size();
    for (const FileEntry& e : f->files)
        out.push_back(bNew ? FileChange{nFolder, nullptr, &e, ChangeState::New}
                           : FileChange{nFolder, &e, nullptr, ChangeState::Removed});
    SortByName(out, from);
}

// The files of one folder present on both sides. Most folders list the same names in
// the same order in both reports; only when they do not are the names sorted.
void CompareFiles(const FolderRecord& oldF, const FolderRecord& newF, std::uint32_t nFolder,
                  std::vector<const FileEntry*>& scratchOld, std::vector<const FileEntry*>& scratchNew,
                  std::vector<FileChange>& out)
{
    const auto& a = oldF.files;
    const auto& b = newF.files;
    auto resized = [&](const FileEntry* o, const FileEntry* n) {
        if (o->nSize != n->nSize)
            out.push_back(FileChange{nFolder, o, n, StateOfSizes(o->nSize, n->nSize)});
    };
    if (a.size() == b.size()) {
        std::size_t k = 0;
        while (k < a.size() && a[k].strName == b[k].strName)
            ++k;
        if (k == a.size()) {
            const std::size_t from = out.size();
            for (std::size_t i = 0; i < a.size(); ++i)
                resized(&a[i], &b[i]);
            SortByName(out, from);
            return;
        }
    }
    auto sortedNames = [](const std::vector<FileEntry>& files, std::vector<const FileEntry*>& s) {
        s.clear();
        for (const FileEntry& e : files)
            s.push_back(&e);
        std::stable_sort(s.begin(), s.end(),
                         [](const FileEntry* x, const FileEntry* y) { return x->strName < y->strName; });
    };
    sortedNames(a, scratchOld);
    sortedNames(b, scratchNew);
    std::size_t i = 0, j = 0;
    while (i < scratchOld.size() || j < scratchNew.size()) {
        const int c = i == scratchOld.size()   ? 1
                      : j == scratchNew.size() ? -1
                                               : scratchOld[i]->strName.compare(scratchNew[j]->strName);
        if (c < 0)
            out.push_back(FileChange{nFolder, scratchOld[i++], nullptr, ChangeState::Removed});
        else if (c > 0)
            out.push_back(FileChange{nFolder, nullptr, scratchNew[j++], ChangeState::New});
        else
            resized(scratchOld[i++], scratchNew[j++]);
    }
}

} // namespace

DriveComparison CompareDrives(const DriveReport* pOld, const DriveReport* pNew)
{
    DriveComparison dc;
    dc.pOld = pOld;
    dc.pNew = pNew;
    dc.cDrive = pNew ? pNew->cDrive : pOld ? pOld->cDrive : 0;
    dc.nOldTotal = pOld && pOld->FirstFolder() ? pOld->FirstFolder()->nSpaceWithSubs : 0;
    dc.nNewTotal = pNew && pNew->FirstFolder() ? pNew->FirstFolder()->nSpaceWithSubs : 0;
    dc.state = !pOld ? ChangeState::New : !pNew ? ChangeState::Removed : StateOfSizes(dc.nOldTotal, dc.nNewTotal);
    dc.bFilesCompared = pOld && pNew && pOld->bStoreFileNames && pNew->bStoreFileNames;
    dc.bItemsCompared = (pOld || pNew) && (!pOld || pOld->bFolderFacts) && (!pNew || pNew->bFolderFacts);
    if (dc.bItemsCompared) {
        dc.nOldItems = pOld && pOld->FirstFolder() ? pOld->FirstFolder()->nItemsWithSubs : 0;
        dc.nNewItems = pNew && pNew->FirstFolder() ? pNew->FirstFolder()->nItemsWithSubs : 0;
    }

    const std::vector<std::uint32_t> oldOrder = PathOrder(pOld);
    const std::vector<std::uint32_t> newOrder = PathOrder(pNew);
    static const std::vector<FolderRecord*> kNone;
    const auto& oldList = pOld ? pOld->Folders() : kNone;
    const auto& newList = pNew ? pNew->Folders() : kNone;
    dc.folders.reserve(std::max(oldOrder.size(), newOrder.size()));
    dc.newToChange.assign(newList.size(), 0);

    std::vector<const FileEntry*> scratchOld, scratchNew;
    std::size_t i = 0, j = 0;
    while (i < oldOrder.size() || j < newOrder.size()) {
        // A path a side repeats (only a damaged or crafted file does) is the folder of
        // its first record; later records of it are left out, and a row of the
        // current report shares the change of that first record.
        if (i > 0 && i < oldOrder.size() && oldList[oldOrder[i]]->strPath == oldList[oldOrder[i - 1]]->strPath) {
            ++i;
            continue;
        }
        if (j > 0 && j < newOrder.size() && newList[newOrder[j]]->strPath == newList[newOrder[j - 1]]->strPath) {
            dc.newToChange[newOrder[j]] = dc.newToChange[newOrder[j - 1]];
            ++j;
            continue;
        }
        const FolderRecord* o = i < oldOrder.size() ? oldList[oldOrder[i]] : nullptr;
        const FolderRecord* n = j < newOrder.size() ? newList[newOrder[j]] : nullptr;
        const int c = !o ? 1 : !n ? -1 : CompareFolderPaths(o->strPath, n->strPath);
        const auto index = static_cast<std::uint32_t>(dc.folders.size());
        if (c < 0) {
            dc.folders.push_back(FolderChange{o, nullptr, ChangeState::Removed});
            if (dc.bFilesCompared)
                AllFiles(o, index, false, dc.files);
            ++i;
        } else if (c > 0) {
            dc.folders.push_back(FolderChange{nullptr, n, ChangeState::New});
            dc.newToChange[newOrder[j]] = index;
            if (dc.bFilesCompared)
                AllFiles(n, index, true, dc.files);
            ++j;
        } else {
            dc.folders.push_back(FolderChange{o, n, StateOfSizes(o->nSpaceWithSubs, n->nSpaceWithSubs)});
            dc.newToChange[newOrder[j]] = index;
            if (dc.bFilesCompared)
                CompareFiles(*o, *n, index, scratchOld, scratchNew, dc.files);
            ++i;
            ++j;
        }
    }
    return dc;
}

std::vector<RankChange> CompareRankings(const std::vector<RankEntry>& baseline, const std::vector<RankEntry>& current)
{
    auto key = [](const RankEntry& e) { return std::pair<std::string_view, std::string_view>(e.strLocation, e.strName); };
    std::vector<std::uint32_t> sorted(baseline.size());
    for (std::size_t i = 0; i < baseline.size(); ++i)
        sorted[i] = static_cast<std::uint32_t>(i);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return key(baseline[a]) < key(baseline[b]); });
    std::vector<bool> used(baseline.size(), false);

    std::vector<RankChange> out;
    out.reserve(current.size());
    for (const RankEntry& e : current) {
        auto it = std::lower_bound(sorted.begin(), sorted.end(), key(e),
                                   [&](std::uint32_t a, const auto& k) { return key(baseline[a]) < k; });
        while (it != sorted.end() && key(baseline[*it]) == key(e) && used[*it])
            ++it;
        if (it == sorted.end() || key(baseline[*it]) != key(e)) {
            out.push_back(RankChange{ChangeState::New, 0});
            continue;
        }
        used[*it] = true;
        const std::int64_t before = baseline[*it].nSize;
        out.push_back(RankChange{StateOfSizes(before, e.nSize), before});
    }
    return out;
}

ReportComparison CompareReports(const ReportSide& baseline, const ReportSide& current)
{
    ReportComparison rc;
    const bool bRankings = baseline.bRanking && current.bRanking;
    // The drives by letter: a damaged or crafted file may repeat a letter; then the
    // first drive of that letter in each table is the drive, and later ones are left
    // out (no change is given for them). A file may hold a great many drives, so they
    // are found without searching the table.
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::vector<std::size_t> oldOfLetter(256, kNone);
    for (std::size_t m = 0; m < baseline.drives.size(); ++m)
        if (baseline.drives[m] && oldOfLetter[static_cast<unsigned char>(baseline.drives[m]->cDrive)] == kNone)
            oldOfLetter[static_cast<unsigned char>(baseline.drives[m]->cDrive)] = m;
    std::vector<bool> newLetterSeen(256, false), oldUsed(baseline.drives.size(), false);
    rc.newDriveToComparison.assign(current.drives.size(), -1);
    for (std::size_t k = 0; k < current.drives.size(); ++k) {
        const DriveReport* n = current.drives[k].get();
        if (!n)
            continue;
        const auto letter = static_cast<unsigned char>(n->cDrive);
        if (newLetterSeen[letter])
            continue;
        newLetterSeen[letter] = true;
        const DriveReport* o = nullptr;
        if (oldOfLetter[letter] != kNone) {
            oldUsed[oldOfLetter[letter]] = true;
            o = baseline.drives[oldOfLetter[letter]].get();
        }
        rc.newDriveToComparison[k] = static_cast<int>(rc.drives.size());
        rc.drives.push_back(CompareDrives(o, n));
        rc.drives.back().nNewIndex = static_cast<int>(k);
    }
    for (std::size_t m = 0; m < baseline.drives.size(); ++m)
        if (baseline.drives[m] && !oldUsed[m] && oldOfLetter[static_cast<unsigned char>(baseline.drives[m]->cDrive)] == m)
            rc.drives.push_back(CompareDrives(baseline.drives[m].get(), nullptr));

    static const std::vector<RankEntry> kNoRanking;
    for (DriveComparison& dc : rc.drives) {
        if (!bRankings || !dc.pNew)
            continue;
        dc.bRankingCompared = true;
        dc.ranking = CompareRankings(dc.pOld ? dc.pOld->ranking : kNoRanking, dc.pNew->ranking);
    }
    rc.bRankingCompared = bRankings;
    rc.pRankingAll = &current.rankingAll;
    if (bRankings)
        rc.rankingAll = CompareRankings(baseline.rankingAll, current.rankingAll);
    return rc;
}

const DriveComparison* ReportComparison::DriveOfIndex(int nDrive) const
{
    if (nDrive < 0 || static_cast<std::size_t>(nDrive) >= newDriveToComparison.size())
        return nullptr;
    const int c = newDriveToComparison[static_cast<std::size_t>(nDrive)];
    return c < 0 ? nullptr : &drives[static_cast<std::size_t>(c)];
}

const FolderChange* ReportComparison::ChangeOf(int nDrive, int nPos) const
{
    const DriveComparison* dc = DriveOfIndex(nDrive);
    if (!dc || nPos < 0 || static_cast<std::size_t>(nPos) >= dc->newToChange.size())
        return nullptr;
    return &dc->folders[dc->newToChange[static_cast<std::size_t>(nPos)]];
}

std::vector<FolderRef> LargestChanges(const ReportComparison& comparison, std::size_t n, bool bGrowth,
                                      std::int64_t nMinChange)
{
    struct Candidate {
        std::int64_t nKey; // the change, negated for growth, so that smaller keys come first
        FolderRef ref;
    };
    std::vector<Candidate> candidates;
    for (std::size_t d = 0; d < comparison.drives.size(); ++d) {
        const auto& folders = comparison.drives[d].folders;
        for (std::size_t f = 0; f < folders.size(); ++f) {
            const std::int64_t c = folders[f].Change();
            const bool take = (bGrowth ? c > 0 : c < 0) && ChangeShown(c, nMinChange);
            if (take)
                candidates.push_back({bGrowth ? -c : c, {static_cast<std::uint32_t>(d), static_cast<std::uint32_t>(f)}});
        }
    }
    auto before = [](const Candidate& a, const Candidate& b) {
        if (a.nKey != b.nKey)
            return a.nKey < b.nKey;
        return a.ref.nDrive != b.ref.nDrive ? a.ref.nDrive < b.ref.nDrive : a.ref.nFolder < b.ref.nFolder;
    };
    if (n < candidates.size()) {
        std::nth_element(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(n), candidates.end(),
                         before);
        candidates.resize(n);
    }
    std::sort(candidates.begin(), candidates.end(), before);
    std::vector<FolderRef> out;
    out.reserve(candidates.size());
    for (const Candidate& c : candidates)
        out.push_back(c.ref);
    return out;
}

std::int64_t NearestCurrentFolder(const DriveComparison& drive, std::size_t nFolder)
{
    // The folders are in path order, the pre-order of the union of both trees, so the
    // ancestors of a folder are the nearest earlier folders of each smaller level.
    auto level = [&](std::size_t k) {
        const FolderChange& f = drive.folders[k];
        return f.pNew ? f.pNew->nLevel : f.pOld->nLevel;
    };
    if (nFolder >= drive.folders.size())
        return -1;
    if (drive.folders[nFolder].pNew)
        return static_cast<std::int64_t>(nFolder);
    std::int32_t below = level(nFolder);
    for (std::size_t k = nFolder; k > 0; --k) {
        if (level(k - 1) >= below)
            continue;
        if (drive.folders[k - 1].pNew)
            return static_cast<std::int64_t>(k - 1);
        below = level(k - 1);
    }
    return -1;
}

} // namespace tvl
