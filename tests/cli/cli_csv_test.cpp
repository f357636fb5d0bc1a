// tovaline-cli show --csv and --csv-files read back by an RFC 4180 parser, and what the
// text and JSON output make of a drive letter byte that is no letter.
#include "AsUser.h"
#include "CliCommands.h"
#include "ReportCsv.h"
#include "ReportText.h"
#include "cli_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <sys/resource.h>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tvl::test {
namespace {

using Table = std::vector<std::vector<std::string>>;

// A strict RFC 4180 reader: records end in CR LF; a quoted field may hold anything, a
// doubled quote standing for one; an unquoted field holds no quote, CR or LF. Fails
// the test on anything else.
Table ParseCsv(const std::string& text)
{
    Table rows(1, std::vector<std::string>(1));
    std::size_t i = 0;
    bool fieldStart = true;
    while (i < text.size()) {
        const char c = text[i];
        std::string& field = rows.back().back();
        if (fieldStart && c == '"') {
            for (++i;; ++i) {
                if (i >= text.size()) {
                    ADD_FAILURE() << "unterminated quoted field";
                    return rows;
                }
                if (text[i] == '"' && i + 1 < text.size() && text[i + 1] == '"')
                    field += text[++i];
                else if (text[i] == '"')
                    break;
                else
                    field += text[i];
            }
            ++i;
            fieldStart = false;
        } else if (c == ',') {
            rows.back().emplace_back();
            fieldStart = true;
            ++i;
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            rows.emplace_back(1);
            fieldStart = true;
            i += 2;
        } else {
            EXPECT_FALSE(c == '"' || c == '\r' || c == '\n') << "bare special character at " << i;
            field += c;
            fieldStart = false;
            ++i;
        }
    }
    EXPECT_TRUE(rows.back().size() == 1 && rows.back()[0].empty()) << "last record without CR LF";
    rows.pop_back();
    return rows;
}

TEST(CliCsv, FieldsAreQuotedOnlyWhenTheyMustBe)
{
    EXPECT_EQ(CsvField("plain name.txt"), "plain name.txt");
    EXPECT_EQ(CsvField(""), "");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(CsvField("cr\r"), "\"cr\r\"");
    EXPECT_EQ(CsvField("caf\xc3\xa9"), "caf\xc3\xa9");
    EXPECT_EQ(CsvField("caf\xe9,"), "\"caf\xef\xbf\xbd,\"");
}

// A tree whose names hold commas, quotes, a line break and a byte that is not UTF-8.
struct AwkwardTree {
    TempDir dir;
    const std::vector<std::string> names = {"a,b", "say \"hi\"", "two\nlines", "caf\xe9", "plain"};
    AwkwardTree()
    {
        std::int64_t size = 100;
        for (const std::string& n : names) {
            std::filesystem::create_directories(dir.Abs("tree/" + n + "/inner"));
            std::ofstream(dir.Abs("tree/" + n + "/" + n)) << std::string(static_cast<std::size_t>(size), 'x');
            std::ofstream(dir.Abs("tree/" + n + "/inner/f")) << std::string(static_cast<std::size_t>(size / 2), 'y');
            size += 37;
        }
        std::ofstream(dir.Abs("tree/top.txt")) << "12345";
    }
    std::string Report(bool files)
    {
        const std::string path = dir.Abs(files ? "f.tvl" : "r.tvl");
        CliRun r = RunCli({"scan", files ? "-f" : "--no-ranking", "-d", "C=" + dir.Abs("tree"), "-o", path, "C"});
        EXPECT_EQ(r.code, 0) << r.err;
        return path;
    }
};

TEST(CliCsv, FoldersReadBackEqualToTheReport)
{
    AwkwardTree tree;
    const std::string report = tree.Report(true);
    CliRun r = RunCli({"show", "--csv", tree.dir.Abs("folders.csv"), report});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    const Table rows = ParseCsv(ReadWholeFile(tree.dir.Abs("folders.csv")));

    DocFixture f;
    ASSERT_TRUE(f.doc.OnOpenDocument(report));
    const DriveReport& drive = *f.doc.m_pDriveReports.at(0);
    ASSERT_EQ(rows.size(), drive.Folders().size() + 1);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"path", "level", "spaceWithoutSubs", "spaceWithSubs",
                                                 "percentOfParent", "percentOfDisc", "fileCount", "items",
                                                 "newestChange", "otherSpaceWithoutSubs", "otherSpaceWithSubs",
                                                 "state"}));
    std::int64_t own = 0;
    for (std::size_t i = 0; i < drive.Folders().size(); ++i) {
        const FolderRecord& rec = *drive.Folders()[i];
        const auto& row = rows[i + 1];
        ASSERT_EQ(row.size(), 12u);
        const std::vector<std::string> facts(row.begin() + 6, row.end());
        if (drive.bFolderFacts)
            EXPECT_EQ(facts, (std::vector<std::string>{std::to_string(rec.nFiles), std::to_string(rec.nItemsWithSubs),
                                                       IsoUtc(rec.nNewestChange), std::to_string(rec.nOtherWithoutSubs),
                                                       std::to_string(rec.nOtherWithSubs), FolderStateName(rec.state)}));
        else
            EXPECT_EQ(facts, std::vector<std::string>(6));
        SCOPED_TRACE(row[0]);
        EXPECT_EQ(row[0], ValidUtf8(rec.strPath));
        EXPECT_EQ(std::stoi(row[1]), rec.nLevel);
        EXPECT_EQ(std::stoll(row[2]), rec.nSpaceWithoutSubs);
        EXPECT_EQ(std::stoll(row[3]), rec.nSpaceWithSubs);
        for (int k : {4, 5}) {
            const double share = k == 4 ? rec.dPercentOfParent : rec.dPercentOfDisc;
            if (share < 0)
                EXPECT_EQ(row[static_cast<std::size_t>(k)], "");
            else
                EXPECT_EQ(std::stod(row[static_cast<std::size_t>(k)]), share); // exact round trip
        }
        own += std::stoll(row[2]);
    }
    EXPECT_EQ(own, drive.FirstFolder()->nSpaceWithSubs);
    EXPECT_EQ(rows[1][0], "C:\\");
    EXPECT_EQ(rows[1][4], "");
    // The awkward names arrive whole; the Latin-1 byte as U+FFFD.
    for (const std::string& n : {std::string("a,b"), std::string("say \"hi\""), std::string("two\nlines"),
                                  std::string("caf\xef\xbf\xbd")}) {
        bool found = false;
        for (const auto& row : rows)
            found = found || row[0] == "C:\\" + n + "\\inner\\";
        EXPECT_TRUE(found) << n;
    }
}

