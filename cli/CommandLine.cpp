#include "CommandLine.h"

#include "FileSystem.h"
#include "OutputStream.h"
#include "ReportDocument.h"
#include "TovalineVersion.h"
#include "ReportFile.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <climits>
#include <new>
#include <ostream>

namespace tvl::cli {

namespace {

const char* const kDescription = "Tovaline measures how the space of drives is used, folder by folder.";

const char* const kFooter = R"FOOTER(Hidden folders are scanned like any other (scan --skip-hidden leaves them out);
a file with several hard links counts once; symbolic links are never followed
and count with their own size; directories on another file system than their
drive's are recorded but not entered.

Progress is shown on stderr when it is a terminal; messages go to stderr as
"CAPTION: TEXT". Ctrl+C during a scan stops it without writing anything.
Exit status: 0 success, 1 a report could not be created, written or read, or
the output could not be written, 2 usage error, 130 interrupted.
See 'tovaline-cli COMMAND --help' for the options of a command.
)FOOTER";

const char* const kDriveMapHelp = R"HELP(Drives are the letters C to Z, each standing for a directory. The map comes from
  -d L=DIR            map drive letter L to directory DIR (repeatable, one whole
                      assignment each; when given, only these letters are mapped);
  TOVALINE_DRIVES     otherwise this environment variable, e.g. "C=/srv;D=/home/me";
  automatic           otherwise C is "/", and D, E, ... are the other mounted
                      block-device file systems in mount-point order.
A drive is available when its directory exists and is a directory.
)HELP";

std::string CommandNames()
{
    std::string names;
    for (const CommandEntry& c : Commands())
        names += (names.empty() ? "" : ", ") + std::string(c.name);
    return names;
}

// "help" and "help COMMAND" as the --help options.
std::vector<std::string> WithHelpCommand(std::vector<std::string> args)
{
    if (args.empty() || args[0] != "help")
        return args;
    args.erase(args.begin());
    args.resize(std::min<std::size_t>(args.size(), 1));
    args.push_back("--help");
    return args;
}

// What an option's value is, by the name its help gives it.
std::string ValueKind(const CLI::App* command, const std::string& option)
{
    const CLI::Option* o = command ? command->get_option_no_throw(option) : nullptr;
    const std::string type = o ? o->get_type_name() : std::string();
    if (type == "N")
        return "a count";
    if (type == "FILE")
        return "a file name";
    if (type == "L=DIR")
        return "an argument L=DIR";
    return "a value";
}

// The text of a parse error: CLI11's own, except for an option without its value.
std::string ParseProblem(const CLI::ParseError& e, const CLI::App* command)
{
    const std::string what = e.what();
    const std::size_t colon = what.find(": ");
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) && colon != std::string::npos &&
        what.size() >= 8 && what.compare(what.size() - 8, 8, " missing") == 0) {
        const std::string option = what.substr(0, colon);
        return "option " + option + " needs " + ValueKind(command, option);
    }
    return what;
}

// Arguments CLI11 left over: an unknown option, or a word nobody takes.
int LeftOver(std::ostream& err, const std::vector<std::string>& rest, const std::string& command)
{
    for (const std::string& a : rest) {
        if (a == "--")
            continue;
        if (a.size() > 1 && a[0] == '-')
            return Usage(err, "unknown option '" + a + "'", command);
        if (command.empty())
            return Usage(err, "unknown command '" + a + "'");
        return Usage(err, "unexpected argument '" + a + "' for " + command, command);
    }
    return kOk;
}

// Checks that everything written to io.out arrived.
int CheckOutput(CommandIo& io, int code)
{
    io.out.flush();
    if (io.out)
        return code;
    io.err << ProgramName() << ": cannot write output: " << WriteFailureReason(io.out) << "\n";
    return kFailed;
}

int ParseAndRun(const std::vector<std::string>& args, CommandIo& io)
{
    CLI::App app(kDescription, ProgramName());
    app.set_help_flag("-h,--help", "print this help and exit");
    app.set_version_flag("--version", ProgramName() + " " TOVALINE_VERSION, "print the version and exit");
    app.allow_extras();
    app.require_subcommand(0, 1);
    std::vector<std::pair<CLI::App*, CommandAction>> actions;
    for (const CommandEntry& c : Commands()) {
        CLI::App* sub = app.add_subcommand(c.name, c.summary);
        sub->set_help_flag("--help", "print the help of this command and exit");
        sub->allow_extras();
        actions.emplace_back(sub, c.declare(*sub));
    }
    app.footer(std::string(kDriveMapHelp) + "\n" + kFooter); // set last: subcommands would inherit it

    std::vector<std::string> reversed = WithHelpCommand(args);
    std::reverse(reversed.begin(), reversed.end()); // CLI11 takes the words last first
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        io.out << app.help();
        return CheckOutput(io, kOk);
    } catch (const CLI::CallForVersion& e) {
        io.out << e.what() << "\n";
        return CheckOutput(io, kOk);
    } catch (const CLI::ParseError& e) {
        const auto chosen = app.get_subcommands();
        const CLI::App* command = chosen.empty() ? nullptr : chosen.front();
        return Usage(io.err, ParseProblem(e, command), command ? command->get_name() : std::string());
    }
    if (int code = LeftOver(io.err, app.remaining(), {}))
        return code;
    for (auto& [sub, action] : actions) {
        if (!sub->parsed())
            continue;
        if (int code = LeftOver(io.err, sub->remaining(), sub->get_name()))
            return code;
        return CheckOutput(io, action(io));
    }
    return Usage(io.err, "a command is needed (" + CommandNames() + ")");
}

} // namespace

