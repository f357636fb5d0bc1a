// Merging reports of disjoint folders: the merged drive is the scan of the whole, to
// the order of equal sizes in the ranking; what only some parts keep is not kept.
#include "ReportMerge.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace tvl::test {
namespace {

// One part: a fake tree scanned as drive C, then said to stand for `dir`.
struct Part {
    FakeFileSystem fs;
    std::unique_ptr<ScanFixture> fixture;
    std::vector<std::unique_ptr<DriveReport>> drives;
    ReportFacts facts;
    bool bRanking = true;

    void Scan(const std::string& dir, bool storeFiles, int ranking)
    {
        fixture = std::make_unique<ScanFixture>(fs, fs.RootPath());
        drives.push_back(fixture->Scan(storeFiles, ranking));
        drives.back()->pFacts->strDirectory = dir;
        bRanking = ranking > 0;
    }
    MergePart As(const std::string& name) { return MergePart{name, &drives, &facts, bRanking}; }
};

// a: f 100, x/g 50, x/h 50 with a second name x/l; b: k 100, m 50; c/d: n 75, o 50.
// `prefix` puts the tree below a folder (the whole) or not (one part).
void AddA(FakeFileSystem& fs, const std::string& prefix)
{
    fs.File(prefix + "f", 100);
    fs.File(prefix + "x/g", 50);
    fs.File(prefix + "x/h", 50).inode = 7;
    fs.File(prefix + "x/l", 50).inode = 7;
}
void AddB(FakeFileSystem& fs, const std::string& prefix)
{
    fs.File(prefix + "k", 100);
    fs.File(prefix + "m", 50);
}
void AddD(FakeFileSystem& fs, const std::string& prefix)
{
    fs.File(prefix + "n", 75);
    fs.File(prefix + "o", 50);
}

void ExpectSameDrive(const DriveReport& merged, const DriveReport& whole)
{
    ASSERT_EQ(CheckReportInvariants(merged), "");
    ASSERT_EQ(Paths(merged), Paths(whole));
    for (std::size_t i = 0; i < whole.Folders().size(); ++i) {
        const FolderRecord& m = *merged.Folders()[i];
        const FolderRecord& w = *whole.Folders()[i];
        SCOPED_TRACE(w.strPath);
        EXPECT_EQ(m.nLevel, w.nLevel);
        EXPECT_EQ(m.nDescendants, w.nDescendants);
        EXPECT_EQ(m.nSpaceWithoutSubs, w.nSpaceWithoutSubs);
        EXPECT_EQ(m.nSpaceWithSubs, w.nSpaceWithSubs);
        EXPECT_EQ(m.dPercentOfParent, w.dPercentOfParent);
        EXPECT_EQ(m.dPercentOfDisc, w.dPercentOfDisc);
        EXPECT_EQ(m.state, w.state);
        EXPECT_EQ(m.nFiles, w.nFiles);
        EXPECT_EQ(m.nItemsWithSubs, w.nItemsWithSubs);
        EXPECT_EQ(m.nOtherWithoutSubs, w.nOtherWithoutSubs);
        EXPECT_EQ(m.nOtherWithSubs, w.nOtherWithSubs);
        EXPECT_EQ(m.nNewestChange, w.nNewestChange);
        ASSERT_EQ(m.files.size(), w.files.size());
        for (std::size_t k = 0; k < w.files.size(); ++k) {
            EXPECT_EQ(m.files[k].strName, w.files[k].strName);
            EXPECT_EQ(m.files[k].nSize, w.files[k].nSize);
            EXPECT_EQ(merged.Counts(m, m.files[k].strName), whole.Counts(w, w.files[k].strName));
        }
    }
    ASSERT_EQ(merged.ranking.size(), whole.ranking.size());
    for (std::size_t k = 0; k < whole.ranking.size(); ++k) {
        EXPECT_EQ(merged.ranking[k].strName, whole.ranking[k].strName) << k;
        EXPECT_EQ(merged.ranking[k].strLocation, whole.ranking[k].strLocation) << k;
        EXPECT_EQ(merged.ranking[k].nSize, whole.ranking[k].nSize) << k;
    }
}

TEST(ReportMerge, PartsGiveTheScanOfTheWholeWalkedInPathOrder)
{
    // The whole lists a, b, c in path order, so its walk meets the parts as the merge
    // places them: even the ties at the ranking's bound (the 50s) come out alike.
    Part whole;
    AddA(whole.fs, "a/");
    AddB(whole.fs, "b/");
    AddD(whole.fs, "c/d/");
    whole.Scan("/t", true, 5);

    Part a, b, d;
    AddA(a.fs, "");
    AddB(b.fs, "");
    AddD(d.fs, "");
    a.Scan("/t/a", true, 5);
    b.Scan("/t//b/", true, 5); // the same directory, written otherwise
    d.Scan("/t/c/d", true, 5);
    a.facts = {"1.0", "host1", 500, 900, true};
    b.facts = {"1.0", "host2", 400, 800, true};
    d.facts = {"1.0", "host1", 600, 1000, true};
    d.drives[0]->pFacts->counts = {1, 2, 3};
    b.drives[0]->pFacts->counts = {10, 20, 30};
    whole.drives[0]->pFacts->counts = {11, 22, 33};

    // Given in any order.
    std::vector<MergePart> parts = {d.As("d.tvl"), a.As("a.tvl"), b.As("b.tvl")};
    MergeResult r = MergeReports(parts);
    ASSERT_EQ(r.strRefusal, "");
    EXPECT_TRUE(r.notes.empty());
    ASSERT_TRUE(r.drive);
    ExpectSameDrive(*r.drive, *whole.drives[0]);
    EXPECT_TRUE(r.bRanking);
    EXPECT_EQ(r.drive->nRankingSize, 5);
    EXPECT_TRUE(r.drive->bStoreFileNames);
    EXPECT_TRUE(r.drive->bFolderFacts);
    EXPECT_EQ(r.drive->pFacts->strDirectory, "/t");
    EXPECT_EQ(r.drive->pFacts->counts.nUnreadable, 11);
    EXPECT_EQ(r.drive->pFacts->counts.nOtherFs, 22);
    EXPECT_EQ(r.drive->pFacts->counts.nLeftOut, 33);
    EXPECT_EQ(r.facts.strHost, "host1, host2");
    EXPECT_EQ(r.facts.nStartTime, 400);
    EXPECT_EQ(r.facts.nEndTime, 1000);
    EXPECT_TRUE(r.facts.bComplete);
}

TEST(ReportMerge, KeepsOnlyWhatEveryPartHasAndRefusesWhatCannotBeMerged)
{
    Part a, b;
    AddA(a.fs, "");
    AddB(b.fs, "");
    a.Scan("/t/a", true, 2);
    b.Scan("/t/b", false, 4);
    std::vector<MergePart> parts = {a.As("a.tvl"), b.As("b.tvl")};
    MergeResult r = MergeReports(parts);
    ASSERT_EQ(r.strRefusal, "");
    EXPECT_EQ(r.notes, (std::vector<std::string>{
                           "b.tvl keeps no file names, so the merged report keeps none",
                           "b.tvl ranks its 4 largest files, another part fewer; the merged ranking holds the 2 "
                           "largest"}));
    EXPECT_FALSE(r.drive->bStoreFileNames);
    for (const FolderRecord* f : r.drive->Folders())
        EXPECT_TRUE(f->files.empty());
    ASSERT_EQ(r.drive->ranking.size(), 2u);
    EXPECT_EQ(r.drive->ranking[0].strLocation, "C:\\a\\"); // a's 100 ahead of b's
    EXPECT_EQ(r.drive->ranking[1].strLocation, "C:\\b\\");
    EXPECT_EQ(r.drive->pFacts->strDirectory, "/t");

    // A stopped scan, two drives, a directory that is no plain path.
    Part c, e, f;
    AddD(c.fs, "");
    AddD(e.fs, "");
    AddD(f.fs, "");
    c.Scan("/t/c", false, 0);
    c.facts.bComplete = false;
    e.Scan("/t/e", false, 0);
    e.Scan("/t/e2", false, 0);
    f.Scan("/t/../f", false, 0);
    const auto refusal = [](Part& x, Part& y) {
        std::vector<MergePart> p = {x.As("x.tvl"), y.As("y.tvl")};
        return MergeReports(p).strRefusal;
    };
    EXPECT_EQ(refusal(a, c), "y.tvl is incomplete (its scan was stopped); only complete reports can be merged");
    EXPECT_EQ(refusal(e, a), "x.tvl holds 2 drives; only reports of one drive (one directory) can be merged");
    EXPECT_EQ(refusal(a, f), "y.tvl was made from '/t/../f', which is not a plain absolute directory; it cannot be "
                             "merged");
}

} // namespace
} // namespace tvl::test