TEST(CliCsv, FilesReadBackAndAddUpToTheDrive)
{
    AwkwardTree tree;
    const std::string report = tree.Report(true);
    CliRun r = RunCli({"show", "--csv-files", "-", "--csv", tree.dir.Abs("folders.csv"), report});
    ASSERT_EQ(r.code, 0) << r.err;
    const Table rows = ParseCsv(r.out);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0], (std::vector<std::string>{"folder", "name", "size", "otherSize", "change"}));
    std::int64_t total = 0;
    std::vector<std::string> names;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 5u);
        total += std::stoll(rows[i][2]);
        names.push_back(rows[i][1]);
    }
    EXPECT_EQ(rows.size(), 1 + 2 * tree.names.size() + 1);
    EXPECT_NE(std::find(names.begin(), names.end(), "two\nlines"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "caf\xef\xbf\xbd"), names.end());
    DocFixture f;
    ASSERT_TRUE(f.doc.OnOpenDocument(report));
    EXPECT_EQ(total, f.doc.m_pDriveReports.at(0)->FirstFolder()->nSpaceWithSubs);
    EXPECT_TRUE(std::filesystem::exists(tree.dir.Abs("folders.csv")));
}

TEST(CliCsv, FailuresSayWhyAndLeaveNothingBehind)
{
    AwkwardTree tree;
    const std::string noNames = tree.Report(false);
    CliRun r = RunCli({"show", "--csv-files", tree.dir.Abs("files.csv"), noNames});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "tovaline-cli: the report holds no file names (they are kept by 'scan -f')\n");
    EXPECT_FALSE(std::filesystem::exists(tree.dir.Abs("files.csv")));

    r = RunCli({"show", "--csv", tree.dir.Abs("no/such/dir.csv"), noNames});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "tovaline-cli: cannot create " + tree.dir.Abs("no/such/dir.csv") + ": No such file or directory.\n");

    // A CSV name that is a report (here the one shown) leaves the report as it was.
    const std::string before = ReadWholeFile(noNames);
    r = RunCli({"show", "--csv", noNames, noNames});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "tovaline-cli: cannot create " + noNames + ": The name is a report file; it was left as it is.\n");
    EXPECT_EQ(ReadWholeFile(noNames), before);

    WriteWholeFile(tree.dir.Abs("bad.tvl"), "not a report");
    r = RunCli({"show", "--csv", tree.dir.Abs("bad.csv"), tree.dir.Abs("bad.tvl")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Open: This is not a valid disc space report!\n");
    EXPECT_FALSE(std::filesystem::exists(tree.dir.Abs("bad.csv")));
}

// A CSV that cannot be written whole (the file size limit is reached, its signal
// ignored, so the write fails with EFBIG) leaves no part of itself, and a CSV that was
// there stays as it was.
TEST(CliCsv, ACsvThatCannotBeWrittenWholeLeavesNothing)
{
    AwkwardTree tree;
    const std::string report = tree.Report(true);
    WriteWholeFile(tree.dir.Abs("old.csv"), "old table");
    const std::string result = RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit {200, 200};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return std::string("setrlimit failed");
        std::string log;
        for (const char* name : {"new.csv", "old.csv"}) {
            CliRun r = RunCli({"show", "--csv-files", tree.dir.Abs(name), report});
            log += std::to_string(r.code) + "|" + r.err;
        }
        return log;
    });
    EXPECT_EQ(result, "1|tovaline-cli: cannot write " + tree.dir.Abs("new.csv") +
                          ": File too large. Nothing was written.\n"
                          "1|tovaline-cli: cannot write " + tree.dir.Abs("old.csv") +
                          ": File too large. The file on disc was left as it was.\n");
    EXPECT_EQ(ReadWholeFile(tree.dir.Abs("old.csv")), "old table");
    EXPECT_EQ(tree.dir.Entries(), (std::vector<std::string>{"f.tvl", "old.csv", "tree"}));
}

