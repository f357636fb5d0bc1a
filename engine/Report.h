// The in-memory report: one DriveReport per drive, each holding its folders in path
// order with both space sums and both shares, optionally every folder's files, and
// the drive's ranking of its largest files.
//
// Two producers fill a report, the drive scan and the report file reader; both go
// through ReportBuilder, so list order, positions, parents and display flags are set
// in one place.
#pragma once

#include "ScanFacts.h"
#include "StableVector.h"

#include <climits>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tvl {

struct ScanEnvironment;

// A modification time that is not known (a report without folder facts, an empty
// folder's newest change in an import that gives none).
inline constexpr std::int64_t kNoTime = INT64_MIN;

// One file of a folder. 56 bytes plus the name's heap block when it exceeds 15 bytes
// (32 bytes with malloc's header for names of 16 to 24 bytes), held in the folder's
// `files` array, which the scan sizes exactly.
struct FileEntry {
    std::string strName;   // file name without path, raw bytes
    std::int64_t nSize = 0; // full 64-bit size, in the drive's measure
    // Only when the drive has folder facts (DriveReport::bFolderFacts), else 0 / kNoTime:
    std::int64_t nOtherSize = 0;      // the size in the other measure (length <-> space on disc)
    std::int64_t nChange = kNoTime;   // modification time, seconds since 1970-01-01 UTC
};

// What the walk could do with a folder. Everything but Read marks the folder: it is in
// the report, without (all of) its content.
enum class FolderState : std::uint8_t {
    Read = 0,     // listed in full (also: not known, a drive without folder facts)
    NoAccess,     // could not be opened or listed: permission denied
    Vanished,     // removed between being seen in its parent and being read
    ReadError,    // an I/O or other error; what could be listed before it is kept
    OtherFs,      // on another file system: recorded, not entered
    LeftOut,      // left out by the options that made the report (imports only: a scan
                  // leaves such folders out of the report altogether)
};
inline constexpr int kFolderStateCount = 6;

// One entry of a ranking.
struct RankEntry {
    std::string strName;     // file name without path ("File")
    std::string strLocation; // strPath of the folder holding the file ("Location")
    std::int64_t nSize = 0;  // bytes ("Size")
};

// One folder of a drive. 144 bytes (the subtree extent, the three flags, the state and
// the own file count share two words), plus the heap block of strPath (paths longer than 15 bytes; length
// + 1 rounded up to 16, + 8 bytes of malloc header), plus 8 bytes for its pointer in
// the folder list. On the 100,000-folder benchmark tree (paths of 155 bytes on
// average) that is about 112 + 172 + 8 = 292 B per folder, 29 MB in all. strPath
// stays a std::string because the views and the report file code read it as one.
struct FolderRecord {
    std::string strPath;          // "C:\" for the root, else parent's path + name + "\"
    std::vector<FileEntry> files; // the folder's own files, only when the drive stores them
    std::int64_t nSpaceWithoutSubs = 0; // bytes of the folder's own files
    std::int64_t nSpaceWithSubs = 0;    // own bytes plus those of every folder below
    double dPercentOfParent = 0.0;      // share of the parent's nSpaceWithSubs; -1.0: no value
    double dPercentOfDisc = 0.0;        // share of the root's nSpaceWithSubs; -1.0: no value
    FolderRecord* pParent = nullptr;    // null for the root; not owning
    std::int32_t nLevel = 0;            // 0 for the root, parent's level + 1 otherwise
    // Folders below this one at any depth. The subtree stays together in every list
    // order a report has, so it is positions pos + 1 .. pos + nDescendants: the views
    // skip or count a branch without walking it.
    std::int32_t nDescendants = 0;
    // Display state of the folder view; never stored in report files.
    bool bHasSubFolders = false; // can be expanded
    bool bVisible = false;       // its row is shown
    bool bExpanded = false;      // its direct children are shown
    // Folder facts, valid when the drive has them (DriveReport::bFolderFacts). The other
    // measure is file length when the drive counts space on disc, and the reverse.
    FolderState state = FolderState::Read;
    std::int32_t nFiles = 0;             // files in the folder itself that count
    std::int64_t nItemsWithSubs = 0;     // files that count and folders, at any depth below
    std::int64_t nOtherWithoutSubs = 0;  // nSpaceWithoutSubs in the other measure
    std::int64_t nOtherWithSubs = 0;     // nSpaceWithSubs in the other measure
    // The newest modification time of the folder itself and of anything below it
    // (every stored or listed name, counted or not), or kNoTime.
    std::int64_t nNewestChange = kNoTime;