std::string& ProgramName()
{
    static std::string name = "tovaline-cli";
    return name;
}

int Usage(std::ostream& err, const std::string& problem, const std::string& command)
{
    err << ProgramName() << ": " << Printable(problem) << "\n"
        << "Try '" << ProgramName() << " " << (command.empty() ? "" : command + " ") << "--help' for more information.\n";
    return kUsage;
}

int RunCommandLine(const std::vector<std::string>& args, CommandIo& io)
{
    try {
        return ParseAndRun(args, io);
    } catch (const std::bad_alloc&) {
        io.err << ProgramName() << ": out of memory\n";
    } catch (const std::exception& e) {
        io.err << ProgramName() << ": " << e.what() << "\n";
    }
    return kFailed;
}

CLI::Option* AddCountOption(CLI::App& command, const std::string& flags, int& value, const std::string& noun,
                            int lo, int hi, const std::string& description)
{
    auto check = [noun, lo, hi](const std::string& s) -> std::string {
        long long v = 0;
        auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
        if (ec == std::errc::result_out_of_range && !s.empty() && p == s.data() + s.size())
            v = s[0] == '-' ? LLONG_MIN : LLONG_MAX;
        else if (ec != std::errc() || p != s.data() + s.size())
            return "the " + noun + " '" + s + "' is not a number";
        if (v < lo || v > hi)
            return "the " + noun + " must be " +
                   (hi == INT_MAX ? std::to_string(lo) + " or more"
                                  : "from " + std::to_string(lo) + " to " + std::to_string(hi)) +
                   ", not " + s;
        return std::string();
    };
    return command.add_option(flags, value, description)
        ->type_name("N")
        ->check(CLI::Validator(check, ""))
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

const char* DriveMapHelp()
{
    return kDriveMapHelp;
}

CLI::Option* AddDriveOption(CLI::App& command, std::vector<std::string>& assignments)
{
    auto check = [](const std::string& s) -> std::string {
        std::string error;
        return DriveMap::ParseAssignment(s, &error) ? std::string() : error;
    };
    return command.add_option("-d", assignments, "map drive letter L to directory DIR (repeatable)")
        ->type_name("L=DIR")
        ->allow_extra_args(false)
        ->check(CLI::Validator(check, ""));
}

DriveMap ResolveDriveMap(const std::vector<std::string>& assignments, std::ostream& err)
{
    if (!assignments.empty()) {
        DriveMap map;
        for (const std::string& a : assignments)
            if (auto one = DriveMap::ParseAssignment(a, nullptr))
                map.Set(one->first, one->second);
        return map;
    }
    std::string error;
    DriveMap map = DriveMap::FromEnvironment(&error);
    if (!error.empty())
        err << ProgramName() << ": TOVALINE_DRIVES: " << error << "; using the mounted file systems\n";
    return map;
}

bool DisplayOptions::AnyGiven() const
{
    return std::any_of(given.begin(), given.end(), [](const CLI::Option* o) { return o->count() > 0; });
}

void AddDisplayOptions(CLI::App& command, DisplayOptions& d)
{
    auto order = [](const std::string& s) -> std::string {
        if (s == "path" || s == "size" || s == "files" || s == "changed")
            return std::string();
        return "the order must be 'path', 'size', 'files' or 'changed', not '" + s + "'";
    };
    auto columns = [](const std::string& s) -> std::string {
        std::vector<TextColumn> parsed;
        return ParseColumns(s, parsed);
    };
    d.given = {
        AddCountOption(command, "--depth", d.text.nDepth, "depth", 0, INT_MAX,
                       "print folders down to level N only (the root is 0)"),
        command
            .add_option_function<std::string>(
                "--sort",
                [&d](const std::string& s) {
                    d.text.order = s == "size"    ? TextOptions::Order::Size
                                   : s == "files" ? TextOptions::Order::Files
                                   : s == "changed" ? TextOptions::Order::Changed
                                                    : TextOptions::Order::Path;
                },
                "sub-folders in path order (default), largest first, most files (with subs) first, or "
                "newest change first")
            ->type_name("path|size|files|changed")
            ->check(CLI::Validator(order, ""))
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast),
        AddCountOption(command, "--top", d.text.nTop, "count of sub-folders", 1, INT_MAX,
                       "print the N largest sub-folders of each folder (the first N in a --sort order other "
                       "than path), one line for the rest"),
        command.add_flag("-h,--human", d.text.bHuman, "sizes as \"1.5 GiB\" (binary units) instead of bytes"),
        command.add_flag("--rankings-only", d.rankingsOnly, "print only the rankings"),
        command.add_flag("--folders-only", d.foldersOnly, "print only the folders, no rankings"),
        command
            .add_option_function<std::string>(
                "--columns", [&d](const std::string& s) { ParseColumns(s, d.text.columns); },
                "the columns after the folder name, comma-separated, from size, share-parent, share-disc, own, "
                "files, own-files, items, changed, state (default: size,share-parent,share-disc,own)")
            ->type_name("LIST")
            ->check(CLI::Validator(columns, ""))
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast),
        command.add_flag("--other-size", d.text.bOtherSize,
                         "sizes and shares in the other measure: space on disc for a report of file lengths, "
                         "file length for one of space on disc (the rankings stay as the scan ranked)"),
        command.add_flag("--marks", d.text.bMarks,
                         "mark folders before their name: '!' could not be read, '>' on another file system "
                         "(not entered), '-' left out by the options of an import"),
    };
}

