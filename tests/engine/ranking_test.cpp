#include "Report.h"

#include <gtest/gtest.h>

using tvl::DriveReport;
using tvl::RankEntry;

namespace {

std::vector<std::string> Names(const std::vector<RankEntry>& r)
{
    std::vector<std::string> out;
    for (const auto& e : r)
        out.push_back(e.strName);
    return out;
}

void Rank(DriveReport& r, int n, const std::vector<std::pair<std::string, std::int64_t>>& files)
{
    r.nRankingSize = n;
    for (const auto& [name, size] : files)
        r.InsertRankEntry(name, "C:\\", size);
}

std::vector<std::string> Ranked(int n, const std::vector<std::pair<std::string, std::int64_t>>& files)
{
    DriveReport r;
    Rank(r, n, files);
    return Names(r.ranking);
}

TEST(InsertRankEntry, KeepsTheLargestFilesWithTheFirstMetAheadOfEqualOnes)
{
    // Fewer files than N: all of them, largest first, equal sizes in walk order.
    EXPECT_EQ(Ranked(10, {{"a", 5}, {"b", 9}, {"c", 5}, {"d", 0}, {"e", 9}}),
              (std::vector<std::string>{"b", "e", "a", "c", "d"}));

    // N = 1 with two equally large files: the first one met.
    EXPECT_EQ(Ranked(1, {{"x", 7}, {"y", 7}}), (std::vector<std::string>{"x"}));
}

TEST(InsertRankEntry, AFullRankingTakesOnlyStrictlyLargerFilesAndDropsItsLast)
{
    DriveReport r;
    Rank(r, 3, {{"a", 10}, {"b", 5}, {"c", 5}});
    r.InsertRankEntry("equal-to-last", "C:\\", 5);
    EXPECT_EQ(Names(r.ranking), (std::vector<std::string>{"a", "b", "c"}));

    // A larger file enters; the smallest, and among equals the one met last, leaves.
    r.InsertRankEntry("big", "C:\\sub\\", 6);
    EXPECT_EQ(Names(r.ranking), (std::vector<std::string>{"a", "big", "b"}));
    EXPECT_EQ(r.ranking[1].strLocation, "C:\\sub\\");
    EXPECT_EQ(r.ranking[1].nSize, 6);

    r.InsertRankEntry("top", "C:\\", 100);
    EXPECT_EQ(Names(r.ranking), (std::vector<std::string>{"top", "a", "big"}));
    EXPECT_EQ(r.ranking.size(), 3u);
}

TEST(InsertRankEntry, ZeroLengthFilesEnterWhileThereIsRoom)
{
    EXPECT_EQ(Ranked(2, {{"empty1", 0}, {"empty2", 0}, {"empty3", 0}}),
              (std::vector<std::string>{"empty1", "empty2"}));
}

TEST(InsertRankEntry, SizesBeyond4GiBRankByTheirFullSize)
{
    EXPECT_EQ(Ranked(2, {{"small", 4294967295LL}, {"huge", 5LL << 30}}),
              (std::vector<std::string>{"huge", "small"}));
}

TEST(MergeRanking, KeepsDriveOrderAmongEqualSizesAndTrimsNothing)
{
    std::vector<RankEntry> all;
    tvl::MergeRanking(all, {{"c1", "C:\\", 100}, {"c2", "C:\\", 50}});
    tvl::MergeRanking(all, {{"d1", "D:\\", 100}, {"d2", "D:\\", 70}, {"d3", "D:\\", 50}});
    EXPECT_EQ(Names(all), (std::vector<std::string>{"c1", "d1", "d2", "c2", "d3"}));

    // Three drives with 100 entries each: 300 entries, in descending size.
    std::vector<RankEntry> three;
    for (int d = 0; d < 3; ++d) {
        std::vector<RankEntry> drive;
        for (int i = 0; i < 100; ++i)
            drive.push_back({"f", std::string(1, static_cast<char>('C' + d)) + ":\\", 1000 - i * 3 - d});
        tvl::MergeRanking(three, drive);
    }
    ASSERT_EQ(three.size(), 300u);
    for (std::size_t i = 1; i < three.size(); ++i)
        EXPECT_GE(three[i - 1].nSize, three[i].nSize);
}

} // namespace
