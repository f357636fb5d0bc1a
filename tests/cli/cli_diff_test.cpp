// tovaline-cli diff: two reports of a real tree, before and after changes, compared
// as text and as JSON with every number worked out by hand; the report against
// itself; reports that cannot be read; usage errors; output that cannot be written.
#include "CliCommands.h"
#include "DiffCommand.h"
#include "cli_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace tvl::test {
namespace {

// Before: r.txt 10, a/a1 100, a/b/b1 1000, a/b/c/c1 5, empty/, old/o1 200,
// old/sub/s1 300, ren/n1 40, keep/k1 7 (total 1662). Then a big file deep down, old/
// deleted, a/a1 grown to 150, fresh/ with 11 + 22 bytes, 9 bytes in empty/, ren/
// renamed ren2/ (total 51254).
struct TwoReports {
    TempDir dir;
    std::string before = dir.Abs("before.tvl"), after = dir.Abs("after.tvl");

    explicit TwoReports(bool storeFiles = true)
    {
        const std::string tree = dir.Abs("t");
        for (auto [rel, size] : std::vector<std::pair<std::string, int>>{{"r.txt", 10}, {"a/a1", 100},
                                                                         {"a/b/b1", 1000}, {"a/b/c/c1", 5},
                                                                         {"old/o1", 200}, {"old/sub/s1", 300},
                                                                         {"ren/n1", 40}, {"keep/k1", 7}})
            dir.MakeFile("t/" + rel, static_cast<std::uint64_t>(size));
        dir.MakeDirs("t/empty");
        Scan(tree, before, storeFiles);
        dir.MakeFile("t/a/b/c/big", 50000);
        std::filesystem::remove_all(tree + "/old");
        std::filesystem::resize_file(tree + "/a/a1", 150);
        dir.MakeFile("t/fresh/f1", 11);
        dir.MakeFile("t/fresh/f2", 22);
        dir.MakeFile("t/empty/e1", 9);
        std::filesystem::rename(tree + "/ren", tree + "/ren2");
        Scan(tree, after, storeFiles);
    }
    static void Scan(const std::string& tree, const std::string& out, bool storeFiles)
    {
        std::vector<std::string> args = {"scan", "-d", "C=" + tree, "-o", out, "C"};
        if (storeFiles)
            args.insert(args.begin() + 1, "-f");
        const CliRun r = RunCli(args);
        ASSERT_EQ(r.code, 0) << r.err;
    }
};

TEST(CliDiff, TextListsTotalsGrowthShrinkageAndLargeFilesWithHandComputedNumbers)
{
    TwoReports r;
    CliRun d = RunCli({"diff", r.before, r.after});
    ASSERT_EQ(d.code, 0) << d.err;
    EXPECT_EQ(d.err, "");
    // Both reports know when they were made: the time between them, in whole seconds.
    const std::size_t between = d.out.find("\nBetween:  ");
    ASSERT_NE(between, std::string::npos) << d.out;
    d.out.erase(between + 1, d.out.find('\n', between + 1) - between);
    // 49592 / 1662 = 2983.87 %; 50050 / 1105 = 4529.41 %; 50000 / 1005 = 4975.12 %.
    // Items (with subs), files and folders below: the root 16 before (r.txt; a with a1,
    // b, b1, c, c1; empty; old with o1, sub, s1; ren with n1; keep with k1), 17 after
    // (old's 4 gone; big, e1, fresh with f1 and f2 added; ren renamed).
    const std::string want = "Baseline: " + r.before + "\nCurrent:  " + r.after + "\n\n" +
                             "Drive  State                   Before                 After                Change     Change %       Items +/-\n"
                             "C:     grown                    1.662                51.254               +49.592     +2983.87              +1\n"
                             "\nLargest growth\n"
                             "              Before                 After                Change     Change %       Items +/-  Folder\n"
                             "               1.105                51.155               +50.050     +4529.41              +1  C:\\a\\\n"
                             "               1.005                51.005               +50.000     +4975.12              +1  C:\\a\\b\\\n"
                             "                   5                50.005               +50.000  +1000000.00              +1  C:\\a\\b\\c\\\n"
                             "               1.662                51.254               +49.592     +2983.87              +1  C:\\\n"
                             "                   0                    40                   +40          new              +1  C:\\ren2\\\n"
                             "                   0                    33                   +33          new              +2  C:\\fresh\\\n"
                             "                   0                     9                    +9                           +1  C:\\empty\\\n"
                             "\nLargest shrinkage\n"
                             "              Before                 After                Change     Change %       Items +/-  Folder\n"
                             "                 500                     0                  -500      removed              -3  C:\\old\\\n"
                             "                 300                     0                  -300      removed              -1  C:\\old\\sub\\\n"
                             "                  40                     0                   -40      removed              -1  C:\\ren\\\n"
                             "\nNew large files\n"
                             "                Size  File  Location\n"
                             "              50.000  big  C:\\a\\b\\c\\\n"
                             "                  40  n1  C:\\ren2\\\n"
                             "                  22  f2  C:\\fresh\\\n"
                             "                  11  f1  C:\\fresh\\\n"
                             "                   9  e1  C:\\empty\\\n"
                             "\nLarge files that changed size\n"
                             "              Before                 After                Change  File  Location\n"
                             "                 100                   150                   +50  a1  C:\\a\\\n";
    EXPECT_EQ(d.out, want);

    // -n and --min-change: three of each at most, nothing under 40 bytes.
    const CliRun few = RunCli({"diff", "-n", "3", "--min-change", "40", r.before, r.after});
    ASSERT_EQ(few.code, 0) << few.err;
    EXPECT_NE(few.out.find("+4975.12              +1  C:\\a\\b\\\n                   5"), std::string::npos) << few.out;
    EXPECT_EQ(few.out.find("C:\\\n"), std::string::npos) << "the fourth folder is cut by -n 3";
    EXPECT_EQ(few.out.find("C:\\empty\\"), std::string::npos);
    EXPECT_NE(few.out.find("-40      removed              -1  C:\\ren\\\n"), std::string::npos);
    EXPECT_NE(few.out.find("40  n1  C:\\ren2\\\n\nLarge files"), std::string::npos) << few.out;
    EXPECT_EQ(few.out.find("f2"), std::string::npos);
}

TEST(CliDiff, JsonHoldsTheWholeComparison)
{
    TwoReports r;
    const CliRun d = RunCli({"diff", "--json", r.before, r.after});
    ASSERT_EQ(d.code, 0) << d.err;
    const std::string& j = d.out;
    auto has = [&](const std::string& s) { return j.find(s) != std::string::npos; };
    EXPECT_TRUE(has("{\"drive\":\"C\",\"state\":\"grown\",\"before\":1662,\"after\":51254,\"change\":49592,"
                    "\"percent\":2983.87"))
        << j;
    EXPECT_TRUE(has("\"filesCompared\":true,\"rankingCompared\":true,\"itemsCompared\":true,\"itemsBefore\":16,"
                    "\"itemsAfter\":17,\"itemChange\":1,"));
    EXPECT_TRUE(has("{\"path\":\"C:\\\\a\\\\\",\"state\":\"grown\",\"before\":1105,\"after\":51155,"
                    "\"beforeWithoutSubs\":100,\"afterWithoutSubs\":150,\"change\":50050,\"percent\":4529.41"));
    EXPECT_TRUE(has("{\"path\":\"C:\\\\empty\\\\\",\"state\":\"grown\",\"before\":0,\"after\":9,"
                    "\"beforeWithoutSubs\":0,\"afterWithoutSubs\":9,\"change\":9,\"percent\":null,\"itemsBefore\":0,"
                    "\"itemsAfter\":1,\"itemChange\":1}"));
    EXPECT_TRUE(has("{\"path\":\"C:\\\\ren2\\\\\",\"state\":\"new\",\"before\":0,\"after\":40,"
                    "\"beforeWithoutSubs\":0,\"afterWithoutSubs\":40,\"change\":40,\"percent\":null,\"itemsBefore\":0,"
                    "\"itemsAfter\":1,\"itemChange\":1}"));
    EXPECT_TRUE(has("{\"path\":\"C:\\\\old\\\\sub\\\\\",\"state\":\"removed\",\"before\":300,\"after\":0,"
                    "\"beforeWithoutSubs\":300,\"afterWithoutSubs\":0,\"change\":-300,\"percent\":-100,\"itemsBefore\":1,"
                    "\"itemsAfter\":0,\"itemChange\":-1}"));
    EXPECT_FALSE(has("\"path\":\"C:\\\\keep\\\\\"")) << "unchanged folders are left out";
    EXPECT_TRUE(has("{\"folder\":\"C:\\\\a\\\\\",\"name\":\"a1\",\"state\":\"grown\",\"before\":100,\"after\":150,"
                    "\"change\":50}"));
    EXPECT_TRUE(has("{\"folder\":\"C:\\\\ren\\\\\",\"name\":\"n1\",\"state\":\"removed\",\"before\":40,\"after\":0,"
                    "\"change\":-40}"));
    EXPECT_TRUE(has("\"rankingAll\":[{\"rank\":1,\"name\":\"big\",\"location\":\"C:\\\\a\\\\b\\\\c\\\\\",\"state\":"
                    "\"new\",\"before\":0,\"size\":50000,\"change\":50000},{\"rank\":3,\"name\":\"a1\""));
    // grown and shrunk: the -n largest, largest first.
    const std::size_t grown = j.find("\"grown\":[");
    const std::size_t shrunk = j.find("\"shrunk\":[");
    ASSERT_NE(grown, std::string::npos);
    ASSERT_NE(shrunk, std::string::npos);
    EXPECT_LT(j.find("\"path\":\"C:\\\\a\\\\\"", grown), j.find("\"path\":\"C:\\\\a\\\\b\\\\\"", grown));
    EXPECT_LT(j.find("\"path\":\"C:\\\\old\\\\\"", shrunk), j.find("\"path\":\"C:\\\\ren\\\\\"", shrunk));
    EXPECT_EQ(j.back(), '\n');
}

TEST(CliDiff, AReportAgainstItselfShowsNoChange)
{
    TwoReports r(false);
    const CliRun d = RunCli({"diff", r.after, r.after});
    ASSERT_EQ(d.code, 0) << d.err;
    EXPECT_NE(d.out.find("C:     unchanged               51.254                51.254                     0        +0.00               0\n"),
              std::string::npos)
        << d.out;
    EXPECT_NE(d.out.find("Largest growth\n  (none)\n\nLargest shrinkage\n  (none)\n\nNew large files\n  (none)\n\n"
                         "Large files that changed size\n  (none)\n"),
              std::string::npos)
        << d.out;
    const CliRun j = RunCli({"diff", "--json", r.after, r.after});
    ASSERT_EQ(j.code, 0);
    EXPECT_NE(j.out.find("\"folders\":[],\n\"files\":[],\n\"ranking\":[]}],\n\"grown\":[],\n\"shrunk\":[],"),
              std::string::npos)
        << j.out;
}

TEST(CliDiff, UnreadableReportsAndUsageErrorsAreReported)
{
    TwoReports r(false);
    WriteWholeFile(r.dir.Abs("bad.tvl"), "not a report at all, but long enough");
    const CliRun bad = RunCli({"diff", r.dir.Abs("bad.tvl"), r.after});
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err, "Open: This is not a valid disc space report!\n"
                       "tovaline-cli: cannot read the baseline report " + r.dir.Abs("bad.tvl") + "\n");
    const CliRun missing = RunCli({"diff", "--json", r.before, r.dir.Abs("missing.tvl")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "Open: Cannot open file!\n"
                           "tovaline-cli: cannot read the current report " + r.dir.Abs("missing.tvl") + "\n");

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"diff"}, {"diff", r.before}, {"diff", r.before, r.after, r.after}, {"diff", "-n", r.before, r.after},
             {"diff", "-n", "-3", r.before, r.after}, {"diff", "--min-change", "1k", r.before, r.after},
             {"diff", "--min-change"}, {"diff", "--wide", r.before, r.after}, {"diff", "-", "-"}}) {
        const CliRun u = RunCli(args);
        EXPECT_EQ(u.code, 2) << args.size();
        EXPECT_EQ(u.out, "");
        EXPECT_NE(u.err.find("Try 'tovaline-cli diff --help'"), std::string::npos) << u.err;
    }
    EXPECT_NE(RunCli({"diff", "--help"}).out.find("--min-change"), std::string::npos);
}

