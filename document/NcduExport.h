// Writing a report as an ncdu JSON export (format 1.2, which ncdu 1.x reads and gdu
// too), without any toolkit.
//
// One drive is one export, rooted at the directory its letter stood for (its letter
// and a colon, "C:", when the report does not know it). Several drives go into one
// export whose synthetic root "Tovaline report" holds each drive as a sub-folder named
// by its letter ("C:"). In each folder come first the files that count, then the
// sub-folders, then the names that do not count (later names of a hard-linked file).
//
// Sizes: `asize` is a file's length, `dsize` its space on disc; a drive without folder
// facts knows only one measure and writes it as both. Folders have no size of their
// own, so an export's totals are the report's. A report keeps no inode numbers: a name
// that did not count is written with `hlnkc`, an `ino` made up for it and `nlink`,
// sharing that number with the nearest name before it (in the export's order) that
// counted and has the same two sizes, so a reader counts the file once; when there is
// no such name, it is written with both sizes 0. Totals stay exact either way.
// A drive without stored file names writes each folder's own files as one file named
// "<files>" holding their sum, in folders whose own files take any bytes.
// Marked folders: could not be read -> `read_error`, other file system -> `excluded`
// "otherfs" (the spelling ncdu reads; it writes "othfs"), left out -> `excluded`
// "pattern". `mtime` of a folder is the newest change below it, of a file its change
// time, when known.
// Names: bytes as they are, '"', '\' and control characters escaped; bytes that are
// not UTF-8 are written raw, as ncdu writes them.
#pragma once

#include "Report.h"

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace tvl {

// Writes the drives (null entries left out) to `out`. Returns "" or, for a report that
// cannot be written (a negative size: a damaged report), the message; `out` then holds
// a part of the export.
std::string WriteNcduExport(std::ostream& out, const std::vector<std::unique_ptr<DriveReport>>& drives,
                            std::int64_t nTimestamp);

} // namespace tvl
