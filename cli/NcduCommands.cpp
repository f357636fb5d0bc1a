#include "NcduCommands.h"

#include "CommandLine.h"
#include "HostFacts.h"
#include "InfoCommand.h"
#include "NcduExport.h"
#include "NcduImport.h"
#include "OutputFile.h"
#include "ReportDocument.h"
#include "ReportText.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

namespace tvl::cli {

namespace {

struct ImportOptions {
    std::string file, output;
    std::string letter = "C";
    int ranking = 100;
    CLI::Option* rankingOption = nullptr;
    bool noRanking = false;
    bool discUsage = false;
};

int Import(ImportOptions& o, CommandIo& io)
{
    if (o.rankingOption->count() > 0 && o.noRanking)
        return Usage(io.err, "-r and --no-ranking exclude each other", "import");
    if (std::string p = CheckFileName("-o", o.output); !p.empty())
        return Usage(io.err, p, "import");
    const bool shapeOk = o.letter.size() == 1 || (o.letter.size() == 2 && o.letter[1] == ':');
    const char letter = shapeOk ? NormalizeDriveLetter(o.letter[0]) : 0;
    if (!letter)
        return Usage(io.err, "--letter: '" + o.letter + "' is not a drive letter from C to Z", "import");
    ReportFileEnvironment files(io.err);
    ReportDocument doc(files.Env());
    doc.m_ncduImport.bDiscUsage = o.discUsage;
    doc.m_ncduImport.cDrive = letter;
    doc.m_ncduImport.nRankingSize = o.noRanking ? 0 : o.ranking;
    doc.m_ncduImport.bOnly = true;
    if (!ReportFileEnvironment::Open(doc, o.file))
        return kFailed;
    return doc.OnSaveDocument(o.output) ? kOk : kFailed;
}

} // namespace

bool WriteNcduFile(const std::string& name, const ReportDocument& doc, CommandIo& io)
{
    // A damaged report (a negative size) is refused before anything is written.
    for (const auto& d : doc.m_pDriveReports)
        if (d)
            for (const FolderRecord* rec : d->Folders()) {
                bool negative = rec->nSpaceWithoutSubs < 0 || rec->nOtherWithoutSubs < 0;
                for (const FileEntry& f : rec->files)
                    negative = negative || f.nSize < 0 || f.nOtherSize < 0;
                if (negative) {
                    io.err << ProgramName() << ": the report holds a negative size; it cannot be exported\n";
                    return false;
                }
            }
    const std::int64_t when = doc.m_facts ? doc.m_facts->nEndTime : NowUtcSeconds();
    return WriteOutput(
        name, io.out, [&](std::ostream& out) { WriteNcduExport(out, doc.m_pDriveReports, when); }, io.err);
}

CommandAction DeclareImportCommand(CLI::App& command)
{
    auto o = std::make_shared<ImportOptions>();
    command.footer(
        "FILE is an ncdu JSON export (ncdu -o FILE, also gzip-compressed), recognised by its\n"
        "content. Its root becomes one drive; files count with their length (asize), or with\n"
        "the space they take on disc (dsize) with --disc-usage; the other is kept as the other\n"
        "measure. A file with several hard links counts once, under its first name. Every file\n"
        "name is stored. Open, show, diff, treemap and types read such an export directly.\n");
    command.add_flag("--disc-usage", o->discUsage,
                     "count each file with the space it takes on disc (dsize) instead of its length (asize)");
    command.add_option("--letter", o->letter, "the drive letter of the export's root (C to Z, default C)")
        ->type_name("L");
    o->rankingOption = AddCountOption(command, "-r", o->ranking, "ranking count", 1, 1000,
                                      "rank the N largest files (1 to 1000, default 100)");
    command.add_flag("--no-ranking", o->noRanking, "make no ranking");
    command.add_option("-o", o->output, "the .tvl report file to write")->type_name("REPORT")->required();
    command.add_option("FILE", o->file, "the ncdu export ('-': standard input)")->required();
    return [o](CommandIo& io) { return Import(*o, io); };
}

CommandAction DeclareExportCommand(CLI::App& command)
{
    struct ExportOptions {
        bool ncdu = false;
        std::string file, output = "-";
    };
    auto o = std::make_shared<ExportOptions>();
    command.footer(
        "Writes ncdu's JSON export format (version 1.2), which ncdu -f and gdu -f read. One\n"
        "drive is one export rooted at its directory; several drives become sub-folders \"C:\",\n"
        "\"D:\", ... of a root named \"Tovaline report\". Names that did not count (further\n"
        "hard links) share a made-up inode number with a counting name of the same sizes, or\n"
        "are written with size 0. A report without file names writes each folder's own\n"
        "files as one file named \"<files>\".\n");
    command.add_flag("--ncdu", o->ncdu, "write ncdu's JSON export format")->required();
    command.add_option("-o", o->output, "the file to write ('-', the default: standard output)")
        ->type_name("FILE");
    command.add_option("REPORT", o->file, "the report file ('-': standard input)")->required();
    return [o](CommandIo& io) {
        if (std::string p = CheckFileName("-o", o->output); !p.empty())
            return Usage(io.err, p, "export");
        ReportFileEnvironment files(io.err);
        ReportDocument doc(files.Env());
        if (!ReportFileEnvironment::Open(doc, o->file))
            return static_cast<int>(kFailed);
        if (doc.IsIncomplete())
            io.err << kMsgIncompleteReport << "\n";
        return static_cast<int>(WriteNcduFile(o->output, doc, io) ? kOk : kFailed);
    };
}

} // namespace tvl::cli
