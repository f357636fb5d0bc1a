// tovaline-cli run in the test's own process (only the CLI's tests link the CLI).
#pragma once

#include "format_support.h"

#include <string>
#include <vector>

namespace tvl::test {

// Its exit status and what it wrote.
struct CliRun {
    int code;
    std::string out, err;
};
CliRun RunCli(const std::vector<std::string>& args);

} // namespace tvl::test
