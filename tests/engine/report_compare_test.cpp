// Comparison of two reports: real trees scanned, changed and scanned again, every
// number checked against values worked out by hand; drives on one side only; lists
// that are not in path order; the same report against itself.
#include "NumberFormat.h"
#include "ReportCompare.h"
#include "ReportBuilder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <limits>

namespace tvl::test {
namespace {

// The tree before the changes (sizes in bytes):
//   r.txt 10; a/a1 100; a/b/b1 1000; a/b/c/c1 5; empty/; old/o1 200; old/sub/s1 300;
//   ren/n1 40; keep/k1 7                                       total 1662
void MakeBaselineTree(const TempDir& t)
{
    t.MakeFile("r.txt", 10);
    t.MakeFile("a/a1", 100);
    t.MakeFile("a/b/b1", 1000);
    t.MakeFile("a/b/c/c1", 5);
    t.MakeDirs("empty");
    t.MakeFile("old/o1", 200);
    t.MakeFile("old/sub/s1", 300);
    t.MakeFile("ren/n1", 40);
    t.MakeFile("keep/k1", 7);
}

// The changes: a big file deep down, a folder deleted, a file grown, a folder with
// files added, a file in the empty folder, a folder renamed.
//   after: a/b/c 50005, a/b 51005, a 51155, empty 9, fresh 33, keep 7, ren2 40,
//          root 10 + 51155 + 9 + 33 + 7 + 40 = 51254
void ChangeTree(const TempDir& t)
{
    t.MakeFile("a/b/c/big", 50000);
    std::filesystem::remove_all(t.Abs("old"));
    std::filesystem::resize_file(t.Abs("a/a1"), 150);
    t.MakeFile("fresh/f1", 11);
    t.MakeFile("fresh/f2", 22);
    t.MakeFile("empty/e1", 9);
    std::filesystem::rename(t.Abs("ren"), t.Abs("ren2"));
}

struct Side {
    std::vector<std::unique_ptr<DriveReport>> drives;
    std::vector<RankEntry> all;
    bool bRanking = true;
    ReportSide View() const { return ReportSide{drives, bRanking, all}; }
};

Side ScanSide(const std::string& root, bool storeFiles, char letter = 'C')
{
    ScanFixture fx(RealFileSystem(), root);
    fx.drives.Set(letter, root);
    Side s;
    s.drives.push_back(std::make_unique<DriveReport>());
    EXPECT_TRUE(s.drives.back()->CreateReport(letter, storeFiles, 100, fx.env));
    MergeRanking(s.all, s.drives.back()->ranking);
    return s;
}

struct Expected {
    std::string path;
    ChangeState state;
    std::int64_t before, after;
};

TEST(ReportCompare, ChangedTreeGivesHandComputedFoldersFilesAndRanking)
{
    TempDir t;
    MakeBaselineTree(t);
    const Side before = ScanSide(t.path(), true);
    ChangeTree(t);
    const Side after = ScanSide(t.path(), true);

    const ReportComparison rc = CompareReports(before.View(), after.View());
    ASSERT_EQ(rc.drives.size(), 1u);
    const DriveComparison& d = rc.drives[0];
    EXPECT_EQ(d.cDrive, 'C');
    EXPECT_EQ(d.state, ChangeState::Grown);
    EXPECT_EQ(d.nOldTotal, 1662);
    EXPECT_EQ(d.nNewTotal, 51254);
    EXPECT_EQ(d.Change(), 49592);

    // Path order: "ren2\" sorts before "ren\" ('2' < '\').
    const std::vector<Expected> want = {
        {"C:\\", ChangeState::Grown, 1662, 51254},          {"C:\\a\\", ChangeState::Grown, 1105, 51155},
        {"C:\\a\\b\\", ChangeState::Grown, 1005, 51005},     {"C:\\a\\b\\c\\", ChangeState::Grown, 5, 50005},
        {"C:\\empty\\", ChangeState::Grown, 0, 9},          {"C:\\fresh\\", ChangeState::New, 0, 33},
        {"C:\\keep\\", ChangeState::Unchanged, 7, 7},        {"C:\\old\\", ChangeState::Removed, 500, 0},
        {"C:\\old\\sub\\", ChangeState::Removed, 300, 0},    {"C:\\ren2\\", ChangeState::New, 0, 40},
        {"C:\\ren\\", ChangeState::Removed, 40, 0},
    };
    ASSERT_EQ(d.folders.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(want[i].path);
        const FolderChange& f = d.folders[i];
        EXPECT_EQ(f.Path(), want[i].path);
        EXPECT_EQ(f.state, want[i].state);
        EXPECT_EQ(f.OldWithSubs(), want[i].before);
        EXPECT_EQ(f.NewWithSubs(), want[i].after);
        EXPECT_EQ(f.Change(), want[i].after - want[i].before);
    }
    EXPECT_EQ(d.folders[1].OldWithoutSubs(), 100);
    EXPECT_EQ(d.folders[1].NewWithoutSubs(), 150);
    EXPECT_DOUBLE_EQ(*d.folders[0].Percent(), 49592.0 / 1662.0 * 100.0);
    EXPECT_DOUBLE_EQ(*d.folders[3].Percent(), 1000000.0);
    EXPECT_FALSE(d.folders[4].Percent().has_value()); // the baseline held 0 bytes
    EXPECT_FALSE(d.folders[5].Percent().has_value()); // new
    EXPECT_DOUBLE_EQ(*d.folders[7].Percent(), -100.0);
    EXPECT_DOUBLE_EQ(*d.folders[6].Percent(), 0.0);

    // Every row of the current report finds its own change.
    for (int p = 0; p < after.drives[0]->nFolders; ++p)
        EXPECT_EQ(rc.ChangeOf(0, p)->pNew, after.drives[0]->GetFolder(p));
    EXPECT_EQ(rc.ChangeOf(0, after.drives[0]->nFolders), nullptr);
    EXPECT_EQ(rc.ChangeOf(1, 0), nullptr);

    // Files, folder by folder in path order, names sorted within a folder.
    ASSERT_TRUE(d.bFilesCompared);
    std::vector<std::string> files;
    for (const FileChange& f : d.files)
        files.push_back(d.folders[f.nFolder].Path() + f.Name() + " " + ChangeStateName(f.state) + " " +
                        std::to_string(f.OldSize()) + ">" + std::to_string(f.NewSize()));
    EXPECT_EQ(files, (std::vector<std::string>{
                         "C:\\a\\a1 grown 100>150", "C:\\a\\b\\c\\big new 0>50000", "C:\\empty\\e1 new 0>9",
                         "C:\\fresh\\f1 new 0>11", "C:\\fresh\\f2 new 0>22", "C:\\old\\o1 removed 200>0",
                         "C:\\old\\sub\\s1 removed 300>0", "C:\\ren2\\n1 new 0>40", "C:\\ren\\n1 removed 40>0"}));

    // Ranking after: big 50000, b1 1000, a1 150, n1 40 (now in ren2), f2 22, f1 11,
    // r.txt 10, e1 9, k1 7, c1 5.
    ASSERT_TRUE(rc.bRankingCompared);
    const auto& ranking = after.drives[0]->ranking;
    ASSERT_EQ(ranking.size(), 10u);
    std::vector<std::string> marks;
    for (std::size_t k = 0; k < ranking.size(); ++k)
        marks.push_back(ranking[k].strName + ":" + ChangeStateName(d.ranking[k].state) + ":" +
                        std::to_string(d.ranking[k].nOldSize));
    EXPECT_EQ(marks, (std::vector<std::string>{"big:new:0", "b1:unchanged:1000", "a1:grown:100", "n1:new:0",
                                               "f2:new:0", "f1:new:0", "r.txt:unchanged:10", "e1:new:0",
                                               "k1:unchanged:7", "c1:unchanged:5"}));
    EXPECT_EQ(rc.rankingAll.size(), 10u);
    EXPECT_EQ(rc.rankingAll[0].state, ChangeState::New);

    // Largest growth: a, then the tie of a\b and a\b\c in path order; shrinkage.
    auto paths = [&](const std::vector<FolderRef>& refs) {
        std::vector<std::string> out;
        for (const FolderRef& r : refs)
            out.push_back(rc.drives[r.nDrive].folders[r.nFolder].Path());
        return out;
    };
    EXPECT_EQ(paths(LargestChanges(rc, 3, true, 0)),
              (std::vector<std::string>{"C:\\a\\", "C:\\a\\b\\", "C:\\a\\b\\c\\"}));
    EXPECT_EQ(paths(LargestChanges(rc, 20, false, 0)),
              (std::vector<std::string>{"C:\\old\\", "C:\\old\\sub\\", "C:\\ren\\"}));
    EXPECT_EQ(paths(LargestChanges(rc, 20, false, 300)), (std::vector<std::string>{"C:\\old\\", "C:\\old\\sub\\"}));
    EXPECT_EQ(paths(LargestChanges(rc, 20, true, 50000)),
              (std::vector<std::string>{"C:\\a\\", "C:\\a\\b\\", "C:\\a\\b\\c\\"}));

    // A removed folder leads to its nearest surviving ancestor.
    EXPECT_EQ(NearestCurrentFolder(d, 8), 0); // C:\old\sub\ -> C:\    .
    EXPECT_EQ(NearestCurrentFolder(d, 10), 0);
    EXPECT_EQ(NearestCurrentFolder(d, 3), 3);
}

// Items (with subs): files and folders below. Before: the root 16 (r.txt; a with a1,
// b, b1, c, c1; empty; old with o1, sub, s1; ren with n1; keep with k1); after 17.
TEST(ReportCompare, ItemCountsCompareWhereBothSidesKnowThem)
{
    TempDir t;
    MakeBaselineTree(t);
    Side before = ScanSide(t.path(), false);
    ChangeTree(t);
    Side after = ScanSide(t.path(), false);
    after.drives.push_back(std::move(ScanSide(t.Abs("fresh"), false, 'D').drives[0]));

    ReportComparison rc = CompareReports(before.View(), after.View());
    ASSERT_EQ(rc.drives.size(), 2u);
    const DriveComparison& c = rc.drives[0];
    ASSERT_TRUE(c.bItemsCompared);
    EXPECT_EQ(c.nOldItems, 16);
    EXPECT_EQ(c.nNewItems, 17);
    EXPECT_EQ(c.ItemChange(), 1);
    std::vector<std::string> items;
    for (const FolderChange& f : c.folders)
        items.push_back(f.Path() + " " + std::to_string(f.OldItems()) + ">" + std::to_string(f.NewItems()) + " " +
                        std::to_string(f.ItemChange()));
    EXPECT_EQ(items, (std::vector<std::string>{"C:\\ 16>17 1", "C:\\a\\ 5>6 1", "C:\\a\\b\\ 3>4 1",
                                               "C:\\a\\b\\c\\ 1>2 1", "C:\\empty\\ 0>1 1", "C:\\fresh\\ 0>2 2",
                                               "C:\\keep\\ 1>1 0", "C:\\old\\ 3>0 -3", "C:\\old\\sub\\ 1>0 -1",
                                               "C:\\ren2\\ 0>1 1", "C:\\ren\\ 1>0 -1"}));
    // A drive new in the current report: its items all count as new.
    EXPECT_TRUE(rc.drives[1].bItemsCompared);
    EXPECT_EQ(rc.drives[1].ItemChange(), 2);

    // A side without folder facts: nothing to compare, whatever the other side holds.
    before.drives[0]->bFolderFacts = false;
    rc = CompareReports(before.View(), after.View());
    EXPECT_FALSE(rc.drives[0].bItemsCompared);
    EXPECT_EQ(rc.drives[0].nOldItems, 0);
    EXPECT_EQ(rc.drives[0].nNewItems, 0);
    EXPECT_TRUE(rc.drives[1].bItemsCompared);
    after.drives[1]->bFolderFacts = false;
    EXPECT_FALSE(CompareReports(before.View(), after.View()).drives[1].bItemsCompared);
}

TEST(ReportCompare, TheSameReportAgainstItselfChangesNothing)
{
    TempDir t;
    MakeBaselineTree(t);
    for (bool storeFiles : {false, true}) {
        const Side s = ScanSide(t.path(), storeFiles);
        const ReportComparison rc = CompareReports(s.View(), s.View());
        ASSERT_EQ(rc.drives.size(), 1u);
        EXPECT_EQ(rc.drives[0].state, ChangeState::Unchanged);
        EXPECT_EQ(rc.drives[0].Change(), 0);
        EXPECT_EQ(rc.drives[0].folders.size(), 9u);
        for (const FolderChange& f : rc.drives[0].folders) {
            EXPECT_EQ(f.state, ChangeState::Unchanged) << f.Path();
            EXPECT_EQ(f.pOld, f.pNew);
        }
        EXPECT_EQ(rc.drives[0].bFilesCompared, storeFiles);
        EXPECT_TRUE(rc.drives[0].files.empty());
        for (const RankChange& c : rc.rankingAll)
            EXPECT_EQ(c.state, ChangeState::Unchanged);
        EXPECT_TRUE(LargestChanges(rc, 20, true, 0).empty());
        EXPECT_TRUE(LargestChanges(rc, 20, false, 0).empty());
    }
}

TEST(ReportCompare, DrivesOnOneSideAreNewOrRemovedAsAWhole)
{
    TempDir t;
    MakeBaselineTree(t);
    const Side onD = ScanSide(t.path(), true, 'D');
    const Side onC = ScanSide(t.path(), false, 'C');
    const ReportComparison rc = CompareReports(onD.View(), onC.View());
    ASSERT_EQ(rc.drives.size(), 2u);
    EXPECT_EQ(rc.drives[0].cDrive, 'C');
    EXPECT_EQ(rc.drives[0].state, ChangeState::New);
    EXPECT_EQ(rc.drives[0].nOldTotal, 0);
    EXPECT_EQ(rc.drives[0].nNewTotal, 1662);
    EXPECT_EQ(rc.drives[1].cDrive, 'D');
    EXPECT_EQ(rc.drives[1].state, ChangeState::Removed);
    EXPECT_EQ(rc.drives[1].Change(), -1662);
    for (const FolderChange& f : rc.drives[0].folders)
        EXPECT_EQ(f.state, ChangeState::New);
    for (const FolderChange& f : rc.drives[1].folders)
        EXPECT_EQ(f.state, ChangeState::Removed);
    EXPECT_FALSE(rc.drives[0].bFilesCompared); // only one side stores names
    EXPECT_EQ(NearestCurrentFolder(rc.drives[1], 3), -1);
    // Every file of the current ranking is new to the baseline's ranking of drive C
    // (there is none), and all of them are in the combined ranking under C:.
    for (const RankChange& c : rc.drives[0].ranking)
        EXPECT_EQ(c.state, ChangeState::New);
    for (const RankChange& c : rc.rankingAll)
        EXPECT_EQ(c.state, ChangeState::New);

    // A baseline without rankings: nothing is said about the ranking.
    Side noRanking = ScanSide(t.path(), false, 'C');
    noRanking.bRanking = false;
    const ReportComparison rc2 = CompareReports(noRanking.View(), onC.View());
    EXPECT_FALSE(rc2.bRankingCompared);
    EXPECT_FALSE(rc2.drives[0].bRankingCompared);
    EXPECT_TRUE(rc2.rankingAll.empty());
    EXPECT_EQ(rc2.drives[0].state, ChangeState::Unchanged);
}

// Builds a drive from (path, level, with subs) in the given list order.
std::unique_ptr<DriveReport> HandMade(char letter, const std::vector<std::tuple<std::string, int, std::int64_t>>& fs)
{
    auto d = std::make_unique<DriveReport>();
    d->cDrive = letter;
    ReportBuilder builder(*d, ReportBuilder::Origin::File);
    for (const auto& [path, level, size] : fs)
        builder.EnterFolder(path, level).nSpaceWithSubs = size;
    builder.Finish();
    return d;
}

// A crafted report may list folders out of path order and repeat paths and drive
// letters: the first record of a path and the first drive of a letter are the ones
// compared, so a folder on both sides is never "removed" and no drive shows twice.
TEST(ReportCompare, ListsOutOfPathOrderAndRepeatedPathsAndLettersAreMatchedByTheirFirstRecord)
{
    Side a, b;
    a.bRanking = b.bRanking = false;
    a.drives.push_back(HandMade('C', {{"C:\\", 0, 10}, {"C:\\z\\", 1, 4}, {"C:\\b\\", 1, 3}, {"C:\\b\\", 1, 3}}));
    a.drives.push_back(HandMade('D', {{"D:\\", 0, 1}}));
    a.drives.push_back(HandMade('C', {{"C:\\", 0, 99}, {"C:\\q\\", 1, 99}}));
    a.drives.push_back(HandMade('D', {{"D:\\", 0, 2}}));
    b.drives.push_back(HandMade('C', {{"C:\\", 0, 12}, {"C:\\b\\", 1, 5}, {"C:\\a\\", 1, 1}, {"C:\\z\\", 1, 4},
                                      {"C:\\b\\", 1, 7}}));
    b.drives.push_back(nullptr); // a drive that was never built is skipped
    b.drives.push_back(HandMade('C', {{"C:\\", 0, 50}}));
    const ReportComparison rc = CompareReports(a.View(), b.View());
    ASSERT_EQ(rc.drives.size(), 2u);
    std::vector<std::string> got;
    for (const FolderChange& f : rc.drives[0].folders)
        got.push_back(f.Path() + " " + ChangeStateName(f.state) + " " + std::to_string(f.Change()));
    EXPECT_EQ(got, (std::vector<std::string>{"C:\\ grown 2", "C:\\a\\ new 1", "C:\\b\\ grown 2",
                                             "C:\\z\\ unchanged 0"}));
    EXPECT_EQ(rc.drives[1].cDrive, 'D');
    EXPECT_EQ(rc.drives[1].state, ChangeState::Removed);
    EXPECT_EQ(rc.drives[1].nOldTotal, 1);
    // The list position of each current folder still leads to its change; the repeated
    // record shares that of the first, and the repeated drive has none.
    EXPECT_EQ(rc.ChangeOf(0, 1)->Path(), "C:\\b\\");
    EXPECT_EQ(rc.ChangeOf(0, 2)->Path(), "C:\\a\\");
    EXPECT_EQ(rc.ChangeOf(0, 3)->Path(), "C:\\z\\");
    EXPECT_EQ(rc.ChangeOf(0, 4), rc.ChangeOf(0, 1));
    EXPECT_EQ(rc.DriveOfIndex(2), nullptr);
}

TEST(ReportCompare, ChangesOfDamagedSizesSaturateInsteadOfOverflowing)
{
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(SizeChange(-10, kMax), kMax);
    EXPECT_EQ(SizeChange(10, kMin), kMin);
    EXPECT_EQ(SizeChange(5, 3), -2);
    EXPECT_FALSE(ChangePercent(0, 5).has_value());
    EXPECT_FALSE(ChangePercent(-4, 5).has_value());
    EXPECT_DOUBLE_EQ(*ChangePercent(200, 50), -75.0);
}

TEST(ReportCompare, RankingsMatchByLocationAndNameInOrder)
{
    const std::vector<RankEntry> old = {{"x", "C:\\a\\", 50}, {"x", "C:\\a\\", 40}, {"y", "C:\\", 30}};
    const std::vector<RankEntry> now = {{"x", "C:\\a\\", 60}, {"x", "C:\\b\\", 45}, {"x", "C:\\a\\", 40},
                                        {"x", "C:\\a\\", 30}, {"y", "C:\\", 30}};
    const std::vector<RankChange> c = CompareRankings(old, now);
    ASSERT_EQ(c.size(), 5u);
    EXPECT_EQ(c[0].state, ChangeState::Grown);
    EXPECT_EQ(c[0].nOldSize, 50);
    EXPECT_EQ(c[1].state, ChangeState::New);
    EXPECT_EQ(c[2].state, ChangeState::Unchanged);
    EXPECT_EQ(c[3].state, ChangeState::New); // both baseline entries of that key are taken
    EXPECT_EQ(c[4].state, ChangeState::Unchanged);
}

} // namespace
} // namespace tvl::test

