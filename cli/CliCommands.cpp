#include "CliCommands.h"

#include "DiffCommand.h"
#include "InfoCommand.h"
#include "MergeCommand.h"
#include "NcduCommands.h"

#include "DriveMap.h"
#include "FileSystem.h"
#include "Interrupt.h"
#include "MessagePump.h"
#include "OutputFile.h"
#include "OutputStream.h"
#include "ReportCsv.h"
#include "ReportDocument.h"
#include "ReportFile.h"
#include "ReportText.h"
#include "TerminalProgress.h"
#include "TreemapCommand.h"
#include "TypesCommand.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace tvl::cli {

const std::vector<CommandEntry>& Commands()
{
    static const std::vector<CommandEntry> commands = {
        {"drives", "list the drive letters, their directories and availability", DeclareDrivesCommand},
        {"scan", "create a report of the given drives and print it (or write it with -o)", DeclareScanCommand},
        {"show", "read a report file and print it as text, JSON or CSV", DeclareShowCommand},
        {"diff", "compare two report files: what grew, what is new, what went away", DeclareDiffCommand},
        {"info", "tell how, where and when a report file was made", DeclareInfoCommand},
        {"treemap", "draw the treemap of a report file as a PNG picture", DeclareTreemapCommand},
        {"types", "what kind of files fill a folder: file types, sizes and ages", DeclareTypesCommand},
        {"import", "read an ncdu JSON export into a report file", DeclareImportCommand},
        {"export", "write a report file as an ncdu JSON export", DeclareExportCommand},
        {"merge", "merge reports of disjoint folders into one report of their common parent", DeclareMergeCommand},
    };
    return commands;
}

