// What a scan knows of each folder beyond its bytes: counts, newest change, the other
// size measure and why a folder could not be read; checked against find and du on real
// trees, as an unprivileged user and across a mount point, and through Save and Open.
#include "format_support.h"

#include "AsUser.h"
#include "ReportBuilder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <set>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tvl::test {
namespace {

std::string Output(const std::string& cmd)
{
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

void WriteData(const std::string& path, std::size_t n)
{
    WriteWholeFile(path, std::string(n, 'x'));
}

void SetTime(const std::string& path, std::int64_t t)
{
    const timespec ts[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// One line of find's output.
struct Entry {
    char type;
    std::uint64_t inode, links;
    std::int64_t size, allocated, mtime;
    std::string rel; // "" for the top
};

std::vector<Entry> FindEntries(const std::string& top, const std::string& prune)
{
    std::vector<Entry> out;
    std::istringstream in(Output("find '" + top + "' -name '" + prune +
                              "' -prune -o -printf '%y %i %n %s %b %T@ %P\\n'"));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        Entry e;
        double t;
        f >> e.type >> e.inode >> e.links >> e.size >> e.allocated >> t;
        e.allocated *= 512;
        e.mtime = static_cast<std::int64_t>(std::floor(t));
        std::getline(f >> std::ws, e.rel);
        out.push_back(e);
    }
    return out;
}

// Saves a drive as a report file's bytes and opens them again; `d` stays as it was.
LoadedReport SaveAndOpen(std::unique_ptr<DriveReport>& d)
{
    std::vector<std::unique_ptr<DriveReport>> drives;
    drives.push_back(std::move(d));
    int nDrives = 1;
    bool ranking = true;
    std::string bytes;
    ReportWriter w(bytes);
    WriteReport(w, ReportContent{drives, nDrives, ranking, drives[0]->ranking, nullptr});
    d = std::move(drives[0]);
    ReportReader in(bytes.data(), bytes.size());
    NullLoadProgress progress;
    return ReadReport(in, progress);
}

// The report path of a relative path ("a/b" gives "C:\a\b\").
std::string ReportPath(const std::string& rel)
{
    std::string p = "C:\\";
    for (char c : rel)
        p += c == '/' ? '\\' : c;
    return rel.empty() ? p : p + "\\";
}

bool Below(const std::string& rel, const std::string& folder)
{
    return folder.empty() ? !rel.empty() : rel.size() > folder.size() && rel.compare(0, folder.size(), folder) == 0 &&
                                               rel[folder.size()] == '/';
}

// A tree with hidden folders, hard links in one folder and across two, a symbolic
// link, a sparse file, an empty folder and a folder left out by a pattern, every entry
// with a time of its own.
struct FactsTree {
    TempDir t;
    FactsTree()
    {
        t.MakeDirs("a/.hidden/deeper");
        t.MakeDirs("empty");
        t.MakeDirs("links/x");
        t.MakeDirs("links/y");
        t.MakeDirs("b/excluded");
        WriteData(t.Abs("a/one"), 5000);
        WriteData(t.Abs("a/.hidden/deeper/h"), 300);
        t.MakeFile("a/sparse", 1 << 20);
        WriteData(t.Abs("a/hl1"), 7000);
        EXPECT_EQ(::link(t.Abs("a/hl1").c_str(), t.Abs("a/hl2").c_str()), 0);
        WriteData(t.Abs("links/x/l"), 9000);
        EXPECT_EQ(::link(t.Abs("links/x/l").c_str(), t.Abs("links/y/l").c_str()), 0);
        EXPECT_EQ(::symlink("one", t.Abs("a/sym").c_str()), 0);
        WriteData(t.Abs("b/two"), 100);
        WriteData(t.Abs("b/excluded/big"), 50000);
        // Times: files first, folders last (a new entry changes its folder's time).
        std::int64_t when = 1500000000;
        for (const char* p : {"a/one", "a/sparse", "a/hl1", "links/x/l", "a/sym", "b/two", "b/excluded/big"})
            SetTime(t.Abs(p), when += 1000);
        SetTime(t.Abs("a/.hidden/deeper/h"), 1700000000); // the newest of a, under hidden folders
        SetTime(t.Abs("b/excluded"), 1800000000);         // left out: counts nowhere
        for (const char* p : {"a/.hidden/deeper", "a/.hidden", "a", "empty", "links/x", "links/y", "links", "b", ""})
            SetTime(t.Abs(p), when += 1000);
        SetTime(t.Abs("empty"), 1600000000); // newer than everything but a's hidden file
    }
    std::unique_ptr<DriveReport> Scan(bool discUsage, bool names)
    {
        ScanFixture fx(RealFileSystem(), t.path(), 2);
        fx.env.options.bDiscUsage = discUsage;
        fx.env.options.excludes = {"excluded"};
        return fx.Scan(names, 10);
    }
};

TEST(FolderFacts, CountsTimesAndTheOtherMeasureAreWhatFindAndDuSay)
{
    FactsTree tree;
    const std::vector<Entry> found = FindEntries(tree.t.path(), "excluded");
    ASSERT_GT(found.size(), 15u);
    for (bool discUsage : {false, true}) {
        SCOPED_TRACE(discUsage ? "counting space on disc" : "counting lengths");
        auto r = tree.Scan(discUsage, true);
        ASSERT_TRUE(r->bFolderFacts);
        ASSERT_EQ(r->nFolders, 9);
        for (const FolderRecord* f : r->Folders()) {
            // The expected facts of this folder from find: a file with several names
            // counts once in every folder that holds all of them.
            std::string rel;
            for (const Entry& e : found)
                if (e.type == 'd' && ReportPath(e.rel) == f->strPath)
                    rel = e.rel;
            ASSERT_TRUE(rel != "" || f->strPath == "C:\\") << f->strPath;
            std::int64_t items = 0, other = 0, otherOwn = 0, own = 0, newest = INT64_MIN;
            std::set<std::uint64_t> seen, seenOwn;
            for (const Entry& e : found) {
                const bool below = Below(e.rel, rel);
                if (!below && e.rel != rel)
                    continue;
                newest = std::max(newest, e.mtime);
                if (!below)
                    continue;
                if (e.type == 'd') {
                    ++items;
                    continue;
                }
                const std::int64_t size = discUsage ? e.size : e.allocated;
                const bool direct = e.rel.find('/', rel.empty() ? 0 : rel.size() + 1) == std::string::npos;
                if (e.links < 2 || seen.insert(e.inode).second) {
                    ++items;
                    other += size;
                }
                if (direct && (e.links < 2 || seenOwn.insert(e.inode).second)) {
                    ++own;
                    otherOwn += size;
                }
            }
            SCOPED_TRACE(f->strPath);
            EXPECT_EQ(f->state, FolderState::Read);
            EXPECT_EQ(f->nNewestChange, newest);
            // links\x\ and links\y\ each hold one name of the same file: which one counts
            // follows the listing order, so only their parent's numbers are fixed.
            if (rel == "links/x" || rel == "links/y")
                continue;
            EXPECT_EQ(f->nFiles, own);
            EXPECT_EQ(f->nItemsWithSubs, items);
            EXPECT_EQ(f->nOtherWithoutSubs, otherOwn);
            EXPECT_EQ(f->nOtherWithSubs, other);
        }
        const FolderRecord* x = Find(*r, "C:\\links\\x\\");
        const FolderRecord* y = Find(*r, "C:\\links\\y\\");
        EXPECT_EQ(x->nFiles + y->nFiles, 1);
        EXPECT_EQ(x->nOtherWithSubs + y->nOtherWithSubs, Find(*r, "C:\\links\\")->nOtherWithSubs);
        if (discUsage)
            EXPECT_EQ(x->nOtherWithSubs + y->nOtherWithSubs, 9000);

        // The root's other measure is du's of the whole tree, less the folders' own sizes.
        std::int64_t dirs = 0;
        for (const Entry& e : found)
            if (e.type == 'd')
                dirs += discUsage ? e.size : e.allocated;
        const std::string du = Output(std::string("du -s ") + (discUsage ? "-b" : "-B1") + " --exclude=excluded '" +
                                   tree.t.path() + "' | cut -f1");
        EXPECT_EQ(r->FirstFolder()->nOtherWithSubs, std::stoll(du) - dirs);
    }
}

TEST(FolderFacts, EitherMeasureShownIsWhatAScanWithThatOptionGivesAndSurvivesSaveAndOpen)
{
    FactsTree tree;
    auto length = tree.Scan(false, true);
    auto disc = tree.Scan(true, true);
    auto lengthNoNames = tree.Scan(false, false);
    // Saved and opened again, a report keeps every fact.
    for (auto* p : {&length, &disc, &lengthNoNames}) {
        LoadedReport loaded = SaveAndOpen(*p);
        EXPECT_EQ(loaded.strBlockWarning, "");
        const DriveReport* d = p->get();
        const DriveReport* again = loaded.drives.at(0).get();
        ASSERT_TRUE(again->bFolderFacts);
        ASSERT_EQ(again->nFolders, d->nFolders);
        for (int i = 0; i < d->nFolders; ++i) {
            const FolderRecord &a = *d->GetFolder(i), &b = *again->GetFolder(i);
            EXPECT_EQ(std::tie(a.state, a.nFiles, a.nItemsWithSubs, a.nOtherWithoutSubs, a.nOtherWithSubs,
                               a.nNewestChange),
                      std::tie(b.state, b.nFiles, b.nItemsWithSubs, b.nOtherWithoutSubs, b.nOtherWithSubs,
                               b.nNewestChange))
                << a.strPath;
            ASSERT_EQ(a.files.size(), b.files.size());
            for (std::size_t k = 0; k < a.files.size(); ++k)
                EXPECT_EQ(std::tie(a.files[k].nOtherSize, a.files[k].nChange),
                          std::tie(b.files[k].nOtherSize, b.files[k].nChange));
        }
    }
    // Shown in the other measure, each report gives the numbers of the other scan.
    for (SizeKind kind : {SizeKind::Length, SizeKind::DiscUsage})
        for (int i = 0; i < length->nFolders; ++i) {
            const FolderRecord& a = *length->GetFolder(i);
            const FolderRecord* b = Find(*disc, a.strPath);
            ASSERT_TRUE(b);
            const FolderSizes sa = SizesOf(*length, a, kind), sb = SizesOf(*disc, *b, kind);
            EXPECT_EQ(std::tie(sa.nWithoutSubs, sa.nWithSubs), std::tie(sb.nWithoutSubs, sb.nWithSubs)) << a.strPath;
            EXPECT_DOUBLE_EQ(sa.dPercentOfParent, sb.dPercentOfParent) << a.strPath;
            EXPECT_DOUBLE_EQ(sa.dPercentOfDisc, sb.dPercentOfDisc) << a.strPath;
        }
    for (const FolderRecord* f : length->Folders())
        for (const FileEntry& e : f->files)
            if (length->Counts(*f, e.strName))
                EXPECT_EQ(FileSizeOf(*length, e, SizeKind::DiscUsage),
                          FileSizeOf(*disc, Find(*disc, f->strPath)->files.at(&e - f->files.data()), SizeKind::DiscUsage));
}

// As nobody, a folder closed to others is marked "no access"; a tmpfs mounted in the
// tree is marked "other file system". Both marks survive Save and Open.
TEST(FolderFacts, AFolderClosedToTheUserAndAMountPointAreMarkedWithTheirReason)
{
    if (!CanActAsOtherUsers())
        GTEST_SKIP() << "needs root to scan as an unprivileged user";
    TempDir t;
    t.MakeDirs("open");
    t.MakeDirs("locked/inner");
    t.MakeDirs("mnt");
    WriteData(t.Abs("open/f"), 10);
    WriteData(t.Abs("locked/inner/secret"), 10);
    ASSERT_EQ(::chmod(t.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(t.Abs("locked").c_str(), 0700), 0);
    const std::string result = RunInChild([&]() -> std::string {
        if (::unshare(CLONE_NEWNS) != 0)
            return "skip: no mount namespace here";
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tovaline-test", t.Abs("mnt").c_str(), "tmpfs", 0, "mode=0755") != 0)
            return "skip: cannot mount a tmpfs here";
        WriteData(t.Abs("mnt/on-tmpfs"), 10);
        return RunAsUser(kNobody, kNobody, [&]() -> std::string {
            ScanFixture fx(RealFileSystem(), t.path(), 1);
            auto d = fx.Scan(false, true);
            LoadedReport r = SaveAndOpen(d);
            std::string out;
            for (const DriveReport* rep : {d.get(), r.drives.at(0).get()}) {
                for (const FolderRecord* f : rep->Folders())
                    out += f->strPath + "=" + FolderStateName(f->state) + ",";
                out += std::to_string(rep->pFacts->counts.nUnreadable) + "/" +
                       std::to_string(rep->pFacts->counts.nOtherFs) + ";";
            }
            return out;
        });
    });
    if (result.rfind("skip: ", 0) == 0)
        GTEST_SKIP() << result.substr(6);
    const std::string expected =
        "C:\\=read,C:\\locked\\=no-access,C:\\mnt\\=other-fs,C:\\open\\=read,1/1;";
    EXPECT_EQ(result, expected + expected);
}

TEST(FolderFacts, AFolderThatVanishesOrBreaksOffIsMarkedAndKeepsWhatWasRead)
{
    FakeFileSystem fs;
    fs.Dir("gone").openable = false;
    fs.Dir("gone").failure = IFileSystem::kGone;
    fs.Dir("denied").openable = false;
    fs.Dir("denied").failure = IFileSystem::kDenied;
    fs.Dir("broken").broken = true;
    fs.File("broken/first", 5);
    fs.File("broken/second", 7);
    ScanFixture fx(fs, fs.RootPath(), 1);
    auto r = fx.Scan(true, 10);
    EXPECT_EQ(Find(*r, "C:\\gone\\")->state, FolderState::Vanished);
    EXPECT_EQ(Find(*r, "C:\\denied\\")->state, FolderState::NoAccess);
    const FolderRecord* broken = Find(*r, "C:\\broken\\");
    EXPECT_EQ(broken->state, FolderState::ReadError);
    EXPECT_EQ(broken->nSpaceWithoutSubs, 5);
    EXPECT_EQ(broken->nFiles, 1);
    EXPECT_EQ(r->FirstFolder()->nItemsWithSubs, 4);
    EXPECT_EQ(std::string(FolderStateText(FolderState::NoAccess)), "Could not be read: permission denied");
}

// Facts that do not add up (a crafted or damaged file) leave the block out with a
// warning; the report itself opens with its sums.
TEST(FolderFacts, FactsThatDoNotAddUpAreLeftOutAndTheReportStillOpens)
{
    FactsTree tree;
    for (int damage = 0; damage < 4; ++damage) {
        SCOPED_TRACE(damage);
        auto d = tree.Scan(false, true);
        FolderRecord& a = *const_cast<FolderRecord*>(Find(*d, "C:\\a\\"));
        const std::int64_t total = d->FirstFolder()->nSpaceWithSubs;
        switch (damage) {
        case 0: ++a.nItemsWithSubs; break;
        case 1: a.nOtherWithSubs -= 1; break;
        case 2: a.state = static_cast<FolderState>(17); break;
        case 3: a.files.at(0).nChange = a.nNewestChange + 1; break;
        }
        LoadedReport r = SaveAndOpen(d);
        ASSERT_TRUE(r.result.bOk);
        EXPECT_EQ(r.strBlockWarning,
                  "The scan facts stored after the report were left out: the folder facts of drive C do not add up.");
        EXPECT_FALSE(r.drives.at(0)->bFolderFacts);
        EXPECT_FALSE(r.drives.at(0)->pFacts);
        EXPECT_EQ(r.drives.at(0)->FirstFolder()->nSpaceWithSubs, total);
    }
}

} // namespace
} // namespace tvl::test
