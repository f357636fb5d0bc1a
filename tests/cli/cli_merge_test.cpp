// tovaline-cli merge on real trees: the merged parts show as the scan of the whole
// tree, and every refusal names its parts and leaves nothing behind.
#include "cli_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tvl::test {
namespace {

void SetOld(const std::string& path)
{
    const timespec ts[2] = {{946684800, 0}, {946684800, 0}}; // 2000-01-01
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), ts, 0), 0) << path;
}

std::string Scan(const std::string& dir, const std::string& out, const std::vector<std::string>& extra)
{
    std::vector<std::string> args = {"scan", "-d", "C=" + dir, "-o", out};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back("C");
    const CliRun r = RunCli(args);
    EXPECT_EQ(r.code, 0) << r.err;
    return out;
}

// show --json with equal sizes of a ranking in one order (the whole's listing order
// of its root is not in the parts), without the scan's times and host.
nlohmann::json Shown(const std::string& report)
{
    const CliRun r = RunCli({"show", "--json", report});
    EXPECT_EQ(r.code, 0) << r.err;
    nlohmann::json j = nlohmann::json::parse(r.out);
    const auto order = [](nlohmann::json& ranking) {
        std::stable_sort(ranking.begin(), ranking.end(), [](const nlohmann::json& a, const nlohmann::json& b) {
            if (a["size"] != b["size"])
                return a["size"] > b["size"];
            return a["location"].get<std::string>() + a["name"].get<std::string>() <
                   b["location"].get<std::string>() + b["name"].get<std::string>();
        });
    };
    for (auto& d : j["drives"])
        order(d["ranking"]);
    order(j["rankingAll"]);
    // When and where each was made.
    for (const char* key : {"startTime", "endTime", "host"})
        j["scan"].erase(key);
    return j;
}

TEST(CliMerge, MergedPartsShowAsTheScanOfTheWhole)
{
    // t3: a, b and c/d (c holds nothing else); t2: a and b. a holds a file with a
    // second name and a hidden folder; a and b each a file of 3000 bytes.
    TempDir dir;
    for (const std::string t : {"t3", "t2"}) {
        dir.MakeDirs(t + "/a/x");
        dir.MakeDirs(t + "/a/.hid");
        dir.MakeDirs(t + "/b");
        WriteWholeFile(dir.Abs(t + "/a/f1"), std::string(5000, 'a'));
        ASSERT_EQ(::link(dir.Abs(t + "/a/f1").c_str(), dir.Abs(t + "/a/x/link").c_str()), 0);
        WriteWholeFile(dir.Abs(t + "/a/x/f2"), std::string(3000, 'b'));
        WriteWholeFile(dir.Abs(t + "/a/.hid/h"), std::string(50, 'c'));
        WriteWholeFile(dir.Abs(t + "/b/g"), std::string(700, 'd'));
        WriteWholeFile(dir.Abs(t + "/b/g2"), std::string(3000, 'e'));
        SetOld(dir.Abs(t)); // its own change time is not in the parts
    }
    dir.MakeDirs("t3/c/d/e");
    WriteWholeFile(dir.Abs("t3/c/d/e/h"), std::string(9000, 'f'));
    SetOld(dir.Abs("t3/c"));
    SetOld(dir.Abs("t3"));

    const std::vector<std::vector<std::string>> optionSets = {
        {}, {"-f"}, {"-f", "--disc-usage", "--skip-hidden", "-r", "5"}};
    const std::vector<std::pair<std::string, std::vector<std::string>>> layouts = {
        {"t3", {"b", "c/d", "a"}}, {"t2", {"a", "b"}}};
    int n = 0;
    for (const auto& options : optionSets)
        for (const auto& [tree, parts] : layouts) {
            SCOPED_TRACE(tree + " with option set " + std::to_string(n / 2));
            const std::string tag = std::to_string(n++);
            const std::string whole = Scan(dir.Abs(tree), dir.Abs("whole" + tag + ".tvl"), options);
            std::vector<std::string> args = {"merge", "-o", dir.Abs("merged" + tag + ".tvl")};
            for (const std::string& p : parts)
                args.push_back(Scan(dir.Abs(tree + "/" + p), dir.Abs(tag + p.substr(0, 1) + ".tvl"), options));
            const CliRun merged = RunCli(args);
            ASSERT_EQ(merged.code, 0) << merged.err;
            EXPECT_EQ(merged.err, "");
            EXPECT_EQ(Shown(dir.Abs("merged" + tag + ".tvl")), Shown(whole));
        }
}