    // Files that count below this folder at any depth, itself included.
    std::int64_t FilesWithSubs() const { return nItemsWithSubs - nDescendants; }
};

// The report of one drive. Owns its folder records, their files and its ranking.
class DriveReport {
public:
    DriveReport() = default;
    DriveReport(const DriveReport&) = delete;
    DriveReport& operator=(const DriveReport&) = delete;

    char cDrive = 0;              // 'C'..'Z'
    bool bAvailable = true;       // cleared for good when the live file listing finds the drive gone
    bool bStoreFileNames = false; // every folder carries its file list
    // Every folder carries its facts (state, counts, newest change, the other measure),
    // and every stored file its other size and change time: set by a scan, by a report
    // file whose extension block holds them, by an import. Only with pFacts, which says
    // which measure the sums count.
    bool bFolderFacts = false;
    std::vector<RankEntry> ranking; // largest first, at most nRankingSize entries after a scan
    int nFolders = 0;             // records in the folder list
    int nRankingSize = 0;         // bound of the ranking for the scan; 0: no ranking
    // Set when an edit of the report (a refreshed folder, an item moved to the trash)
    // may have left the ranking short of files it cannot know; a full scan clears it.
    // Never stored in report files.
    bool bRankingIncomplete = false;
    // How the drive was measured: set by the scan, kept in the report file's extension
    // block. Null when not known (a report file without the block).
    std::unique_ptr<DriveFacts> pFacts;

    // Stored file names that did not count: later names of a hard-linked file whose
    // first name counted. They are listed with their size but add to no sum and enter
    // no ranking. Kept as the few exceptions, so a file name costs nothing more.
    bool Counts(const FolderRecord& rec, const std::string& strName) const
    {
        return m_uncounted.empty() || !m_uncounted.count({&rec, strName});
    }
    void MarkUncounted(const FolderRecord& rec, std::string strName) { m_uncounted.emplace(&rec, std::move(strName)); }
    void MarkCounted(const FolderRecord& rec, const std::string& strName) { m_uncounted.erase({&rec, strName}); }
    bool AllCount() const { return m_uncounted.empty(); }

    // The five-step scan of drive cDrive (Scan.cpp) with the environment's scan options.
    // Returns true when the report was made; false when it cannot be (a folder record or
    // a listing that does not fit in memory, no file descriptors to be had: the report
    // is then left without folders and the user was told). When the environment's pump
    // is asked to stop during the walk, the walk ends at its next pump and the report
    // keeps the folders read so far, with sums, shares and order computed over them
    // (WasCancelled(): the report is incomplete; nothing is shown; false when not even
    // the root was recorded). Called once per fresh report.
    bool CreateReport(char cDrive, bool bStoreFileNames, int nRankingSize, ScanEnvironment& env);
    bool WasCancelled() const { return m_bCancelled; }

    // Deletes every folder record, sets nFolders to 0 and bAvailable to 1. The ranking
    // is kept.
    void FreeFolders();

    // The record at a 0-based position of the folder list, or null when there is none
    // (also for a negative position). O(1).
    FolderRecord* GetFolder(int nPos) const;

    // The folder list in list order (path order after a scan).
    const std::vector<FolderRecord*>& Folders() const { return m_list; }
    FolderRecord* FirstFolder() const { return m_list.empty() ? nullptr : m_list.front(); }