namespace {

// --- drives ---

int Drives(const std::vector<std::string>& assignments, CommandIo& io)
{
    DriveMap map = ResolveDriveMap(assignments, io.err);
    for (char l : map.MappedLetters())
        io.out << l << ":  " << Printable(map.Directory(l)) << "  " << (map.IsAvailable(l) ? "available" : "not available")
               << "\n";
    return kOk;
}

// The note on stderr of a report holding folders that could not be read or were not
// entered, unless the text marks them.
void NoteMarkedFolders(const ReportDocument& doc, const TextOptions& text, CommandIo& io)
{
    if (text.bMarks)
        return;
    if (const std::string note = MarkedFoldersNote(CountMarkedFolders(doc)); !note.empty())
        io.err << note << "\n";
}

// --- scan ---

struct ScanOptions {
    std::vector<std::string> drives;
    int ranking = 100;
    CLI::Option* rankingOption = nullptr;
    bool noRanking = false;
    bool storeFileNames = false;
    int threads = 0; // one per core, more while the disc keeps them waiting
    std::string outputFile;
    CLI::Option* outputOption = nullptr;
    std::string ncduFile;
    CLI::Option* ncduOption = nullptr;
    std::vector<std::string> letters;
    DisplayOptions display;
    tvl::ScanOptions scan;             // --skip-hidden, --count-links, --disc-usage
    std::vector<std::string> excludes; // --exclude, checked by ScanProblem
};

// The drive string of the letters (ascending, each once), or the usage problem. An
// argument holding a '/' is a directory: it is mapped to the next free letter.
std::string MarkDrives(const std::vector<std::string>& letters, DriveMap& map, std::string& drives)
{
    bool marked[26] = {};
    for (const std::string& l : letters) {
        if (DriveMap::IsFolderArgument(l)) {
            const char letter = map.MapFolder(l);
            if (!letter)
                return "no drive letter is free for the directory '" + l + "'";
            if (!map.IsAvailable(letter))
                return "'" + l + "' is not a directory";
            marked[letter - 'A'] = true;
            continue;
        }
        const bool shapeOk = l.size() == 1 || (l.size() == 2 && l[1] == ':');
        const char letter = shapeOk ? NormalizeDriveLetter(l[0]) : 0;
        if (!letter)
            return "'" + l + "' is not a drive letter from C to Z (a directory needs a '/', as in ./" + l + ")";
        if (!map.IsMapped(letter))
            return std::string("drive ") + letter + ": is not mapped to a directory";
        if (!map.IsAvailable(letter))
            return std::string("drive ") + letter + ": (" + map.Directory(letter) + ") is not available";
        marked[letter - 'A'] = true;
    }
    for (char l = 'C'; l <= 'Z'; ++l)
        if (marked[l - 'A'])
            drives += l;
    return std::string();
}

// Usage problems of the scan's options that CLI11 does not see.
std::string ScanProblem(ScanOptions& o)
{
    if (o.rankingOption->count() > 0 && o.noRanking)
        return "-r and --no-ranking exclude each other";
    if (o.outputOption->count() > 0) {
        if (std::string p = CheckFileName("-o", o.outputFile); !p.empty())
            return p;
        if (o.display.AnyGiven())
            return "the display options apply to the printed report, not to the file of -o";
    }
    if (o.ncduOption->count() > 0) {
        if (std::string p = CheckFileName("--ncdu", o.ncduFile); !p.empty())
            return p;
        if (o.display.AnyGiven())
            return "the display options apply to the printed report, not to the file of --ncdu";
    }
    if (std::string p = CheckDisplayOptions(o.display); !p.empty())
        return p;
    if (o.noRanking && o.display.rankingsOnly)
        return "--rankings-only needs a ranking, not --no-ranking";
    for (const std::string& pattern : o.excludes)
        if (std::string p = CheckExcludePattern(pattern); !p.empty())
            return p;
    if (o.letters.empty())
        return "scan needs at least one drive letter or directory";
    return std::string();
}

ScanHooks* g_scanHooks = nullptr;

int Scan(ScanOptions& o, CommandIo& io)
{
    if (std::string p = ScanProblem(o); !p.empty())
        return Usage(io.err, p, "scan");
    NewReportOptions options;
    options.nRankingSize = static_cast<unsigned>(o.ranking);
    options.bRanking = !o.noRanking;
    options.bStoreFileNames = o.storeFileNames;
    options.scan = o.scan;
    for (const std::string& pattern : o.excludes)
        options.scan.excludes.push_back(NormalizeExcludePattern(pattern));
    DriveMap map = ResolveDriveMap(o.drives, io.err);
    if (std::string p = MarkDrives(o.letters, map, options.strDrives); !p.empty())
        return Usage(io.err, p, "scan");

    IFileSystem* fs = &RealFileSystem();
    int threads = o.threads;
    if (g_scanHooks && g_scanHooks->begin) {
        const std::string directory = options.strDrives.size() == 1 ? map.Directory(options.strDrives[0]) : "";
        int code = kOk;
        const ScanHooks::Reading reading = g_scanHooks->begin(directory, options.scan, o.threads, code);
        if (!reading.fs)
            return code;
        fs = reading.fs;
        threads = reading.nThreads;
    }

    StreamMessageSink messages(io.err);
    NullStepProgress quiet;
    TerminalStepProgress terminal(stderr);
    MessagePump pump;
    ScanEnvironment env{*fs, map, io.errIsTerminal ? static_cast<IStepProgress&>(terminal) : quiet,
                        messages, pump};
    env.nThreads = threads;
    ReportDocument doc(env);
    {
        // Ctrl+C stops the scan at its next pump; nothing is written then.
        InterruptGuard interrupt;
        pump.WatchStopFlag(InterruptGuard::Flag());
        const bool made = doc.CreateReports(options);
        if (g_scanHooks && g_scanHooks->scanned)
            g_scanHooks->scanned(doc);
        if (interrupt.Interrupted()) {
            io.err << ProgramName() << ": interrupted; nothing was written\n";
            return kInterrupted;
        }
        if (!made)
            return kFailed;
        if (o.outputOption->count() > 0 && !doc.OnSaveDocument(o.outputFile))
            return kFailed;
        if (o.ncduOption->count() > 0 && !WriteNcduFile(o.ncduFile, doc, io))
            return kFailed;
        if (o.outputOption->count() > 0 || o.ncduOption->count() > 0) {
            NoteMarkedFolders(doc, o.display.text, io);
            return kOk;
        }
    }
    if (std::string p = FolderFactsProblem(doc, o.display.text); !p.empty())
        return Usage(io.err, p, "scan");
    NoteMarkedFolders(doc, o.display.text, io);
    PrintReportText(io.out, doc, o.display.text);
    return kOk;
}

// --- show ---

struct ShowOptions {
    bool json = false;
    bool unreadable = false;
    std::string file;
    std::string csv, csvFiles;
    CLI::Option* csvOption = nullptr;
    CLI::Option* csvFilesOption = nullptr;
    DisplayOptions display;
};

std::string ShowProblem(ShowOptions& o)
{
    const bool csv = o.csvOption->count() > 0, csvFiles = o.csvFilesOption->count() > 0;
    if (csv)
        if (std::string p = CheckFileName("--csv", o.csv); !p.empty())
            return p;
    if (csvFiles)
        if (std::string p = CheckFileName("--csv-files", o.csvFiles); !p.empty())
            return p;
    if (csv && csvFiles && o.csv == o.csvFiles)
        return "--csv and --csv-files need two different files";
    if (o.json && (csv || csvFiles))
        return "--json prints the report; it cannot be combined with --csv or --csv-files";
    if (o.unreadable && (o.json || csv || csvFiles || o.display.AnyGiven()))
        return "--unreadable prints its own list; it cannot be combined with --json, --csv, --csv-files or "
               "the display options";
    if (o.display.AnyGiven() && (o.json || csv || csvFiles))
        return "the display options apply to the printed text, not to --json, --csv or --csv-files";
    if (std::string p = CheckDisplayOptions(o.display); !p.empty())
        return p;
    if (o.file.empty())
        return "show needs a report file";
    return std::string();
}

// Writes one CSV table to name ("-": the standard output). Returns false after a
// message when it could not be written whole; then nothing of it is left on disc.
bool WriteCsv(const std::string& name, CommandIo& io, void (*print)(std::ostream&, const ReportDocument&),
              const ReportDocument& doc)
{
    return WriteOutput(name, io.out, [&](std::ostream& out) { print(out, doc); }, io.err);
}

int Show(ShowOptions& o, CommandIo& io)
{
    if (std::string p = ShowProblem(o); !p.empty())
        return Usage(io.err, p, "show");
    ReportFileEnvironment files(io.err);
    ReportDocument doc(files.Env());
    if (!ReportFileEnvironment::Open(doc, o.file))
        return kFailed;
    if (doc.IsIncomplete())
        io.err << kMsgIncompleteReport << "\n";
    if (o.unreadable) {
        if (const DriveReport* drive = DriveWithoutFacts(doc))
            return Usage(io.err, NoFolderFactsProblem("--unreadable", *drive), "show");
        PrintMarkedFolders(io.out, doc);
        return kOk;
    }
    if (std::string p = FolderFactsProblem(doc, o.display.text); !p.empty())
        return Usage(io.err, p, "show");
    NoteMarkedFolders(doc, o.display.text, io);
    const bool csv = o.csvOption->count() > 0, csvFiles = o.csvFilesOption->count() > 0;
    if (csvFiles && !HasStoredFileNames(doc)) {
        io.err << "tovaline-cli: the report holds no file names (they are kept by 'scan -f')\n";
        return kFailed;
    }
    if (csv && !WriteCsv(o.csv, io, PrintFoldersCsv, doc))
        return kFailed;
    if (csvFiles && !WriteCsv(o.csvFiles, io, PrintFilesCsv, doc))
        return kFailed;
    if (csv || csvFiles)
        return kOk;
    if (o.json)
        PrintReportJson(io.out, doc);
    else
        PrintReportText(io.out, doc, o.display.text);
    return kOk;
}

} // namespace

