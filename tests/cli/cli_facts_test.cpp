// What tovaline-cli does with the scan facts a report keeps: info prints them, show
// keeps its text and marks an incomplete report on stderr, diff refuses reports
// measured by different rules unless forced, and says when the rules are not known.
#include "CliCommands.h"
#include "InfoCommand.h"
#include "cli_support.h"

#include <gtest/gtest.h>

namespace tvl::test {
namespace {

// A tree with a 10 MB sparse file (apparent size 10,485,760, almost nothing on disc)
// and a hidden folder, scanned with the given extra options into dir/NAME.
struct Tree {
    TempDir dir;
    Tree()
    {
        dir.MakeFile("t/a/sparse", 10485760);
        dir.MakeFile("t/a/small", 100);
        dir.MakeFile("t/.hidden/h", 50);
    }
    std::string Scan(const std::string& name, std::vector<std::string> extra = {})
    {
        std::vector<std::string> args = {"scan", "-f", "-d", "C=" + dir.Abs("t"), "-o", dir.Abs(name)};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back("C");
        const CliRun r = RunCli(args);
        EXPECT_EQ(r.code, 0) << r.err;
        return dir.Abs(name);
    }
    // The report without its extension block, as an older program wrote it.
    std::string Plain(const std::string& from, const std::string& name) { return CopyWithoutBlock(from, dir.Abs(name)); }
};

TEST(CliFacts, DiffRefusesReportsMeasuredDifferentlyUnlessForced)
{
    Tree t;
    const std::string apparent = t.Scan("a.tvl"), usage = t.Scan("u.tvl", {"--disc-usage"});
    const CliRun refused = RunCli({"diff", apparent, usage});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "tovaline-cli: the reports were measured differently (C: the first report counts "
                           "apparent sizes, the second disc usage); their numbers do not compare (--force compares "
                           "them anyway)\n");
    const CliRun forced = RunCli({"diff", "--force", apparent, usage});
    EXPECT_EQ(forced.code, 0);
    EXPECT_EQ(forced.err, "tovaline-cli: warning: the reports were measured differently (C: the first report counts "
                          "apparent sizes, the second disc usage); compared anyway\n");
    EXPECT_NE(forced.out.find("C:     shrunk"), std::string::npos) << forced.out;

    const CliRun hidden = RunCli({"diff", apparent, t.Scan("h.tvl", {"--skip-hidden"})});
    EXPECT_EQ(hidden.code, 1);
    EXPECT_NE(hidden.err.find("C: the first report reads hidden folders, the second leaves them out"), std::string::npos)
        << hidden.err;
    const CliRun excluded = RunCli({"diff", t.Scan("x.tvl", {"--exclude", "a"}), apparent});
    EXPECT_EQ(excluded.code, 1);
    EXPECT_NE(excluded.err.find("C: the first report excludes \"a\", the second nothing"), std::string::npos)
        << excluded.err;

    // Alike: compared without a word; a report without facts: one line, compared.
    const CliRun alike = RunCli({"diff", apparent, t.Scan("a2.tvl")});
    EXPECT_EQ(alike.code, 0);
    EXPECT_EQ(alike.err, "");
    EXPECT_NE(alike.out.find("\nBetween:  "), std::string::npos);
    const CliRun unknown = RunCli({"diff", t.Plain(usage, "old.tvl"), apparent, "--json"});
    EXPECT_EQ(unknown.code, 0);
    EXPECT_EQ(unknown.err,
              "tovaline-cli: the scan options of C: are unknown (a report does not keep them); compared as they are\n");
    EXPECT_NE(unknown.out.find("\"secondsBetween\":null"), std::string::npos);
}

TEST(CliFacts, InfoTellsTheFactsAndShowMarksAnIncompleteReport)
{
    Tree t;
    const std::string usage = t.Scan("u.tvl", {"--disc-usage", "--exclude", "a"});
    const CliRun info = RunCli({"info", usage});
    ASSERT_EQ(info.code, 0) << info.err;
    EXPECT_NE(info.out.find("Complete:  yes\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("  Directory:   " + t.dir.Abs("t") + " ("), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("  Options:     disc usage, hidden folders read, hard links counted once, excluding a\n"),
              std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("  Not read:    0 unreadable folders, 0 on other file systems, 1 left out\n"),
              std::string::npos)
        << info.out;
    const std::string plain = t.Plain(usage, "old.tvl");
    EXPECT_EQ(RunCli({"info", plain}).out.substr(0, 11), "Scan facts:");

    // show's text is that of the plain report; stopped scans are marked on stderr only.
    const CliRun shown = RunCli({"show", usage}), shownPlain = RunCli({"show", plain});
    EXPECT_EQ(shown.out, shownPlain.out);
    EXPECT_EQ(shown.err + shownPlain.err, "");
    {
        DocFixture f;
        ASSERT_TRUE(f.doc.OnOpenDocument(usage));
        f.doc.m_facts->bComplete = false;
        ASSERT_TRUE(f.doc.OnSaveDocument(t.dir.Abs("stopped.tvl")));
    }
    const CliRun stopped = RunCli({"show", t.dir.Abs("stopped.tvl")});
    EXPECT_EQ(stopped.code, 0);
    EXPECT_EQ(stopped.out, shown.out);
    EXPECT_EQ(stopped.err, std::string(cli::kMsgIncompleteReport) + "\n");
    EXPECT_NE(RunCli({"info", t.dir.Abs("stopped.tvl")}).out.find("Complete:  no, the scan was stopped"),
              std::string::npos);
    EXPECT_NE(RunCli({"show", "--json", t.dir.Abs("stopped.tvl")}).out.find("\"complete\":false"), std::string::npos);

    // A damaged block: the report shows as it is, with one warning.
    std::string bytes = ReadWholeFile(usage);
    bytes.back() = static_cast<char>(bytes.back() ^ 1);
    WriteWholeFile(t.dir.Abs("damaged.tvl"), bytes);
    const CliRun damaged = RunCli({"show", t.dir.Abs("damaged.tvl")});
    EXPECT_EQ(damaged.code, 0);
    EXPECT_EQ(damaged.out, shown.out);
    EXPECT_EQ(damaged.err, "Open: The scan facts stored after the report were left out: its checksum does not match.\n");
}

} // namespace
} // namespace tvl::test