    // Offers a file to the ranking (see Ranking.cpp for the tie rules). The strings
    // are made only when the file enters.
    void InsertRankEntry(std::string_view strName, const std::string& strLocation, std::int64_t nSize);

    // Puts the folder list in path order (CompareFolderPaths). The list must be in walk
    // order (every folder directly followed by its subtree), as the scan leaves it.
    void SortFolders();

private:
    friend class ReportBuilder;
    friend class ReportEditor;
    // Appends a new record at the end of the folder list and counts it in nFolders.
    // Throws std::bad_alloc; nothing changes then.
    FolderRecord& AppendFolder(std::string strPath, FolderRecord* pParent, std::int32_t nLevel);

    StableVector<FolderRecord> m_records; // owning, in creation order, addresses stable
    std::vector<FolderRecord*> m_list;    // list order
    bool m_bCancelled = false;
    std::set<std::pair<const FolderRecord*, std::string>> m_uncounted;
};

// The two measures of a size.
enum class SizeKind : std::uint8_t { Length, DiscUsage };

// The measure a drive's sums and ranking count: its scan options, Length when unknown.
SizeKind PrimaryKind(const DriveReport& drive);
// True when the drive can show `kind`: its own measure, or the other with folder facts.
bool CanShow(const DriveReport& drive, SizeKind kind);
// The measure a drive is shown in when `wanted` is asked for (none: its own): the wanted
// one where the drive can show it, else the drive's own.
SizeKind ShownKind(const DriveReport& drive, std::optional<SizeKind> wanted);

// A folder's numbers in one measure; the shares of the other measure are computed on
// the fly as a scan would have set them (-1: no value; the root's both -1).
struct FolderSizes {
    std::int64_t nWithoutSubs = 0;
    std::int64_t nWithSubs = 0;
    double dPercentOfParent = 0.0;
    double dPercentOfDisc = 0.0;
};
// `kind` must be one the drive can show (CanShow).
FolderSizes SizesOf(const DriveReport& drive, const FolderRecord& rec, SizeKind kind);
inline std::int64_t FileSizeOf(const DriveReport& drive, const FileEntry& file, SizeKind kind)
{
    return kind == PrimaryKind(drive) ? file.nSize : file.nOtherSize;
}

// Computes every folder's sums with subs from the own numbers: space in both measures,
// items, newest change. The list must hold every subtree contiguously after its folder
// (walk order or path order). Shares are not touched.
void SumSubtrees(DriveReport& drive);

// The name of a state as the report's text, JSON and CSV write it: "read", "no-access",
// "vanished", "read-error", "other-fs", "left-out".
const char* FolderStateName(FolderState state);
// "Could not be read: permission denied", "Could not be read: it vanished while being
// read", "Could not be read: input/output error", "Other file system, not entered",
// "Left out by the scan options"; "" for Read.
const char* FolderStateText(FolderState state);

// Letters 'A'..'Z' as 'a'..'z', every other byte as it is: the one case-fold of path
// comparisons (report paths are raw bytes in no particular encoding).
inline unsigned char FoldCase(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// Path order of folders: paths are compared name by name (each name with its trailing
// backslash), case-insensitively byte by byte with 'A'..'Z' taken as 'a'..'z' and the
// shorter name first when it is a prefix of the other. Two names equal under that
// comparison but different in their bytes are ordered by their raw bytes. So every
// folder's subtree stays contiguous even when names differ only in case.
// Returns <0, 0, >0.
int CompareFolderPaths(std::string_view a, std::string_view b);

// Sets both shares of a folder from its space with subs, its parent's and the drive's
// total: 100 for a record without parent, -1 (no value) below a parent of 0 bytes, 0
// of a total of 0. The root's shares are set to -1 afterwards by its callers.
void SetShares(FolderRecord& rec, std::int64_t total);

// Adds a drive's ranking to the combined ranking: each entry, in order, goes before the
// first entry that is strictly smaller, or to the end. Nothing is removed.
void MergeRanking(std::vector<RankEntry>& all, const std::vector<RankEntry>& drive);

} // namespace tvl
