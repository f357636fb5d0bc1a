// tovaline-cli treemap: draws the treemap of a report (or of one folder of it) into
// a PNG file, without any display.
#pragma once

#include "CommandLine.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace tvl::cli {

struct TreemapCommandOptions {
    int nWidth = 1600;
    int nHeight = 1000;
    std::string strFolder; // report path of the folder to draw ("C:\\dir\\", "C:/dir", "D:"); "" the first drive
    std::string strOutput; // the PNG file to write
    std::string strReport; // the .tvl report file to read
};

// Largest picture drawn: each side at most kMaxTreemapSide pixels and the picture at
// most kMaxTreemapPixels in all (3 bytes each are held in memory).
inline constexpr int kMaxTreemapSide = 16384;
inline constexpr long long kMaxTreemapPixels = 64LL * 1024 * 1024;

// Parses "WIDTHxHEIGHT" (decimal, 'x' or 'X'); nullopt, with a sentence in error, when
// the text is not such a size or lies outside the limits above.
std::optional<std::pair<int, int>> ParseTreemapSize(const std::string& text, std::string& error);

// Reads the report, lays out and draws the folder's subtree and writes the PNG (beside
// the target first, renamed at the end: on failure no file is left behind). Prints the
// colours' meaning to out and messages to err. Returns 0, or 1 when the report cannot
// be read, the folder is not in it or the file cannot be written.
int RunTreemap(const TreemapCommandOptions& options, std::ostream& out, std::ostream& err);

// Declares the command's options on its CLI11 subcommand and returns its action.
CommandAction DeclareTreemapCommand(CLI::App& command);

} // namespace tvl::cli
