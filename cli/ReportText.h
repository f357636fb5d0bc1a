// The report as plain text, the way tovaline-cli prints it: each drive's folders in
// list order, indented by level, with the five columns of the folder view, then the
// rankings.
#pragma once

#include "ReportDocument.h"

#include <ostream>

namespace tvl {

// Prints the shown content of the document (every folder, whatever its display flags).
void PrintReportText(std::ostream& out, const ReportDocument& doc);

// Prints the document as one JSON object with the keys version, ranking, totalFolders,
// drives[{drive, storeFileNames, folders[{path, level, spaceWithoutSubs, spaceWithSubs,
// percentOfParent, percentOfDisc, files[{name, size}]}], ranking[{name, location,
// size}]}] and rankingAll. Byte strings become UTF-8 with each invalid byte replaced
// by U+FFFD; shares without value stay -1, values that are no number print as null.
void PrintReportJson(std::ostream& out, const ReportDocument& doc);

// A byte string as a JSON string literal (quotes included), as PrintReportJson writes it.
std::string JsonString(const std::string& bytes);

} // namespace tvl
