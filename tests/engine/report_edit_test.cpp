// Edits of a finished report on real trees: refresh of a folder, removal of a folder
// or a file, and Find over the names a report knows.
#include "ReportEdit.h"
#include "test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <fcntl.h>
#include <sys/stat.h>

using namespace tvl;
using namespace tvl::test;
namespace fs = std::filesystem;

namespace {

// Everything a view reads of a report, one line per folder, plus the ranking.
std::string Dump(const DriveReport& r, bool withRanking = true)
{
    std::ostringstream out;
    for (const FolderRecord* f : r.Folders())
        out << f->strPath << " L" << f->nLevel << " own=" << f->nSpaceWithoutSubs << " subs=" << f->nSpaceWithSubs
            << " par=" << f->dPercentOfParent << " disc=" << f->dPercentOfDisc << " desc=" << f->nDescendants
            << " files=" << f->files.size() << " parent=" << (f->pParent ? f->pParent->strPath : "-")
            // The folder facts a fresh scan gives (the newest change is checked apart:
            // an edit stamps it with the time of the edit).
            << " state=" << FolderStateName(f->state) << " n=" << f->nFiles << " items=" << f->nItemsWithSubs
            << " other=" << f->nOtherWithoutSubs << "/" << f->nOtherWithSubs << "\n";
    for (const FolderRecord* f : r.Folders())
        for (const FileEntry& e : f->files)
            out << "file " << f->strPath << e.strName << " " << e.nSize << " " << e.nOtherSize << "\n";
    if (withRanking)
        for (const RankEntry& e : r.ranking)
            out << "rank " << e.strLocation << e.strName << " " << e.nSize << "\n";
    out << "n=" << r.nFolders;
    return out.str();
}

// The largest difference in newest change between the folders of two reports whose
// paths begin with `prefix` (both reports must hold the same folders).
std::int64_t NewestDiff(const DriveReport& a, const DriveReport& b, const std::string& prefix = "")
{
    std::int64_t most = 0;
    for (int i = 0; i < a.nFolders && i < b.nFolders; ++i)
        if (a.GetFolder(i)->strPath.rfind(prefix, 0) == 0)
            most = std::max(most, std::abs(a.GetFolder(i)->nNewestChange - b.GetFolder(i)->nNewestChange));
    return most;
}

// Sets every entry of the tree to a time long past, so that a change now shows.
void Age(const TempDir& t)
{
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    for (const auto& e : fs::recursive_directory_iterator(t.path()))
        ::utimensat(AT_FDCWD, e.path().c_str(), old, AT_SYMLINK_NOFOLLOW);
    ::utimensat(AT_FDCWD, t.path().c_str(), old, AT_SYMLINK_NOFOLLOW);
}

// Each folder's subtree extent agrees with the list: positions pos+1..pos+n are
// exactly the folders whose path starts with its path.
std::string CheckExtents(const DriveReport& r)
{
    const auto& list = r.Folders();
    for (std::size_t i = 0; i < list.size(); ++i) {
        std::size_t end = i + 1;
        while (end < list.size() && list[end]->strPath.compare(0, list[i]->strPath.size(), list[i]->strPath) == 0)
            ++end;
        if (end - i - 1 != static_cast<std::size_t>(list[i]->nDescendants))
            return "wrong extent at " + list[i]->strPath;
        if (i > 0 && CompareFolderPaths(list[i - 1]->strPath, list[i]->strPath) >= 0)
            return "not in path order at " + list[i]->strPath;
    }
    return CheckReportInvariants(r);
}

int PosOf(const DriveReport& r, const std::string& path)
{
    for (int i = 0; i < r.nFolders; ++i)
        if (r.GetFolder(i)->strPath == path)
            return i;
    return -1;
}

// The space allocated to a file of the tree, as a drive counting lengths keeps it.
std::int64_t Allocated(const TempDir& t, const std::string& rel)
{
    struct stat st {};
    return ::stat(t.Abs(rel).c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_blocks) * 512 : -1;
}

struct Tree {
    TempDir t;
    ScanFixture fx{RealFileSystem(), t.path(), 1};
    std::unique_ptr<DriveReport> Fresh(bool store, int rank) { return fx.Scan(store, rank); }
};

class Refresh : public ::testing::TestWithParam<bool> {}; // with and without stored file names
INSTANTIATE_TEST_SUITE_P(, Refresh, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "StoredNames" : "NoNames"; });

