// tovaline-cli types: the table, JSON and CSV of a scanned tree with known types read
// back and added up, and the failures a user can meet, each with its message and
// nothing written.
#include "cli_support.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <unistd.h>

namespace tvl::test {
namespace {

// RFC 4180 records (CR LF), quoted fields with doubled quotes.
std::vector<std::vector<std::string>> ReadCsv(const std::string& text)
{
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row(1);
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                row.back() += '"', ++i;
            else if (c == '"')
                quoted = false;
            else
                row.back() += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row.emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            rows.push_back(std::move(row));
            row.assign(1, std::string());
            ++i;
        } else {
            row.back() += c;
        }
    }
    EXPECT_EQ(row, std::vector<std::string>(1)) << "the last record does not end in CR LF";
    return rows;
}

constexpr std::int64_t kChanged = 1577966400;

struct TypesCli : ::testing::Test {
    TempDir dir;
    std::string report;
    void SetUp() override
    {
        dir.MakeFile("tree/Big.ISO", 9000);
        dir.MakeFile("tree/a.iso", 1000);
        dir.MakeFile("tree/x/lib.so.1.2", 3000);
        dir.MakeFile("tree/x/say \"hi\", twice.TXT", 500);
        dir.MakeFile("tree/x/.profile", 40);
        dir.MakeFile("tree/x/README", 60);
        dir.MakeFile("tree/x/old.txt", 2);
        // Two names of one file in one folder: one counts, whichever the walk meets first.
        ASSERT_EQ(::link(dir.Abs("tree/a.iso").c_str(), dir.Abs("tree/a-link.iso").c_str()), 0);
        // Every file last changed at noon UTC on 2 January 2020: the same date in every
        // time zone, and older than a year.
        const timespec noon[2] = {{kChanged, 0}, {kChanged, 0}};
        for (const char* f : {"Big.ISO", "a.iso", "x/lib.so.1.2", "x/say \"hi\", twice.TXT", "x/.profile", "x/README",
                              "x/old.txt"})
            ASSERT_EQ(::utimensat(AT_FDCWD, dir.Abs(std::string("tree/") + f).c_str(), noon, 0), 0) << f;
        report = dir.Abs("r.tvl");
        const CliRun scan = RunCli({"scan", "-f", "-d", "C=" + dir.Abs("tree"), "-o", report, "C"});
        ASSERT_EQ(scan.code, 0) << scan.err;
    }
};

