// Step 1 of the scan: the walk over a drive.
//
// Worker threads read directories (listing and stat of every entry, through the
// environment's IFileSystem) ahead of the calling thread, which reads any directory it
// needs that no worker has taken; with one thread there are no workers and it reads
// everything: the same walk. The calling thread takes the listings in depth-first
// pre-order, each folder's entries in listing order, and does everything else: it
// pumps messages, enters the folders into the builder, shows each in the status line
// and adds its files. So the report does not depend on the number of threads, and the
// progress display, the messages and the stop request stay on the calling thread.
//
// The environment's scan options decide which directories are left out with everything
// below them (hidden ones on request, those matching exclusion patterns; "." and ".."
// always), whether a later name of a hard-linked file adds to the sums and ranking, and
// whether files count with their length or the space allocated to them. A backslash in
// a folder's name is written as '/' in its report path (PathNames.h). Directories on
// another file system are recorded but not entered; one that cannot be
// opened or read stays in the report without content. Running out of descriptors or
// memory is none of these: it fails the walk.
#pragma once

#include <string>

namespace tvl {

class ReportBuilder;
struct ScanEnvironment;
struct WalkCounts;

// The threads a scan starts reading with: env.nThreads when above 0 (the calling thread
// and env.nThreads - 1 workers), else one worker per core beside the calling thread; in
// that case the walk adds readers while the reads wait for the device (Walk.cpp).
int WalkerThreads(const ScanEnvironment& env);

enum class WalkResult {
    Complete, // every folder is in the builder, which is finished
    Stopped,  // the pump was asked to stop; the folders entered so far are there, finished
    Failed,   // out of memory or file descriptors: the report is not whole
};

// Walks the drive whose root path is `strRootPath` ("C:\") into `builder` (empty),
// from level 0. On Failed, `message` says why (nothing is shown). Never throws.
// `counts`, when given, receives the folders that could not be read, those on other
// file systems and those left out (added to what it holds).
WalkResult WalkDrive(ReportBuilder& builder, const std::string& strRootPath, ScanEnvironment& env,
                     std::string& message, WalkCounts* counts = nullptr);

// The same walk from any folder: `strFolderPath` ("C:\usr\") is entered at level
// nLevel and read with everything below it, as the drive walk would read it. Failed
// with kMsgNotMapped when the path's drive is not mapped.
WalkResult WalkFolder(ReportBuilder& builder, const std::string& strFolderPath, int nLevel, ScanEnvironment& env,
                      std::string& message, WalkCounts* counts = nullptr);

inline constexpr const char* kMsgNotMapped = "The drive of this folder is not mapped on this computer.";

} // namespace tvl
