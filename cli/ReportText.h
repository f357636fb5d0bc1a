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

// Prints the document as one JSON object with the keys version, ranking, totalFolders,
// drives[{drive, storeFileNames, folders[{path, level, spaceWithoutSubs, spaceWithSubs,
// percentOfParent, percentOfDisc, files[{name, size}]}], ranking[{name, location,
// size}]}] and rankingAll. Byte strings become UTF-8 with each invalid byte replaced
// by U+FFFD; shares without value stay -1, values that are no number print as null.
void PrintReportJson(std::ostream& out, const ReportDocument& doc);

// A byte string as a JSON string literal (quotes included), as PrintReportJson writes it.
std::string JsonString(const std::string& bytes);
// A double as a JSON number (shortest form that reads back the same); null when it
// is not finite.
std::string JsonNumber(double d);

} // namespace tvl
