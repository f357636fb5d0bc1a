// The extension block after the report: what a scan records in it, that the bytes before
// it are the plain layout, that it survives Save and Open, and that a damaged, cut or
// inconsistent block is left out with a warning while the report itself opens.
#include "format_support.h"

#include "HostFacts.h"
#include "ReportBuilder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <unistd.h>

namespace tvl::test {
namespace {

struct Read {
    LoadedReport r;
    explicit Read(const std::string& bytes)
    {
        ReportReader in(bytes.data(), bytes.size());
        NullLoadProgress progress;
        r = ReadReport(in, progress);
    }
};

// The report in `bytes` as a writer that knows nothing of the block writes it: read,
// stripped of every fact and counted mark, written.
std::string Plain(const std::string& bytes)
{
    Read r(bytes);
    for (auto& d : r.r.drives) {
        d->pFacts.reset();
        for (const FolderRecord* f : d->Folders())
            for (const FileEntry& e : f->files)
                d->MarkCounted(*f, e.strName);
    }
    std::string out;
    ReportWriter w(out);
    WriteReport(w, ReportContent{r.r.drives, r.r.nDrives, r.r.bRanking, r.r.rankingAll, nullptr});
    return out;
}

std::string WriteLoaded(LoadedReport& r)
{
    std::string bytes;
    ReportWriter out(bytes);
    WriteReport(out, ReportContent{r.drives, r.nDrives, r.bRanking, r.rankingAll, r.facts ? &*r.facts : nullptr});
    return bytes;
}

// A scan of a small real tree: files, a folder left out by a pattern, a hard link.
struct ScannedTree {
    TempDir tree;
    DocFixture f;
    ScannedTree(bool ranking, bool names)
    {
        tree.MakeDirs("a/skip");
        tree.MakeDirs("b");
        tree.MakeFile("a/one", 1000);
        tree.MakeFile("b/two", 20);
        tree.MakeFile("a/skip/three", 5);
        EXPECT_EQ(::link(tree.Abs("a/one").c_str(), tree.Abs("b/one-link").c_str()), 0);
        f.drives.Set('C', tree.path());
        NewReportOptions o;
        o.strDrives = "C";
        o.bRanking = ranking;
        o.bStoreFileNames = names;
        o.scan.excludes = {"skip"};
        EXPECT_TRUE(f.doc.CreateReports(o));
    }
};

TEST(ExtensionBlock, AScanRecordsItsFactsAfterThePlainLayout)
{
    for (bool ranking : {false, true})
        for (bool names : {false, true}) {
            SCOPED_TRACE(testing::Message() << "ranking " << ranking << " names " << names);
            ScannedTree s(ranking, names);
            const std::string bytes = Serialize(s.f.doc);
            Read with(bytes);
            ASSERT_TRUE(with.r.result.bOk);
            EXPECT_EQ(with.r.strBlockWarning, "");
            // The bytes before the block are those of a writer without it, and they alone
            // (what a reader of the plain layout takes) give the same report.
            const std::string plain = Plain(bytes);
            ASSERT_GT(bytes.size(), plain.size());
            EXPECT_EQ(bytes.substr(0, plain.size()), plain);
            EXPECT_EQ(bytes.substr(plain.size(), 8), "TvlFacts");
            Read without(plain);
            ASSERT_TRUE(without.r.result.bOk);
            EXPECT_FALSE(without.r.facts);
                        EXPECT_EQ(WriteLoaded(without.r), plain) << "a report without the block is saved without it";

            // What the block holds, read back.
            ASSERT_TRUE(with.r.facts);
            EXPECT_EQ(with.r.facts->strProgramVersion, ProgramVersion());
            EXPECT_EQ(with.r.facts->strHost, HostName());
            EXPECT_TRUE(with.r.facts->bComplete);
            EXPECT_LE(with.r.facts->nStartTime, with.r.facts->nEndTime);
            const DriveReport& d = *with.r.drives.at(0);
            ASSERT_TRUE(d.pFacts);
            EXPECT_EQ(d.pFacts->strDirectory, s.tree.path());
            EXPECT_FALSE(d.pFacts->strFsType.empty());
            EXPECT_EQ(d.pFacts->options.excludes, std::vector<std::string>{"skip"});
            EXPECT_TRUE(d.pFacts->options.bCountLinksOnce);
            EXPECT_EQ(d.pFacts->counts.nLeftOut, 1);
            EXPECT_EQ(d.pFacts->counts.nUnreadable, 0);
            // Of the two names of the linked file exactly one counted, in memory and after
            // reading; the sums hold it once.
            EXPECT_EQ(d.FirstFolder()->nSpaceWithSubs, 1020);
            if (names) {
                int counted = 0;
                for (const FolderRecord* f : d.Folders())
                    for (const FileEntry& e : f->files)
                        if (e.nSize == 1000)
                            counted += d.Counts(*f, e.strName);
                EXPECT_EQ(counted, 1);
            }
            EXPECT_EQ(WriteLoaded(with.r), bytes);
        }
}

TEST(ExtensionBlock, DamageAnywhereInTheBlockLeavesItOutWithAWarning)
{
    ScannedTree s(true, true);
    const std::string bytes = Serialize(s.f.doc);
    const std::string plain = Plain(bytes);
    auto expectPlain = [&](const std::string& damaged) {
        Read d(damaged);
        ASSERT_TRUE(d.r.result.bOk);
        EXPECT_FALSE(d.r.facts);
        EXPECT_NE(d.r.strBlockWarning, "");
        for (const auto& drive : d.r.drives)
            EXPECT_TRUE(!drive->pFacts && drive->AllCount());
        EXPECT_EQ(WriteLoaded(d.r), plain);
    };
    for (std::size_t at = plain.size(); at < bytes.size(); ++at) {
        SCOPED_TRACE(testing::Message() << "byte " << at);
        std::string damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x41);
        expectPlain(damaged);
        if (at > plain.size())
            expectPlain(bytes.substr(0, at)); // cut short
    }
    expectPlain(bytes + '\0');
    expectPlain(plain + "anything");
}

// Blocks made by hand: a section type this program does not know is skipped, a block
// version it does not know and sections that do not fit the report are left out.
std::string Block(std::uint32_t version, const std::string& sections)
{
    std::string b = "TvlFacts" + Le32(static_cast<std::int32_t>(version)) + Le64(static_cast<std::int64_t>(sections.size())) + sections;
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(b.data()), static_cast<uInt>(b.size()));
    return b + Le32(static_cast<std::int32_t>(crc));
}
std::string Section(const char* tag, const std::string& payload)
{
    return std::string(tag, 4) + Le64(static_cast<std::int64_t>(payload.size())) + payload;
}
std::string BStr(const std::string& s)
{
    return Le32(static_cast<std::int32_t>(s.size())) + s;
}