void SetScanHooks(ScanHooks* hooks)
{
    g_scanHooks = hooks;
}

CommandAction DeclareDrivesCommand(CLI::App& command)
{
    auto drives = std::make_shared<std::vector<std::string>>();
    command.footer(DriveMapHelp());
    AddDriveOption(command, *drives);
    return [drives](CommandIo& io) { return Drives(*drives, io); };
}

CommandAction DeclareScanCommand(CLI::App& command)
{
    auto o = std::make_shared<ScanOptions>();
    command.footer(
        "The report is printed as text: each drive's folders in path order, indented by level,\n"
        "with \"Space (with subs)\", \"% of parent folder\", \"% of disc\" and \"Space (w/o subs)\",\n"
        "then the rankings of the largest files (\"All\" and one per drive). Letters are taken\n"
        "with or without a colon, in any case; each drive is scanned once, in ascending order.\n"
        "The display options change only what is printed, never the report. --columns,\n"
        "--sort files|changed, --other-size and --marks use the folder facts a scan keeps:\n"
        "a report without them (saved by an older version) is refused with status 2.\n"
        "Folders that could not be read or lie on another file system are noted on stderr.\n"
        "A file with several hard links counts once, under the first name the walk meets;\n"
        "its other names are listed with their size but add nothing (--count-links counts\n"
        "them all). Ctrl+C stops the scan: nothing is printed or written (an existing -o\n"
        "FILE stays as it was) and the exit status is 130.\n"
        "Letters stand for directories: see 'tovaline-cli drives --help'. An argument\n"
        "holding a '/' is a directory (./C is the folder C): it is scanned as the next\n"
        "letter that is not mapped yet, and the report names it by that letter.\n");
    AddDriveOption(command, o->drives);
    o->rankingOption = AddCountOption(command, "-r", o->ranking, "ranking count", 1, 1000,
                                      "rank the N largest files (1 to 1000, default 100)");
    command.add_flag("--no-ranking", o->noRanking, "make no ranking");
    command.add_flag("-f", o->storeFileNames, "store the file names of every folder in the report");
    AddCountOption(command, "--threads", o->threads, "thread count", 1, 256,
                   "read directories with N threads (1 to 256; default: one per core, more while the disc keeps them waiting)");
    command.add_flag("--skip-hidden", o->scan.bSkipHidden,
                     "leave out folders whose names begin with \".\" (with everything below them)");
    command.add_flag_callback(
        "--count-links", [o] { o->scan.bCountLinksOnce = false; },
        "count every name of a file with several hard links (by default such a file counts once)");
    command.add_flag("--disc-usage", o->scan.bDiscUsage,
                     "count each file with the space allocated to it on disc instead of its length");
    command.add_option("--exclude", o->excludes,
                       "leave out folders matching the shell pattern (repeatable); with '/' it is "
                       "matched against the path below the drive's directory, else against the name")
        ->type_name("PATTERN")
        ->allow_extra_args(false);
    o->outputOption = command
                          .add_option("-o", o->outputFile,
                                      "write the report to the .tvl file FILE instead of printing it")
                          ->type_name("FILE");
    o->ncduOption = command
                        .add_option("--ncdu", o->ncduFile,
                                    "write the report as an ncdu JSON export to FILE ('-': standard output) instead of printing it")
                        ->type_name("FILE");
    AddDisplayOptions(command, o->display);
    command.add_option("LETTER", o->letters, "drives to scan (C to Z), or directories (holding a '/')");
    return [o](CommandIo& io) { return Scan(*o, io); };
}

