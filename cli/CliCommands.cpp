#include "CliCommands.h"

#include "DriveMap.h"
#include "FileSystem.h"
#include "Interrupt.h"
#include "MessagePump.h"
#include "ReportDocument.h"
#include "ReportText.h"
#include "TerminalProgress.h"

#include <charconv>
#include <cstdio>
#include <iostream>
#include <optional>
#include <unistd.h>

namespace tvl::cli {

namespace {

const char* const kHelp = R"HELP(Usage:
  tovaline-cli drives [-d L=DIR]...
  tovaline-cli scan [-r N | --no-ranking] [-f] [--threads N] [--skip-hidden] [--count-links]
                   [--disc-usage] [--exclude PATTERN]... [-d L=DIR]... [-o FILE] LETTER...
  tovaline-cli show [--json] FILE
  tovaline-cli --help

Tovaline measures how the space of drives is used, folder by folder.

Drives are the letters C to Z, each standing for a directory. The map comes from
  -d L=DIR            map drive letter L to directory DIR (repeatable; when given,
                      only these letters are mapped);
  TOVALINE_DRIVES     otherwise this environment variable, e.g. "C=/srv;D=/home/me";
  automatic           otherwise C is "/", and D, E, ... are the other mounted
                      block-device file systems in mount-point order.
A drive is available when its directory exists and is a directory.

Commands:
  drives              list the letters, their directories and availability.
  scan LETTER...      create a report of the given drives (letters with or without a
                      colon, any case; scanned once each in ascending order) and print
                      it: each drive's folders in path order, indented by level, with
                      "Space (with subs)", "% of parent folder", "% of disc" and
                      "Space (w/o subs)", then the rankings of the largest files.
    -r N              rank the N largest files (1 to 1000, default 100)
    --no-ranking      make no ranking
    -f                store the file names of every folder in the report
    --skip-hidden     leave out folders whose names begin with "." (with everything
                      below them); by default they are scanned like any other
    --count-links     count every name of a file with several hard links; by default
                      such a file counts once, under the first name the walk meets
                      (later names are listed with their size but add nothing)
    --disc-usage      count each file with the space allocated to it on disc
                      (st_blocks x 512) instead of its length
    --exclude PATTERN leave out folders matching the shell pattern PATTERN, with
                      everything below them (repeatable); a pattern with '/' is
                      matched against the folder's path relative to the drive's
                      directory ("var/cache"), otherwise against its name ("*.tmp")
    --threads N       read directories with N threads (1 to 256; default one per
                      core; 1 walks the tree sequentially)
    -o FILE           write the report to FILE (a .tvl report) instead of printing it;
                      an existing FILE is replaced only once the new one is complete
  show FILE           read the report file FILE and print it as scan does
    --json            print it as JSON instead: {version, ranking, totalFolders,
                      drives: [{drive, storeFileNames, folders: [{path, level,
                      spaceWithoutSubs, spaceWithSubs, percentOfParent, percentOfDisc,
                      files: [{name, size}]}], ranking: [{name, location, size}]}],
                      rankingAll}; names as UTF-8, invalid bytes as U+FFFD, -1 for a
                      share without value

Symbolic links are never followed and count with their own size; directories on
another file system than their drive's are recorded but not entered.

Progress is shown on stderr when it is a terminal; messages go to stderr as
"CAPTION: TEXT". Ctrl+C during a scan stops it: no report is printed or written
(an existing -o FILE stays as it was) and the exit status is 130. Exit status:
0 success, 1 a report could not be created, written or read, 2 usage error,
130 interrupted.
)HELP";

class StreamMessageSink final : public IMessageSink {
public:
    explicit StreamMessageSink(std::ostream& err) : m_err(err) {}
    void ShowMessage(const std::string& caption, const std::string& text, MessageIcon) override
    {
        m_err << caption << ": " << text << "\n";
        m_err.flush();
    }

private:
    std::ostream& m_err;
};

int Usage(std::ostream& err, const std::string& problem)
{
    err << "tovaline-cli: " << problem << "\n"
        << "Try 'tovaline-cli --help' for more information.\n";
    return kUsage;
}

struct DriveOptions {
    std::optional<DriveMap> explicitMap;
};

// Handles -d L=DIR at args[i]; returns false (after the usage message) on a bad one.
bool TakeDriveOption(const std::vector<std::string>& args, std::size_t& i, DriveOptions& d, std::ostream& err,
                     int& exitCode)
{
    if (i + 1 >= args.size()) {
        exitCode = Usage(err, "option -d needs an argument L=DIR");
        return false;
    }
    std::string error;
    auto one = DriveMap::FromAssignments(args[++i], &error);
    if (!one || one->MappedLetters().size() != 1) {
        exitCode = Usage(err, error.empty() ? "bad drive assignment '" + args[i] + "'" : error);
        return false;
    }
    if (!d.explicitMap)
        d.explicitMap = DriveMap();
    const char letter = one->MappedLetters().front();
    d.explicitMap->Set(letter, one->Directory(letter));
    return true;
}

DriveMap ResolveDriveMap(const DriveOptions& d, std::ostream& err)
{
    if (d.explicitMap)
        return *d.explicitMap;
    std::string error;
    DriveMap map = DriveMap::FromEnvironment(&error);
    if (!error.empty())
        err << "tovaline-cli: TOVALINE_DRIVES: " << error << "; using the mounted file systems\n";
    return map;
}

int Drives(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    DriveOptions d;
    for (std::size_t i = 1; i < args.size(); ++i) {
        int code = kOk;
        if (args[i] == "-d") {
            if (!TakeDriveOption(args, i, d, err, code))
                return code;
        } else {
            return Usage(err, "unexpected argument '" + args[i] + "' for drives");
        }
    }
    DriveMap map = ResolveDriveMap(d, err);
    for (char l : map.MappedLetters())
        out << l << ":  " << map.Directory(l) << "  " << (map.IsAvailable(l) ? "available" : "not available")
            << "\n";
    return kOk;
}

std::optional<int> ParseCount(const std::string& s)
{
    int v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size())
        return std::nullopt;
    return v;
}