TEST(ExtensionBlock, UnknownSectionsAreSkippedAndMismatchesRefused)
{
    DocFixture f;
    f.doc.m_bRanking = false;
    AddDrive(f.doc, 'C', true, {{"C:\\", 0, 3, 3, -1, -1, {{"x", 3}, {"y", 3}}}});
    const std::string plain = Serialize(f.doc);
    const std::string scan = Section("SCAN", BStr("9.9") + BStr("host") + Le64(100) + Le64(160) + Le32(0) + "later");
    const std::string drive = Section("DRIV", Le32(0) + "C" + BStr("/data") + BStr("ext4") + Le32(4) + Le32(1) +
                                                  BStr("*.tmp") + Le64(2) + Le64(1) + Le64(0) + Le32(100));
    const std::string counted = Section("CNTD", Le32(0) + Le64(2) + std::string(1, '\x01'));

    Read good(plain + Block(1, Section("ZZZZ", "what a later version adds") + scan + drive + counted));
    ASSERT_TRUE(good.r.result.bOk);
    EXPECT_EQ(good.r.strBlockWarning, "");
    ASSERT_TRUE(good.r.facts);
    EXPECT_FALSE(good.r.facts->bComplete);
    EXPECT_EQ(good.r.facts->nEndTime - good.r.facts->nStartTime, 60);
    const DriveReport& d = *good.r.drives[0];
    ASSERT_TRUE(d.pFacts);
    EXPECT_TRUE(d.pFacts->options.bDiscUsage);
    EXPECT_FALSE(d.pFacts->options.bCountLinksOnce);
    EXPECT_EQ(d.pFacts->counts.nUnreadable, 2);
    EXPECT_TRUE(d.Counts(*d.FirstFolder(), "x"));
    EXPECT_FALSE(d.Counts(*d.FirstFolder(), "y"));

    const std::pair<const char*, std::string> refused[] = {
        {"block version", Block(2, scan)},
        {"drive index", Block(1, Section("DRIV", Le32(1) + drive.substr(16)))},
        {"drive letter", Block(1, Section("DRIV", Le32(0) + "D" + drive.substr(17)))},
        {"file count", Block(1, Section("CNTD", Le32(0) + Le64(3) + std::string(1, '\x07')))},
        {"twice", Block(1, counted + counted)},
        {"section past the end", Block(1, scan.substr(0, scan.size() - 1))},
        {"string past the section", Block(1, Section("SCAN", BStr("9.9").substr(0, 6)))},
    };
    for (const auto& [what, block] : refused) {
        SCOPED_TRACE(what);
        Read r(plain + block);
        ASSERT_TRUE(r.r.result.bOk);
        EXPECT_FALSE(r.r.facts);
        EXPECT_FALSE(r.r.drives[0]->pFacts);
        EXPECT_TRUE(r.r.drives[0]->AllCount());
        EXPECT_NE(r.r.strBlockWarning, "");
    }
}

