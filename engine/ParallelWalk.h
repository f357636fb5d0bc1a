// Step 1 of the scan with a pool of worker threads.
//
// The workers read directories (listing and stat of every entry, through the
// environment's IFileSystem, whose operations must be safe to call from several threads
// at once) ahead of the calling thread. The calling thread takes the finished listings
// in depth-first pre-order, each folder's entries in listing order, and does everything
// the sequential walk does with them: it pumps messages, appends the folder records,
// shows each folder in the status line, sums the own space, offers every file to the
// ranking and keeps the file names. So the report is the one the sequential walk makes
// (same list order, same ranking with its tie rules, same sums), and the progress
// display, the messages and the stop request are handled on the calling thread only.
#pragma once

#include <string>

namespace tvl {

class DriveReport;
struct FolderRecord;
struct ScanEnvironment;

// The number of walker threads a scan uses: env.nThreads when it is above 0, otherwise
// one per core (at least 1). 1 means the sequential walk.
int WalkerThreads(const ScanEnvironment& env);

// Walks the tree below the drive root `strPath` ("C:\") with `nThreads` workers (>= 1)
// into `report`, as DriveReport::ReadFolder describes. Returns false when the root
// record cannot be created. Sets `cancelled` when the pump was asked to stop; the walk
// then ends at once, its workers stopped, the records made so far kept.
bool ParallelReadFolder(DriveReport& report, const std::string& strPath, FolderRecord* pParent, int nLevel,
                        ScanEnvironment& env, int nThreads, bool& cancelled);

} // namespace tvl
