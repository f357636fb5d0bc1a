// The commands of tovaline-cli (drives, scan, show), callable from tests.
#pragma once

#include "CommandLine.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace tvl::cli {

// Runs the command line (without the program name); output to out, messages and
// progress to err. When err is a terminal (errIsTerminal), the scan shows its steps on
// one updating line. Returns the exit status (see RunCommandLine).
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal);
// The program: standard output through a checked buffer, so that lost output fails.
int Run(int argc, char** argv);

// The declarations of the commands (see CommandLine.h).
CommandAction DeclareDrivesCommand(CLI::App& command);
CommandAction DeclareScanCommand(CLI::App& command);
CommandAction DeclareShowCommand(CLI::App& command);

} // namespace tvl::cli