TEST_P(Refresh, AfterAddingGrowingAndDeletingGivesTheNumbersOfAFreshScan)
{
    Tree tr;
    tr.t.MakeFile("top.bin", 50);
    tr.t.MakeFile("a/one", 100);
    tr.t.MakeFile("a/old/gone", 400);
    tr.t.MakeFile("a/keep/k", 30);
    tr.t.MakeFile("b/other", 70);
    auto r = tr.Fresh(GetParam(), 100);
    FolderRecord* a = r->GetFolder(PosOf(*r, "C:\\a\\"));

    tr.t.MakeFile("a/new/deep/x", 1000); // added
    tr.t.MakeFile("a/one", 250);         // grown
    fs::remove_all(tr.t.Abs("a/old"));   // deleted with its file
    tr.t.MakeFile("a/keep/k2", 5);
    tr.t.MakeFile("b/unseen", 9);        // outside the refreshed folder: not read

    std::string msg;
    ASSERT_EQ(ReportEditor(*r).RefreshFolder(PosOf(*r, "C:\\a\\"), tr.fx.env, msg), WalkResult::Complete);
    EXPECT_EQ(r->GetFolder(PosOf(*r, "C:\\a\\")), a) << "the refreshed record keeps its address";
    EXPECT_EQ(CheckExtents(*r), "");

    fs::remove(tr.t.Abs("b/unseen"));
    auto fresh = tr.Fresh(GetParam(), 100);
    EXPECT_EQ(Dump(*r), Dump(*fresh));
    EXPECT_EQ(NewestDiff(*r, *fresh, "C:\\a\\"), 0);
    EXPECT_FALSE(r->bRankingIncomplete); // the ranking was never full
}

TEST_P(Refresh, ReadsWithTheReportsScanOptionsAndPathPatternsSeeTheDrive)
{
    Tree tr;
    tr.t.MakeFile("a/keep/k", 30);
    tr.t.MakeFile("a/cache/c", 40);  // left out by the path pattern "a/cache"
    tr.t.MakeFile("a/.hidden/h", 50); // left out by skip-hidden
    tr.t.MakeFile("b/cache/c", 60);   // not matched: the pattern names a/cache only
    tr.fx.env.options.bSkipHidden = true;
    tr.fx.env.options.excludes = {"a/cache"};
    auto r = tr.Fresh(GetParam(), 100);
    ASSERT_EQ(PosOf(*r, "C:\\a\\cache\\"), -1);

    tr.t.MakeFile("a/cache/more", 500);
    tr.t.MakeFile("a/keep/k2", 5);
    std::string msg;
    ASSERT_EQ(ReportEditor(*r).RefreshFolder(PosOf(*r, "C:\\a\\"), tr.fx.env, msg), WalkResult::Complete);
    EXPECT_EQ(CheckExtents(*r), "");
    EXPECT_EQ(Dump(*r), Dump(*tr.Fresh(GetParam(), 100)));
    EXPECT_EQ(PosOf(*r, "C:\\a\\cache\\"), -1);
    EXPECT_EQ(PosOf(*r, "C:\\a\\.hidden\\"), -1);
    EXPECT_NE(PosOf(*r, "C:\\b\\cache\\"), -1);
}

