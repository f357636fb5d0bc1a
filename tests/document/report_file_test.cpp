// The report file format in memory: the golden file, round trips, the rebuild of
// parents and display flags, and what the reader accepts and refuses.
#include "format_support.h"

#include <gtest/gtest.h>

namespace tvl::test {
namespace {

// Reads bytes as Open does, without a file.
struct Loaded {
    DocFixture f;
    LoadResult result;
    RecordingLoadProgress progress;
    explicit Loaded(const std::string& bytes)
    {
        ReportReader in(bytes.data(), bytes.size());
        LoadedReport r = ReadReport(in, progress);
        result = r.result;
        f.doc.m_pDriveReports = std::move(r.drives);
        f.doc.m_nDrives = r.nDrives;
        f.doc.m_bRanking = r.bRanking;
        f.doc.m_rankingAll = std::move(r.rankingAll);
    }
    const DriveReport& Drive(int i) const { return *f.doc.m_pDriveReports.at(static_cast<std::size_t>(i)); }
};

const std::string kRootRecord = Str("C:\\") + Le64(1234) + Le64(5678) + LeDouble(-1.0) + LeDouble(-1.0) + Le32(0);

TEST(ReportFile, OneRootFolderIsTheEightyTwoByteGoldenFile)
{
    DocFixture f;
    f.doc.m_bRanking = false;
    AddDrive(f.doc, 'C', false, {{"C:\\", 0, 1234, 5678}});
    const std::string expected = Header(2, 0, 1, 1) + "C" + Le32(0) + Le32(1) + kRootRecord;
    ASSERT_EQ(expected.size(), 82u);
    EXPECT_EQ(Serialize(f.doc), expected);

    Loaded l(expected);
    ASSERT_TRUE(l.result.bOk);
    ASSERT_EQ(l.f.doc.m_nDrives, 1);
    const FolderRecord* root = l.Drive(0).GetFolder(0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->strPath, "C:\\");
    EXPECT_EQ(root->nSpaceWithoutSubs, 1234);
    EXPECT_EQ(root->nSpaceWithSubs, 5678);
    EXPECT_EQ(root->dPercentOfParent, -1.0);
    EXPECT_TRUE(root->bVisible);
    EXPECT_FALSE(root->bHasSubFolders);
    EXPECT_EQ(root->pParent, nullptr);
    EXPECT_TRUE(l.Drive(0).bAvailable);
}

// Write, read, write again: identical bytes for every combination of the options.
TEST(ReportFile, WriteReadWriteIsByteIdentical)
{
    for (bool ranking : {false, true})
        for (bool files : {false, true}) {
            SCOPED_TRACE(testing::Message() << "ranking " << ranking << " files " << files);
            DocFixture f;
            f.doc.m_bRanking = ranking;
            std::vector<FileEntry> some = {{"a.txt", 10}, {"", 0}, {"\xff\xfe name", 4294967295LL}};
            AddDrive(f.doc, 'C', files,
                     {{"C:\\", 0, 0, 4294967305LL, -1, -1},
                      {"C:\\A\\", 1, 10, 4294967305LL, 100.0, 100.0, some},
                      {"C:\\A\\", 2, 0, 0, -1, 0.0},
                      {"", 1, 5, 5, 1e-300, 0.5}},
                     {{"big", "C:\\A\\", 4294967295LL}, {"", "", 0}});
            AddDrive(f.doc, 'D', !files, {{"D:\\", 0, 7, 7, -1, -1, {{"x", 7}}}}, {});
            AddDrive(f.doc, 'Z', files, {}, {{"z", "Z:\\", -3}});
            f.doc.m_rankingAll = {{"big", "C:\\A\\", 4294967295LL}, {"z", "Z:\\", -3}};
            const std::string first = Serialize(f.doc);
            Loaded l(first);
            ASSERT_TRUE(l.result.bOk) << l.result.message;
            EXPECT_EQ(Serialize(l.f.doc), first);
            EXPECT_EQ(l.Drive(0).GetFolder(1)->files.size(), files ? 3u : 0u);
            EXPECT_EQ(l.f.doc.m_rankingAll.size(), ranking ? 2u : 0u);
        }
}

TEST(ReportFile, ParentsAndDisplayFlagsComeFromTheLevels)
{
    DocFixture f;
    AddDrive(f.doc, 'C', false,
             {{"C:\\", 0}, {"C:\\A\\", 1}, {"C:\\A\\B\\", 2}, {"C:\\C\\", 1}, {"C:\\X\\", 0}, {"C:\\X\\Y\\", 5},
              {"C:\\X\\Z\\", 1}});
    Loaded l(Serialize(f.doc));
    ASSERT_TRUE(l.result.bOk);
    const DriveReport& d = l.Drive(0);
    auto rec = [&](int i) { return d.GetFolder(i); };
    EXPECT_EQ(rec(0)->pParent, nullptr);
    EXPECT_EQ(rec(1)->pParent, rec(0));
    EXPECT_EQ(rec(2)->pParent, rec(1));
    EXPECT_EQ(rec(3)->pParent, rec(0));
    // A second record of level 0 has no parent; a level that jumps takes the nearest
    // earlier record of smaller level.
    EXPECT_EQ(rec(4)->pParent, nullptr);
    EXPECT_EQ(rec(5)->pParent, rec(4));
    EXPECT_EQ(rec(6)->pParent, rec(4));
    const bool hasSubs[] = {true, true, false, false, true, false, false};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(rec(i)->bHasSubFolders, hasSubs[i]) << i;
        EXPECT_EQ(rec(i)->bVisible, i == 0) << i;
        EXPECT_FALSE(rec(i)->bExpanded) << i;
    }
    // The subtree extents the views rely on: each branch is the records that follow it.
    const int descendants[] = {3, 1, 0, 0, 2, 0, 0};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(rec(i)->nDescendants, descendants[i]) << i;
}

TEST(ReportFile, TwoHundredThousandNestedFoldersOpen)
{
    // Every record one level below the one before: the ancestor chain grows to the full
    // depth and must not be copied as it grows.
    constexpr int kDepth = 200000;
    std::string bytes = Header(2, 0, kDepth, 1) + "C" + Le32(0) + Le32(kDepth);
    bytes.reserve(bytes.size() + std::size_t(kDepth) * 39);
    const std::string numbers = Le64(1) + Le64(0) + LeDouble(0.0) + LeDouble(0.0);
    for (int i = 0; i < kDepth; ++i)
        bytes += Str("x") + numbers + Le32(i);
    Loaded l(bytes);
    ASSERT_TRUE(l.result.bOk) << l.result.message;
    const DriveReport& d = l.Drive(0);
    ASSERT_EQ(d.nFolders, kDepth);
    EXPECT_EQ(d.GetFolder(kDepth - 1)->pParent, d.GetFolder(kDepth - 2));
    EXPECT_EQ(d.GetFolder(kDepth - 1)->nLevel, kDepth - 1);
    EXPECT_EQ(d.GetFolder(0)->nDescendants, kDepth - 1);
    EXPECT_TRUE(d.GetFolder(kDepth - 2)->bHasSubFolders);
    EXPECT_FALSE(d.GetFolder(kDepth - 1)->bHasSubFolders);
}

TEST(ReportFile, EmptyAndNegativeCountsMeanNoEntries)
{
    // No drives, then the combined ranking.
    Loaded none(Header(2, 1, 0, 0) + Le32(1) + Str("f") + Str("C:\\") + Le64(9));
    ASSERT_TRUE(none.result.bOk);
    EXPECT_EQ(none.f.doc.m_nDrives, 0);
    ASSERT_EQ(none.f.doc.m_rankingAll.size(), 1u);
    EXPECT_EQ(none.f.doc.m_rankingAll[0].nSize, 9);

    // Negative drive, folder, file and ranking counts.
    Loaded neg(Header(2, 1, 0, -5) + Le32(-1));
    ASSERT_TRUE(neg.result.bOk);
    EXPECT_EQ(neg.f.doc.m_nDrives, 0);
    Loaded negInside(Header(2, 1, 1, 1) + "C" + Le32(1) + Le32(1) + kRootRecord + Le32(-7) + Le32(-2) +
                     Le32(-3));
    ASSERT_TRUE(negInside.result.bOk);
    EXPECT_TRUE(negInside.Drive(0).GetFolder(0)->files.empty());
    Loaded negFolders(Header(2, 0, 0, 1) + "D" + Le32(0) + Le32(-100));
    ASSERT_TRUE(negFolders.result.bOk);
    EXPECT_EQ(negFolders.Drive(0).nFolders, 0);
}

TEST(ReportFile, ProgressCountsFoldersOverAllDrivesAgainstTheHeaderTotal)
{
    DocFixture f;
    AddDrive(f.doc, 'C', false, {{"C:\\", 0}, {"C:\\a\\", 1}, {"C:\\b\\", 1}});
    AddDrive(f.doc, 'D', false, {{"D:\\", 0}, {"D:\\a\\", 1}, {"D:\\b\\", 1}, {"D:\\c\\", 1}, {"D:\\d\\", 1}});
    std::string bytes = Serialize(f.doc);
    Loaded l(bytes);
    ASSERT_TRUE(l.result.bOk);
    std::vector<std::pair<int, int>> expected;
    for (int i = 0; i < 8; ++i)
        expected.emplace_back(i, 8);
    EXPECT_EQ(l.progress.progress, expected);
    EXPECT_EQ(l.progress.log, (std::vector<std::string>{"step:Loading report for drive C:",
                                                        "step:Loading report for drive D:"}));
    EXPECT_EQ(l.progress.lastPath, "D:\\d\\");

    // A total that disagrees with the sections is accepted; the display clamps it.
    bytes.replace(25, 4, Le32(2));
    Loaded wrongTotal(bytes);
    ASSERT_TRUE(wrongTotal.result.bOk);
    EXPECT_EQ(wrongTotal.progress.progress.back(), std::make_pair(7, 2));
    EXPECT_EQ(ComputePercent(7, 2).text, "100%\n");
    EXPECT_EQ(ComputePercent(7, 0).text, "0%\n");
}

TEST(ReportFile, MagicIsCheckedBeforeVersion)
{
    Loaded badMagic("TovalineReportMQY" + Le32(1) + Le32(0) + Le32(0) + Le32(0));
    EXPECT_FALSE(badMagic.result.bOk);
    EXPECT_EQ(badMagic.result.message, kMsgNotValidReport);

    Loaded v1(Header(1, 0, 0, 0));
    EXPECT_FALSE(v1.result.bOk);
    EXPECT_EQ(v1.result.caption, "Open");
    EXPECT_EQ(v1.result.message, "Invalid version: 1\n\nTovaline is compatible with version 2!");
}

// Every way a file can be broken is refused with the one message, and whatever
// count it claims, nothing is allocated beyond what the file can hold (the sanitizer
// build fails on an allocation of gigabytes).
TEST(ReportFile, DamagedFilesAreRefused)
{
    const std::string driveC = "C" + Le32(1) + Le32(1) + kRootRecord.substr(0, kRootRecord.size()) + Le32(1) +
                               Str("f") + Le64(3) + Le32(0);
    const std::string valid = Header(2, 1, 1, 1) + driveC + Le32(0);
    ASSERT_TRUE(Loaded(valid).result.bOk);

    struct Case {
        const char* what;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"empty file", ""},
        {"huge drive count", Header(2, 0, 0, 2147483647) + std::string(17, '\0')},
        {"huge folder count", Header(2, 0, 0, 1) + "C" + Le32(0) + Le32(2147483647) + kRootRecord},
        {"folder count one too many", Header(2, 0, 0, 1) + "C" + Le32(0) + Le32(2) + kRootRecord + "x"},
        {"huge file count", Header(2, 0, 1, 1) + "C" + Le32(1) + Le32(1) + kRootRecord + Le32(2147483647)},
        {"huge drive ranking count", Header(2, 1, 1, 1) + "C" + Le32(0) + Le32(1) + kRootRecord + Le32(1 << 30)},
        {"huge combined ranking count", Header(2, 1, 0, 0) + Le32(2147483647) + std::string(40, 'x')},
        {"path without terminator", Header(2, 0, 1, 1) + "C" + Le32(0) + Le32(1) + "C:\\"},
    };
    for (const Case& c : cases) {
        Loaded l(c.bytes);
        EXPECT_FALSE(l.result.bOk) << c.what;
        EXPECT_EQ(l.result.caption, "Open") << c.what;
        EXPECT_EQ(l.result.message, kMsgNotValidReport) << c.what;
    }
    // A file that ends anywhere early, inside a number, a string or before a section.
    for (std::size_t n = 0; n < valid.size(); ++n) {
        Loaded l(valid.substr(0, n));
        EXPECT_FALSE(l.result.bOk) << n;
        EXPECT_EQ(l.result.message, kMsgNotValidReport) << n;
    }
}

TEST(ReportFile, WriterLeavesOutDrivesNotBuilt)
{
    DocFixture f;
    AddDrive(f.doc, 'C', false, {{"C:\\", 0, 1234, 5678}});
    f.doc.m_pDriveReports.push_back(nullptr); // a scan that failed before this drive
    f.doc.m_nDrives = 2;
    Loaded l(Serialize(f.doc));
    ASSERT_TRUE(l.result.bOk);
    EXPECT_EQ(l.f.doc.m_nDrives, 1);
}

} // namespace
} // namespace tvl::test