int Scan(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal)
{
    DriveOptions d;
    NewReportOptions options;
    std::string outputFile;
    int threads = 0; // one per core
    bool rankingGiven = false, noRanking = false;
    std::vector<std::string> letters;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        int code = kOk;
        if (a == "-d") {
            if (!TakeDriveOption(args, i, d, err, code))
                return code;
        } else if (a == "-r") {
            if (i + 1 >= args.size())
                return Usage(err, "option -r needs a count from 1 to 1000");
            auto n = ParseCount(args[++i]);
            if (!n)
                return Usage(err, "the ranking count '" + args[i] + "' is not a number");
            if (*n < 1 || *n > 1000)
                return Usage(err, "the ranking count must be from 1 to 1000, not " + args[i]);
            options.nRankingSize = static_cast<unsigned>(*n);
            rankingGiven = true;
        } else if (a == "--no-ranking") {
            noRanking = true;
        } else if (a == "-f") {
            options.bStoreFileNames = true;
        } else if (a == "--skip-hidden") {
            options.scan.bSkipHidden = true;
        } else if (a == "--count-links") {
            options.scan.bCountLinksOnce = false;
        } else if (a == "--disc-usage") {
            options.scan.bDiscUsage = true;
        } else if (a == "--exclude") {
            if (i + 1 >= args.size())
                return Usage(err, "option --exclude needs a pattern");
            if (std::string problem = CheckExcludePattern(args[++i]); !problem.empty())
                return Usage(err, problem);
            options.scan.excludes.push_back(NormalizeExcludePattern(args[i]));
        } else if (a == "--threads") {
            if (i + 1 >= args.size())
                return Usage(err, "option --threads needs a count from 1 to 256");
            auto n = ParseCount(args[++i]);
            if (!n)
                return Usage(err, "the thread count '" + args[i] + "' is not a number");
            if (*n < 1 || *n > 256)
                return Usage(err, "the thread count must be from 1 to 256, not " + args[i]);
            threads = *n;
        } else if (a == "-o") {
            if (i + 1 >= args.size())
                return Usage(err, "option -o needs a file name");
            outputFile = args[++i];
        } else if (!a.empty() && a[0] == '-') {
            return Usage(err, "unknown option '" + a + "'");
        } else {
            letters.push_back(a);
        }
    }
    if (rankingGiven && noRanking)
        return Usage(err, "-r and --no-ranking exclude each other");
    options.bRanking = !noRanking;
    if (letters.empty())
        return Usage(err, "scan needs at least one drive letter");

    DriveMap map = ResolveDriveMap(d, err);
    bool marked[26] = {};
    for (const std::string& l : letters) {
        const bool shapeOk = l.size() == 1 || (l.size() == 2 && l[1] == ':');
        const char letter = shapeOk ? NormalizeDriveLetter(l[0]) : 0;
        if (!letter)
            return Usage(err, "'" + l + "' is not a drive letter from C to Z");
        if (!map.IsMapped(letter))
            return Usage(err, std::string("drive ") + letter + ": is not mapped to a directory");
        if (!map.IsAvailable(letter))
            return Usage(err, std::string("drive ") + letter + ": (" + map.Directory(letter) + ") is not available");
        marked[letter - 'A'] = true;
    }
    for (char l = 'C'; l <= 'Z'; ++l)
        if (marked[l - 'A'])
            options.strDrives += l;

    StreamMessageSink messages(err);
    NullStepProgress quiet;
    TerminalStepProgress terminal(stderr);
    MessagePump pump;
    ScanEnvironment env{RealFileSystem(), map, errIsTerminal ? static_cast<IStepProgress&>(terminal) : quiet,
                        messages, pump};
    env.nThreads = threads;
    ReportDocument doc(env);
    {
        // Ctrl+C stops the scan at its next pump; nothing is written then.
        InterruptGuard interrupt;
        pump.WatchStopFlag(InterruptGuard::Flag());
        const bool made = doc.CreateReports(options);
        if (interrupt.Interrupted()) {
            err << "tovaline-cli: interrupted; nothing was written\n";
            return kInterrupted;
        }
        if (!made)
            return kFailed;
        if (!outputFile.empty())
            return doc.OnSaveDocument(outputFile) ? kOk : kFailed;
    }
    PrintReportText(out, doc);
    return kOk;
}