TEST(CliMerge, RefusalsNameThePartsAndWriteNothing)
{
    TempDir dir;
    dir.MakeDirs("t/a");
    dir.MakeDirs("t/b");
    WriteWholeFile(dir.Abs("t/a/f"), std::string(5000, 'a'));
    WriteWholeFile(dir.Abs("t/b/g"), std::string(700, 'b'));
    const std::string t = dir.Abs("t");
    const std::string a = Scan(t + "/a", dir.Abs("a.tvl"), {"-f"}), b = Scan(t + "/b", dir.Abs("b.tvl"), {"-f"});
    const std::string whole = Scan(t, dir.Abs("whole.tvl"), {"-f"});
    const std::string usage = Scan(t + "/b", dir.Abs("usage.tvl"), {"-f", "--disc-usage"});
    const std::string hidden = Scan(t + "/b", dir.Abs("hidden.tvl"), {"-f", "--skip-hidden"});
    const std::string old = CopyWithoutBlock(a, dir.Abs("old.tvl"));
    const std::string junk = dir.Abs("junk.tvl");
    WriteWholeFile(junk, "not a report");
    const std::string out = dir.Abs("out.tvl");
    const std::string aBytes = ReadWholeFile(a);
    const std::vector<std::string> entries = dir.Entries();
    const std::string notMerged = "; nothing was written\n";

    struct Case {
        std::vector<std::string> args;
        int code;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"-o", out, whole, a}, 1,
         "tovaline-cli: " + whole + " and " + a + " overlap: " + t + "/a lies inside " + t +
             "; only reports of disjoint folders can be merged" + notMerged},
        {{"-o", out, a, b, a}, 1,
         "tovaline-cli: " + a + " and " + a + " are reports of the same directory " + t +
             "/a; only reports of disjoint folders can be merged" + notMerged},
        {{"-o", out, a, usage}, 1,
         "tovaline-cli: " + a + " and " + usage +
             " were measured differently (the first report counts apparent sizes, the second disc usage); only "
             "reports made with the same options can be merged" + notMerged},
        {{"-o", out, a, hidden}, 1,
         "tovaline-cli: " + a + " and " + hidden +
             " were measured differently (the first report reads hidden folders, the second leaves them out); only "
             "reports made with the same options can be merged" + notMerged},
        {{"-o", out, b, old}, 1,
         "tovaline-cli: " + old +
             " does not say which directory it was made from or how (it has no scan facts, as reports of older "
             "versions); it cannot be merged" + notMerged},
        {{"-o", out, a, junk}, 1,
         "Open: This is not a valid disc space report!\ntovaline-cli: cannot read the part " + junk + notMerged},
        {{"-o", a, b, a}, 2,
         "tovaline-cli: the output " + a + " is the part " + a +
             "; merge writes a new report and never over one of its parts\nTry 'tovaline-cli merge --help' for more "
             "information.\n"},
        {{"-o", out}, 2, "tovaline-cli: PART is required\nTry 'tovaline-cli merge --help' for more information.\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"merge"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun r = RunCli(args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(dir.Entries(), entries) << c.err; // no output, no temporary file
    }
    EXPECT_EQ(ReadWholeFile(a), aBytes);

    // The output named through a link to a part is that part, too.
    ASSERT_EQ(::symlink(a.c_str(), dir.Abs("link.tvl").c_str()), 0);
    const CliRun linked = RunCli({"merge", "-o", dir.Abs("link.tvl"), b, a});
    EXPECT_EQ(linked.code, 2);
    EXPECT_EQ(linked.err.rfind("tovaline-cli: the output " + dir.Abs("link.tvl") + " is the part " + a + ";", 0), 0u)
        << linked.err;
    EXPECT_EQ(ReadWholeFile(a), aBytes);
}

} // namespace
} // namespace tvl::test
