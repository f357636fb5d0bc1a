// What a scan counts on a Linux disc: hidden folders, hard links, space on disc,
// exclusions, backslashes in names, and a stop part-way.
#include "PathNames.h"
#include "ScanOptions.h"
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

constexpr std::int64_t kMiB = 1 << 20;

std::unique_ptr<DriveReport> ScanTree(const std::string& root, const ScanOptions& options, int threads,
                                      bool storeFiles = true)
{
    ScanFixture fx(RealFileSystem(), root);
    fx.env.nThreads = threads;
    fx.env.options = options;
    return fx.Scan(storeFiles, 100);
}

bool Ranked(const DriveReport& r, const std::string& name)
{
    for (const RankEntry& e : r.ranking)
        if (e.strName == name)
            return true;
    return false;
}

TEST(ScanOptions, HiddenFoldersCountByDefaultAndAreLeftOutOnRequest)
{
    TempDir t;
    t.MakeFile(".cache/thumbs/big.bin", 5 * kMiB);
    t.MakeFile("doc.txt", 100);
    for (int threads : {1, 4}) {
        SCOPED_TRACE(threads);
        ScanOptions o;
        auto r = ScanTree(t.path(), o, threads);
        EXPECT_EQ(r->GetFolder(0)->nSpaceWithSubs, 5 * kMiB + 100);
        ASSERT_NE(Find(*r, "C:\\.cache\\thumbs\\"), nullptr);
        EXPECT_EQ(Find(*r, "C:\\.cache\\")->nSpaceWithSubs, 5 * kMiB);
        EXPECT_EQ(r->ranking.front().strName, "big.bin");
        EXPECT_EQ(CheckReportInvariants(*r), "");

        o.bSkipHidden = true;
        auto skipped = ScanTree(t.path(), o, threads);
        EXPECT_EQ(skipped->GetFolder(0)->nSpaceWithSubs, 100);
        EXPECT_EQ(Find(*skipped, "C:\\.cache\\"), nullptr);
        EXPECT_FALSE(Ranked(*skipped, "big.bin"));
    }
}

// Three names of one 1 MiB file in three folders: the name met first in walk order
// counts, the others are listed with their size and add nothing.
TEST(ScanOptions, AHardLinkedFileCountsOnceUnderItsFirstNameInWalkOrder)
{
    TempDir t;
    t.MakeFile("a/one", kMiB);
    t.MakeDirs("b");
    t.MakeDirs("c/deep");
    ASSERT_EQ(::link(t.Abs("a/one").c_str(), t.Abs("b/two").c_str()), 0);
    ASSERT_EQ(::link(t.Abs("a/one").c_str(), t.Abs("c/deep/three").c_str()), 0);
    t.MakeFile("c/plain", 10);

    auto reference = ScanTree(t.path(), ScanOptions{}, 1);
    EXPECT_EQ(reference->GetFolder(0)->nSpaceWithSubs, kMiB + 10);
    int owners = 0;
    for (const char* path : {"C:\\a\\", "C:\\b\\", "C:\\c\\deep\\"}) {
        const FolderRecord* f = Find(*reference, path);
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(f->files.size(), 1u) << path;
        EXPECT_EQ(f->files[0].nSize, kMiB) << path; // listed with its size everywhere
        owners += f->nSpaceWithoutSubs == kMiB;
        EXPECT_TRUE(f->nSpaceWithoutSubs == kMiB || f->nSpaceWithoutSubs == 0) << path;
    }
    EXPECT_EQ(owners, 1);
    int rankedNames = 0;
    for (const RankEntry& e : reference->ranking)
        rankedNames += e.nSize == kMiB;
    EXPECT_EQ(rankedNames, 1);

    for (int threads : {2, 4}) {
        auto r = ScanTree(t.path(), ScanOptions{}, threads);
        ASSERT_EQ(r->nFolders, reference->nFolders);
        for (int i = 0; i < r->nFolders; ++i) {
            EXPECT_EQ(r->GetFolder(i)->strPath, reference->GetFolder(i)->strPath);
            EXPECT_EQ(r->GetFolder(i)->nSpaceWithoutSubs, reference->GetFolder(i)->nSpaceWithoutSubs)
                << threads << " threads, " << r->GetFolder(i)->strPath;
        }
        ASSERT_EQ(r->ranking.size(), reference->ranking.size());
        for (std::size_t i = 0; i < r->ranking.size(); ++i)
            EXPECT_EQ(r->ranking[i].strLocation, reference->ranking[i].strLocation);
    }

    ScanOptions every;
    every.bCountLinksOnce = false;
    auto all = ScanTree(t.path(), every, 4);
    EXPECT_EQ(all->GetFolder(0)->nSpaceWithSubs, 3 * kMiB + 10);
    EXPECT_EQ(all->ranking.size(), 4u);
}

