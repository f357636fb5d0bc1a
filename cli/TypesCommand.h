// tovaline-cli types: what kind of files fill a folder of a report with file names.
// The types (extensions) with their files, bytes, share and largest file, most bytes
// first, then the files by size class and, where the report knows modification
// times, by age; as text, JSON or CSV.
#pragma once

#include "CommandLine.h"
#include "FileTypes.h"
#include "ReportDocument.h"

#include <iosfwd>
#include <string>

namespace tvl::cli {

struct TypesCommandOptions {
    std::string strFolder; // report path of the folder ("C:\\dir\\", "c:/dir", "D:"); "" the first drive's root
    int nRows = 20;        // types listed before "(other types)"; 0: all
    bool bJson = false;
    bool bCsv = false;
    std::string strCsv;    // the CSV file ("-": standard output)
    std::string strReport; // the .tvl report file to read
};

// What the printers need: the statistics and the report they were made of.
struct TypesResult {
    const DriveReport* drive = nullptr;
    FileTypeStats stats;
};

// The table as text: the folder and its total, one row per type (type, files, bytes,
// share, largest file; the newest change where known), "(other types)" for the rest
// beyond nRows and "(not matched to names)" where some bytes are; then the size
// classes and the age classes (or a line that the ages are not known).
void PrintTypesText(std::ostream& out, const TypesResult& r, int nRows);
// The same as one JSON object (see the command's help).
void PrintTypesJson(std::ostream& out, const TypesResult& r, int nRows);
// "type,files,bytes,percent,largestName,largestLocation,largestSize,newestChange",
// then the rows of the text table.
void PrintTypesCsv(std::ostream& out, const TypesResult& r, int nRows);

// Reads the report and prints or writes the statistics of the folder. Returns 0, or 1
// when the report cannot be read, the folder is not in it, its drive holds no file
// names or the CSV cannot be written (then no CSV file is left changed).
int RunTypes(const TypesCommandOptions& options, CommandIo& io);

CommandAction DeclareTypesCommand(CLI::App& command);

} // namespace tvl::cli
