// tovaline-cli's side of the ncdu JSON export (NcduImport.h, NcduExport.h):
//
//   tovaline-cli import [--disc-usage] [--letter L] [-r N | --no-ranking] FILE -o REPORT
//   tovaline-cli export --ncdu [-o FILE] REPORT
//
// and the export that 'scan --ncdu FILE' writes.
#pragma once

#include "CommandLine.h"

#include <string>

namespace tvl {
class ReportDocument;
}

namespace tvl::cli {

CommandAction DeclareImportCommand(CLI::App& command);
CommandAction DeclareExportCommand(CLI::App& command);

// Writes the document as an ncdu export to `name` ("-": io.out) as WriteOutput does.
// False after a message on io.err; no part of the file is left then.
bool WriteNcduFile(const std::string& name, const ReportDocument& doc, CommandIo& io);

} // namespace tvl::cli