int Show(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    bool json = false;
    std::string file;
    bool haveFile = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--json") {
            json = true;
        } else if (haveFile) {
            return Usage(err, "show takes one report file");
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return Usage(err, "unknown option '" + a + "'");
        } else {
            file = a == "-" ? "/dev/stdin" : a;
            haveFile = true;
        }
    }
    if (!haveFile)
        return Usage(err, "show needs a report file");

    StreamMessageSink messages(err);
    NullStepProgress quiet;
    MessagePump pump;
    DriveMap noDrives;
    ScanEnvironment env{RealFileSystem(), noDrives, quiet, messages, pump};
    ReportDocument doc(env);
    if (!doc.OnOpenDocument(file))
        return kFailed;
    if (json)
        PrintReportJson(out, doc);
    else
        PrintReportText(out, doc);
    return kOk;
}

} // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal)
{
    if (args.empty())
        return Usage(err, "a command is needed (drives, scan, show)");
    const std::string& cmd = args[0];
    if (cmd == "--help" || cmd == "-h" || cmd == "help") {
        out << kHelp;
        return kOk;
    }
    if (cmd == "drives")
        return Drives(args, out, err);
    if (cmd == "scan")
        return Scan(args, out, err, errIsTerminal);
    if (cmd == "show")
        return Show(args, out, err);
    return Usage(err, "unknown command '" + cmd + "'");
}

int Run(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    return Run(args, std::cout, std::cerr, ::isatty(STDERR_FILENO) != 0);
}

} // namespace tvl::cli