// Save and Open keep the facts, the incomplete mark among them; a stream (a pipe) reads
// the block as a file does.
TEST(ExtensionBlock, SaveAndOpenKeepTheFactsAndTheIncompleteMark)
{
    ScannedTree s(true, true);
    s.f.doc.m_facts->bComplete = false;
    TempDir out;
    const std::string file = out.Abs("r.tvl");
    ASSERT_TRUE(s.f.doc.OnSaveDocument(file));
    DocFixture g;
    ASSERT_TRUE(g.doc.OnOpenDocument(file));
    EXPECT_TRUE(g.doc.IsIncomplete());
    EXPECT_EQ(g.doc.m_strOpenWarning, "");
    ASSERT_TRUE(g.doc.m_facts);
    ASSERT_TRUE(g.doc.OnSaveDocument(out.Abs("again.tvl")));
    EXPECT_EQ(ReadWholeFile(out.Abs("again.tvl")), ReadWholeFile(file));

    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const std::string bytes = ReadWholeFile(file);
    ASSERT_LT(bytes.size(), 60000u); // fits the pipe's buffer
    ASSERT_EQ(::write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fds[1]);
    DocFixture h;
    ASSERT_TRUE(h.doc.OnOpenDocument("/dev/fd/" + std::to_string(fds[0])));
    ::close(fds[0]);
    EXPECT_TRUE(h.doc.IsIncomplete());
    EXPECT_EQ(h.doc.m_strOpenWarning, "");
}

