#include "CliCommands.h"
#include "test_support.h"

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Result {
    int code;
    std::string out, err;
};

Result Cli(std::vector<std::string> args)
{
    std::ostringstream out, err;
    int code = tvl::cli::Run(args, out, err, false);
    return {code, out.str(), err.str()};
}

TEST(Cli, RefusesBadInputBeforeScanningAnything)
{
    tvl::test::TempDir t;
    const std::string map = "C=" + t.path();
    struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"scan", "-d", map, "B"}, "'B' is not a drive letter from C to Z"},
        {{"scan", "-d", map, "CD"}, "'CD' is not a drive letter from C to Z"},
        {{"scan", "-d", map, "D:"}, "drive D: is not mapped to a directory"},
        {{"scan", "-d", "C=" + t.Abs("gone"), "C"}, "is not available"},
        {{"scan", "-d", map, "-r", "0", "C"}, "the ranking count must be from 1 to 1000, not 0"},
        {{"scan", "-d", map, "-r", "1001", "C"}, "the ranking count must be from 1 to 1000, not 1001"},
        {{"scan", "-d", map, "-r", "12x", "C"}, "the ranking count '12x' is not a number"},
        {{"scan", "-d", map, "-r"}, "option -r needs a count"},
        {{"scan", "-d", map, "-r", "5", "--no-ranking", "C"}, "exclude each other"},
        {{"scan", "-d", "Q", "C"}, "bad drive assignment"},
        {{"scan", "-d", map}, "scan needs at least one drive letter"},
        {{"scan", "-d", map, t.Abs("gone")}, "is not a directory"},
        {{"scan", "--bogus", "C"}, "unknown option '--bogus'"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{}, "a command is needed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        Result r = Cli(c.args);
        EXPECT_EQ(r.code, tvl::cli::kUsage);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.args.empty() || c.args[0] != "scan" ? "Try 'tovaline-cli --help'"
                                                                     : "Try 'tovaline-cli scan --help'"),
                  std::string::npos);
        EXPECT_EQ(r.out, "");
    }
}

TEST(Cli, DirectoriesAreScannedAsTheNextFreeLetters)
{
    tvl::test::TempDir t;
    t.MakeFile("one/a.txt", 300);
    t.MakeFile("C/c.txt", 1234);
    // With C mapped, the folder "one" becomes D and "./C" (a folder, not the drive) E,
    // the same folder twice only once; the drive letters keep their meaning.
    const std::string here = t.path();
    Result r = Cli({"scan", "--folders-only", "-d", "C=" + t.Abs("one"), t.Abs("C"), t.Abs("one") + "/", "C",
                    t.path() + "/./C"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Drive C: (1 folders)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Drive D: (1 folders)"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Drive E:"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1.234"), std::string::npos);
}

TEST(Cli, ScanPrintsFoldersInPathOrderThenTheRankings)
{
    tvl::test::TempDir t;
    t.MakeFile("root.txt", 100);
    t.MakeDirs("Z");
    t.MakeFile("A/a.txt", 300);
    t.MakeFile("A/B/b.txt", 1234567);
    // Letters in any case, with or without colon, repeated: each drive once, ascending.
    Result r = Cli({"scan", "-r", "2", "-d", "D=" + t.path(), "-d", "C=" + t.path(), "d:", "C", "c:"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string& o = r.out;
    const auto c = o.find("Drive C: (4 folders)");
    const auto d = o.find("Drive D: (4 folders)");
    ASSERT_NE(c, std::string::npos);
    ASSERT_NE(d, std::string::npos);
    EXPECT_LT(c, d);
    EXPECT_NE(o.find("Folder"), std::string::npos);
    EXPECT_NE(o.find("Space (with subs)  % of parent folder  % of disc      Space (w/o subs)"), std::string::npos);
    // Root row: no shares shown; A row indented once, B twice; grouped sizes.
    EXPECT_NE(o.find("\nC:   "), std::string::npos);
    EXPECT_NE(o.find("\n  A "), std::string::npos);
    EXPECT_NE(o.find("\n    B "), std::string::npos);
    EXPECT_NE(o.find("1.234.967"), std::string::npos); // root with subs
    EXPECT_NE(o.find("99.98"), std::string::npos);     // A's share of the disc
    EXPECT_LT(o.find("\n  A "), o.find("\n  Z "));
    const auto all = o.find("Ranking All");
    ASSERT_NE(all, std::string::npos);
    EXPECT_LT(d, all);
    EXPECT_NE(o.find("Ranking C:"), std::string::npos);
    EXPECT_NE(o.find("Ranking D:"), std::string::npos);
    // The combined ranking holds both drives' entries: C's first among equals.
    const auto firstB = o.find("b.txt  C:\\A\\B\\", all);
    const auto secondB = o.find("b.txt  D:\\A\\B\\", all);
    EXPECT_NE(firstB, std::string::npos);
    EXPECT_LT(firstB, secondB);
}

TEST(Cli, WithoutRankingThereAreNoRankingSections)
{
    tvl::test::TempDir t;
    t.MakeFile("f", 1);
    Result r = Cli({"scan", "--no-ranking", "-f", "-d", "C=" + t.path(), "C"});
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.out.find("Ranking"), std::string::npos);
    EXPECT_NE(r.out.find("    f  1\n"), std::string::npos); // stored file names listed
}

TEST(Cli, DrivesListsLettersDirectoriesAndAvailability)
{
    tvl::test::TempDir t;
    Result r = Cli({"drives", "-d", "E=" + t.Abs("missing"), "-d", "C=" + t.path()});
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "C:  " + t.path() + "  available\nE:  " + t.Abs("missing") + "  not available\n");
}

// Runs the real binary as an unprivileged user (the tests run as root, who reads
// everything).
Result RunAsNobody(const std::vector<std::string>& args)
{
    std::string cmd = "setpriv --reuid=65534 --regid=65534 --clear-groups " TOVALINE_CLI;
    for (const auto& a : args)
        cmd += " '" + a + "'";
    cmd += " 2>&1";
    Result r{0, "", ""};
    FILE* p = ::popen(cmd.c_str(), "r");
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        r.out.append(buf.data(), n);
    int status = ::pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

TEST(Cli, UnreadableFoldersStayInTheReportWithoutContent)
{
    if (::geteuid() != 0 || ::system("command -v setpriv >/dev/null") != 0)
        GTEST_SKIP() << "needs root and setpriv to act as an unprivileged user";
    tvl::test::TempDir t;
    ::chmod(t.path().c_str(), 0755);
    t.MakeFile("open/readable", 10);
    t.MakeFile("locked/hidden/secret", 1000);
    t.MakeFile("locked/own", 500);
    ::chmod(t.Abs("locked").c_str(), 0);

    Result r = RunAsNobody({"scan", "-d", "C=" + t.path(), "C"});
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("Drive C: (3 folders)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n  locked "), std::string::npos);
    EXPECT_EQ(r.out.find("hidden"), std::string::npos);
    EXPECT_EQ(r.out.find("secret"), std::string::npos);

    // A drive whose root cannot be read is available and scans to its root alone.
    r = RunAsNobody({"scan", "-d", "C=" + t.Abs("locked"), "C"});
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("Drive C: (1 folders)"), std::string::npos) << r.out;
}

} // namespace
