// The scan's options at the command line: checked before anything is scanned, passed on
// to the scan, and Ctrl+C during a scan.
#include "CliCommands.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace tvl;
using namespace tvl::test;

TEST(CliScan, TheThreadCountIsChecked)
{
    TempDir t;
    t.MakeFile("a/f", 5);
    const std::string map = "C=" + t.path();
    struct {
        std::vector<std::string> args;
        const char* message;
    } bad[] = {
        {{"scan", "-d", map, "--threads", "0", "C"}, "the thread count must be from 1 to 256, not 0"},
        {{"scan", "-d", map, "--threads", "257", "C"}, "the thread count must be from 1 to 256, not 257"},
        {{"scan", "-d", map, "--threads", "two", "C"}, "the thread count 'two' is not a number"},
        {{"scan", "-d", map, "C", "--threads"}, "option --threads needs a count"},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.message);
        std::ostringstream out, err;
        EXPECT_EQ(cli::Run(c.args, out, err, false), cli::kUsage);
        EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
        EXPECT_EQ(out.str(), ""); // nothing was scanned
    }
    std::ostringstream out1, outN, err;
    EXPECT_EQ(cli::Run({"scan", "-d", map, "--threads", "1", "-f", "C"}, out1, err, false), cli::kOk);
    EXPECT_EQ(cli::Run({"scan", "-d", map, "--threads", "5", "-f", "C"}, outN, err, false), cli::kOk);
    EXPECT_EQ(out1.str(), outN.str());
    EXPECT_NE(out1.str().find("C:\\a\\"), std::string::npos);
}

// A bad --exclude pattern is refused before anything is scanned.
TEST(CliScan, ABadPatternIsRefusedBeforeAnythingIsScanned)
{
    TempDir t;
    t.MakeFile("f", 1);
    std::ostringstream out, err;
    const int code = cli::Run({"scan", "-d", "C=" + t.path(), "--exclude", "[oops", "-o", t.Abs("r.tvl"), "C"}, out,
                              err, false);
    EXPECT_EQ(code, cli::kUsage);
    EXPECT_NE(err.str().find("The pattern \"[oops\" has a '[' without its closing ']'."), std::string::npos)
        << err.str();
    EXPECT_EQ(::access(t.Abs("r.tvl").c_str(), F_OK), -1);
}

TEST(CliScan, OptionsReachTheScan)
{
    TempDir t;
    t.MakeFile(".hidden/h", 1000);
    t.MakeFile("skip/s", 100);
    t.MakeFile("a/f", 10);
    ASSERT_EQ(::link(t.Abs("a/f").c_str(), t.Abs("a/g").c_str()), 0);
    auto total = [&](std::vector<std::string> extra) {
        std::vector<std::string> args{"scan", "-d", "C=" + t.path(), "--no-ranking"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back("C");
        std::ostringstream out, err;
        EXPECT_EQ(cli::Run(args, out, err, false), cli::kOk) << err.str();
        const std::string text = out.str();
        const std::size_t line = text.find("\nC: ") + 1;
        return text.substr(line, text.find('\n', line) - line);
    };
    EXPECT_NE(total({}).find("1.110"), std::string::npos) << total({});
    EXPECT_NE(total({"--skip-hidden"}).find(" 110 "), std::string::npos) << total({"--skip-hidden"});
    EXPECT_NE(total({"--count-links"}).find("1.120"), std::string::npos);
    EXPECT_NE(total({"--exclude", "skip", "--exclude", ".hidden"}).find(" 10 "), std::string::npos);
    EXPECT_EQ(total({"--disc-usage"}).find("1.110"), std::string::npos); // whole blocks
}

// Runs tovaline-cli in a child process with stdout and stderr to files.
pid_t StartCli(const std::vector<std::string>& args, const std::string& outFile)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        std::vector<char*> argv{const_cast<char*>(TOVALINE_CLI)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(TOVALINE_CLI, argv.data());
        ::_exit(127);
    }
    return pid;
}

// True once the process has a handler for SIGINT (SigCgt in its status).
bool CatchesInterrupt(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (SIGINT - 1)) & 1;
    return false;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(CliScan, InterruptingAScanLeavesAnExistingReportAsItWas)
{
    TempDir t;
    // Enough folders that the walk is still running when the interrupt arrives.
    for (int i = 0; i < 50; ++i)
        for (int j = 0; j < 100; ++j)
            t.MakeDirs("tree/d" + std::to_string(i) + "/e" + std::to_string(j));
    t.MakeFile("tree/f", 1);
    const std::string report = t.Abs("old.tvl");
    {
        std::ostringstream out, err;
        ASSERT_EQ(cli::Run({"scan", "-d", "C=" + t.Abs("tree/d0"), "-o", report, "C"}, out, err, false), cli::kOk);
    }
    const std::string before = ReadAll(report);
    ASSERT_FALSE(before.empty());

    const pid_t pid =
        StartCli({"scan", "--threads", "1", "-d", "C=" + t.Abs("tree"), "-o", report, "C"}, t.Abs("cli.log"));
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 5000 && !CatchesInterrupt(pid); ++i)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    ::kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 130) << ReadAll(t.Abs("cli.log"));
    EXPECT_NE(ReadAll(t.Abs("cli.log")).find("interrupted; nothing was written"), std::string::npos);
    EXPECT_EQ(ReadAll(report), before);
    // No temporary file is left beside it.
    EXPECT_EQ(t.Entries(), (std::vector<std::string>{"cli.log", "old.tvl", "tree"}));
}

} // namespace
