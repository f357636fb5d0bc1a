// tovaline-mpi over a modelled remote file system, for bench/bench-mpi.sh:
//
//   mpirun -np N tvl-bench-mpi-scan --latency OPEN,LIST,STAT scan [options] DIR
//
// OPEN, LIST and STAT are the microseconds each open, each listing and each entry's
// stat waits (LatencyFileSystem.h). Process 0 prints how many directories each process
// read and the most listings that waited for the walk at once.
#include "FileSystem.h"
#include "LatencyFileSystem.h"
#include "MpiScan.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    tvl::Latency latency;
    std::vector<char*> args(argv, argv + argc);
    if (args.size() > 2 && std::strcmp(args[1], "--latency") == 0) {
        long o = 0, l = 0, s = 0;
        if (std::sscanf(args[2], "%ld,%ld,%ld", &o, &l, &s) != 3 || o < 0 || l < 0 || s < 0) {
            std::fprintf(stderr, "tvl-bench-mpi-scan: --latency needs OPEN,LIST,STAT in microseconds\n");
            return 2;
        }
        latency = {std::chrono::microseconds(o), std::chrono::microseconds(l), std::chrono::microseconds(s)};
        args.erase(args.begin() + 1, args.begin() + 3);
    }
    tvl::RaiseOpenFileLimit();
    tvl::LatencyFileSystem fs(tvl::RealFileSystem(), latency);
    tvl::mpi::RunOptions options;
    options.programName = "tvl-bench-mpi-scan";
    options.printStats = true;
    args.push_back(nullptr);
    return tvl::mpi::RunMpiScan(static_cast<int>(args.size()) - 1, args.data(), fs, options);
}
