// The commands of tovaline-cli (drives, scan, show), callable from tests.
#pragma once

#include "CommandLine.h"

#include <functional>

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

// How `scan` reads, for a program that runs it with other processes (tovaline-mpi).
struct ScanHooks {
    struct Reading {
        IFileSystem* fs = nullptr; // null: this process does not scan
        int nThreads = 0;          // the walk's threads (ScanEnvironment::nThreads)
    };
    // Called once the command line and the drives are checked, before anything is
    // read, with the drive's directory ("" unless exactly one drive is scanned), the
    // scan options and --threads. Returns what the walk reads with; with a null file
    // system scan returns `exitCode` at once.
    std::function<Reading(const std::string& directory, const tvl::ScanOptions& options, int threads, int& exitCode)>
        begin;
    // Called when the scan is over, whether it made a report or not, before anything
    // is written or printed.
    std::function<void(ReportDocument& doc)> scanned;
};
// Hooks for every later scan command of this process; null for none (tovaline-cli).
void SetScanHooks(ScanHooks* hooks);

// The declarations of the commands (see CommandLine.h).
CommandAction DeclareDrivesCommand(CLI::App& command);
CommandAction DeclareScanCommand(CLI::App& command);
CommandAction DeclareShowCommand(CLI::App& command);

} // namespace tvl::cli
