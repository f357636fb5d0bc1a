// tovaline-cli scan -o and show: the file written is the one Save writes, and show
// prints what Open reads, as text or JSON, or fails with the Open message.
#include "CliCommands.h"
#include "ReportText.h"
#include "cli_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace tvl::test {
namespace {

TEST(CliShow, ScanWritesAReportThatShowPrintsLikeTheScan)
{
    TempDir dir;
    std::filesystem::create_directories(dir.Abs("tree/sub"));
    std::ofstream(dir.Abs("tree/sub/file.bin")) << std::string(1000, 'x');
    const std::string drive = "C=" + dir.Abs("tree");

    CliRun printed = RunCli({"scan", "-f", "-d", drive, "C"});
    ASSERT_EQ(printed.code, 0) << printed.err;
    CliRun saved = RunCli({"scan", "-f", "-d", drive, "-o", dir.Abs("r.tvl"), "C"});
    ASSERT_EQ(saved.code, 0) << saved.err;
    EXPECT_EQ(saved.out, "");

    CliRun shown = RunCli({"show", dir.Abs("r.tvl")});
    ASSERT_EQ(shown.code, 0) << shown.err;
    EXPECT_EQ(shown.out, printed.out);

    CliRun json = RunCli({"show", "--json", dir.Abs("r.tvl")});
    ASSERT_EQ(json.code, 0) << json.err;
    EXPECT_NE(json.out.find("{\"version\":2,\"ranking\":true,\"totalFolders\":2,\"scan\":{\"program\":"), std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find(",\"storeFileNames\":true,\"scan\":{\"directory\":" + JsonString(dir.Abs("tree"))),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("{\"path\":\"C:\\\\sub\\\\\",\"level\":1,\"spaceWithoutSubs\":1000,\"spaceWithSubs\":1000,"
                            "\"percentOfParent\":100,\"percentOfDisc\":100,\"fileCount\":1,\"items\":1,\"newestChange\":\""),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"rankingAll\":[{\"name\":\"file.bin\",\"location\":\"C:\\\\sub\\\\\",\"size\":1000}]"),
              std::string::npos);
}

TEST(CliShow, FailuresPrintTheMessageAndExitOne)
{
    TempDir dir;
    WriteWholeFile(dir.Abs("bad.tvl"), Header(2, 0, 1, 1) + "C");
    CliRun bad = RunCli({"show", dir.Abs("bad.tvl")});
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err, "Open: This is not a valid disc space report!\n");

    CliRun missing = RunCli({"show", "--json", dir.Abs("missing.tvl")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.err, "Open: Cannot open file!\n");

    EXPECT_EQ(RunCli({"show"}).code, 2);
    EXPECT_EQ(RunCli({"show", "a", "b"}).code, 2);

    std::filesystem::create_directories(dir.Abs("tree"));
    CliRun unwritable = RunCli({"scan", "-d", "C=" + dir.Abs("tree"), "-o", dir.Abs("no/dir/r.tvl"), "C"});
    EXPECT_EQ(unwritable.code, 1);
    EXPECT_EQ(unwritable.err, "Save: Cannot create file!\n\nNo such file or directory.\n");
}

TEST(CliShow, JsonStringsAreValidUtf8)
{
    EXPECT_EQ(JsonString("plain \"q\" \\ \x01"), "\"plain \\\"q\\\" \\\\ \\u0001\"");
    EXPECT_EQ(JsonString("caf\xc3\xa9"), "\"caf\xc3\xa9\"");           // kept
    EXPECT_EQ(JsonString("\xe9t\xe9"), "\"\xef\xbf\xbdt\xef\xbf\xbd\""); // Latin-1 bytes
    EXPECT_EQ(JsonString("\xc0\xaf"), "\"\xef\xbf\xbd\xef\xbf\xbd\"");   // overlong
    EXPECT_EQ(JsonString("\xed\xa0\x80"), "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""); // surrogate
    EXPECT_EQ(JsonString("\xf0\x9f\x98"), "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""); // cut short
}

} // namespace
} // namespace tvl::test