std::string ParseColumns(const std::string& list, std::vector<TextColumn>& columns)
{
    columns.clear();
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = list.find(',', start);
        const std::string name = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        TextColumn c{};
        if (!TextColumnOfName(name, c)) {
            columns.clear();
            return "the column '" + name +
                   "' is not one of size, share-parent, share-disc, own, files, own-files, items, changed, state";
        }
        columns.push_back(c);
        if (comma == std::string::npos)
            return std::string();
        start = comma + 1;
    }
}

std::string FolderFactsProblem(const ReportDocument& doc, const TextOptions& text)
{
    const std::string option = FolderFactsOption(text);
    const DriveReport* drive = option.empty() ? nullptr : DriveWithoutFacts(doc);
    if (!drive)
        return std::string();
    return NoFolderFactsProblem(option, *drive);
}

std::string NoFolderFactsProblem(const std::string& option, const DriveReport& drive)
{
    return option + " needs the folder facts (file counts, change times, the other size measure, what could not "
                    "be read), and drive " +
           DriveLetterText(drive.cDrive) +
           ": of this report has none (a report saved by an older version; a new scan has them)";
}

std::string CheckDisplayOptions(DisplayOptions& d)
{
    if (d.rankingsOnly && d.foldersOnly)
        return "--rankings-only and --folders-only exclude each other";
    d.text.bFolders = !d.rankingsOnly;
    d.text.bRankings = !d.foldersOnly;
    return std::string();
}

namespace {

// A report path as the report writes it: backslashes, a trailing one, the drive
// letter in upper case ("c:/home" gives "C:\home\"). Empty when it names no drive.
std::string NormalizeReportPath(std::string path)
{
    for (char& c : path)
        if (c == '/')
            c = '\\';
    if (path.size() < 2 || path[1] != ':')
        return {};
    const char letter = NormalizeDriveLetter(path[0]);
    if (!letter)
        return {};
    path[0] = letter;
    if (path.back() != '\\')
        path += '\\';
    return path;
}

} // namespace

FolderPlace FindReportFolder(const ReportDocument& doc, const std::string& strFolder)
{
    if (strFolder.empty()) {
        for (const auto& d : doc.m_pDriveReports)
            if (d && d->nFolders > 0)
                return {d.get(), 0};
        return {};
    }
    const std::string path = NormalizeReportPath(strFolder);
    const DriveReport* drive = path.empty() ? nullptr : doc.DriveOf(path[0]);
    if (!drive)
        return {};
    const auto& folders = drive->Folders();
    for (std::size_t i = 0; i < folders.size(); ++i)
        if (folders[i]->strPath == path)
            return {drive, static_cast<int>(i)};
    return {};
}

std::string CheckFileName(const std::string& option, const std::string& name)
{
    return name.empty() ? "option " + option + " needs a file name, not an empty one" : std::string();
}

void StreamMessageSink::ShowMessage(const std::string& caption, const std::string& text, MessageIcon)
{
    // Each line of the message through the filter of everything printed; the lines stay.
    std::string lines;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines += Printable(text.substr(start, end - start));
        if (end < text.size())
            lines += '\n';
        start = end + 1;
    }
    m_err << Printable(caption) << ": " << lines << "\n";
    m_err.flush();
}

} // namespace tvl::cli
