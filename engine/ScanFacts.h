// What a report knows about how it was measured: the scan's own facts (program, host,
// start and end, complete or stopped) and each drive's (the directory its letter stood
// for, the file-system type, the scan options and what the walk could not or would not
// enter). A scan records them; a report file keeps them in its extension block; every
// reuse of a report (compare, refresh, reopen) is checked against them. A report read
// from a file without that block knows none of them.
#pragma once

#include "ScanOptions.h"

#include <cstdint>
#include <string>

namespace tvl {

// The report as a whole.
struct ReportFacts {
    std::string strProgramVersion; // of the program that scanned
    std::string strHost;           // host name of the machine that scanned
    std::int64_t nStartTime = 0;   // seconds since 1970-01-01 00:00 UTC
    std::int64_t nEndTime = 0;
    bool bComplete = true;         // false: the scan was stopped before everything was read
};

// What the walk of one drive met but did not read, by folder.
struct WalkCounts {
    std::int64_t nUnreadable = 0; // could not be opened or listed (kept without content)
    std::int64_t nOtherFs = 0;    // on another file system: recorded, not entered
    std::int64_t nLeftOut = 0;    // left out with their subtree (hidden-folder option, patterns)
};

// One drive of the report.
struct DriveFacts {
    std::string strDirectory; // the directory the letter stood for, as the scan read it
    std::string strFsType;    // type of the file system holding it ("ext4"); "" unknown
    ScanOptions options;      // the options the drive was read with
    WalkCounts counts;
    int nRankingSize = 0;     // the bound of the drive's ranking (0: none), so that an edit
                              // of an opened report keeps its ranking as a scan would
};

// The program's version, as the build gives it.
const char* ProgramVersion();

// The scan options as one line of text, for showing and for naming differences:
// "apparent sizes, hidden folders read, hard links counted once, no exclusions".
std::string DescribeOptions(const ScanOptions& options);

// The first difference between two drives' options that makes their numbers differ
// in meaning, as a sentence ("one report counts apparent sizes, the other disc
// usage"), or "" when they measure alike.
std::string OptionsDifference(const ScanOptions& a, const ScanOptions& b);

// "2026-12-08 14:05:09 UTC".
std::string FormatUtc(std::int64_t nSeconds);
// A span of time in words: "3 days 4 hours", "5 minutes 2 seconds", "0 seconds".
std::string FormatDuration(std::int64_t nSeconds);

} // namespace tvl
