// Reading the JSON export of ncdu (format major version 1, any minor; plain or
// gzip-compressed) into a report, without any toolkit.
//
// The export's root becomes one drive: its name is the directory the letter stood for,
// its files count with `asize` (length) or `dsize` (space on disc) as chosen, the other
// kept as the other measure; a file with several names (`hlnkc` or `nlink` > 1, the same
// `dev` and `ino`) counts once, under the first name in the export's order, which is the
// order a scan walks; every file name is stored; the ranking is built as a scan builds
// it. A folder with `read_error` is marked unreadable (ReadError: the export does not
// say why), one `excluded` as "otherfs"/"othfs"/"kernfs" as on another file system, as
// "pattern"/"frmlnk" (or anything else) as left out. `mtime` is the change time. An
// excluded entry that is not an array is a folder without content, unless its `mode`
// says it is no directory: such a file is left out altogether. Directories' own sizes
// count nowhere, as in a scan.
//
// The export is untrusted input. It is read as a stream by nlohmann-json's SAX parser,
// which keeps no recursion of its own; the folders open at a time are an explicit
// stack. Names are raw bytes: bytes that are not UTF-8 (ncdu writes a name's bytes as
// they are) are carried through the parser reversibly. Refused with "The ncdu export is
// damaged at byte N: ..." (N counted in the uncompressed JSON): anything that is not
// JSON, the wrong shape or type, a size or time that is negative, not a whole number or
// beyond 64 bits, sizes adding up beyond 64 bits, an empty name, a name with '/', ".",
// "..", a name twice in one folder, folders nested so deeply that their paths would take
// far more memory than the export itself.
#pragma once

#include "Progress.h"
#include "ReportFile.h"

#include <string>
#include <string_view>

namespace tvl {

struct NcduImportOptions {
    bool bDiscUsage = false; // the sums count `dsize` (space on disc); else `asize`
    char cDrive = 'C';       // the drive the export's root becomes
    int nRankingSize = 100;  // the ranking's bound; 0: no ranking
    bool bOnly = false;      // Open refuses anything else ("This is not an ncdu export!")
};

inline constexpr const char* kMsgNotNcduExport = "This is not an ncdu export!";

// How many bytes of a file's start LooksLikeNcduExport wants to see.
inline constexpr std::size_t kNcduSniffBytes = 4096;

// True when `start`, the first bytes of a file, begin an ncdu export: '[' 1 ',' a minor
// version ',' '{', blanks allowed between; gzip-compressed such bytes too.
bool LooksLikeNcduExport(std::string_view start);

// Reads a whole export from `in` into one drive. On failure the result holds the
// message (caption "Open") and no drives. Never throws.
LoadedReport ImportNcduExport(ReportReader& in, const NcduImportOptions& options, ILoadProgress& progress);

} // namespace tvl