CommandAction DeclareShowCommand(CLI::App& command)
{
    auto o = std::make_shared<ShowOptions>();
    command.footer(
        "--json prints {version, ranking, totalFolders, drives: [{drive, storeFileNames,\n"
        "folders: [{path, level, spaceWithoutSubs, spaceWithSubs, percentOfParent,\n"
        "percentOfDisc, files: [{name, size}]}], ranking: [{name, location, size}]}],\n"
        "rankingAll}; names as UTF-8, invalid bytes as U+FFFD, -1 for a share without value.\n"
        "A drive with folder facts (folderFacts: true) adds to each folder fileCount,\n"
        "items, newestChange (\"2026-12-08T14:05:09Z\", UTC; null when not known),\n"
        "otherSpaceWithoutSubs, otherSpaceWithSubs and state (read, no-access, vanished,\n"
        "read-error, other-fs, left-out), and to each file otherSize and change.\n"
        "--csv writes the columns path, level, spaceWithoutSubs, spaceWithSubs,\n"
        "percentOfParent, percentOfDisc (empty for a share without value), fileCount, items,\n"
        "newestChange, otherSpaceWithoutSubs, otherSpaceWithSubs, state (empty without folder\n"
        "facts); --csv-files the columns folder, name, size, otherSize, change. CSV follows\n"
        "RFC 4180 (UTF-8, CR LF line ends).\n"
        "Folders that could not be read or lie on another file system are noted on stderr\n"
        "(stdout stays as it is); --unreadable lists them, --marks marks them in the text.\n");
    command.add_flag("--json", o->json, "print the report as JSON instead of text");
    command.add_flag("--unreadable", o->unreadable,
                     "list the folders that could not be read, were not entered or were left out, "
                     "each with the reason");
    o->csvOption =
        command.add_option("--csv", o->csv, "write one CSV row per folder to FILE ('-': stdout)")
            ->type_name("FILE");
    o->csvFilesOption = command
                            .add_option("--csv-files", o->csvFiles,
                                        "write one CSV row per stored file to FILE")
                            ->type_name("FILE");
    AddDisplayOptions(command, o->display);
    command.add_option("FILE", o->file, "the report file ('-': standard input)");
    return [o](CommandIo& io) { return Show(*o, io); };
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal)
{
    CommandIo io{out, err, errIsTerminal};
    return RunCommandLine(args, io);
}

int Run(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    // Whatever escapes (memory, threads) ends the program with a message, not an abort.
    try {
        FdOutputBuf stdoutBuf(STDOUT_FILENO);
        std::ostream out(&stdoutBuf);
        std::vector<std::string> args(argv + 1, argv + argc);
        return Run(args, out, std::cerr, ::isatty(STDERR_FILENO) != 0);
    } catch (const std::bad_alloc&) {
        std::cerr << "tovaline-cli: out of memory\n";
    } catch (const std::exception& e) {
        std::cerr << "tovaline-cli: " << e.what() << "\n";
    }
    return kFailed;
}

} // namespace tvl::cli
