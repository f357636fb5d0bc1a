// tovaline-cli treemap: writes a PNG of the report's size, or fails with a clear
// message, the right exit status and no file left behind.
#include "CliCommands.h"
#include "TreemapCommand.h"
#include "AsUser.h"
#include "cli_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

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

    // A name of the file system's 255 bytes (the temporary name beside it is short).
    const std::string longName = std::string(251, 'n') + ".png";
    CliRun longRun = RunCli({"treemap", "-s", "10x10", "-o", dir.Abs("out/" + longName), report});
    ASSERT_EQ(longRun.code, 0) << longRun.err;
    EXPECT_EQ(Names(dir.Abs("out")), (std::vector<std::string>{"map.png", longName}));
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
    EXPECT_EQ(nowhere.err, "tovaline-cli: cannot create " + dir.Abs("no/dir/map.png") + ": No such file or directory.\n");

    // A target that cannot be replaced keeps what it was, and no temporary file stays.
    std::filesystem::create_directories(dir.Abs("out/taken.png"));
    CliRun taken = RunCli({"treemap", "-s", "10x10", "-o", dir.Abs("out/taken.png"), report});
    EXPECT_EQ(taken.code, 1);
    EXPECT_EQ(taken.err, "tovaline-cli: cannot create " + dir.Abs("out/taken.png") + ": Is a directory.\n");
    EXPECT_EQ(Names(dir.Abs("out")), std::vector<std::string>{"taken.png"});
}

// The picture goes through the same replacement as Save: what is not a regular file the
// user may replace, and any report file, is refused with the reason and left as it was.
TEST_F(TreemapCli, TargetsThatAreNotPicturesToReplaceAreRefusedAndLeftAsTheyWere)
{
    const std::string out = dir.Abs("out");
    ASSERT_EQ(::mknod((out + "/device").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0) << std::strerror(errno);
    ASSERT_EQ(::mkfifo((out + "/fifo").c_str(), 0666), 0);
    ASSERT_EQ(::symlink((out + "/nothing.png").c_str(), (out + "/dangling").c_str()), 0);
    const std::string reportBefore = ReadWholeFile(report);
    struct Case {
        std::string target, reason;
    } cases[] = {
        {out + "/device", "The name is not a regular file; it was left as it is."},
        {out + "/fifo", "The name is not a regular file; it was left as it is."},
        {report, "The name is a report file; it was left as it is."},
        {out + "/dangling", "The name is a symbolic link to a file that does not exist; the link was left as it is."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        CliRun run = RunCli({"treemap", "-s", "10x10", "-o", c.target, report});
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.err, "tovaline-cli: cannot create " + c.target + ": " + c.reason + "\n");
        EXPECT_EQ(run.out, "");
    }
    struct stat st {};
    ASSERT_EQ(::lstat((out + "/device").c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(st.st_rdev, makedev(1, 3));
    ASSERT_EQ(::lstat((out + "/fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    ASSERT_EQ(::lstat((out + "/dangling").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadWholeFile(report), reportBefore);
    EXPECT_EQ(Names(out), (std::vector<std::string>{"dangling", "device", "fifo"})); // no temporary file

    // Another user may not replace root's read-only picture, although the folder is
    // theirs to write (and not sticky).
    if (!CanActAsOtherUsers())
        GTEST_SKIP() << "needs root to act as another user";
    const std::string shared = dir.Abs("shared");
    std::filesystem::create_directories(shared);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(report.c_str(), 0644), 0);
    WriteWholeFile(shared + "/root.png", "root's picture");
    ASSERT_EQ(::chmod((shared + "/root.png").c_str(), 0644), 0);
    const std::string result = RunAsUser(kNobody, kNobody, [&] {
        CliRun run = RunCli({"treemap", "-s", "10x10", "-o", shared + "/root.png", report});
        return std::to_string(run.code) + "|" + run.err;
    });
    EXPECT_EQ(result, "1|tovaline-cli: cannot create " + shared + "/root.png: Permission denied.\n");
    EXPECT_EQ(ReadWholeFile(shared + "/root.png"), "root's picture");
    ASSERT_EQ(::stat((shared + "/root.png").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(Names(shared), std::vector<std::string>{"root.png"});
}

// What the report holds reaches the terminal only through the filter: ESC, C1 controls
// as bytes and as UTF-8, DEL; a report whose first folder has no path says so.
TEST(TreemapCliReport, NamesArePrintedFilteredAndAnEmptyPathIsAnError)
{
    TempDir dir;
    DocFixture f;
    AddDrive(f.doc, 'C', true,
             {{"C:\\", 0, 0, 100},
              {"C:\\e\x1b[2J\\", 1, 100, 100, -1, -1, {{"x.\x1b[2J", 60}, {"y.\x9b\xc2\x85\x7f", 40}}}});
    WriteWholeFile(dir.Abs("r.tvl"), Serialize(f.doc));
    CliRun run = RunCli({"treemap", "-s", "40x30", "--folder", "C:\\e\x1b[2J", "-o", dir.Abs("p.png"), dir.Abs("r.tvl")});
    ASSERT_EQ(run.code, 0) << run.err;
    for (const char* control : {"\x1b", "\x9b", "\xc2\x85", "\x7f"})
        EXPECT_EQ(run.out.find(control), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Treemap of C:\\e?[2J\\ (100 bytes"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  .?[2j\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  .???\n"), std::string::npos) << run.out;

    DocFixture empty;
    AddDrive(empty.doc, 'C', false, {{"", 0, 0, 0}});
    WriteWholeFile(dir.Abs("empty.tvl"), Serialize(empty.doc));
    CliRun bad = RunCli({"treemap", "-o", dir.Abs("e.png"), dir.Abs("empty.tvl")});
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err, "tovaline-cli: the report is damaged: its first folder has an empty path; nothing was written\n");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"empty.tvl", "p.png", "r.tvl"}));
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
