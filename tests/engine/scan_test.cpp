#include "test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tvl;
using namespace tvl::test;

namespace {

// Every scan runs with the calling thread alone and with four reading threads.
class Scan : public ::testing::TestWithParam<int> {};
class RealScan : public ::testing::TestWithParam<int> {};
std::string ThreadsName(const ::testing::TestParamInfo<int>& info)
{
    return std::to_string(info.param) + "Threads";
}
INSTANTIATE_TEST_SUITE_P(, Scan, ::testing::Values(1, 4), ThreadsName);
INSTANTIATE_TEST_SUITE_P(, RealScan, ::testing::Values(1, 4), ThreadsName);

// Drive C: 100 bytes in its root, A with 300 bytes and a sub-folder B with 600 bytes,
// and an empty Z that the listing delivers before A.
TEST_P(Scan, WorkedExampleGivesBothSumsSharesFlagsAndPathOrder)
{
    FakeFileSystem fs;
    fs.File("root.txt", 100);
    fs.Dir("Z");
    fs.File("A/a.txt", 300);
    fs.File("A/B/b.txt", 600);
    ScanFixture fx(fs, fs.RootPath(), GetParam());
    auto r = fx.Scan();

    ASSERT_EQ(r->nFolders, 4);
    EXPECT_EQ(Paths(*r), (std::vector<std::string>{"C:\\", "C:\\A\\", "C:\\A\\B\\", "C:\\Z\\"}));
    struct Row {
        const char* path;
        int level;
        std::int64_t own, withSubs;
        double ofParent, ofDisc;
        bool hasSubs, visible, expanded;
    } rows[] = {
        {"C:\\", 0, 100, 1000, -1.0, -1.0, true, true, false},
        {"C:\\A\\", 1, 300, 900, 90.0, 90.0, true, true, false},
        {"C:\\A\\B\\", 2, 600, 600, 600.0 / 900.0 * 100.0, 60.0, false, false, false},
        {"C:\\Z\\", 1, 0, 0, 0.0, 0.0, true, true, false},
    };
    for (int i = 0; i < 4; ++i) {
        const FolderRecord& f = *r->GetFolder(i);
        SCOPED_TRACE(f.strPath);
        EXPECT_EQ(f.strPath, rows[i].path);
        EXPECT_EQ(f.nLevel, rows[i].level);
        EXPECT_EQ(f.nSpaceWithoutSubs, rows[i].own);
        EXPECT_EQ(f.nSpaceWithSubs, rows[i].withSubs);
        EXPECT_DOUBLE_EQ(f.dPercentOfParent, rows[i].ofParent);
        EXPECT_DOUBLE_EQ(f.dPercentOfDisc, rows[i].ofDisc);
        EXPECT_EQ(f.bHasSubFolders, rows[i].hasSubs);
        EXPECT_EQ(f.bVisible, rows[i].visible);
        EXPECT_EQ(f.bExpanded, rows[i].expanded);
    }
    EXPECT_EQ(r->GetFolder(2)->pParent, r->GetFolder(1));
    EXPECT_EQ(r->GetFolder(4), nullptr);
    EXPECT_EQ(r->GetFolder(-1), nullptr);
    EXPECT_EQ(CheckReportInvariants(*r), "");
    EXPECT_TRUE(fx.messages.messages.empty());
    EXPECT_EQ(fs.openHandles, 0);
}

TEST_P(Scan, DrivesTheFiveStepsInOrder)
{
    FakeFileSystem fs;
    fs.File("A/a", 1);
    fs.Dir("B");
    ScanFixture fx(fs, fs.RootPath(), GetParam());
    fx.Scan(false, 10);

    const std::vector<std::string> expected = {
        "caption:Creating report for drive C: ...", "status:", "show",
        "step1:Step 1: Reading disc structure and creating ranking",
        "step:1", "progress:-1", "redraw",
        "step:2", "status:", "redraw",
        "step:3", "status:", "redraw",
        "step:4", "status:", "redraw",
        "step:5", "status:", "redraw",
        "hide", "redraw"};
    EXPECT_EQ(fx.progress.log, expected);
    // Steps 2 to 4 each report positions 1..n of n; step 1 only the folder paths.
    std::vector<std::pair<int, int>> positions = {{-1, 0}};
    for (int step = 2; step <= 4; ++step)
        for (int i = 1; i <= 3; ++i)
            positions.push_back({i, 3});
    EXPECT_EQ(fx.progress.progress, positions);
    EXPECT_EQ(fx.progress.statusTexts, 3 + 3 * 3);

    ScanFixture noRanking(fs, fs.RootPath(), GetParam());
    noRanking.Scan(false, 0);
    EXPECT_EQ(noRanking.progress.log[3], "step1:Step 1: Reading disc structure");
}

TEST_P(Scan, EmptyAndUnreadableDrivesGiveTheirRootRecord)
{
    FakeFileSystem empty;
    empty.Dir("x/y");
    ScanFixture fx(empty, empty.RootPath(), GetParam());
    auto r = fx.Scan();
    ASSERT_EQ(r->nFolders, 3);
    EXPECT_EQ(r->GetFolder(0)->nSpaceWithSubs, 0);
    EXPECT_DOUBLE_EQ(r->GetFolder(0)->dPercentOfParent, -1.0);
    for (int i = 1; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(r->GetFolder(i)->dPercentOfParent, -1.0); // parent holds 0 bytes
        EXPECT_DOUBLE_EQ(r->GetFolder(i)->dPercentOfDisc, 0.0);
    }
    EXPECT_TRUE(r->ranking.empty());

    FakeFileSystem locked;
    locked.File("f", 10);
    locked.Root().openable = false;
    ScanFixture fx2(locked, locked.RootPath(), GetParam());
    auto root = fx2.Scan();
    ASSERT_TRUE(root);
    ASSERT_EQ(root->nFolders, 1);
    const FolderRecord& f = *root->GetFolder(0);
    EXPECT_EQ(f.strPath, "C:\\");
    EXPECT_EQ(f.nSpaceWithoutSubs, 0);
    EXPECT_EQ(f.nSpaceWithSubs, 0);
    EXPECT_TRUE(f.bVisible);
    EXPECT_FALSE(f.bExpanded);
    EXPECT_TRUE(f.bHasSubFolders);
    EXPECT_DOUBLE_EQ(f.dPercentOfParent, -1.0);
    EXPECT_DOUBLE_EQ(f.dPercentOfDisc, -1.0);
}

TEST_P(Scan, SkipsDotFoldersOnRequestAndDoesNotEnterOtherFileSystemsOrUnreadableFolders)
{
    FakeFileSystem fs;
    fs.File(".hidden-file", 7); // dot-files count
    fs.File(".git/objects/pack", 1000);
    fs.File("mnt/inner/x", 50).name = "x";
    fs.Dir("mnt").otherDevice = true;
    fs.File("locked/secret", 40);
    fs.Dir("locked").openable = false;
    ScanFixture fx(fs, fs.RootPath(), GetParam());
    fx.env.options.bSkipHidden = true;
    auto r = fx.Scan(true, 10);

    EXPECT_EQ(Paths(*r), (std::vector<std::string>{"C:\\", "C:\\locked\\", "C:\\mnt\\"}));
    EXPECT_EQ(r->GetFolder(0)->nSpaceWithSubs, 7);
    EXPECT_TRUE(Find(*r, "C:\\mnt\\")->files.empty());
    EXPECT_EQ(Find(*r, "C:\\locked\\")->nSpaceWithoutSubs, 0);
    ASSERT_EQ(r->ranking.size(), 1u);
    EXPECT_EQ(r->ranking[0].strName, ".hidden-file");
    EXPECT_EQ(fs.openHandles, 0);

    // By default hidden folders are scanned like any other.
    fx.env.options.bSkipHidden = false;
    auto all = fx.Scan(true, 10);
    EXPECT_EQ(Paths(*all), (std::vector<std::string>{"C:\\", "C:\\.git\\", "C:\\.git\\objects\\",
                                                     "C:\\locked\\", "C:\\mnt\\"}));
    EXPECT_EQ(all->GetFolder(0)->nSpaceWithSubs, 1007);
    EXPECT_EQ(all->ranking[0].strName, "pack");
}

TEST_P(Scan, RanksAndStoresFilesInWalkOrder)
{
    // The walk enters "sub" as soon as the listing delivers it, before "z.bin".
    FakeFileSystem fs;
    fs.File("a.bin", 5);
    fs.File("sub/s.bin", 5);
    fs.File("z.bin", 5);
    fs.File("sub/deeper/small", 1);
    fs.Dir("nofiles");
    ScanFixture fx(fs, fs.RootPath(), GetParam());
    auto r = fx.Scan(true, 3);
    ASSERT_EQ(r->ranking.size(), 3u);
    EXPECT_EQ(r->ranking[0].strName, "a.bin");
    EXPECT_EQ(r->ranking[1].strName, "s.bin");
    EXPECT_EQ(r->ranking[1].strLocation, "C:\\sub\\");
    EXPECT_EQ(r->ranking[2].strName, "z.bin");

    const FolderRecord* root = r->GetFolder(0);
    ASSERT_EQ(root->files.size(), 2u);
    EXPECT_EQ(root->files[0].strName, "a.bin");
    EXPECT_EQ(root->files[1].strName, "z.bin");
    EXPECT_TRUE(Find(*r, "C:\\nofiles\\")->files.empty());

    auto noNames = fx.Scan(false, 3);
    for (const FolderRecord* f : noNames->Folders())
        EXPECT_TRUE(f->files.empty());
}

TEST_P(Scan, DeepTreesNeedNoRecursionAndFewHandles)
{
    FakeFileSystem fs;
    FakeFileSystem::Node* cur = &fs.Root();
    for (int i = 0; i < 10000; ++i) {
        cur->children.push_back(std::make_unique<FakeFileSystem::Node>());
        cur = cur->children.back().get();
        cur->name = "d";
        cur->isDir = true;
    }
    cur->children.push_back(std::make_unique<FakeFileSystem::Node>());
    cur->children.back()->name = "bottom";
    cur->children.back()->size = 42;
    ScanFixture fx(fs, fs.RootPath(), GetParam());
    auto r = fx.Scan();
    ASSERT_EQ(r->nFolders, 10001);
    EXPECT_EQ(r->GetFolder(0)->nSpaceWithSubs, 42);
    EXPECT_EQ(r->GetFolder(10000)->nLevel, 10000);
    EXPECT_EQ(r->GetFolder(10000)->nSpaceWithoutSubs, 42);
    EXPECT_EQ(CheckReportInvariants(*r), "");
    EXPECT_LT(fs.maxOpenHandles, 700);
    EXPECT_EQ(fs.openHandles, 0);
}

TEST_P(Scan, AStopRequestEndsTheWalkAndKeepsWhatWasRead)
{
    FakeFileSystem fs;
    for (int i = 0; i < 50; ++i)
        fs.File("d" + std::to_string(i) + "/f", 1);
    ScanFixture fx(fs, fs.RootPath(), GetParam());
    fx.clock.step = 600; // every second reading passes a pump
    fx.hook.onPump = [&] { fx.pump.RequestStop(); };
    auto r = fx.Scan();
    EXPECT_TRUE(r->WasCancelled());
    EXPECT_GE(fx.hook.calls, 1);
    EXPECT_LT(r->nFolders, 51);
    EXPECT_EQ(fx.progress.log.back(), "redraw");
    EXPECT_EQ(fs.openHandles, 0);
}

// ---- Real directory trees ---------------------------------------------------------

struct RealTree {
    RealTree(const std::string& root, int nThreads) : fx(RealFileSystem(), root, nThreads) {}
    ScanFixture fx;
};

TEST_P(RealScan, SumsFullSizesAndNeverFollowsLinks)
{
    TempDir t;
    t.MakeFile("big/sparse.img", 5LL << 30); // 5 GiB, sparse
    t.MakeFile("big/small", 10);
    t.MakeDirs("empty");
    t.MakeFile("loops/plain", 3);
    ASSERT_EQ(::symlink(".", t.Abs("loops/self").c_str()), 0);
    ASSERT_EQ(::symlink("..", t.Abs("loops/up").c_str()), 0);
    ASSERT_EQ(::symlink("/nonexistent/target", t.Abs("dangling").c_str()), 0);

    RealTree s(t.path(), GetParam());
    auto r = s.fx.Scan(true, 2);
    EXPECT_EQ(Paths(*r), (std::vector<std::string>{"C:\\", "C:\\big\\", "C:\\empty\\", "C:\\loops\\"}));
    const std::int64_t linkSizes = 1 + 2 + 19; // a link's own size is its target's length
    EXPECT_EQ(r->GetFolder(0)->nSpaceWithSubs, (5LL << 30) + 10 + 3 + linkSizes);
    EXPECT_EQ(Find(*r, "C:\\loops\\")->nSpaceWithoutSubs, 3 + 1 + 2);
    ASSERT_EQ(r->ranking.size(), 2u);
    EXPECT_EQ(r->ranking[0].strName, "sparse.img");
    EXPECT_EQ(r->ranking[0].nSize, 5LL << 30);
    EXPECT_EQ(CheckReportInvariants(*r), "");
}

TEST_P(RealScan, NamesDifferingOnlyInCaseKeepTheirSubtreesApart)
{
    TempDir t;
    t.MakeFile("fonts/cMap/a/1", 1);
    t.MakeFile("fonts/cmap/a/2", 2);
    t.MakeFile("fonts/CMAP/3", 4);
    RealTree s(t.path(), GetParam());
    auto r = s.fx.Scan();
    EXPECT_EQ(CheckReportInvariants(*r), "");
    EXPECT_EQ(Find(*r, "C:\\fonts\\cmap\\")->nSpaceWithSubs, 2);
    EXPECT_EQ(Find(*r, "C:\\fonts\\cMap\\")->nSpaceWithSubs, 1);
    EXPECT_EQ(Find(*r, "C:\\fonts\\")->nSpaceWithSubs, 7);
}

TEST_P(RealScan, AwkwardNamesDoNotBreakTheReport)
{
    TempDir t;
    t.MakeFile("back\\slash/f", 1);
    t.MakeFile("new\nline/f", 2);
    t.MakeFile("bad\xff\xfeutf8/f", 4);
    t.MakeFile("gr\xc3\xbc\xc3\x9f" "e/f", 8);
    RealTree s(t.path(), GetParam());
    auto r = s.fx.Scan(true);
    EXPECT_EQ(r->nFolders, 5);
    EXPECT_EQ(r->GetFolder(0)->nSpaceWithSubs, 15);
    EXPECT_NE(Find(*r, "C:\\new\nline\\"), nullptr);
    EXPECT_NE(Find(*r, "C:\\bad\xff\xfeutf8\\"), nullptr);
    EXPECT_EQ(CheckReportInvariants(*r), "");
}

// Builds a chain of `depth` directories named `name` below `base`, with a file at the
// bottom, working relative to descriptors (the full path is longer than PATH_MAX).
void MakeChain(const std::string& base, const std::string& name, int depth, std::uint64_t fileSize)
{
    int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < depth; ++i) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
        int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    int f = ::openat(fd, "bottom", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(f, 0);
    ASSERT_EQ(::ftruncate(f, static_cast<off_t>(fileSize)), 0);
    ::close(f);
    ::close(fd);
}

void RemoveChain(const std::string& base, const std::string& name, int depth)
{
    std::vector<int> fds = {::open(base.c_str(), O_RDONLY | O_DIRECTORY)};
    for (int i = 0; i < depth && fds.back() >= 0; ++i)
        fds.push_back(::openat(fds.back(), name.c_str(), O_RDONLY | O_DIRECTORY));
    if (fds.back() >= 0)
        ::unlinkat(fds.back(), "bottom", 0);
    for (int i = static_cast<int>(fds.size()) - 1; i > 0; --i) {
        ::close(fds[i]);
        ::unlinkat(fds[i - 1], name.c_str(), AT_REMOVEDIR);
    }
    ::close(fds[0]);
}

TEST_P(RealScan, ThousandsOfLevelsAndPathsBeyondPathMax)
{
    TempDir t;
    MakeChain(t.path(), "d", 3000, 77);            // paths of 6,000 bytes (the fake tree goes deeper)
    t.MakeDirs("wide");
    MakeChain(t.Abs("wide"), std::string(200, 'n'), 40, 5); // 8,000-byte path
    RealTree s(t.path(), GetParam());
    auto r = s.fx.Scan(true);
    EXPECT_EQ(r->nFolders, 1 + 3000 + 1 + 40);
    EXPECT_EQ(r->GetFolder(0)->nSpaceWithSubs, 82);
    const FolderRecord* deepest = r->GetFolder(3000);
    ASSERT_NE(deepest, nullptr);
    EXPECT_EQ(deepest->nLevel, 3000);
    EXPECT_EQ(deepest->nSpaceWithoutSubs, 77);
    ASSERT_EQ(deepest->files.size(), 1u);
    EXPECT_EQ(CheckReportInvariants(*r), "");
    RemoveChain(t.path(), "d", 3000);
    RemoveChain(t.Abs("wide"), std::string(200, 'n'), 40);
}

} // namespace