TEST(ScanOptions, WalkOrderDecidesWhichNameOfALinkedFileCounts)
{
    // The fake lists in insertion order: "z" is met before "a", and inside "z" the
    // sub-folder "z/in" before the file "z/f".
    FakeFileSystem fs;
    fs.File("z/in/g", 7).inode = 42;
    fs.File("z/f", 7).inode = 42;
    fs.File("a/h", 7).inode = 42;
    fs.File("a/other", 7).inode = 43;
    for (int threads : {1, 4}) {
        ScanFixture fx(fs, fs.RootPath());
        fx.env.nThreads = threads;
        auto r = fx.Scan(true, 10);
        EXPECT_EQ(Find(*r, "C:\\z\\in\\")->nSpaceWithoutSubs, 7) << threads;
        EXPECT_EQ(Find(*r, "C:\\z\\")->nSpaceWithoutSubs, 0);
        EXPECT_EQ(Find(*r, "C:\\a\\")->nSpaceWithoutSubs, 7);
        EXPECT_EQ(Find(*r, "C:\\a\\")->files.size(), 2u);
        ASSERT_EQ(r->ranking.size(), 2u);
        EXPECT_EQ(r->ranking[0].strName, "g");
        EXPECT_EQ(r->ranking[1].strName, "other");
    }
}

TEST(ScanOptions, SpaceOnDiscCountsWhatASparseFileOccupies)
{
    TempDir t;
    t.MakeFile("vm/sparse.img", 5LL << 30);
    {
        std::ofstream dense(t.Abs("vm/dense.bin"), std::ios::binary);
        dense << std::string(10000, 'x');
    }
    struct stat sparse {}, dense {};
    ASSERT_EQ(::stat(t.Abs("vm/sparse.img").c_str(), &sparse), 0);
    ASSERT_EQ(::stat(t.Abs("vm/dense.bin").c_str(), &dense), 0);
    const std::int64_t onDisc = (static_cast<std::int64_t>(sparse.st_blocks) + dense.st_blocks) * 512;

    ScanOptions o;
    o.bDiscUsage = true;
    for (int threads : {1, 4}) {
        auto r = ScanTree(t.path(), o, threads);
        EXPECT_EQ(r->GetFolder(0)->nSpaceWithSubs, onDisc);
        EXPECT_LT(r->GetFolder(0)->nSpaceWithSubs, 1LL << 20);
        EXPECT_EQ(Find(*r, "C:\\vm\\")->files.size(), 2u);
    }
    auto lengths = ScanTree(t.path(), ScanOptions{}, 1);
    EXPECT_EQ(lengths->GetFolder(0)->nSpaceWithSubs, (5LL << 30) + 10000);
}

TEST(ScanOptions, ExcludedFoldersAreLeftOutByNameAndByRelativePath)
{
    TempDir t;
    t.MakeFile("src/node_modules/lib/x.js", 1000);
    t.MakeFile("src/main.c", 10);
    t.MakeFile("var/cache/apt/pkg.deb", 500);
    t.MakeFile("var/lib/cache/keep", 20); // "cache" deeper: not matched by "var/cache"
    t.MakeFile("build-1/o", 3);
    ScanOptions o;
    o.excludes = {"node_modules", "var/cache", "build-[0-9]"};
    for (int threads : {1, 4}) {
        SCOPED_TRACE(threads);
        auto r = ScanTree(t.path(), o, threads);
        EXPECT_EQ(Paths(*r), (std::vector<std::string>{"C:\\", "C:\\src\\", "C:\\var\\", "C:\\var\\lib\\",
                                                       "C:\\var\\lib\\cache\\"}));
        EXPECT_EQ(r->GetFolder(0)->nSpaceWithSubs, 30);
        EXPECT_FALSE(Ranked(*r, "pkg.deb"));
    }
    // '*' in a path pattern does not cross a '/'.
    o.excludes = {"*/cache"};
    auto r = ScanTree(t.path(), o, 1);
    EXPECT_EQ(Find(*r, "C:\\var\\cache\\"), nullptr);
    EXPECT_NE(Find(*r, "C:\\var\\lib\\cache\\"), nullptr);
}

