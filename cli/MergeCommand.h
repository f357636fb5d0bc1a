// tovaline-cli merge: reports of disjoint folders of one tree into one report of their
// common parent directory.
//
//   tovaline-cli merge -o OUT.tvl PART.tvl...
#pragma once

#include "CommandLine.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace tvl::cli {

struct MergeOptions {
    std::string strOutput;          // the report file to write
    std::vector<std::string> parts; // the report files to merge ("-": standard input)
};

// Reads the parts, merges them (ReportMerge.h) and writes the result as Save does.
// Returns kOk; kUsage when the output is one of the parts; kFailed when a part cannot
// be read, the parts cannot be merged (the reason on err) or the output cannot be
// written. Nothing is written on any failure.
int RunMerge(const MergeOptions& options, CommandIo& io);

CommandAction DeclareMergeCommand(CLI::App& command);

} // namespace tvl::cli
