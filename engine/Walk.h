// Step 1 of the scan: the walk over a drive.
//
// Directories are read (listing and stat of every entry, through the environment's
// IFileSystem) by a pool of worker threads ahead of the calling thread, and by the
// calling thread itself whenever it needs a directory that no worker has taken. With
// no workers (one thread) the calling thread reads everything: it is the same walk.
// The calling thread takes the listings in depth-first pre-order, each folder's
// entries in listing order, and does everything else with them: it pumps messages,
// enters each folder into the builder, shows it in the status line and adds its files
// (own space, ranking, file names). So the report does not depend on the number of
// threads, and the progress display, the messages and the stop request are handled
// on the calling thread only.
//
// Directories whose name begins with '.' are skipped with everything below them;
// directories on another file system are recorded but not entered; a directory that
// cannot be opened or read stays in the report without content. Running out of file
// descriptors or memory is none of these: the walk then waits for handles to come back
// and fails when none do, and fails at once when memory runs out.
#pragma once

#include <string>

namespace tvl {

class ReportBuilder;
struct ScanEnvironment;

// The number of threads a scan reads with: env.nThreads when it is above 0,
// otherwise one per core (at least 1).
int WalkerThreads(const ScanEnvironment& env);

enum class WalkResult {
    Complete, // every folder is in the builder
    Stopped,  // the pump was asked to stop; the folders entered so far are there
    Failed,   // out of memory or file descriptors: the report is not whole (see message)
};

// Walks the drive whose root path is `strRootPath` ("C:\"), entering its folders into
// `builder` (which must be empty) from level 0, and finishes the builder. On Failed,
// `message` says why (nothing is shown). Never throws.
WalkResult WalkDrive(ReportBuilder& builder, const std::string& strRootPath, ScanEnvironment& env,
                     std::string& message);

} // namespace tvl
