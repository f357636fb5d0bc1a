#include "FolderOrder.h"

#include "Report.h"

#include <algorithm>

namespace tvl {

FolderSort FolderSort::Clicked(int column, bool bNameColumn) const
{
    if (column != nColumn)
        return {column, !bNameColumn};
    if (bDescending == !bNameColumn)
        return {column, bNameColumn};
    return {};
}

void AppendShownBranch(const std::vector<FolderRecord*>& folders, int root, const FolderLess& less,
                       std::vector<int>& out)
{
    const int size = static_cast<int>(folders.size());
    if (root < 0 || root >= size || !folders[static_cast<std::size_t>(root)]->bVisible)
        return;
    auto subtreeEnd = [&](int q) { return q + 1 + folders[static_cast<std::size_t>(q)]->nDescendants; };
    // An explicit stack of folders still to emit, the next one on top, so deep trees
    // cost no recursion.
    std::vector<int> stack{root};
    std::vector<int> kids;
    while (!stack.empty()) {
        const int q = stack.back();
        stack.pop_back();
        out.push_back(q);
        kids.clear();
        const int end = std::min(subtreeEnd(q), size);
        for (int c = q + 1; c < end; c = subtreeEnd(c))
            if (folders[static_cast<std::size_t>(c)]->bVisible)
                kids.push_back(c);
        std::stable_sort(kids.begin(), kids.end(), less);
        stack.insert(stack.end(), kids.rbegin(), kids.rend());
    }
}

} // namespace tvl
