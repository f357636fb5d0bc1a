// Reports of disjoint folders of one tree, merged into one report of their deepest
// common parent directory, with the sums, shares, counts, folder facts and ranking a
// scan of those folders as one tree gives.
//
// The merged report has one drive. Its directory is the deepest common parent of the
// parts' directories; the folders between it and each part's root are made (nothing
// there was scanned but the parts: they hold no files of their own, their state is
// "read", their newest change is the newest below them, since their own change time
// is not known), and each part's folder tree is placed below them in path order.
//
// Rules where a part cannot tell what a scan of the whole would have given:
// - Ranking: the smaller of the parts' ranking bounds (none when a part has none).
//   Each part's ranking holds its largest files, so the largest of their union are
//   those of the whole. Equal sizes keep the order of a walk that meets the parts in
//   path order of their directories (a part's own files in its own order), and at
//   the bound the files met first stay: the scan's own rule of ties.
// - File names are kept only when every part keeps them; folder facts likewise.
//   Otherwise the merged report keeps none, and a note says which part lacked them.
// - A file with hard links in two parts counts in both: a part does not know the
//   inodes of its files.
// - Drive letter: the first part's. File-system type: the parts' when they agree,
//   else unknown.
#pragma once

#include "Report.h"
#include "ScanFacts.h"

#include <memory>
#include <string>
#include <vector>

namespace tvl {

// One report to merge, as read from its file.
struct MergePart {
    std::string strName; // the file it came from, for messages
    // Its drives; the merge takes their stored files (the part is spent afterwards).
    std::vector<std::unique_ptr<DriveReport>>* pDrives = nullptr;
    const ReportFacts* pFacts = nullptr; // null: the report does not say how it was made
    bool bRanking = false;               // the report holds rankings
};

struct MergeResult {
    // Why the parts cannot be merged ("" when they were), one sentence naming the
    // part or the two parts concerned; nothing else below is set then.
    std::string strRefusal;
    // What the merged report leaves out, one sentence each (file names, folder facts,
    // a ranking bound lowered).
    std::vector<std::string> notes;
    std::unique_ptr<DriveReport> drive;
    ReportFacts facts;
    bool bRanking = false;
};

// Merges the parts (at least one). Refuses a part without scan facts, with other than
// one drive or no folder, made by a stopped scan or from a directory that is no plain
// absolute path; two parts whose directories are equal or one below the other, or
// that were measured differently (OptionsDifference); sums that do not fit.
// Throws std::bad_alloc.
MergeResult MergeReports(std::vector<MergePart>& parts);

} // namespace tvl