TEST(CliShow, ADriveLetterByteThatIsNoLetterIsNotPrintedAsItStands)
{
    TempDir dir;
    DocFixture f;
    f.doc.m_bRanking = true;
    AddDrive(f.doc, '\x1b', false, {{"\x1b:\\", 0, 5, 5}}, {{"f", "\x1b:\\", 5}});
    AddDrive(f.doc, 'c', false, {{"c:\\", 0, 1, 1}});
    WriteWholeFile(dir.Abs("esc.tvl"), Serialize(f.doc));

    CliRun text = RunCli({"show", dir.Abs("esc.tvl")});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_EQ(text.out.find('\x1b'), std::string::npos);
    EXPECT_NE(text.out.find("Drive ?: (1 folders)"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Drive ?: (1 folders)", text.out.find("Drive ?:") + 1), std::string::npos);
    EXPECT_NE(text.out.find("Ranking ?:"), std::string::npos);

    CliRun json = RunCli({"show", "--json", dir.Abs("esc.tvl")});
    ASSERT_EQ(json.code, 0) << json.err;
    EXPECT_NE(json.out.find("{\"drive\":\"\xef\xbf\xbd\",\"storeFileNames\":false"), std::string::npos) << json.out;
    EXPECT_EQ(json.out.find("{\"drive\":\"c\""), std::string::npos);
    EXPECT_EQ(DriveLetterText('C'), "C");
    EXPECT_EQ(DriveLetterText('Z'), "Z");
    EXPECT_EQ(DriveLetterText('B'), "?");
    EXPECT_EQ(DriveLetterText('['), "?");
}

// Counts what is written, keeping nothing.
class CountingBuf final : public std::streambuf {
public:
    std::size_t bytes = 0, lines = 0;

protected:
    int_type overflow(int_type c) override
    {
        if (c == '\n')
            ++lines;
        ++bytes;
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        lines += static_cast<std::size_t>(std::count(s, s + n, '\n'));
        bytes += static_cast<std::size_t>(n);
        return n;
    }
};

TEST(CliShow, DisplayOptionsOnCraftedReports)
{
    TempDir dir;
    {
        // Levels out of step (two records at level 0, jumps of several levels) and sizes
        // no scan makes.
        DocFixture f;
        AddDrive(f.doc, 'C', false,
                 {{"C:\\", 0, 0, 5}, {"C:\\a\\", 3, 0, INT64_MAX}, {"C:\\b\\", 1, 0, INT64_MAX},
                  {"C:\\b\\c\\", 5, 0, -7}, {"D:\\", 0, 0, 1}});
        WriteWholeFile(dir.Abs("odd.tvl"), Serialize(f.doc));
    }
    CliRun r = RunCli({"show", "--depth", "0", dir.Abs("odd.tvl")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\nC:  "), std::string::npos);
    EXPECT_NE(r.out.find("\nD:  "), std::string::npos);
    EXPECT_EQ(r.out.find("\n      a "), std::string::npos);
    r = RunCli({"show", "--top", "1", "--sort", "size", dir.Abs("odd.tvl")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("(1 more folder, 9.223.372.036.854.775.807 bytes)"), std::string::npos) << r.out;
    r = RunCli({"show", "--sort", "size", "-h", dir.Abs("odd.tvl")});
    EXPECT_NE(r.out.find("-7 B"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("8.0 EiB"), std::string::npos);

    // A chain far deeper than any call stack would take, printed whole.
    const int depth = 30000;
    {
        std::vector<FolderSpec> chain;
        for (int i = 0; i < depth; ++i)
            chain.push_back({i == 0 ? "C:\\" : "C:\\x\\", i, 1, depth - i});
        DocFixture f;
        AddDrive(f.doc, 'C', false, chain);
        WriteWholeFile(dir.Abs("deep.tvl"), Serialize(f.doc));
    }
    CountingBuf counted;
    std::ostream out(&counted);
    std::ostringstream err;
    EXPECT_EQ(cli::Run({"show", "--sort", "size", "--top", "1", dir.Abs("deep.tvl")}, out, err, false), 0)
        << err.str();
    EXPECT_EQ(counted.lines, 2u + depth + 1u);
}

} // namespace
} // namespace tvl::test
