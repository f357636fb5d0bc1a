#include "cli_support.h"

#include "CliCommands.h"

#include <sstream>

namespace tvl::test {

CliRun RunCli(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    const int code = cli::Run(args, out, err, false);
    return {code, out.str(), err.str()};
}

} // namespace tvl::test
