// The report as plain text, the way tovaline-cli prints it: each drive's folders in
// list order, indented by level, with the columns of the folder view (or those chosen),
// then the rankings; the same report as JSON; and what the CLI says of folders that
// could not be read or were not entered.
#pragma once

#include "ReportDocument.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace tvl {

// A column of the folder listing, after the folder's name. The default listing has
// the first four, the folder view's columns.
enum class TextColumn : std::uint8_t {
    Size,        // "Space (with subs)"              size
    ShareParent, // "% of parent folder"             share-parent
    ShareDisc,   // "% of disc"                      share-disc
    Own,         // "Space (w/o subs)"               own
    Files,       // "Files (with subs)"              files       (folder facts)
    OwnFiles,    // "Files (w/o subs)"               own-files   (folder facts)
    Items,       // "Items (with subs)"              items       (folder facts)
    Changed,     // "Last change (UTC)"              changed     (folder facts)
    State,       // "State", as FolderStateName      state       (folder facts)
};

// How the text output shows a report. The defaults print everything in list order
// with grouped byte counts, exactly as the listing has always looked. None of this
// changes the report.
struct TextOptions {
    enum class Order { Path, Size, Files, Changed };
    int nDepth = -1;           // deepest level shown (the root is level 0); below 0: all
    Order order = Order::Path; // sub-folders of a folder in list (path) order, or by
                               // "Space (with subs)", largest first, or by "Files (with
                               // subs)", most first, or by their newest change, newest
                               // first; ties in list order
    int nTop = 0;              // above 0: at most this many of each folder's sub-folders
                               // (the largest, or the first in a --sort order other than
                               // path), then "(M more folders, X bytes)"
    bool bHuman = false;       // sizes as "1.5 GiB" instead of grouped bytes
    bool bFolders = true;      // print the folder lists
    bool bRankings = true;     // print the rankings (when the report has them)
    std::vector<TextColumn> columns; // the columns after the name; empty: the first four
    bool bOtherSize = false;   // folder and file sizes and shares in the measure the
                               // report did not rank by (needs folder facts)
    bool bMarks = false;       // a mark before each folder name: '!' could not be read,
                               // '>' another file system, '-' left out, ' ' read
};

// The name of a column as --columns takes it ("share-parent"), and the column of a
// name (false when there is none).
const char* TextColumnName(TextColumn column);
bool TextColumnOfName(const std::string& name, TextColumn& column);

// The option that needs folder facts (item counts, change times, the other size
// measure, folder states) among the options, as the user wrote it ("--other-size",
// "--columns files"), or "" when the options need none.
std::string FolderFactsOption(const TextOptions& options);

// The first drive of the document that does not hold folder facts, or null.
const DriveReport* DriveWithoutFacts(const ReportDocument& doc);

// The measure a drive's sums count, and the other one, in words: "file length",
// "space on disc".
const char* SizeKindText(SizeKind kind);

// Folders that the walk could not read or did not enter, over every drive with facts.
struct MarkedFolders {
    std::int64_t nUnreadable = 0; // no access, vanished, read error
    std::int64_t nOtherFs = 0;    // on another file system, not entered
    std::int64_t nLeftOut = 0;    // left out by the options of an import
};
MarkedFolders CountMarkedFolders(const ReportDocument& doc);
// The note of a report with unreadable or not-entered folders, as one line for stderr
// without its line end ("" when there are none): "tovaline-cli: 2 folders could not be
// read and 1 folder on another file system was not entered ('show --unreadable' lists
// them)".
std::string MarkedFoldersNote(const MarkedFolders& marked);
// Every folder that is not read in full, one line each in list order: the path, two
// spaces, its FolderStateText. Drives without folder facts have none to list.
void PrintMarkedFolders(std::ostream& out, const ReportDocument& doc);

// A time as ISO 8601 in UTC, "2026-12-08T14:05:09Z"; "" for kNoTime and for a time
// outside the years 0 to 9999 (only a damaged or crafted report holds one).
std::string IsoUtc(std::int64_t nSeconds);

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
// drives[{drive, storeFileNames, folderFacts, folders[{path, level, spaceWithoutSubs,
// spaceWithSubs, percentOfParent, percentOfDisc, files[{name, size}]}], ranking[{name,
// location, size}]}] and rankingAll. A drive with folder facts adds to each folder
// fileCount, items, newestChange (IsoUtc, null when not known), otherSpaceWithoutSubs,
// otherSpaceWithSubs and state, and to each file otherSize and change; a drive
// without them has none of these keys. Byte strings become UTF-8 with each invalid byte replaced
// by U+FFFD; shares without value stay -1, values that are no number print as null.
void PrintReportJson(std::ostream& out, const ReportDocument& doc);

// A byte string as a JSON string literal (quotes included), as PrintReportJson writes it.
std::string JsonString(const std::string& bytes);
// A double as a JSON number (shortest form that reads back the same); null when it
// is not finite.
std::string JsonNumber(double d);

} // namespace tvl
