// The order in which the folder view shows a drive's folders when it is sorted by a
// column: the tree is kept (every folder is followed by its shown descendants), and
// the children of each folder are ordered by the column, ties in path order. Without
// a sort the order is the report's path order. No Qt: the view is a thin user of it.
#pragma once

#include <functional>
#include <vector>

namespace tvl {

struct FolderRecord;

// How the folder view is sorted: by a column or not at all (path order).
struct FolderSort {
    int nColumn = -1;        // -1: path order
    bool bDescending = true; // largest first
    bool IsPathOrder() const { return nColumn < 0; }
    // A click on the heading of `column`: a new column sorts descending (numbers
    // largest first) or ascending (the name column, by name), the same column a
    // second time reverses, a third time returns to path order.
    FolderSort Clicked(int column, bool bNameColumn) const;
    friend bool operator==(const FolderSort&, const FolderSort&) = default;
};

// Whether the folder at list position a goes before the one at b (strictly).
using FolderLess = std::function<bool(int a, int b)>;

// The shown folders (bVisible) of the branch at list position `root` of `folders`
// (a drive's list in path order), the root itself first, in tree order with the
// children of each folder ordered by `less` (stable: ties keep path order). A folder's
// children are visited only when it is shown; a hidden folder's branch is skipped in
// one step. Appends positions to `out`.
void AppendShownBranch(const std::vector<FolderRecord*>& folders, int root, const FolderLess& less,
                       std::vector<int>& out);

} // namespace tvl