TEST_P(Refresh, OfTheRootEqualsAFreshScanAndAStopLeavesTheReportAsItWas)
{
    Tree tr;
    tr.t.MakeFile("x/1", 10);
    tr.t.MakeFile("y/z/2", 20);
    auto r = tr.Fresh(GetParam(), 2);
    const std::string before = Dump(*r);

    tr.t.MakeFile("y/w/3", 30);
    tr.fx.pump.RequestStop();
    std::string msg;
    EXPECT_EQ(ReportEditor(*r).RefreshFolder(0, tr.fx.env, msg), WalkResult::Stopped);
    EXPECT_EQ(Dump(*r), before);

    tr.fx.pump.ClearStop();
    ASSERT_EQ(ReportEditor(*r).RefreshFolder(0, tr.fx.env, msg), WalkResult::Complete);
    EXPECT_EQ(Dump(*r), Dump(*tr.Fresh(GetParam(), 2)));
}

TEST(RefreshFolder, AnUnmappedDriveFailsWithAReasonAndChangesNothing)
{
    Tree tr;
    tr.t.MakeFile("a/1", 10);
    auto r = tr.Fresh(false, 10);
    const std::string before = Dump(*r);
    tr.fx.drives = DriveMap();
    std::string msg;
    EXPECT_EQ(ReportEditor(*r).RefreshFolder(1, tr.fx.env, msg), WalkResult::Failed);
    EXPECT_EQ(msg, kMsgNotMapped);
    EXPECT_EQ(ReportEditor(*r).RefreshFolder(5, tr.fx.env, msg), WalkResult::Failed);
    EXPECT_EQ(msg, kMsgNoSuchFolder);
    EXPECT_EQ(Dump(*r), before);
}

TEST(RefreshFolder, NewSubFoldersOfAnExpandedFolderAreShownOthersNot)
{
    Tree tr;
    tr.t.MakeFile("a/b/1", 1);
    auto r = tr.Fresh(false, 0);
    FolderRecord* a = r->GetFolder(1);
    a->bExpanded = true;
    r->GetFolder(2)->bVisible = true;
    tr.t.MakeFile("a/c/d/2", 2);
    std::string msg;
    ASSERT_EQ(ReportEditor(*r).RefreshFolder(1, tr.fx.env, msg), WalkResult::Complete);
    EXPECT_TRUE(r->GetFolder(PosOf(*r, "C:\\a\\c\\"))->bVisible);
    EXPECT_FALSE(r->GetFolder(PosOf(*r, "C:\\a\\c\\d\\"))->bVisible);
    EXPECT_TRUE(a->bExpanded);
}

// Removing an item from the report must give what a scan of the tree without it gives.
class Remove : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(, Remove, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "StoredNames" : "NoNames"; });

TEST_P(Remove, AFolderLeavesWithItsSubtreeSumsSharesAndRanking)
{
    Tree tr;
    tr.t.MakeFile("root.txt", 10);
    tr.t.MakeFile("a/a1", 100);
    tr.t.MakeFile("a/big/b1", 600);
    tr.t.MakeFile("a/big/inner/b2", 300);
    tr.t.MakeFile("c/c1", 200);
    Age(tr.t);
    auto r = tr.Fresh(GetParam(), 100);
    ASSERT_TRUE(ReportEditor(*r).RemoveFolder(PosOf(*r, "C:\\a\\big\\")));
    EXPECT_EQ(CheckExtents(*r), "");

    fs::remove_all(tr.t.Abs("a/big"));
    EXPECT_EQ(Dump(*r), Dump(*tr.Fresh(GetParam(), 100)));
    // The folders that lost it changed as the item left: within the clock's second.
    EXPECT_LE(NewestDiff(*r, *tr.Fresh(GetParam(), 100)), 2);
    EXPECT_FALSE(r->bRankingIncomplete);
    EXPECT_DOUBLE_EQ(r->GetFolder(PosOf(*r, "C:\\a\\"))->dPercentOfDisc, 100.0 * 100 / 310);
}