// Crafted report files that repeat a drive letter and a folder path: the letter is
// listed once, and a folder on both sides is neither new nor removed.
TEST(CliDiff, RepeatedLettersAndPathsOfACraftedReportCountOnce)
{
    TempDir dir;
    DocFixture before, after;
    AddDrive(before.doc, 'C', false, {{"C:\\", 0, 0, 10}, {"C:\\b\\", 1, 10, 10}, {"C:\\b\\", 1, 3, 3}});
    AddDrive(before.doc, 'C', false, {{"C:\\", 0, 0, 500}, {"C:\\gone\\", 1, 500, 500}});
    AddDrive(after.doc, 'C', false, {{"C:\\", 0, 0, 12}, {"C:\\b\\", 1, 12, 12}});
    AddDrive(after.doc, 'C', false, {{"C:\\", 0, 0, 7}, {"C:\\b\\", 1, 7, 7}});
    WriteWholeFile(dir.Abs("before.tvl"), Serialize(before.doc));
    WriteWholeFile(dir.Abs("after.tvl"), Serialize(after.doc));
    const CliRun d = RunCli({"diff", dir.Abs("before.tvl"), dir.Abs("after.tvl")});
    ASSERT_EQ(d.code, 0) << d.err;
    EXPECT_EQ(d.out.find("C:     grown"), d.out.rfind("C:     "));
    EXPECT_NE(d.out.find("+2       +20.00  C:\\b\\\n"), std::string::npos) << d.out;
    EXPECT_EQ(d.out.find("removed"), std::string::npos) << d.out;
    EXPECT_EQ(d.out.find("gone"), std::string::npos) << d.out;
    EXPECT_EQ(d.out.find("new"), std::string::npos) << d.out;
}

TEST(CliDiff, OutputThatCannotBeWrittenFailsWithTheReason)
{
    TwoReports r(false);
    cli::DiffOptions o;
    o.strBaseline = r.before;
    o.strCurrent = r.after;
    std::ofstream full("/dev/full");
    ASSERT_TRUE(full.is_open());
    std::ostringstream err;
    EXPECT_EQ(cli::RunDiff(o, full, err), 1);
    EXPECT_EQ(err.str(), "tovaline-cli: cannot write output: No space left on device\n");
}

} // namespace
} // namespace tvl::test
