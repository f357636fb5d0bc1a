// tovaline-cli and the ncdu JSON export, against the real programs on a real tree (hard
// links, a sparse file, a hidden folder, an empty folder, a name that is not UTF-8,
// a symbolic link and a folder that cannot be read): ncdu's export imported equals our
// scan folder by folder in both measures; our export read back by ncdu and imported
// again equals the report, and gdu reads the same totals. ncdu and gdu are optional
// peers: the tests that need them skip without them.
#include "AsUser.h"
#include "ReportDocument.h"
#include "ReportReading.h"
#include "cli_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <tuple>
#include <sys/stat.h>
#include <unistd.h>

namespace tvl::test {
namespace {

bool Have(const char* program)
{
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// The command run as the user the tree is read as (nobody when the tests run as root,
// so that the unreadable folder is unreadable).
int RunAsReader(const std::string& command)
{
    const std::string as = CanActAsOtherUsers() ? "setpriv --reuid nobody --regid nogroup --clear-groups " : "";
    return std::system((as + command).c_str());
}

struct Tree {
    TempDir dir;
    std::string t = dir.Abs("t"), out = dir.Abs("out");
    Tree()
    {
        ::chmod(dir.path().c_str(), 0755);
        dir.MakeDirs("t/a/.hidden");
        dir.MakeDirs("t/b");
        dir.MakeDirs("t/empty");
        dir.MakeDirs("t/noread");
        dir.MakeDirs("out");
        ::chmod(out.c_str(), 0777);
        WriteWholeFile(t + "/a/f1", "hello\n");
        EXPECT_EQ(::link((t + "/a/f1").c_str(), (t + "/b/f1link").c_str()), 0);
        dir.MakeFile("t/sparse", 10 << 20);
        WriteWholeFile(t + "/a/.hidden/big", std::string(5000, 'x'));
        WriteWholeFile(t + "/caf\xe9", "bytes");
        WriteWholeFile(t + "/noread/x", "s");
        EXPECT_EQ(::symlink("a", (t + "/link").c_str()), 0);
        ::chmod((t + "/noread").c_str(), 0);
    }
    ~Tree() { ::chmod((t + "/noread").c_str(), 0755); }
    // Our scan of the tree as the reader, into out/NAME.
    std::string Scan(const std::string& name, const std::vector<std::string>& extra = {})
    {
        const std::string file = out + "/" + name;
        std::vector<std::string> args = {"scan", "-f", "-d", "C=" + t, "-o", file};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back("C");
        const std::string err = CanActAsOtherUsers() ? RunAsUser(kNobody, kNobody, [&] {
            const CliRun r = RunCli(args);
            return r.code == 0 ? std::string() : r.err;
        })
                                                     : RunCli(args).err;
        EXPECT_EQ(err, "");
        return file;
    }
};

std::unique_ptr<ReportDocument> Open(ReportReadingEnvironment& env, const std::string& file)
{
    auto doc = std::make_unique<ReportDocument>(env.Env());
    EXPECT_TRUE(ReportReadingEnvironment::Open(*doc, file)) << file;
    return doc;
}

// The first difference between two reports of one drive, or "". With tiesInAnyOrder,
// ranking entries of equal size may come in another order (the files of an export come
// in path order, not in the order the scan met them).
std::string Difference(const DriveReport& a, const DriveReport& b, bool tiesInAnyOrder = false)
{
    if (a.nFolders != b.nFolders)
        return "folder count " + std::to_string(a.nFolders) + " vs " + std::to_string(b.nFolders);
    if (PrimaryKind(a) != PrimaryKind(b) || !a.bFolderFacts || !b.bFolderFacts)
        return "measure or facts";
    for (int i = 0; i < a.nFolders; ++i) {
        const FolderRecord &x = *a.GetFolder(i), &y = *b.GetFolder(i);
        const std::string at = x.strPath + ": ";
        if (x.strPath != y.strPath)
            return at + "path " + y.strPath;
        if (x.nSpaceWithoutSubs != y.nSpaceWithoutSubs || x.nSpaceWithSubs != y.nSpaceWithSubs ||
            x.nOtherWithoutSubs != y.nOtherWithoutSubs || x.nOtherWithSubs != y.nOtherWithSubs)
            return at + "sizes " + std::to_string(x.nSpaceWithSubs) + " vs " + std::to_string(y.nSpaceWithSubs) +
                   ", other " + std::to_string(x.nOtherWithSubs) + " vs " + std::to_string(y.nOtherWithSubs);
        if (x.nFiles != y.nFiles || x.nItemsWithSubs != y.nItemsWithSubs)
            return at + "counts";
        if (x.dPercentOfParent != y.dPercentOfParent || x.dPercentOfDisc != y.dPercentOfDisc)
            return at + "shares";
        if (x.nNewestChange != y.nNewestChange)
            return at + "newest change " + std::to_string(x.nNewestChange) + " vs " + std::to_string(y.nNewestChange);
        // ncdu says only that a folder could not be read, not why.
        if ((x.state == FolderState::Read) != (y.state == FolderState::Read))
            return at + "state";
        if (x.files.size() != y.files.size())
            return at + "file count";
        for (std::size_t k = 0; k < x.files.size(); ++k) {
            const FileEntry &f = x.files[k], &g = y.files[k];
            if (f.strName != g.strName || f.nSize != g.nSize || f.nOtherSize != g.nOtherSize ||
                f.nChange != g.nChange || a.Counts(x, f.strName) != b.Counts(y, g.strName))
                return at + "file " + f.strName;
        }
    }
    if (a.ranking.size() != b.ranking.size())
        return "ranking size";
    const auto entries = [&](const DriveReport& d) {
        std::vector<std::tuple<std::int64_t, std::string, std::string>> v;
        for (const RankEntry& e : d.ranking)
            v.emplace_back(-e.nSize, tiesInAnyOrder ? e.strLocation : std::string(), tiesInAnyOrder ? e.strName : std::string());
        if (tiesInAnyOrder)
            std::sort(v.begin(), v.end());
        return v;
    };
    if (entries(a) != entries(b))
        return "ranking";
    for (std::size_t k = 0; k < a.ranking.size() && !tiesInAnyOrder; ++k)
        if (a.ranking[k].strName != b.ranking[k].strName || a.ranking[k].strLocation != b.ranking[k].strLocation)
            return "ranking entry " + std::to_string(k);
    return std::string();
}

TEST(CliNcdu, ImportOfNcduExportEqualsOurScanInBothMeasures)
{
    if (!Have("ncdu"))
        GTEST_SKIP() << "ncdu is not installed (scripts/install-deps.sh installs it)";
    Tree tree;
    const std::string json = tree.out + "/ncdu.json";
    ASSERT_EQ(RunAsReader("ncdu --ignore-config -e -o " + json + " " + tree.t + " 2>/dev/null"), 0);
    ReportReadingEnvironment env;
    for (const bool du : {false, true}) {
        SCOPED_TRACE(du ? "disc usage" : "length");
        std::vector<std::string> args = {"import", json, "-o", tree.out + "/imported.tvl"};
        if (du)
            args.push_back("--disc-usage");
        const CliRun r = RunCli(args);
        ASSERT_EQ(r.code, 0) << r.err;
        auto imported = Open(env, tree.out + "/imported.tvl");
        auto scanned = Open(env, tree.Scan("scan.tvl", du ? std::vector<std::string>{"--disc-usage"}
                                                          : std::vector<std::string>{}));
        const DriveReport& a = *scanned->m_pDriveReports[0];
        const DriveReport& b = *imported->m_pDriveReports[0];
        EXPECT_EQ(Difference(a, b), "");
        EXPECT_EQ(b.pFacts->strDirectory, tree.t);
        const FolderRecord* noread = nullptr;
        for (const FolderRecord* rec : b.Folders())
            if (rec->strPath == "C:\\noread\\")
                noread = rec;
        ASSERT_NE(noread, nullptr);
        EXPECT_EQ(noread->state, FolderState::ReadError);
    }
}

TEST(CliNcdu, OurExportReadsBackThroughNcduAndGdu)
{
    if (!Have("ncdu"))
        GTEST_SKIP() << "ncdu is not installed (scripts/install-deps.sh installs it)";
    Tree tree;
    const std::string ours = tree.out + "/ours.json", back = tree.out + "/back.json";
    tree.Scan("orig.tvl", {"--disc-usage", "--ncdu", ours});
    ASSERT_EQ(std::system(("ncdu --ignore-config -e -f " + ours + " -o " + back + " 2>/dev/null").c_str()), 0);
    const CliRun r = RunCli({"import", "--disc-usage", back, "-o", tree.out + "/back.tvl"});
    ASSERT_EQ(r.code, 0) << r.err;
    ReportReadingEnvironment env;
    auto orig = Open(env, tree.out + "/orig.tvl");
    auto again = Open(env, tree.out + "/back.tvl");
    const DriveReport& a = *orig->m_pDriveReports[0];
    EXPECT_EQ(Difference(a, *again->m_pDriveReports[0], true), "");

    // gdu gives every folder 4096 bytes of its own, and the files the same totals.
    if (!Have("gdu"))
        GTEST_SKIP() << "gdu is not installed (scripts/install-deps.sh installs it)";
    const auto gduTotal = [&](const char* flags) {
        const std::string file = tree.out + "/gdu.txt";
        EXPECT_EQ(std::system(("gdu -f " + ours + " -n -s --no-prefix " + flags + " > " + file).c_str()), 0);
        return std::atoll(ReadWholeFile(file).c_str());
    };
    const std::int64_t dirs = 4096LL * a.nFolders;
    EXPECT_EQ(gduTotal(""), a.FirstFolder()->nSpaceWithSubs + dirs);
    EXPECT_EQ(gduTotal("-a"), a.FirstFolder()->nOtherWithSubs + dirs);
}

TEST(CliNcdu, RefusalsSayWhyAndLeaveFilesAsTheyWere)
{
    TempDir dir;
    const std::string json = dir.Abs("e.json"), report = dir.Abs("r.tvl");
    WriteWholeFile(json, "[1,2,{},[{\"name\":\"/x\"},{\"name\":\"f\",\"asize\":3}]]");
    WriteWholeFile(report, "old");
    // Not an export; damaged; and the usage errors.
    dir.MakeFile("plain.tvl", 0);
    WriteWholeFile(dir.Abs("cut.json"), "[1,2,{},[{\"name\":\"/x\"},{\"name\":\"f\",");
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"import", dir.Abs("plain.tvl"), "-o", report}, "Open: This is not an ncdu export!\n"},
        {{"import", dir.Abs("cut.json"), "-o", report}, "Open: The ncdu export is damaged at byte 35: it ends too early.\n"},
        {{"import", "--letter", "B", json, "-o", report}, "--letter: 'B' is not a drive letter from C to Z"},
        {{"import", "-r", "5", "--no-ranking", json, "-o", report}, "-r and --no-ranking exclude each other"},
        {{"import", json}, "-o is required"},
        {{"export", json}, "--ncdu is required"},
        {{"scan", "--ncdu", "", "C"}, "--ncdu"},
    };
    for (const auto& [args, message] : refused) {
        SCOPED_TRACE(args[1]);
        const CliRun r = RunCli(args);
        EXPECT_NE(r.code, 0);
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(ReadWholeFile(report), "old");
    }
    // What works: import with a letter, export of the import to a file, show and diff
    // of the export itself.
    ASSERT_EQ(RunCli({"import", "--letter", "e:", "-r", "1", json, "-o", report}).code, 0);
    const CliRun shown = RunCli({"show", report});
    EXPECT_NE(shown.out.find("Drive E: (1 folders)"), std::string::npos) << shown.out;
    ASSERT_EQ(RunCli({"export", "--ncdu", "-o", dir.Abs("x.json"), report}).code, 0);
    EXPECT_NE(ReadWholeFile(dir.Abs("x.json")).find("[{\"name\":\"/x\"},\n{\"name\":\"f\",\"asize\":3,\"dsize\":0}]"),
              std::string::npos);
    EXPECT_EQ(RunCli({"show", dir.Abs("x.json")}).out, RunCli({"show", json}).out);
    EXPECT_EQ(RunCli({"diff", json, dir.Abs("x.json")}).code, 0);
}

} // namespace
} // namespace tvl::test
