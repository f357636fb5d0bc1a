// tovaline-cli: the headless side of Tovaline.
//
//   tovaline-cli drives [-d L=DIR]...
//   tovaline-cli scan [-r N | --no-ranking] [-f] [-d L=DIR]... [-o FILE] [display options] LETTER...
//   tovaline-cli show [--json | --csv FILE [--csv-files FILE] | display options] FILE
//
// Exit status: 0 success, 1 a report could not be created, written or read, or the
// output was lost, 2 usage error.
#include "CliCommands.h"

int main(int argc, char** argv)
{
    return tvl::cli::Run(argc, argv);
}
