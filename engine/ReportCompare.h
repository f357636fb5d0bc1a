// Comparison of two reports: a baseline (the older report) and the current one.
//
// Drives are matched by their letter, folders by their report path (raw bytes, so
// "C:\A\" and "C:\a\" are two folders), files by their name within a matched folder,
// ranking entries by location and name. Both folder lists are in path order, so the
// folders of a drive are matched in one merge pass over the two lists, O(n + m); a
// list that is not in path order (a damaged or hand-made report) is put in order
// first, so the result is right for any input. A damaged or crafted report may repeat
// a drive letter or a folder path: the first drive of a letter and the first record of
// a path are the ones compared, later ones are left out.
//
// The comparison holds pointers into both reports' records and does not own them:
// it is valid only while both reports live unchanged (display flags may change).
// Changing the baseline or the current report means making a new comparison.
#pragma once

#include "Report.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tvl {

// How a folder, file, drive or ranking entry differs from the baseline.
enum class ChangeState : std::uint8_t {
    Unchanged, // present in both with the same size
    Grown,     // present in both, larger now
    Shrunk,    // present in both, smaller now
    New,       // only in the current report
    Removed,   // only in the baseline
};

// The text used for a state in listings and JSON: "unchanged", "grown", "shrunk",
// "new", "removed".
const char* ChangeStateName(ChangeState state);

// after - before, saturated at the int64 limits (only damaged reports come near them).
std::int64_t SizeChange(std::int64_t before, std::int64_t after);

// The change in percent of `before`; no value when before is 0 or negative.
std::optional<double> ChangePercent(std::int64_t before, std::int64_t after);

// The --min-change rule of every listing of changes: a change is listed when it is not
// 0 and its absolute value is at least nMinChange bytes (the most negative change,
// which has no absolute value in 64 bits, always is).
bool ChangeShown(std::int64_t change, std::int64_t nMinChange);

// The state of a size that exists on both sides.
ChangeState StateOfSizes(std::int64_t before, std::int64_t after);

// One folder of either report. 24 bytes: a comparison of two reports of 100,000
// folders holds about 100,000 of these.
struct FolderChange {
    const FolderRecord* pOld = nullptr; // the baseline's record; null when New
    const FolderRecord* pNew = nullptr; // the current record; null when Removed
    // Unchanged, Grown and Shrunk follow "Space (with subs)": a folder whose files only
    // moved between it and its sub-folders keeps its total and counts as unchanged
    // (its sub-folders show the moves).
    ChangeState state = ChangeState::Unchanged;

    const std::string& Path() const { return pNew ? pNew->strPath : pOld->strPath; }
    std::int64_t OldWithSubs() const { return pOld ? pOld->nSpaceWithSubs : 0; }
    std::int64_t NewWithSubs() const { return pNew ? pNew->nSpaceWithSubs : 0; }
    std::int64_t OldWithoutSubs() const { return pOld ? pOld->nSpaceWithoutSubs : 0; }
    std::int64_t NewWithoutSubs() const { return pNew ? pNew->nSpaceWithoutSubs : 0; }
    // Change of "Space (with subs)" in bytes (a new folder: its size; a removed one:
    // minus its size).
    std::int64_t Change() const { return SizeChange(OldWithSubs(), NewWithSubs()); }
    // In percent of the baseline's "Space (with subs)"; no value for a new folder or
    // one whose baseline held 0 bytes.
    std::optional<double> Percent() const
    {
        return pOld ? ChangePercent(OldWithSubs(), NewWithSubs()) : std::nullopt;
    }
    // "Items (with subs)" (files that count and folders below, at any depth) on each
    // side, 0 where the folder does not exist, and their change. Meaningful only when
    // the drive's comparison has bItemsCompared.
    std::int64_t OldItems() const { return pOld ? pOld->nItemsWithSubs : 0; }
    std::int64_t NewItems() const { return pNew ? pNew->nItemsWithSubs : 0; }
    std::int64_t ItemChange() const { return SizeChange(OldItems(), NewItems()); }
};

// One file that is new, removed or resized in a folder. Only unchanged files are left
// out.
struct FileChange {
    std::uint32_t nFolder = 0;      // index into DriveComparison::folders
    const FileEntry* pOld = nullptr; // null when New
    const FileEntry* pNew = nullptr; // null when Removed
    ChangeState state = ChangeState::New;

    const std::string& Name() const { return pNew ? pNew->strName : pOld->strName; }
    std::int64_t OldSize() const { return pOld ? pOld->nSize : 0; }
    std::int64_t NewSize() const { return pNew ? pNew->nSize : 0; }
};

