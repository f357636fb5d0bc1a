// The commands of tovaline-cli, callable from tests.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tvl::cli {

enum ExitCode { kOk = 0, kFailed = 1, kUsage = 2 };

// Runs the command line; output to out, messages and progress to err. When err is a
// terminal (errIsTerminal), the scan shows its steps on one updating line.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal);
int Run(int argc, char** argv);

} // namespace tvl::cli
