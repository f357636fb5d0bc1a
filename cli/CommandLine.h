// The command line of tovaline-cli, parsed with CLI11, and the pieces its commands
// share. A command is one declaration function: given its CLI11 subcommand (already
// made with its name and one-line summary), it adds its options and positionals, bound
// to values it owns, and returns the action that runs once the whole line is parsed
// and valid. To add a command, write such a function and add one row to Commands()
// (in CliCommands.cpp), e.g.
//
//   CommandAction DeclareFooCommand(CLI::App& command)
//   {
//       auto o = std::make_shared<FooOptions>(); // lives as long as the action
//       command.add_option("FILE", o->file, "the report file")->required();
//       AddCountOption(command, "-n", o->count, "count", 1, 100, "how many");
//       return [o](CommandIo& io) { return RunFoo(*o, io.out, io.err); };
//   }
//
// Parse errors become usage errors (exit 2 with the hint to 'tovaline-cli foo --help');
// words and options nobody declared are refused; what the action writes to io.out is
// flushed and checked afterwards, so a command need not check its output itself.
#pragma once

#include "DriveMap.h"
#include "MessagePump.h"
#include "Messages.h"
#include "Progress.h"
#include "ReportReading.h"
#include "ReportText.h"
#include "ScanEnvironment.h"

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace tvl {
class ReportDocument;
struct DriveReport;
}

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace tvl::cli {

enum ExitCode { kOk = 0, kFailed = 1, kUsage = 2 };

// Where a command writes: out for its result, err for messages and progress. When
// errIsTerminal, the scan shows its steps on one updating line of err.
struct CommandIo {
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal;
};

// Runs a command once its line is parsed; returns its exit status. Checks that CLI11
// cannot express (values that exclude each other, drive letters) belong in the action
// and end in Usage().
using CommandAction = std::function<int(CommandIo&)>;
using CommandDeclaration = CommandAction (*)(CLI::App& command);

struct CommandEntry {
    const char* name;
    const char* summary;
    CommandDeclaration declare;
};

// The program's name in messages and help: "tovaline-cli", unless a program that runs
// these commands as its own (tovaline-mpi) sets another before parsing.
std::string& ProgramName();

// The commands, in the order the help lists them.
const std::vector<CommandEntry>& Commands();

// A usage error: "tovaline-cli: PROBLEM" and the hint to the help of the command (or
// of the program when command is empty) on err. Returns kUsage.
int Usage(std::ostream& err, const std::string& problem, const std::string& command = {});

// Parses args (without the program name) and runs the chosen command. Exit status:
// kOk, kFailed when the command failed or its output to out could not be written
// ("tovaline-cli: cannot write output: REASON"; out is flushed to find out), kUsage
// on a usage error. Escaping exceptions end in a message and kFailed.
int RunCommandLine(const std::vector<std::string>& args, CommandIo& io);

// Messages of the report code (a scan, Open, Save) as "CAPTION: TEXT" lines on a
// stream, the command line's stand-in for message boxes.
class StreamMessageSink final : public IMessageSink {
public:
    explicit StreamMessageSink(std::ostream& err) : m_err(err) {}
    void ShowMessage(const std::string& caption, const std::string& text, MessageIcon) override;

private:
    std::ostream& m_err;
};

// What the commands that read report files need: Open's messages as lines on err, no
// progress display, no drives. The documents they read into are made on Env().
// (ReportReadingEnvironment with the messages as lines on err.)
class ReportFileEnvironment {
public:
    explicit ReportFileEnvironment(std::ostream& err) : m_messages(err), m_reading(m_messages) {}
    ScanEnvironment& Env() { return m_reading.Env(); }
    // Reads `file` ("-": standard input) into doc as Open does. False after Open's
    // message on err; doc is then empty.
    static bool Open(ReportDocument& doc, const std::string& file) { return ReportReadingEnvironment::Open(doc, file); }

private:
    StreamMessageSink m_messages;
    ReportReadingEnvironment m_reading;
};

// --- Options several commands share ---

// A count option ("-r N"): checked while parsing; an error reads "-r: the NOUN 'x' is
// not a number" or "-r: the NOUN must be from LO to HI, not x" ("LO or more" when HI
// is INT_MAX).
CLI::Option* AddCountOption(CLI::App& command, const std::string& flags, int& value, const std::string& noun,
                            int lo, int hi, const std::string& description);

// "-d L=DIR", repeatable; each occurrence is one whole assignment (';' is part of DIR).
CLI::Option* AddDriveOption(CLI::App& command, std::vector<std::string>& assignments);

// How the drive map comes about, for the help of commands that take -d.
const char* DriveMapHelp();

// The drive map of the given -d assignments (already checked), or, without any, of
// TOVALINE_DRIVES or the mounted file systems (a bad TOVALINE_DRIVES is reported on
// err and the mounts are used).
DriveMap ResolveDriveMap(const std::vector<std::string>& assignments, std::ostream& err);

// The display options of the text output: --depth, --sort, --top, -h/--human,
// --rankings-only, --folders-only, --columns, --other-size and --marks.
struct DisplayOptions {
    TextOptions text;
    bool rankingsOnly = false, foldersOnly = false;
    std::vector<CLI::Option*> given; // to tell whether any was used
    bool AnyGiven() const;
};
void AddDisplayOptions(CLI::App& command, DisplayOptions& display);

// Reads a --columns list ("size,files,state") into columns. Returns the problem text of
// a name that is no column (columns is then empty), else "".
std::string ParseColumns(const std::string& list, std::vector<TextColumn>& columns);

// The usage problem of display options that need folder facts (FolderFactsOption) on a
// report with a drive that has none, or "" when the report can show them.
std::string FolderFactsProblem(const ReportDocument& doc, const TextOptions& text);
// The problem text for an option that needs folder facts which `drive` does not hold.
std::string NoFolderFactsProblem(const std::string& option, const DriveReport& drive);

// Finishes the display options after parsing: returns the problem text of a usage
// error ("" when they are fine) and fills text.bFolders and text.bRankings.
std::string CheckDisplayOptions(DisplayOptions& display);

// The folder that a --folder option names ("C:\dir\", "c:/dir" or "D:"): its drive
// and position in the drive's folder list; without a name, the first drive's root. A
// null drive when the report holds no such folder.
struct FolderPlace {
    const DriveReport* drive = nullptr;
    int nPos = -1;
};
FolderPlace FindReportFolder(const ReportDocument& doc, const std::string& strFolder);

// A file name given to an option: the problem of an empty one, else "".
std::string CheckFileName(const std::string& option, const std::string& name);

} // namespace tvl::cli
