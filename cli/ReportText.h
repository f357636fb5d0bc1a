// The report as plain text, the way tovaline-cli prints it: each drive's folders in
// list order, indented by level, with the five columns of the folder view, then the
// rankings; and the same report as JSON.
#pragma once

#include "ReportDocument.h"

#include <ostream>

namespace tvl {

// How the text output shows a report. The defaults print everything in list order
// with grouped byte counts. None of this changes the report.
struct TextOptions {
    enum class Order { Path, Size };
    int nDepth = -1;           // deepest level shown (the root is level 0); below 0: all
    Order order = Order::Path; // sub-folders of a folder in list (path) order, or by
                               // "Space (with subs)", largest first, ties in list order
    int nTop = 0;              // above 0: at most this many of each folder's largest
                               // sub-folders, then "(M more folders, X bytes)"
    bool bHuman = false;       // sizes as "1.5 GiB" instead of grouped bytes
    bool bFolders = true;      // print the folder lists
    bool bRankings = true;     // print the rankings (when the report has them)
};

// Prints the document (every folder, whatever its display flags, within the limits of
// the options). Shown folders keep their tree order: a folder comes directly before
// its shown sub-folders; a "more" line follows the shown sub-folders it stands beside.
// The rankings follow: "All", then one per drive, except when the report's only drive
// has the combined ranking itself (as every scan of one drive does).
// Works on any report a file can hold: a record whose parent does not come before it
// is printed as a top-level folder; no recursion, so any depth is fine.
void PrintReportText(std::ostream& out, const ReportDocument& doc, const TextOptions& options = {});

// The drive letter as printed: 'C'..'Z' as it is, any other byte (only a damaged or
// crafted file holds one) as "?" in text and as U+FFFD in JSON.
std::string DriveLetterText(char cDrive);

// A name or path for a line of text output, the one filter for every text the CLI
// prints from a report, the disc or the command line: each control character, which
// could break the line structure of a listing or steer the terminal, shows as one
// '?': the C0 controls (ESC among them), DEL, the C1 controls U+0080-U+009F encoded as
// UTF-8, and the bytes 0x80-0x9F where they do not belong to valid UTF-8 (the one-byte
// CSI 0x9B among them). Everything else, invalid UTF-8 included, stays as it is.
std::string Printable(const std::string& s);

// The bytes as UTF-8: well-formed sequences are kept, every byte that does not begin
// one becomes U+FFFD (as JSON strings are written).
std::string ValidUtf8(const std::string& bytes);

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