namespace tvl::test {
namespace {

TEST(ChangeFormatting, SignedGroupedSizesAndPercentagesWithAPointInEveryLocale)
{
    EXPECT_EQ(FormatSizeChange(1234567), "+1.234.567");
    EXPECT_EQ(FormatSizeChange(-1234567), "-1.234.567");
    EXPECT_EQ(FormatSizeChange(0), "0");
    EXPECT_EQ(FormatSizeChange(std::numeric_limits<std::int64_t>::min()), "-9.223.372.036.854.775.808");
    // The desktop program runs in the user's locale, whose decimal mark may be a comma.
    const std::string old = std::setlocale(LC_NUMERIC, nullptr);
    const bool german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    EXPECT_EQ(FormatPercent(12.5), "12.50");
    EXPECT_EQ(FormatPercent(-1.0), "-1.00");
    EXPECT_EQ(FormatPercentChange(3.456), "+3.46");
    EXPECT_EQ(FormatPercentChange(-100.0), "-100.00");
    EXPECT_EQ(FormatPercentChange(0.0), "+0.00");
    EXPECT_DOUBLE_EQ(PrintedPercent(12.499), 12.5);
    EXPECT_DOUBLE_EQ(PrintedPercent(-3.456), -3.46);
    std::setlocale(LC_NUMERIC, old.c_str());
    if (!german)
        GTEST_SKIP() << "de_DE.UTF-8 is not installed; checked in the C locale only";
}

} // namespace
} // namespace tvl::test