TEST_F(TypesCli, TableJsonAndCsvAddUpToTheFoldersSpace)
{
    // 13602 bytes: .iso 10000 (the link once), .so 3000, .txt 502, no extension 100.
    const CliRun text = RunCli({"types", "-n", "2", report});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_EQ(text.out.rfind("File types of C:\\: 13.602 bytes in 7 files\n", 0), 0u) << text.out;
    EXPECT_NE(text.out.find("\n.iso               2  10.000  73.52    9.000  2020-01-02  C:\\Big.ISO\n"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("\n(other types)      4     602   4.43             2 types\n"), std::string::npos);
    EXPECT_NE(text.out.find("\n< 4 KiB        6  4.602\n< 64 KiB       1  9.000\n"), std::string::npos) << text.out;
    // A scan keeps each name's change time.
    EXPECT_NE(text.out.find("\nolder            7  13.602\n"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find("Ages: not known"), std::string::npos);

    const CliRun json = RunCli({"types", "--json", "-n", "0", "--folder", "c:/", report});
    ASSERT_EQ(json.code, 0) << json.err;
    const nlohmann::json j = nlohmann::json::parse(json.out);
    std::int64_t bytes = 0, files = 0;
    std::map<std::string, std::int64_t> byType;
    for (const auto& t : j["types"]) {
        bytes += t["bytes"].get<std::int64_t>(), files += t["files"].get<std::int64_t>();
        byType[t["extension"]] = t["bytes"];
    }
    EXPECT_EQ(bytes + j["unmatchedBytes"].get<std::int64_t>(), j["spaceWithSubs"].get<std::int64_t>());
    EXPECT_EQ(j["spaceWithSubs"], 13602);
    EXPECT_EQ(files, j["files"]);
    EXPECT_EQ(byType, (std::map<std::string, std::int64_t>{{".iso", 10000}, {".so", 3000}, {".txt", 502}, {"", 100}}));
    EXPECT_TRUE(j["otherTypes"].is_null());
    std::int64_t ageFiles = 0;
    for (const auto& c : j["ages"])
        ageFiles += c["files"].get<std::int64_t>();
    EXPECT_EQ(ageFiles, files);
    std::int64_t classFiles = 0, classBytes = 0;
    for (const auto& c : j["sizes"])
        classFiles += c["files"].get<std::int64_t>(), classBytes += c["bytes"].get<std::int64_t>();
    EXPECT_EQ(classFiles, files);
    EXPECT_EQ(classBytes, bytes);
    EXPECT_EQ(j["types"][2]["largest"]["name"], "say \"hi\", twice.TXT");
    EXPECT_EQ(j["types"][2]["largest"]["location"], "C:\\x\\");

    // The CSV of one folder, written over an older CSV.
    const std::string csv = dir.Abs("types.csv");
    WriteWholeFile(csv, "old");
    const CliRun written = RunCli({"types", "--csv", csv, "--folder", "C:\\x", report});
    ASSERT_EQ(written.code, 0) << written.err;
    const auto rows = ReadCsv(ReadWholeFile(csv));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"type", "files", "bytes", "percent", "largestName",
                                                 "largestLocation", "largestSize", "newestChange"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{".so", "1", "3000", "83.2870627429206", "lib.so.1.2", "C:\\x\\",
                                                 "3000", std::to_string(kChanged)}));
    EXPECT_EQ(rows[2][0], ".txt");
    EXPECT_EQ(rows[2][4], "say \"hi\", twice.TXT");
    EXPECT_EQ(rows[3][0], "(no extension)");
    EXPECT_EQ(rows[3][2], "100");
}

TEST_F(TypesCli, FailuresSayWhyAndWriteNothing)
{
    const std::string plain = dir.Abs("plain.tvl");
    ASSERT_EQ(RunCli({"scan", "-d", "C=" + dir.Abs("tree"), "-o", plain, "C"}).code, 0);
    const CliRun noNames = RunCli({"types", plain});
    EXPECT_EQ(noNames.code, 1);
    EXPECT_NE(noNames.err.find("file types need a report with file names"), std::string::npos) << noNames.err;
    EXPECT_TRUE(noNames.out.empty());

    const CliRun missing = RunCli({"types", "--folder", "C:\\nowhere", report});
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.err, "tovaline-cli: the folder 'C:\\nowhere' is not in the report\n");

    // A CSV is never written over a report, nor into a folder that is not there.
    const std::string before = ReadWholeFile(plain);
    const CliRun overReport = RunCli({"types", "--csv", plain, report});
    EXPECT_EQ(overReport.code, 1);
    EXPECT_NE(overReport.err.find("is a report file"), std::string::npos) << overReport.err;
    EXPECT_EQ(ReadWholeFile(plain), before);
    const CliRun noFolder = RunCli({"types", "--csv", dir.Abs("none/t.csv"), report});
    EXPECT_EQ(noFolder.code, 1);
    EXPECT_NE(noFolder.err.find("cannot create " + dir.Abs("none/t.csv")), std::string::npos) << noFolder.err;
    EXPECT_FALSE(std::filesystem::exists(dir.Abs("none")));

    const CliRun both = RunCli({"types", "--json", "--csv", "-", report});
    EXPECT_EQ(both.code, 2);
    EXPECT_NE(both.err.find("cannot be combined with --csv"), std::string::npos);
}

} // namespace
} // namespace tvl::test