// A folder of an opened report refreshed by the options the report was made with
// (disc usage, hidden folders left out, a pattern) is what a fresh scan by them gives.
TEST(ReportReuse, RefreshOfAnOpenedReportReadsByItsOwnOptions)
{
    TempDir dir;
    dir.MakeFile("t/a/sparse", 10485760);
    WriteWholeFile(dir.Abs("t/a/small"), std::string(100, 'x'));
    dir.MakeFile("t/.h/x", 5);
    dir.MakeFile("t/skip/y", 7);
    NewReportOptions o;
    o.strDrives = "C";
    o.bStoreFileNames = true;
    o.scan.bDiscUsage = true;
    o.scan.bSkipHidden = true;
    o.scan.excludes = {"skip"};
    {
        DocFixture made;
        made.drives.Set('C', dir.Abs("t"));
        ASSERT_TRUE(made.doc.CreateReports(o));
        ASSERT_TRUE(made.doc.OnSaveDocument(dir.Abs("r.tvl")));
    }
    WriteWholeFile(dir.Abs("t/a/new"), std::string(5000, 'n'));
    dir.MakeFile("t/a/.h2/z", 9);
    dir.MakeFile("t/a/skip/w", 9);

    DocFixture opened;
    opened.drives.Set('C', dir.Abs("t"));
    ASSERT_TRUE(opened.doc.OnOpenDocument(dir.Abs("r.tvl")));
    EXPECT_EQ(opened.doc.PlanRefresh('C').strConcern, "");
    std::string message;
    ASSERT_EQ(opened.doc.RefreshFolder('C', 1, message), WalkResult::Complete) << message;
    EXPECT_EQ(opened.doc.DriveOf('C')->GetFolder(1)->strPath, "C:\\a\\");
    DocFixture fresh;
    fresh.drives.Set('C', dir.Abs("t"));
    ASSERT_TRUE(fresh.doc.CreateReports(o));
    EXPECT_EQ(Plain(Serialize(opened.doc)), Plain(Serialize(fresh.doc)));

    // A letter that stands for another directory today, a report that does not know how
    // it was made: a refresh asks first, and says by which rules it would read.
    opened.drives.Set('C', dir.Abs("t/a"));
    EXPECT_EQ(opened.doc.PlanRefresh('C').strConcern,
              "Drive C: stood for " + dir.Abs("t") + " when the report was made; today it stands for " + dir.Abs("t/a") +
                  ". Refresh from " + dir.Abs("t/a") +
                  " with the report's options (disc usage, hidden folders left out, hard links counted once, "
                  "excluding skip)?");
    const std::string bytes = ReadWholeFile(dir.Abs("r.tvl"));
    WriteWholeFile(dir.Abs("plain.tvl"), bytes.substr(0, bytes.rfind("TvlFacts")));
    DocFixture old;
    old.drives.Set('C', dir.Abs("t"));
    ASSERT_TRUE(old.doc.OnOpenDocument(dir.Abs("plain.tvl")));
    EXPECT_EQ(old.doc.PlanRefresh('C').strConcern,
              "The report does not say how drive C: was scanned. Refresh it from " + dir.Abs("t") +
                  " with today's settings (apparent sizes, hidden folders read, hard links counted once, no "
                  "exclusions)?");
}

std::string RealPathOf(const DocFixture& f, const std::string& reportPath)
{
    return f.drives.RealPath(reportPath).value_or("");
}

// Which of a drive's names of a file counted: (folder path + name) of the counted ones.
std::vector<std::string> CountedNames(const DriveReport& d, std::int64_t nSize)
{
    std::vector<std::string> out;
    for (const FolderRecord* f : d.Folders())
        for (const FileEntry& e : f->files)
            if (e.nSize == nSize && d.Counts(*f, e.strName))
                out.push_back(f->strPath + e.strName);
    return out;
}

int PosOf(const DriveReport& d, const std::string& path)
{
    for (int i = 0; i < d.nFolders; ++i)
        if (d.GetFolder(i)->strPath == path)
            return i;
    return -1;
}

