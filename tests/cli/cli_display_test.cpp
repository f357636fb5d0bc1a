// tovaline-cli's display options on real trees, its human sizes, its usage errors and
// what it does when its output is lost.
#include "CliCommands.h"
#include "ReportText.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdio>
#include <sstream>
#include <sys/wait.h>

namespace {

struct Result {
    int code;
    std::string out, err;
};

Result Cli(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    int code = tvl::cli::Run(args, out, err, false);
    return {code, out.str(), err.str()};
}

// The folder lines of the first drive's listing (after its two header lines), up to the
// blank line that ends it, without trailing blanks.
std::vector<std::string> FolderLines(const std::string& out)
{
    std::vector<std::string> lines;
    std::istringstream in(out);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        if (++n <= 2)
            continue;
        if (line.empty())
            break;
        lines.push_back(line.substr(0, line.find("  ", line.find_first_not_of(' '))));
    }
    return lines;
}

TEST(Printable, EveryControlShowsAsOneQuestionMarkAndTextStays)
{
    const std::pair<std::string, std::string> cases[] = {
        {"plain name.txt", "plain name.txt"},
        {"f.\x1b[2J", "f.?[2J"},                       // ESC
        {"a\tb\nc\rd\x01\x1f", "a?b?c?d??"},          // C0 controls
        {"del\x7f", "del?"},                           // DEL
        {"csi\x9b" "31m", "csi?31m"},                  // the one-byte CSI
        {"c1\x80\x9f", "c1??"},                        // C1 bytes that are no UTF-8
        {"nel\xc2\x85 csi\xc2\x9b", "nel? csi?"},     // C1 code points as UTF-8
        {"caf\xc3\xa9 \xc2\xa0\xc2\xa9", "caf\xc3\xa9 \xc2\xa0\xc2\xa9"}, // U+00A0 on is text
        {"caf\xe9 \xff", "caf\xe9 \xff"},              // other invalid bytes stay as they are
        {"\xe2\x82\xac \xf0\x9f\x98\x80", "\xe2\x82\xac \xf0\x9f\x98\x80"},
        {"\xc2", "\xc2"},                               // a cut sequence is no control,
        {"\xe2\x80", "\xe2?"},                          // but a C1 byte in it is
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(tvl::Printable(in), out) << in;
}

// root: 10 bytes of its own; A 3000 (a1 1000, a2 2000); B 3000 (a tie with A); C2 500;
// D empty; Z 4000. 10510 bytes in all.
struct Tree {
    tvl::test::TempDir t;
    Tree()
    {
        t.MakeFile("own", 10);
        t.MakeFile("A/a1/f", 1000);
        t.MakeFile("A/a2/f", 2000);
        t.MakeFile("B/f", 3000);
        t.MakeFile("C2/f", 500);
        t.MakeDirs("D");
        t.MakeFile("Z/f", 4000);
    }
    Result Scan(std::vector<std::string> options) const
    {
        std::vector<std::string> args = {"scan", "-d", "C=" + t.path()};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back("C");
        return Cli(args);
    }
};

TEST(CliDisplay, DepthCutsTheTreeAtALevel)
{
    Tree tree;
    using V = std::vector<std::string>;
    Result r = tree.Scan({"--depth", "0"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(FolderLines(r.out), V{"C:"});
    EXPECT_NE(r.out.find("Drive C: (8 folders)"), std::string::npos); // the report is whole
    EXPECT_EQ(FolderLines(tree.Scan({"--depth", "1"}).out), (V{"C:", "  A", "  B", "  C2", "  D", "  Z"}));
    EXPECT_EQ(FolderLines(tree.Scan({"--depth", "2"}).out),
              (V{"C:", "  A", "    a1", "    a2", "  B", "  C2", "  D", "  Z"}));
    EXPECT_EQ(tree.Scan({"--depth", "2"}).out, tree.Scan({}).out); // nothing deeper exists
}

TEST(CliDisplay, SortBySizeKeepsTheTreeAndTiesInPathOrder)
{
    Tree tree;
    Result r = tree.Scan({"--sort", "size"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(FolderLines(r.out),
              (std::vector<std::string>{"C:", "  Z", "  A", "    a2", "    a1", "  B", "  C2", "  D"}));
    EXPECT_EQ(FolderLines(tree.Scan({"--sort", "path"}).out), FolderLines(tree.Scan({}).out));
}

TEST(CliDisplay, TopShowsTheLargestAndOneLineThatAddsUp)
{
    Tree tree;
    Result r = tree.Scan({"--top", "2", "--sort", "size"});
    ASSERT_EQ(r.code, 0) << r.err;
    // Z 4000 + A 3000 + the rest 3500 + the root's own 10 = the root's 10510.
    EXPECT_EQ(FolderLines(r.out), (std::vector<std::string>{"C:", "  Z", "  A", "    a2", "    a1",
                                                            "  (3 more folders, 3.500 bytes)"}));
    EXPECT_NE(r.out.find("10.510"), std::string::npos);
    // In path order the same two are shown, in path order.
    r = tree.Scan({"--top", "2"});
    EXPECT_EQ(FolderLines(r.out), (std::vector<std::string>{"C:", "  A", "    a1", "    a2", "  Z",
                                                            "  (3 more folders, 3.500 bytes)"}));
    r = tree.Scan({"--top", "4", "--depth", "1"});
    EXPECT_NE(r.out.find("\n  (1 more folder, 0 bytes)\n"), std::string::npos) << r.out;
    // A top as large as the folder leaves no line.
    EXPECT_EQ(tree.Scan({"--top", "5"}).out, tree.Scan({}).out);
}

TEST(CliDisplay, HumanUnitsInEveryColumnAndRanking)
{
    Tree tree;
    Result r = tree.Scan({"-h", "-r", "1"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\nC:  "), std::string::npos);
    EXPECT_NE(r.out.find("10.3 KiB"), std::string::npos); // the root with subs
    EXPECT_NE(r.out.find("10 B\n"), std::string::npos);   // its own files
    EXPECT_NE(r.out.find("3.9 KiB  f  C:\\Z\\"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("10.510"), std::string::npos);
    r = tree.Scan({"--human", "--top", "2", "--sort", "size"});
    EXPECT_NE(r.out.find("(3 more folders, 3.4 KiB)"), std::string::npos) << r.out;
}

TEST(CliDisplay, RankingsOnlyOrFoldersOnly)
{
    Tree tree;
    Result r = tree.Scan({"--rankings-only"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.find("Drive C:"), std::string::npos);
    EXPECT_NE(r.out.find("Ranking All"), std::string::npos);
    EXPECT_EQ(r.out.find("Ranking C:"), std::string::npos); // the only drive's ranking is All's
    r = tree.Scan({"--folders-only"});
    EXPECT_NE(r.out.find("Drive C:"), std::string::npos);
    EXPECT_EQ(r.out.find("Ranking"), std::string::npos);
}

TEST(CliDisplay, AllOptionsTogetherAsTheHeadlessMainJobUsesThem)
{
    Tree tree;
    Result r = tree.Scan({"--depth", "1", "--sort", "size", "--top", "2", "-h", "-r", "2"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(FolderLines(r.out), (std::vector<std::string>{"C:", "  Z", "  A", "  (3 more folders, 3.4 KiB)"}));
    EXPECT_NE(r.out.find("     2      2.9 KiB  f  C:\\B\\"), std::string::npos) << r.out;
}

TEST(CliDisplay, BadValuesAndClashesAreUsageErrors)
{
    Tree tree;
    const std::string map = "C=" + tree.t.path();
    struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"scan", "-d", map, "--depth", "-1", "C"}, "the depth must be 0 or more, not -1"},
        {{"scan", "-d", map, "--depth", "two", "C"}, "the depth 'two' is not a number"},
        {{"scan", "-d", map, "--top", "0", "C"}, "must be 1 or more, not 0"},
        {{"scan", "-d", map, "--top", "99999999999999999999", "C"}, "must be 1 or more, not 9999"},
        {{"scan", "-d", map, "C", "--top"}, "option --top needs a count"},
        {{"scan", "-d", map, "--sort", "name", "C"}, "the order must be 'path', 'size', 'files' or 'changed', not 'name'"},
        {{"scan", "-d", map, "--rankings-only", "--folders-only", "C"}, "exclude each other"},
        {{"scan", "-d", map, "--rankings-only", "--no-ranking", "C"}, "--rankings-only needs a ranking"},
        {{"scan", "-d", map, "-o", "", "C"}, "option -o needs a file name, not an empty one"},
        {{"scan", "-d", map, "-o", tree.t.Abs("r.tvl"), "-h", "C"}, "not to the file of -o"},
        {{"scan", "-d", map, "-x", "C"}, "unknown option '-x'"},
        {{"show", "--json", "--depth", "1", "r.tvl"}, "not to --json"},
        {{"show", "--columns", "size,bytes", "r.tvl"},
         "--columns: the column 'bytes' is not one of size, share-parent, share-disc, own, files, own-files, items, "
         "changed, state"},
        {{"show", "--columns", "", "r.tvl"}, "the column '' is not one of"},
        {{"show", "--unreadable", "--marks", "r.tvl"}, "--unreadable prints its own list; it cannot be combined"},
        {{"scan", "-d", map, "-o", tree.t.Abs("r.tvl"), "--other-size", "C"}, "not to the file of -o"},
        {{"show", "--csv", "", "r.tvl"}, "option --csv needs a file name"},
        {{"show", "--csv", "a.csv", "--json", "r.tvl"}, "cannot be combined"},
        {{"show", "--csv", "a.csv", "--csv-files", "a.csv", "r.tvl"}, "two different files"},
        {{"show", "r.tvl", "extra.tvl"}, "unexpected argument 'extra.tvl' for show"},
        {{"drives", "-d"}, "option -d needs an argument L=DIR"},
        {{"--bogus"}, "unknown option '--bogus'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        Result r = Cli(c.args);
        EXPECT_EQ(r.code, tvl::cli::kUsage);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        const std::string hint = c.args[0][0] == '-' ? "Try 'tovaline-cli --help'" : "Try 'tovaline-cli " + c.args[0] + " --help'";
        EXPECT_NE(r.err.find(hint), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(tree.t.Entries(), (std::vector<std::string>{"A", "B", "C2", "D", "Z", "own"})); // no r.tvl
}

TEST(CliDisplay, EachDriveOptionIsOneWholeAssignment)
{
    tvl::test::TempDir t;
    t.MakeFile("dir;with;semicolons/f", 7);
    Result r = Cli({"drives", "-d", "C=" + t.Abs("dir;with;semicolons"), "-d", "e=" + t.path()});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "C:  " + t.Abs("dir;with;semicolons") + "  available\nE:  " + t.path() + "  available\n");
    r = Cli({"scan", "-d", "C=" + t.Abs("dir;with;semicolons"), "C"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Drive C: (1 folders)"), std::string::npos);
}

TEST(CliDisplay, HelpPerCommand)
{
    for (const char* command : {"drives", "scan", "show"}) {
        SCOPED_TRACE(command);
        Result r = Cli({command, "--help"});
        EXPECT_EQ(r.code, 0);
        EXPECT_NE(r.out.find(std::string("Usage: tovaline-cli ") + command), std::string::npos) << r.out;
        EXPECT_EQ(Cli({"help", command}).out, r.out);
    }
    Result top = Cli({"-h"});
    EXPECT_EQ(top.code, 0);
    EXPECT_NE(top.out.find("TOVALINE_DRIVES"), std::string::npos);
    EXPECT_EQ(Cli({"--help"}).out, top.out);
    EXPECT_NE(Cli({"scan", "--help"}).out.find("-h,--human"), std::string::npos);
}

// Runs the real program through the shell (so that its standard output can be
// redirected); stderr is captured.
Result RunShell(const std::string& command)
{
    Result r{0, "", ""};
    FILE* p = ::popen(("(" + command + ") 2>&1").c_str(), "r");
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        r.err.append(buf.data(), n);
    const int status = ::pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

TEST(CliOutput, LostOutputIsAFailure)
{
    tvl::test::TempDir t;
    t.MakeFile("a/f", 100);
    const std::string cli = std::string("'") + TOVALINE_CLI + "'";
    const std::string map = " -d 'C=" + t.path() + "'";
    const std::string full = "tovaline-cli: cannot write output: No space left on device\n";
    Result r = RunShell(cli + " scan" + map + " C > /dev/full");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, full);
    ASSERT_EQ(RunShell(cli + " scan -f" + map + " -o '" + t.Abs("r.tvl") + "' C").code, 0);
    for (const char* show : {" show ", " show --json ", " show --csv - "}) {
        SCOPED_TRACE(show);
        r = RunShell(cli + show + "'" + t.Abs("r.tvl") + "' > /dev/full");
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err, full);
    }
    r = RunShell(cli + " show --csv /dev/full '" + t.Abs("r.tvl") + "'");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "tovaline-cli: cannot create /dev/full: The name is not a regular file; it was left as it is.\n");
    EXPECT_EQ(RunShell("test -c /dev/full").code, 0); // the device is left alone
    r = RunShell(cli + " --help > /dev/full");
    EXPECT_EQ(r.code, 1);
    // Output that arrives is success.
    EXPECT_EQ(RunShell(cli + " show '" + t.Abs("r.tvl") + "' > /dev/null").code, 0);
}

} // namespace
