// Changes to a finished report after the user acted on the disc: a folder read again
// (refresh), a folder or a file removed (moved to the trash), and the search over the
// names a report knows.
//
// Every edit keeps what the views rely on: the folder list in path order, each
// folder's parent, level and subtree extent (nDescendants), both space sums and both
// shares up to the root, nFolders, and the drive's ranking. Records that leave the
// list stay allocated until the drive's folders are freed, so a pointer a view still
// holds never dangles; callers drop such pointers (the selection) after an edit.
#pragma once

#include "Report.h"
#include "Walk.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tvl {

struct ScanEnvironment;

inline constexpr const char* kMsgNoSuchFolder = "The folder is not in the report.";

class ReportEditor {
public:
    explicit ReportEditor(DriveReport& drive) : m_drive(drive) {}

    // Reads the folder at list position nPos again, with everything below it, by the
    // same walk as a scan, and puts the result in its place: its record stays (same
    // address), its old sub-folders leave, the new ones enter in path order; the sums
    // and subtree extents above it, every share and the ranking follow. The drive's
    // mapping gives the real folder; env.options are the scan options the report was
    // made with (hidden folders, hard links, sizes, exclusions). On Stopped or Failed
    // (message says why) the report is as it was. Never throws.
    WalkResult RefreshFolder(int nPos, ScanEnvironment& env, std::string& message);

    // Removes the folder at nPos with its subtree (not the root: false, nothing
    // changes). The space leaves every ancestor, the ranking loses the files located
    // in the subtree.
    bool RemoveFolder(int nPos);

    // Removes nSize bytes of file strName from the folder at nPos: from its stored file
    // list when the drive keeps one (the first entry of that name and size; false and
    // nothing changes when there is none), from its own space and its ancestors', and
    // the matching ranking entry. A drive without stored names takes the size the
    // caller read from the disc (false when it exceeds the folder's own space).
    // A stored name that did not count (a later name of a hard-linked file) is removed
    // from the list only: it added nothing, so nothing is subtracted.
    // With folder facts the file also leaves the counts and the other measure: a drive
    // without stored names needs nOtherSize, the size in the other measure that the
    // caller read from the disc (false when it is not known, -1). The folder and those
    // above it have changed now (their newest change).
    bool RemoveFile(int nPos, std::string_view strName, std::int64_t nSize, std::int64_t nOtherSize = -1);

    // Makes the stored name strName of the folder at nPos count (when the name that
    // counted for its file has gone) or stop counting (when another name of its file
    // counts): its size joins or leaves the sums up to the root, the shares and the
    // ranking follow. False, nothing changed, when it already is so or there is no such
    // name.
    bool CountName(int nPos, const std::string& strName);
    bool UncountName(int nPos, const std::string& strName);

private:
    // Drops the not-counted marks of a record that leaves the list or gets new files.
    void ForgetMarks(const FolderRecord& rec);
    // What an edit adds to every ancestor of a folder (negative: takes away); the newest
    // change only moves on.
    struct Delta {
        std::int64_t nSpace = 0;
        std::int64_t nOther = 0;
        std::int64_t nItems = 0;
        std::int32_t nDescendants = 0;
        std::int64_t nNewest = kNoTime;
    };
    static void AddToAncestors(FolderRecord& rec, const Delta& delta);
    // The folder and those above it changed on disc now (an item left it).
    void Changed(FolderRecord& rec);
    // The drive's counts of folders not read and on other file systems, from the folders'
    // states, after an edit (with folder facts; the folders left out are not known).
    void RecountMarks();
    // A file of nSize bytes (nOtherSize in the other measure) joins (nSign 1) or leaves
    // (-1) the folder's sums and counts and those up to the root.
    void CountFile(FolderRecord& rec, std::int64_t nSize, std::int64_t nOtherSize, int nSign);
    static void CopyFacts(const FolderRecord& from, FolderRecord& to);
    // Both shares of every folder, from the root's total.
    void UpdateShares();
    // The ranking after the files of `gone` (a folder prefix, or one file) left and
    // `added` came in: rebuilt from the stored names when the drive keeps them, else
    // merged and marked incomplete when it may miss files it never saw.
    void UpdateRanking(const std::vector<RankEntry>& gone, const std::vector<RankEntry>& added);
    void RemoveRankEntries(const std::string& strFolderPrefix, std::vector<RankEntry>& gone);
    // Puts the freshly read subtree `sub` (its first record is rec's new state) in
    // place of rec's subtree at list position pos.
    void Splice(FolderRecord& rec, std::size_t pos, DriveReport& sub);

    DriveReport& m_drive;
};

// One name that Find matched.
struct FindHit {
    char cDrive = 0;
    int nFolderPos = -1;  // position of the folder (the matched folder, or the file's folder)
    int nFileIndex = -1;  // index in the folder's stored files; -1 when the folder matched
    std::int64_t nSize = 0; // the folder's space with subs, or the file's size
};

struct FindQuery {
    std::string strPattern;   // a substring, or a shell pattern (* ? [...]) when bPattern
    bool bPattern = false;    // set automatically by MakeFindQuery when the text has * ? [
    bool bMatchCase = false;  // ASCII letters compared without case unless set
};

// A query from what the user typed: a shell pattern when the text has '*', '?' or '['.
FindQuery MakeFindQuery(std::string text, bool bMatchCase);

// True when `name` matches the query (a pattern must match the whole name).
bool MatchesName(const FindQuery& query, std::string_view name);

// Every folder name (the root excluded) and stored file name of `drives` that matches,
// largest first (ties in report order), at most nMaxHits of them; *pTotal receives the
// number of matches before the cut.
std::vector<FindHit> FindNames(const std::vector<const DriveReport*>& drives, const FindQuery& query,
                               std::size_t nMaxHits, std::size_t* pTotal = nullptr);

} // namespace tvl
