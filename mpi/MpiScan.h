// tovaline-mpi: the scan command of tovaline-cli, run by every process of an MPI job
// over one directory that all of them see.
//
// Process 0 records; the others read directories with SharedReaders (SharedWalk.h).
// An idle reading process asks one chosen at random for work, which gives it half of
// its waiting directories, the ones nearest the root. A reading process keeps each
// listing it read and tells process 0, which asks for listings as its walk comes to
// them (DeliveredFileSystem.h): its walk (the scan of tovaline-cli) takes them
// through a DeliveredFileSystem, so its report is the one tovaline-cli makes of the
// same tree, with the same folders in the same order, and its memory is the report's
// and a window of listings, however far the readers are ahead. Hard links are decided
// there, in walk order, as in any scan: the first name met in pre-order counts. The
// end is known at process 0, which has taken every listing when its walk ends: it
// tells the others, and all leave together through a non-blocking barrier once their
// messages are answered.
//
// A process that cannot go on (out of descriptors or memory) tells process 0, which
// says so and aborts the job; a process that dies is noticed by the MPI runtime, which
// ends the job. Either way the exit status is not 0 and no report is written.
//
// With one process there is nothing to share: it runs the scan of tovaline-cli.
#pragma once

namespace tvl {
class IFileSystem;
}

namespace tvl::mpi {

struct RunOptions {
    const char* programName = "tovaline-mpi";
    // Process 0 prints, after the run, how many directories each process read and the
    // most listings that waited for its walk at once (for the benchmark).
    bool printStats = false;
};

// The whole program: MPI_Init_thread to MPI_Finalize. Every process reads through
// `readFs` (the real file system, or one that models a slower one).
int RunMpiScan(int argc, char** argv, IFileSystem& readFs, const RunOptions& options);

} // namespace tvl::mpi
