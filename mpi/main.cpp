// tovaline-mpi: the scan shared by the processes of an MPI job (MpiScan.h).
#include "FileSystem.h"
#include "MpiScan.h"

int main(int argc, char** argv)
{
    tvl::RaiseOpenFileLimit();
    return tvl::mpi::RunMpiScan(argc, argv, tvl::RealFileSystem(), tvl::mpi::RunOptions{});
}
