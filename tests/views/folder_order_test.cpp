// The order of the folder view's rows when sorted by a column: the heading's click
// cycle, and the tree kept while siblings are ordered.
#include "FolderOrder.h"

#include "Report.h"
#include "ReportBuilder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(FolderOrder, HeadingClicksCycleThroughBothOrdersAndPathOrder)
{
    const tvl::FolderSort path;
    EXPECT_TRUE(path.IsPathOrder());
    // A number column: largest first, then smallest first, then path order.
    const tvl::FolderSort one = path.Clicked(1, false);
    EXPECT_EQ(one, (tvl::FolderSort{1, true}));
    EXPECT_EQ(one.Clicked(1, false), (tvl::FolderSort{1, false}));
    EXPECT_TRUE(one.Clicked(1, false).Clicked(1, false).IsPathOrder());
    // The name column starts at A; another column starts afresh.
    EXPECT_EQ(path.Clicked(0, true), (tvl::FolderSort{0, false}));
    EXPECT_EQ(path.Clicked(0, true).Clicked(0, true), (tvl::FolderSort{0, true}));
    EXPECT_TRUE(path.Clicked(0, true).Clicked(0, true).Clicked(0, true).IsPathOrder());
    EXPECT_EQ(tvl::FolderSort({1, false}).Clicked(4, false), (tvl::FolderSort{4, true}));
}

// C:\ with a (a\x, a\x\deep, a\y), b, c; sizes per position.
struct Tree {
    tvl::DriveReport drive;
    std::vector<long> size;
    Tree()
    {
        tvl::ReportBuilder b(drive, tvl::ReportBuilder::Origin::File);
        for (const auto& [path, level] : std::vector<std::pair<std::string, int>>{
                 {"C:\\", 0}, {"C:\\a\\", 1}, {"C:\\a\\x\\", 2}, {"C:\\a\\x\\deep\\", 3},
                 {"C:\\a\\y\\", 2}, {"C:\\b\\", 1}, {"C:\\c\\", 1}})
            b.EnterFolder(path, level);
        b.Finish();
        size = {0, 10, 3, 3, 7, 10, 50};
        for (tvl::FolderRecord* f : drive.Folders())
            f->bVisible = true;
    }
    std::vector<int> Order(int root, bool bDescending = true)
    {
        std::vector<int> out;
        tvl::AppendShownBranch(drive.Folders(), root, [&](int a, int b) {
            return bDescending ? size[a] > size[b] : size[a] < size[b];
        }, out);
        return out;
    }
};

TEST(FolderOrder, ChildrenSortedTreeKeptTiesInPathOrderHiddenBranchesSkipped)
{
    Tree t;
    // c 50 first; a and b tie at 10 and keep path order; under a, y 7 before x 3.
    EXPECT_EQ(t.Order(0), (std::vector<int>{0, 6, 1, 4, 2, 3, 5}));
    // Smallest first: a and b still in path order, x (3) before y (7).
    EXPECT_EQ(t.Order(0, false), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    // A branch alone, and a hidden folder's branch skipped as a whole.
    EXPECT_EQ(t.Order(1), (std::vector<int>{1, 4, 2, 3}));
    t.drive.Folders()[2]->bVisible = false;
    t.drive.Folders()[3]->bVisible = false;
    EXPECT_EQ(t.Order(0), (std::vector<int>{0, 6, 1, 4, 5}));
    // A hidden root or a position outside the list gives nothing.
    EXPECT_TRUE(t.Order(2).empty());
    EXPECT_TRUE(t.Order(99).empty());
}

} // namespace