TEST(ScanOptions, BadPatternsAreRefusedWithAClearMessage)
{
    EXPECT_EQ(CheckExcludePattern("*.tmp"), "");
    EXPECT_EQ(CheckExcludePattern("var/cache/"), "");
    EXPECT_EQ(NormalizeExcludePattern("var/cache/"), "var/cache");
    EXPECT_EQ(CheckExcludePattern("[]x]"), "");
    EXPECT_EQ(CheckExcludePattern("a\\[b"), "");
    EXPECT_NE(CheckExcludePattern(""), "");
    EXPECT_NE(CheckExcludePattern("/var/cache").find("begins with '/'"), std::string::npos);
    EXPECT_NE(CheckExcludePattern("a//b").find("empty step"), std::string::npos);
    EXPECT_NE(CheckExcludePattern("cache[").find("without its closing ']'"), std::string::npos);
    EXPECT_NE(CheckExcludePattern("x\\").find("lone backslash"), std::string::npos);

    std::vector<std::string> list{"old"};
    EXPECT_EQ(ParseExcludeList(" node_modules ; ;*.git; var/tmp/ ", list), "");
    EXPECT_EQ(list, (std::vector<std::string>{"node_modules", "*.git", "var/tmp"}));
    EXPECT_EQ(JoinExcludeList(list), "node_modules; *.git; var/tmp");
    EXPECT_NE(ParseExcludeList("ok; [bad", list).find("\"[bad\""), std::string::npos);
    EXPECT_EQ(list.size(), 3u); // unchanged by a refused list
}

// "q\r" (a folder whose name holds a backslash) beside "q/r" (folder r in q): two
// different report paths, each shown with its own name and mapped to its own directory.
TEST(ScanOptions, ABackslashInAFolderNameKeepsItsReportPathApart)
{
    TempDir t;
    t.MakeFile("q\\r/in-backslash-folder", 5);
    t.MakeFile("q/r/in-nested-folder", 7);
    for (int threads : {1, 4}) {
        auto r = ScanTree(t.path(), ScanOptions{}, threads);
        const FolderRecord* odd = Find(*r, "C:\\q/r\\");
        const FolderRecord* nested = Find(*r, "C:\\q\\r\\");
        ASSERT_NE(odd, nullptr);
        ASSERT_NE(nested, nullptr);
        EXPECT_EQ(odd->nLevel, 1);
        EXPECT_EQ(nested->nLevel, 2);
        EXPECT_EQ(odd->nSpaceWithSubs, 5);
        EXPECT_EQ(nested->nSpaceWithSubs, 7);
        EXPECT_EQ(odd->files.at(0).strName, "in-backslash-folder");
        EXPECT_EQ(CheckReportInvariants(*r), "");
    }
    EXPECT_EQ(FolderDisplayName("C:\\q/r\\"), "q\\r");
    EXPECT_EQ(FolderDisplayName("C:\\q\\r\\"), "r");

    DriveMap map;
    map.Set('C', t.path());
    EXPECT_EQ(map.RealPath("C:\\q/r\\"), t.path() + "/q\\r");
    EXPECT_EQ(map.RealPath("C:\\q\\r\\"), t.path() + "/q/r");
    // The live file listing of each folder shows its own files.
    for (const auto& [path, file] : {std::pair{"C:\\q/r\\", "in-backslash-folder"}, {"C:\\q\\r\\", "in-nested-folder"}}) {
        DirListing listing;
        ASSERT_TRUE(ListDirectory(RealFileSystem(), *map.RealPath(path), listing));
        ASSERT_EQ(listing.items.size(), 1u);
        EXPECT_EQ(listing.Name(listing.items[0]), file);
    }
    std::string built = "C:\\";
    AppendPathStep(built, "a\\b");
    EXPECT_EQ(built, "C:\\a/b\\");
    EXPECT_EQ(PathStepToName(NameToPathStep("x\\y\\z")), "x\\y\\z");
}

TEST(ScanOptions, AStopDuringTheWalkKeepsWhatWasReadWithConsistentSums)
{
    FakeFileSystem fs;
    for (int i = 0; i < 50; ++i)
        fs.File("d" + std::to_string(i) + "/f", 1);
    for (int threads : {1, 4}) {
        ScanFixture fx(fs, fs.RootPath());
        fx.env.nThreads = threads;
        fx.clock.step = 600;
        fx.hook.onPump = [&] {
            if (fx.hook.calls == 3)
                fx.pump.RequestStop();
        };
        auto r = fx.Scan(false, 10);
        EXPECT_TRUE(r->WasCancelled());
        EXPECT_GT(r->nFolders, 1);
        EXPECT_LT(r->nFolders, 51);
        EXPECT_EQ(CheckReportInvariants(*r), "");
        EXPECT_LE(r->GetFolder(0)->nSpaceWithSubs, r->nFolders - 1); // one byte per folder read
        EXPECT_EQ(r->GetFolder(0)->dPercentOfDisc, -1.0);
        EXPECT_EQ(fs.openHandles, 0);
    }
}

} // namespace
