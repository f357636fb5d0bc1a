#include "Report.h"

#include <algorithm>
#include <gtest/gtest.h>

using tvl::CompareFolderPaths;

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

struct Case {
    const char* a;
    const char* b;
    int expected; // sign of CompareFolderPaths(a, b)
};

TEST(CompareFolderPaths, OrdersPathsAsTheFolderListNeedsThem)
{
    const Case cases[] = {
        {"C:\\", "C:\\A\\", -1},              // the root comes first
        {"C:\\a b\\", "C:\\a\\", -1},         // blank (0x20) below backslash
        {"C:\\a\\b\\", "C:\\a_b\\", -1},      // backslash below underscore
        {"C:\\alpha\\", "C:\\Zeta\\", -1},    // letters compare without case
        {"C:\\ALPHA\\", "C:\\beta\\", -1},
        {"C:\\a\\", "C:\\a\\", 0},
        {"C:\\abc\\", "C:\\ab\\", 1},         // 'c' above backslash
        {"C:\\x\\\xc3\xa4\\", "C:\\x\\z\\", 1}, // bytes above 0x7f compare unsigned
        {"C:\\a[\\", "C:\\A\\", -1},          // '[' (0x5B) below backslash (0x5C)
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        EXPECT_EQ(Sign(CompareFolderPaths(c.a, c.b)), c.expected);
        EXPECT_EQ(Sign(CompareFolderPaths(c.b, c.a)), -c.expected);
    }
}

TEST(CompareFolderPaths, NamesDifferingOnlyInCaseKeepTheirSubtreesTogether)
{
    // The raw bytes decide between "cMap" and "cmap", name by name, so neither
    // subtree is split by the other.
    std::vector<std::string> paths = {
        "C:\\fonts\\cmap\\b\\", "C:\\fonts\\cMap\\a\\", "C:\\fonts\\cmap\\", "C:\\fonts\\cMap\\",
        "C:\\fonts\\cMap\\z\\", "C:\\fonts\\cmap\\a\\", "C:\\fonts\\", "C:\\",
    };
    std::sort(paths.begin(), paths.end(),
              [](const std::string& a, const std::string& b) { return CompareFolderPaths(a, b) < 0; });
    const std::vector<std::string> expected = {
        "C:\\", "C:\\fonts\\", "C:\\fonts\\cMap\\", "C:\\fonts\\cMap\\a\\", "C:\\fonts\\cMap\\z\\",
        "C:\\fonts\\cmap\\", "C:\\fonts\\cmap\\a\\", "C:\\fonts\\cmap\\b\\",
    };
    EXPECT_EQ(paths, expected);
}

TEST(CompareFolderPaths, IsATotalOrderOnDistinctPaths)
{
    const std::vector<std::string> paths = {"C:\\", "C:\\A\\", "C:\\a\\", "C:\\a\\B\\", "C:\\a\\b\\",
                                            "C:\\a b\\", "C:\\a_b\\", "C:\\A\\b\\", "C:\\\xff\\"};
    for (const auto& a : paths)
        for (const auto& b : paths) {
            const int ab = Sign(CompareFolderPaths(a, b));
            EXPECT_EQ(ab, -Sign(CompareFolderPaths(b, a))) << a << " " << b;
            EXPECT_EQ(ab == 0, a == b) << a << " " << b;
            for (const auto& c : paths)
                if (ab < 0 && Sign(CompareFolderPaths(b, c)) < 0)
                    EXPECT_LT(CompareFolderPaths(a, c), 0) << a << " " << b << " " << c;
        }
}

} // namespace
