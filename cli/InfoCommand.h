// tovaline-cli info: how a report was measured, from the scan facts it keeps.
//
//   tovaline-cli info REPORT
#pragma once

#include "CommandLine.h"

#include <iosfwd>

namespace tvl {
class ReportDocument;
}

namespace tvl::cli {

// The facts of an opened report as text: made by which program on which host, when,
// complete or not, and per drive the directory, file system, options and the folders
// not read. A report without them says so.
void PrintReportInfo(std::ostream& out, const ReportDocument& doc);

// The line `show` adds on standard error for a report whose scan was stopped.
inline constexpr const char* kMsgIncompleteReport =
    "tovaline-cli: the report is incomplete: its scan was stopped before everything was read";

CommandAction DeclareInfoCommand(CLI::App& command);

} // namespace tvl::cli