namespace tvl::test {
namespace {

TEST(ReportCompare, RepeatedLettersCountOnceAndManyDrivesStayLinear)
{
    Side a, b;
    a.bRanking = b.bRanking = false;
    a.drives.push_back(HandMade('C', {{"C:\\", 0, 1}}));
    a.drives.push_back(HandMade('C', {{"C:\\", 0, 2}}));
    b.drives.push_back(HandMade('C', {{"C:\\", 0, 5}}));
    const ReportComparison rc = CompareReports(a.View(), b.View());
    ASSERT_EQ(rc.drives.size(), 1u); // the first C: is the drive; the second is left out
    EXPECT_EQ(rc.drives[0].nOldTotal, 1);
    EXPECT_EQ(rc.drives[0].nNewTotal, 5);

    // A crafted file of 200,000 empty drives on each side.
    Side many, other;
    many.bRanking = other.bRanking = false;
    for (int i = 0; i < 200000; ++i) {
        many.drives.push_back(std::make_unique<DriveReport>());
        many.drives.back()->cDrive = 'D';
        other.drives.push_back(std::make_unique<DriveReport>());
        other.drives.back()->cDrive = 'D';
    }
    const ReportComparison big = CompareReports(many.View(), other.View());
    ASSERT_EQ(big.drives.size(), 1u);
    EXPECT_EQ(big.drives.back().state, ChangeState::Unchanged);
    EXPECT_EQ(big.DriveOfIndex(0), &big.drives[0]);
    EXPECT_EQ(big.DriveOfIndex(199999), nullptr);
}

} // namespace
} // namespace tvl::test