TEST_P(Remove, AFileLeavesItsFolderItsAncestorsAndTheRanking)
{
    Tree tr;
    tr.t.MakeFile("a/b/victim", 500);
    tr.t.MakeFile("a/b/stays", 5);
    tr.t.MakeFile("c/c1", 200);
    Age(tr.t);
    auto r = tr.Fresh(GetParam(), 100);
    ASSERT_TRUE(ReportEditor(*r).RemoveFile(PosOf(*r, "C:\\a\\b\\"), "victim", 500, Allocated(tr.t, "a/b/victim")));
    fs::remove(tr.t.Abs("a/b/victim"));
    EXPECT_EQ(Dump(*r), Dump(*tr.Fresh(GetParam(), 100)));
    EXPECT_LE(NewestDiff(*r, *tr.Fresh(GetParam(), 100)), 2);
}

TEST(RemoveItem, TheRootAndUnknownFilesAreRefusedAndChangeNothing)
{
    Tree tr;
    tr.t.MakeFile("a/f", 10);
    auto r = tr.Fresh(true, 10);
    const std::string before = Dump(*r);
    EXPECT_FALSE(ReportEditor(*r).RemoveFolder(0));
    EXPECT_FALSE(ReportEditor(*r).RemoveFolder(7));
    EXPECT_FALSE(ReportEditor(*r).RemoveFile(1, "f", 11)); // the size differs
    EXPECT_FALSE(ReportEditor(*r).RemoveFile(1, "g", 10));
    auto noNames = tr.Fresh(false, 10);
    EXPECT_FALSE(ReportEditor(*noNames).RemoveFile(1, "f", 11)); // more than the folder holds
    EXPECT_FALSE(ReportEditor(*noNames).RemoveFile(1, "f", 10)); // its other size not known
    EXPECT_EQ(Dump(*r), before);
}

// A ranking of 2 of a drive without stored names: after its largest file goes, the
// third largest file of the drive would belong in it, but the report never saw it.
TEST(RemoveItem, AFullRankingThatLosesAnEntryIsMarkedIncompleteUnlessNamesAreStored)
{
    Tree tr;
    tr.t.MakeFile("a/1", 300);
    tr.t.MakeFile("b/2", 200);
    tr.t.MakeFile("b/3", 100);
    for (bool store : {false, true}) {
        auto r = tr.Fresh(store, 2);
        ASSERT_TRUE(ReportEditor(*r).RemoveFile(1, "1", 300, Allocated(tr.t, "a/1")));
        EXPECT_EQ(r->bRankingIncomplete, !store);
        ASSERT_EQ(r->ranking.size(), store ? 2u : 1u);
        EXPECT_EQ(r->ranking[0].nSize, 200);
        // Reading the whole drive again makes the ranking whole.
        std::string msg;
        ASSERT_EQ(ReportEditor(*r).RefreshFolder(0, tr.fx.env, msg), WalkResult::Complete);
        EXPECT_FALSE(r->bRankingIncomplete);
        EXPECT_EQ(Dump(*r), Dump(*tr.Fresh(store, 2)));
    }
    // A refresh that reads the same files again leaves the full ranking complete.
    auto r = tr.Fresh(false, 2);
    std::string msg;
    ASSERT_EQ(ReportEditor(*r).RefreshFolder(PosOf(*r, "C:\\b\\"), tr.fx.env, msg), WalkResult::Complete);
    EXPECT_FALSE(r->bRankingIncomplete);
    EXPECT_EQ(Dump(*r), Dump(*tr.Fresh(false, 2)));
}

