// tovaline-cli diff: what changed between two report files.
//
//   tovaline-cli diff [--json] [-n N] [--min-change BYTES] OLD.tvl NEW.tvl
#pragma once

#include "CommandLine.h"

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace tvl {
struct ReportComparison;
}

namespace tvl::cli {

struct DiffOptions {
    bool bJson = false;
    std::size_t nTop = 20;        // folders listed per direction, files per list
    std::int64_t nMinChange = 0;  // smaller changes (in absolute bytes) are not listed
    std::string strBaseline;      // OLD.tvl ("-" reads standard input)
    std::string strCurrent;       // NEW.tvl
    bool bForce = false;          // compare reports measured differently, with a warning
    // Seconds between the starts of the two scans, when both reports know them (set by
    // RunDiff from the reports' scan facts).
    std::optional<std::int64_t> nSecondsBetween;
};

// Reads both reports and prints their comparison to out (text or JSON). Returns 0;
// 1 when a report cannot be read (the Open message on err, then which report it was)
// or when out cannot be written ("tovaline-cli: cannot write output: <reason>").
// Reports whose drives were measured differently (size measure, hidden folders, hard
// links, exclusions) are refused with 1 and the difference on err, unless bForce: then
// they are compared and the difference is printed as a warning. A report that does not
// know how it was measured is compared, with one line on err saying so.
int RunDiff(const DiffOptions& options, std::ostream& out, std::ostream& err);

// The comparison as text and as JSON, as RunDiff prints them. The file names are
// those given on the command line.
void PrintDiffText(std::ostream& out, const ReportComparison& rc, const DiffOptions& options);
void PrintDiffJson(std::ostream& out, const ReportComparison& rc, const DiffOptions& options);

// Declares the command's options on its CLI11 subcommand and returns its action.
CommandAction DeclareDiffCommand(CLI::App& command);

} // namespace tvl::cli
