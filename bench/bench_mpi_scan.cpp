// tovaline-mpi over a modelled remote file system, for bench/bench-mpi.sh:
//
//   mpirun -np N tvl-bench-mpi-scan --latency OPEN,LIST,STAT scan [options] DIR
//
// OPEN, LIST and STAT are the microseconds each open, each listing and each entry's
// stat waits (LatencyFileSystem.h). Process 0 prints how many directories each process
// read and the most listings that waited for the walk at once.
//
// For the tests, --exhaust-in-process R (before or after --latency) makes process R
// find no descriptor free for any folder below the root, as a process does that runs
// out of them.
#include "FileSystem.h"
#include "LatencyFileSystem.h"
#include "MpiScan.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/prctl.h>
#include <vector>

namespace {

// Passes everything on, or finds no descriptor for any folder below the root.
class Exhausted final : public tvl::IFileSystem {
public:
    Exhausted(IFileSystem& inner, bool exhausted) : m_inner(inner), m_exhausted(exhausted) {}
    Handle OpenDir(const std::string& p) override { return m_inner.OpenDir(p); }
    Handle OpenChild(Handle h, const std::string& n) override
    {
        return m_exhausted ? kExhausted : m_inner.OpenChild(h, n);
    }
    tvl::ListStatus ReadListing(Handle h, tvl::DirListing& out) override { return m_inner.ReadListing(h, out); }
    void Close(Handle h) override { m_inner.Close(h); }
    int HandleBudget() override { return m_inner.HandleBudget(); }

private:
    IFileSystem& m_inner;
    const bool m_exhausted;
};

} // namespace

int main(int argc, char** argv)
{
    tvl::Latency latency;
    int exhausted = -1;
    std::vector<char*> args(argv, argv + argc);
    while (args.size() > 2 && args[1][0] == '-' && args[1][1] == '-') {
        if (std::strcmp(args[1], "--exhaust-in-process") == 0) {
            exhausted = std::atoi(args[2]);
        } else if (std::strcmp(args[1], "--latency") == 0) {
            long o = 0, l = 0, s = 0;
            if (std::sscanf(args[2], "%ld,%ld,%ld", &o, &l, &s) != 3 || o < 0 || l < 0 || s < 0) {
                std::fprintf(stderr, "tvl-bench-mpi-scan: --latency needs OPEN,LIST,STAT in microseconds\n");
                return 2;
            }
            latency = {std::chrono::microseconds(o), std::chrono::microseconds(l), std::chrono::microseconds(s)};
        } else {
            break;
        }
        args.erase(args.begin() + 1, args.begin() + 3);
    }
    // Sleeps as long as asked, not up to 50 us more (the threads inherit it).
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    tvl::RaiseOpenFileLimit();
    tvl::LatencyFileSystem slow(tvl::RealFileSystem(), latency);
    // mpirun tells each process its number before MPI starts.
    const char* rank = std::getenv("OMPI_COMM_WORLD_RANK");
    Exhausted fs(slow, rank && std::atoi(rank) == exhausted);
    tvl::mpi::RunOptions options;
    options.programName = "tvl-bench-mpi-scan";
    options.printStats = true;
    args.push_back(nullptr);
    return tvl::mpi::RunMpiScan(static_cast<int>(args.size()) - 1, args.data(), fs, options);
}