TEST(Find, SubstringAndPatternWithoutCaseLargestFirst)
{
    Tree tr;
    tr.t.MakeFile("Photos/IMG_1.JPG", 30);
    tr.t.MakeFile("Photos/img_2.jpg", 50);
    tr.t.MakeFile("photo-notes.txt", 5);
    tr.t.MakeFile("docs/a.txt", 1);
    auto r = tr.Fresh(true, 0);
    const std::vector<const DriveReport*> drives{r.get()};

    auto hits = FindNames(drives, MakeFindQuery("photo", false), 100);
    ASSERT_EQ(hits.size(), 2u); // the folder (80 bytes) and photo-notes.txt
    EXPECT_EQ(hits[0].nFileIndex, -1);
    EXPECT_EQ(r->GetFolder(hits[0].nFolderPos)->strPath, "C:\\Photos\\");
    EXPECT_EQ(hits[0].nSize, 80);
    EXPECT_EQ(hits[1].nSize, 5);

    hits = FindNames(drives, MakeFindQuery("img_?.jpg", false), 100);
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].nSize, 50);
    EXPECT_EQ(FindNames(drives, MakeFindQuery("img_?.jpg", true), 100).size(), 1u);
    EXPECT_EQ(FindNames(drives, MakeFindQuery("*.[tj]xt", false), 100).size(), 2u);
    EXPECT_EQ(FindNames(drives, MakeFindQuery("*.[!t]*", false), 100).size(), 2u);
    EXPECT_EQ(FindNames(drives, MakeFindQuery("jpg", false), 100).size(), 2u);
    EXPECT_EQ(FindNames(drives, MakeFindQuery("*", false), 100).size(), 6u); // root excluded
    std::size_t total = 0;
    EXPECT_EQ(FindNames(drives, MakeFindQuery("*", false), 2, &total).size(), 2u);
    EXPECT_EQ(total, 6u);
}

TEST(Find, PatternEdgeCases)
{
    auto m = [](const char* p, const char* s) { return MatchesName(MakeFindQuery(p, false), s); };
    EXPECT_TRUE(m("a*b*c", "aXXbYYc"));
    EXPECT_FALSE(m("a*b*c", "aXXbYY"));
    EXPECT_TRUE(m("**", ""));
    EXPECT_TRUE(m("[", "["));   // an unclosed bracket is a plain character
    EXPECT_TRUE(m("[]]", "]"));
    EXPECT_TRUE(m("[a-c]?", "B1"));
    EXPECT_FALSE(m("[a-c]?", "d1"));
    EXPECT_TRUE(m("", "anything")); // an empty substring matches everything
}

} // namespace

// The drive's counts of folders not read follow an edit: the drive read again once a
// folder can be, a folder on another file system removed.
TEST(RefreshFolder, FoldersThatCanBeReadNowLeaveTheCountOfThoseNotRead)
{
    FakeFileSystem fs;
    fs.Dir("locked").openable = false;
    fs.Dir("locked").failure = IFileSystem::kDenied;
    fs.File("locked/inside", 7);
    fs.Dir("broken").broken = true;
    fs.File("broken/a", 1);
    fs.File("broken/b", 2);
    fs.Dir("mnt").otherDevice = true;
    ScanFixture fx(fs, fs.RootPath(), 1);
    auto r = fx.Scan(true, 10);
    ASSERT_EQ(r->pFacts->counts.nUnreadable, 2); // a broken listing could not be read either
    ASSERT_EQ(r->pFacts->counts.nOtherFs, 1);

    fs.Dir("locked").openable = true;
    std::string msg;
    ASSERT_EQ(ReportEditor(*r).RefreshFolder(0, fx.env, msg), WalkResult::Complete);
    EXPECT_EQ(r->GetFolder(PosOf(*r, "C:\\locked\\"))->state, FolderState::Read);
    EXPECT_EQ(r->GetFolder(PosOf(*r, "C:\\locked\\"))->nSpaceWithoutSubs, 7);
    EXPECT_EQ(r->pFacts->counts.nUnreadable, 1);
    ASSERT_TRUE(ReportEditor(*r).RemoveFolder(PosOf(*r, "C:\\mnt\\")));
    EXPECT_EQ(r->pFacts->counts.nOtherFs, 0);
    EXPECT_EQ(r->FirstFolder()->nItemsWithSubs, 4); // locked, inside, broken and a
}