// How one entry of a current ranking relates to the baseline's ranking of the same
// drive (or to its combined ranking).
struct RankChange {
    // New: the file was not in the baseline's ranking (it entered it: a new large
    // file, or one that grew past the others); Grown or Shrunk: it was there with
    // another size; Unchanged: it was there with this size.
    ChangeState state = ChangeState::New;
    std::int64_t nOldSize = 0; // the baseline's size when it was there, else 0
};

// One drive of either report.
struct DriveComparison {
    char cDrive = 0;
    const DriveReport* pOld = nullptr; // null when the drive is new
    const DriveReport* pNew = nullptr; // null when the drive was removed
    int nNewIndex = -1;                // index of pNew in the current report's table, or -1
    // New or Removed for a drive present on one side only, else by the root totals.
    ChangeState state = ChangeState::Unchanged;
    std::int64_t nOldTotal = 0; // "Space (with subs)" of the baseline's root (0 when none)
    std::int64_t nNewTotal = 0; // the same of the current root

    // True when every side the drive is on has folder facts (DriveReport::bFolderFacts):
    // item counts then compare, by FolderChange::ItemChange() and the totals below.
    bool bItemsCompared = false;
    std::int64_t nOldItems = 0; // "Items (with subs)" of the baseline's root (0 when none)
    std::int64_t nNewItems = 0; // the same of the current root

    // Every folder of both sides in path order. For a drive present on one side only,
    // all its folders are New or Removed.
    std::vector<FolderChange> folders;
    // For each position of the current drive's folder list, the index of its entry in
    // `folders` (so a view finds a row's change in O(1)).
    std::vector<std::uint32_t> newToChange;

    // True when both sides store file names: `files` then lists every file that is new,
    // removed or resized, folder by folder in path order, by name within a folder (never
    // in the order a directory happened to list them). New and removed folders list all
    // their files as new or removed.
    bool bFilesCompared = false;
    std::vector<FileChange> files;

    // True when both reports carry rankings; `ranking` then holds one entry for each
    // entry of the current drive's ranking, in its order.
    bool bRankingCompared = false;
    std::vector<RankChange> ranking;

    std::int64_t Change() const { return SizeChange(nOldTotal, nNewTotal); }
    std::int64_t ItemChange() const { return SizeChange(nOldItems, nNewItems); }
};

// The whole comparison.
struct ReportComparison {
    // The drives of both reports, each letter once: those of the current report in its
    // order, then the removed ones in the baseline's order.
    std::vector<DriveComparison> drives;
    // Aligned with the current report's combined ranking, when both reports carry
    // rankings (bRankingCompared).
    bool bRankingCompared = false;
    std::vector<RankChange> rankingAll;
    const std::vector<RankEntry>* pRankingAll = nullptr; // the current combined ranking

    // The change of the folder at list position nPos of the current report's drive
    // table entry nDrive, or null (no such drive or position).
    const FolderChange* ChangeOf(int nDrive, int nPos) const;
    // The comparison of the current report's drive table entry nDrive, or null.
    const DriveComparison* DriveOfIndex(int nDrive) const;

    // For finding a drive by its current index.
    std::vector<int> newDriveToComparison;
};

// One side of a comparison: the drive table (entries may be null and are skipped),
// whether rankings exist, and the combined ranking.
struct ReportSide {
    const std::vector<std::unique_ptr<DriveReport>>& drives;
    bool bRanking = false;
    const std::vector<RankEntry>& rankingAll;
};

// Compares the current report with the baseline. Throws std::bad_alloc; nothing else.
ReportComparison CompareReports(const ReportSide& baseline, const ReportSide& current);

// Compares one drive's folders (and files when both store them). Either side may be
// null (a new or removed drive). Throws std::bad_alloc.
DriveComparison CompareDrives(const DriveReport* pOld, const DriveReport* pNew);

// For each entry of `current`, how it relates to `baseline` (entries matched by
// location and name; among equal keys, in order).
std::vector<RankChange> CompareRankings(const std::vector<RankEntry>& baseline, const std::vector<RankEntry>& current);

// A folder of a comparison: the drive's index in ReportComparison::drives and the
// folder's index in that drive's `folders`.
struct FolderRef {
    std::uint32_t nDrive = 0;
    std::uint32_t nFolder = 0;
};

// The n folders with the largest growth (Change() > 0), largest first, or with the
// largest shrinkage (Change() < 0), most shrunk first, over all drives; only changes
// that ChangeShown lets through. Ties keep drive and path order.
// O(F log n) for F folders.
std::vector<FolderRef> LargestChanges(const ReportComparison& comparison, std::size_t n, bool bGrowth,
                                      std::int64_t nMinChange);

// The nearest folder at or above comparison folder `ref` that exists in the current
// report (a removed folder's closest surviving ancestor), as an index into the same
// drive's `folders`; -1 when there is none (the whole drive was removed).
std::int64_t NearestCurrentFolder(const DriveComparison& drive, std::size_t nFolder);

} // namespace tvl
