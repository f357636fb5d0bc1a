// The report as plain text, the way tovaline-cli prints it: each drive's folders in
// list order, indented by level, with the five columns of the folder view, then the
// rankings.
#pragma once

#include "ReportDocument.h"

#include <ostream>

namespace tvl {

// The name a folder row shows: the last name of its path ("C:" for the root).
std::string FolderDisplayName(const std::string& strPath);

// Prints the shown content of the document (every folder, whatever its display flags).
void PrintReportText(std::ostream& out, const ReportDocument& doc);

} // namespace tvl
