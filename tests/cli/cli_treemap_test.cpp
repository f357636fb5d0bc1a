// tovaline-cli treemap: writes a PNG of the report's size, or fails with a clear
// message, the right exit status and no file left behind.
#include "CliCommands.h"
#include "TreemapCommand.h"
#include "format_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace tvl::test {
namespace {

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t BigEndian(const std::string& s, std::size_t at)
{
    return std::uint32_t(std::uint8_t(s[at])) << 24 | std::uint32_t(std::uint8_t(s[at + 1])) << 16 |
           std::uint32_t(std::uint8_t(s[at + 2])) << 8 | std::uint32_t(std::uint8_t(s[at + 3]));
}

// Names in the directory, sorted (temporary files included).
std::vector<std::string> Names(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct TreemapCli : ::testing::Test {
    TempDir dir;
    std::string report;
    void SetUp() override
    {
        std::filesystem::create_directories(dir.Abs("tree/sub/deeper"));
        std::ofstream(dir.Abs("tree/sub/movie.mp4")) << std::string(50000, 'x');
        std::ofstream(dir.Abs("tree/sub/deeper/a.txt")) << std::string(3000, 'x');
        std::ofstream(dir.Abs("tree/top.bin")) << std::string(20000, 'x');
        report = dir.Abs("r.tvl");
        CliRun scan = RunCli({"scan", "-f", "-d", "C=" + dir.Abs("tree"), "-o", report, "C"});
        ASSERT_EQ(scan.code, 0) << scan.err;
        std::filesystem::create_directories(dir.Abs("out"));
    }
};

TEST_F(TreemapCli, WritesAPngOfTheAskedSizeAndExplainsTheColours)
{
    const std::string png = dir.Abs("out/map.png");
    CliRun run = RunCli({"treemap", "-s", "320x200", "-o", png, report});
    ASSERT_EQ(run.code, 0) << run.err;
    const std::string bytes = ReadWholeFile(png);
    ASSERT_GT(bytes.size(), 33u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(BigEndian(bytes, 16), 320u);
    EXPECT_EQ(BigEndian(bytes, 20), 200u);
    EXPECT_NE(run.out.find("Colours by file extension:"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("50.000  .mp4"), std::string::npos) << run.out;
    EXPECT_EQ(Names(dir.Abs("out")), std::vector<std::string>{"map.png"});

    // A folder of the report, written with slashes and without the trailing backslash;
    // an existing picture is replaced.
    CliRun sub = RunCli({"treemap", "--folder", "c:/sub", "-o", png, report});
    ASSERT_EQ(sub.code, 0) << sub.err;
    EXPECT_NE(sub.out.find("Treemap of C:\\sub\\ (53.000 bytes"), std::string::npos) << sub.out;
    EXPECT_EQ(BigEndian(ReadWholeFile(png), 16), 1600u);
    EXPECT_EQ(RunCli({"treemap", "--folder", "C:\\sub\\deeper\\", "-o", png, report}).code, 0);
}

TEST_F(TreemapCli, FailuresSayWhyAndLeaveNoFile)
{
    const std::string png = dir.Abs("out/map.png");
    for (const char* size : {"0x10", "10x0", "abc", "10x", "x10", "-5x10", "20000x10", "10000x10000", "1x2x3"}) {
        CliRun bad = RunCli({"treemap", "-s", size, "-o", png, report});
        EXPECT_EQ(bad.code, 2) << size;
        EXPECT_NE(bad.err.find(std::string("the size '") + size + "'"), std::string::npos) << bad.err;
    }
    EXPECT_EQ(RunCli({"treemap", report}).code, 2);             // no -o
    EXPECT_EQ(RunCli({"treemap", "-o", png}).code, 2);          // no report
    EXPECT_EQ(RunCli({"treemap", "-o", png, report, report}).code, 2);
    EXPECT_EQ(RunCli({"treemap", "--colour", "-o", png, report}).code, 2);

    CliRun folder = RunCli({"treemap", "--folder", "C:/nowhere", "-o", png, report});
    EXPECT_EQ(folder.code, 1);
    EXPECT_EQ(folder.err, "tovaline-cli: the folder 'C:/nowhere' is not in the report; nothing was written\n");
    EXPECT_EQ(RunCli({"treemap", "--folder", "D:", "-o", png, report}).code, 1);
    EXPECT_EQ(RunCli({"treemap", "--folder", "sub", "-o", png, report}).code, 1);

    WriteWholeFile(dir.Abs("bad.tvl"), Header(2, 0, 1, 1) + "C");
    CliRun unreadable = RunCli({"treemap", "-o", png, dir.Abs("bad.tvl")});
    EXPECT_EQ(unreadable.code, 1);
    EXPECT_EQ(unreadable.err, "Open: This is not a valid disc space report!\n");
    EXPECT_EQ(RunCli({"treemap", "-o", png, dir.Abs("missing.tvl")}).code, 1);
    EXPECT_TRUE(Names(dir.Abs("out")).empty());

    CliRun nowhere = RunCli({"treemap", "-o", dir.Abs("no/dir/map.png"), report});
    EXPECT_EQ(nowhere.code, 1);
    EXPECT_NE(nowhere.err.find("Cannot create " + dir.Abs("no/dir/map.png")), std::string::npos) << nowhere.err;

    // A target that cannot be replaced keeps what it was, and no temporary file stays.
    std::filesystem::create_directories(dir.Abs("out/taken.png"));
    CliRun taken = RunCli({"treemap", "-s", "10x10", "-o", dir.Abs("out/taken.png"), report});
    EXPECT_EQ(taken.code, 1);
    EXPECT_NE(taken.err.find("Nothing was written."), std::string::npos) << taken.err;
    EXPECT_EQ(Names(dir.Abs("out")), std::vector<std::string>{"taken.png"});
}

TEST(TreemapCliSize, ParsesWidthByHeight)
{
    std::string error;
    EXPECT_EQ(cli::ParseTreemapSize("1600x1000", error), std::make_pair(1600, 1000));
    EXPECT_EQ(cli::ParseTreemapSize("1X1", error), std::make_pair(1, 1));
    EXPECT_EQ(cli::ParseTreemapSize("16384x4096", error), std::make_pair(16384, 4096));
    EXPECT_FALSE(cli::ParseTreemapSize("16384x4097", error)); // more than 64 Mi pixels
    EXPECT_FALSE(cli::ParseTreemapSize("+5x5", error));
    EXPECT_FALSE(cli::ParseTreemapSize(" 5x5", error));
    EXPECT_FALSE(cli::ParseTreemapSize("99999999999x5", error));
}

} // namespace
} // namespace tvl::test