// A file with two names in two folders: moving either name to the trash, and reading
// either folder again, gives what a fresh scan of the tree gives; the file is counted
// and ranked once throughout.
TEST(ReportReuse, HardLinkTrashAndRefreshEqualAFreshScan)
{
    TempDir dir;
    dir.MakeFile("t/a/big", 1000000);
    dir.MakeFile("t/a/small", 10);
    dir.MakeDirs("t/b");
    ASSERT_EQ(::link(dir.Abs("t/a/big").c_str(), dir.Abs("t/b/biglink").c_str()), 0);
    NewReportOptions o;
    o.strDrives = "C";
    o.bStoreFileNames = true;
    DocFixture doc;
    doc.drives.Set('C', dir.Abs("t"));
    ASSERT_TRUE(doc.doc.CreateReports(o));
    auto expectFresh = [&](const char* when) {
        SCOPED_TRACE(when);
        DocFixture fresh;
        fresh.drives.Set('C', dir.Abs("t"));
        ASSERT_TRUE(fresh.doc.CreateReports(o));
        EXPECT_EQ(Plain(Serialize(doc.doc)), Plain(Serialize(fresh.doc)));
        EXPECT_EQ(CountedNames(*doc.doc.DriveOf('C'), 1000000).size(), 1u) << "counted and ranked once";
        int ranked = 0;
        for (const RankEntry& e : doc.doc.m_rankingAll)
            ranked += e.nSize == 1000000;
        EXPECT_EQ(ranked, 1);
    };
    expectFresh("scanned");

    // Refreshing either folder leaves the counting name where it was.
    std::string message;
    for (const char* folder : {"C:\\a\\", "C:\\b\\"}) {
        ASSERT_EQ(doc.doc.RefreshFolder('C', PosOf(*doc.doc.DriveOf('C'), folder), message), WalkResult::Complete);
        expectFresh(folder);
    }

    // Trash the counted name: the other one counts. Then link again and trash the name
    // that does not count: nothing is subtracted.
    auto trash = [&](const std::string& reportPath) {
        DriveReport& d = *doc.doc.DriveOf('C');
        const std::size_t cut = reportPath.rfind('\\') + 1;
        const std::string folder = reportPath.substr(0, cut), name = reportPath.substr(cut);
        ASSERT_EQ(::unlink(RealPathOf(doc, reportPath).c_str()), 0);
        ASSERT_TRUE(doc.doc.RemoveFile('C', PosOf(d, folder), name, 1000000));
    };
    const std::string counted = CountedNames(*doc.doc.DriveOf('C'), 1000000).at(0);
    trash(counted);
    expectFresh("counted name trashed");
    const std::string left = CountedNames(*doc.doc.DriveOf('C'), 1000000).at(0);
    ASSERT_EQ(::link(RealPathOf(doc, left).c_str(), RealPathOf(doc, counted).c_str()), 0);
    ASSERT_EQ(doc.doc.RefreshFolder('C', PosOf(*doc.doc.DriveOf('C'), counted.substr(0, counted.rfind('\\') + 1)), message),
              WalkResult::Complete);
    EXPECT_EQ(CountedNames(*doc.doc.DriveOf('C'), 1000000), std::vector<std::string>{left});
    trash(counted);
    expectFresh("name that did not count trashed");

    // The counting name gone from the disc, its folder read again: the other name counts.
    ASSERT_EQ(::link(RealPathOf(doc, left).c_str(), RealPathOf(doc, counted).c_str()), 0);
    ASSERT_EQ(doc.doc.RefreshFolder('C', 0, message), WalkResult::Complete);
    const std::string now = CountedNames(*doc.doc.DriveOf('C'), 1000000).at(0);
    const std::string other = now == left ? counted : left;
    ASSERT_EQ(::unlink(RealPathOf(doc, now).c_str()), 0);
    ASSERT_EQ(doc.doc.RefreshFolder('C', PosOf(*doc.doc.DriveOf('C'), now.substr(0, now.rfind('\\') + 1)), message),
              WalkResult::Complete);
    EXPECT_EQ(CountedNames(*doc.doc.DriveOf('C'), 1000000), std::vector<std::string>{other});
    expectFresh("counted name gone, its folder read again");
}

} // namespace
} // namespace tvl::test
