// The report as CSV (RFC 4180): one table of folders, one of stored file names.
// Fields are UTF-8 (invalid bytes become U+FFFD, as in JSON); a field holding a comma,
// a double quote, CR or LF is put in double quotes with each double quote doubled;
// lines end in CR LF. The first line names the columns.
#pragma once

#include "ReportDocument.h"

#include <ostream>
#include <string>

namespace tvl {

// One field as written.
std::string CsvField(const std::string& bytes);

// "path,level,spaceWithoutSubs,spaceWithSubs,percentOfParent,percentOfDisc,fileCount,
// items,newestChange,otherSpaceWithoutSubs,otherSpaceWithSubs,state", then one row per
// folder record of every drive in list order. Shares are written in the shortest form
// that reads back to the same double; a share without value (negative, -1 in reports
// made by a scan) or no number at all is an empty field. The last six are the folder
// facts (newestChange as IsoUtc): all six empty for a drive without them, and
// newestChange empty when not known.
void PrintFoldersCsv(std::ostream& out, const ReportDocument& doc);

// "folder,name,size,otherSize,change", then one row per stored file of every folder of
// each drive that stores file names, in list order and, within a folder, stored order.
// otherSize and change (IsoUtc) are empty for a drive without folder facts.
void PrintFilesCsv(std::ostream& out, const ReportDocument& doc);

// True when some drive of the report stores file names.
bool HasStoredFileNames(const ReportDocument& doc);

} // namespace tvl
