// What tovaline-cli prints of the folder facts a scan keeps: the columns, the orders by
// files and by last change, the other size measure, the marks and the list of folders
// not read, the note on stderr, the JSON and CSV fields; and a report without the
// facts, which is refused for what needs them and shows no made-up numbers.
#include "AsUser.h"
#include "CliCommands.h"
#include "ReportText.h"
#include "cli_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

namespace tvl::test {
namespace {

constexpr std::int64_t k2000 = 946684800, k2001 = 978307200, k2002 = 1009843200, k2020 = 1577836800,
                       k2030 = 1893456000;

void SetTime(const std::string& path, std::int64_t t)
{
    const timespec ts[2] = {{static_cast<time_t>(t), 0}, {static_cast<time_t>(t), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// few/ 2 files of 1 byte, changed 2020; many/ 5 of 1 byte and sub/ with one,
// 2002; big/ one of 100,000 bytes, changed 2030 (big/ itself 2001); the root itself
// 2000. By size: big, many, few; by files: many (6), few (2), big (1); by last
// change: big, few, many.
struct Tree {
    TempDir dir;
    Tree()
    {
        // Written out, so that every file takes space on disc.
        for (const char* d : {"t/few", "t/many/sub", "t/big"})
            dir.MakeDirs(d);
        for (const char* f : {"t/few/a", "t/few/b", "t/many/m1", "t/many/m2", "t/many/m3", "t/many/m4", "t/many/m5",
                              "t/many/sub/s1"})
            WriteWholeFile(dir.Abs(f), "x");
        WriteWholeFile(dir.Abs("t/big/x"), std::string(100000, 'x'));
        for (const char* p : {"t/many/m1", "t/many/m2", "t/many/m3", "t/many/m4", "t/many/m5", "t/many/sub/s1",
                              "t/many/sub", "t/many"})
            SetTime(dir.Abs(p), k2002);
        for (const char* p : {"t/few/a", "t/few/b", "t/few"})
            SetTime(dir.Abs(p), k2020);
        SetTime(dir.Abs("t/big/x"), k2030);
        SetTime(dir.Abs("t/big"), k2001);
        SetTime(dir.Abs("t"), k2000);
    }
    std::string Scan(const std::string& name, std::vector<std::string> extra = {})
    {
        std::vector<std::string> args = {"scan", "-d", "C=" + dir.Abs("t"), "-o", dir.Abs(name)};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back("C");
        const CliRun r = RunCli(args);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        return dir.Abs(name);
    }
    // The report without its extension block, as an older program wrote it.
    std::string Plain(const std::string& from, const std::string& name)
    {
        const std::string bytes = ReadWholeFile(from);
        const std::size_t at = bytes.rfind("TvlFacts");
        EXPECT_NE(at, std::string::npos);
        WriteWholeFile(dir.Abs(name), bytes.substr(0, at));
        return dir.Abs(name);
    }
};

std::string WithoutFirstLine(const std::string& s)
{
    return s.substr(s.find('\n') + 1);
}

TEST(CliFolderFacts, ColumnsOrdersAndTheOtherMeasure)
{
    Tree t;
    const std::string report = t.Scan("r.tvl");
    const CliRun plain = RunCli({"show", report});
    ASSERT_EQ(plain.code, 0) << plain.err;
    // The four default columns named are the default listing, byte for byte.
    EXPECT_EQ(RunCli({"show", "--columns", "size,share-parent,share-disc,own", report}).out, plain.out);

    const CliRun facts = RunCli({"show", "--folders-only", "--sort", "files", "--columns",
                                 "files,own-files,items,changed,state,size", report});
    ASSERT_EQ(facts.code, 0) << facts.err;
    EXPECT_EQ(facts.err, "");
    EXPECT_EQ(facts.out,
              "Drive C: (5 folders)\n"
              "Folder   Files (with subs)   Files (w/o subs)  Items (with subs)    Last change (UTC)       State"
              "     Space (with subs)\n"
              "C:                       9                  0                 13  2030-01-01 00:00:00        read"
              "               100.008\n"
              "  many                   6                  5                  7  2002-01-01 00:00:00        read"
              "                     6\n"
              "    sub                  1                  1                  1  2002-01-01 00:00:00        read"
              "                     1\n"
              "  few                    2                  2                  2  2020-01-01 00:00:00        read"
              "                     2\n"
              "  big                    1                  1                  1  2030-01-01 00:00:00        read"
              "               100.000\n\n");
    // The first folder of each order, after the root.
    const auto firstBelowRoot = [&](std::vector<std::string> args) {
        args.insert(args.begin(), "show");
        args.push_back(report);
        const std::string out = RunCli(args).out;
        const std::size_t at = out.find("\nC:");
        const std::size_t line = out.find('\n', at + 1) + 1;
        return out.substr(line, out.find(' ', line + 2) - line);
    };
    EXPECT_EQ(firstBelowRoot({"--sort", "changed"}), "  big");
    // --top with an order keeps the first in that order; the rest is summed in bytes.
    const std::string changed = RunCli({"show", "--sort", "changed", "--depth", "1", "--top", "2", report}).out;
    EXPECT_NE(changed.find("\n  big "), std::string::npos);
    EXPECT_LT(changed.find("\n  big "), changed.find("\n  few "));
    EXPECT_NE(changed.find("\n  (1 more folder, 6 bytes)\n"), std::string::npos) << changed; // many, the oldest
    EXPECT_EQ(firstBelowRoot({"--sort", "files"}), "  many");
    EXPECT_EQ(firstBelowRoot({"--sort", "size"}), "  big");

    // The other measure is what a scan with the other option counts: folders, files,
    // shares and the "more" line alike; only the heading says which it is.
    const std::string length = t.Scan("fl.tvl", {"-f"}), disc = t.Scan("fd.tvl", {"-f", "--disc-usage"});
    for (const std::vector<std::string>& opts : {std::vector<std::string>{"--folders-only"},
                                                 std::vector<std::string>{"--folders-only", "--top", "1"}}) {
        auto show = [&](const std::string& file, bool other) {
            std::vector<std::string> args = {"show"};
            args.insert(args.end(), opts.begin(), opts.end());
            if (other)
                args.push_back("--other-size");
            args.push_back(file);
            const CliRun r = RunCli(args);
            EXPECT_EQ(r.code, 0) << r.err;
            return r.out;
        };
        const std::string lengthAsDisc = show(length, true), discAsLength = show(disc, true);
        EXPECT_EQ(WithoutFirstLine(lengthAsDisc), WithoutFirstLine(show(disc, false)));
        EXPECT_EQ(WithoutFirstLine(discAsLength), WithoutFirstLine(show(length, false)));
        EXPECT_NE(lengthAsDisc, show(length, false)) << "1-byte files take a block on disc";
        EXPECT_EQ(lengthAsDisc.substr(0, lengthAsDisc.find('\n') + 1),
                  "Drive C: (5 folders) in space on disc, not the report's file length\n");
        EXPECT_EQ(discAsLength.substr(0, discAsLength.find('\n') + 1),
                  "Drive C: (5 folders) in file length, not the report's space on disc\n");
    }
    const std::string ranked = RunCli({"show", "--other-size", "--rankings-only", disc}).out;
    EXPECT_EQ(ranked.substr(0, ranked.find('\n', 1) + 1), "\nRanking All (in space on disc, as the scan ranked)\n");
}

// A scanned report whose folders are marked as they would be by a scan that could not
// read few/ and met another file system at big/.
struct MarkedReport {
    Tree t;
    std::string report = t.Scan("r.tvl", {"-f"});
    std::string marked = t.dir.Abs("marked.tvl");
    MarkedReport()
    {
        DocFixture f;
        EXPECT_TRUE(f.doc.OnOpenDocument(report));
        DriveReport& drive = *f.doc.m_pDriveReports.at(0);
        for (FolderRecord* rec : drive.Folders()) {
            if (rec->strPath == "C:\\few\\")
                rec->state = FolderState::NoAccess;
            if (rec->strPath == "C:\\big\\")
                rec->state = FolderState::OtherFs;
        }
        EXPECT_TRUE(f.doc.OnSaveDocument(marked));
    }
};

TEST(CliFolderFacts, MarkedFoldersAreNotedMarkedListedAndExported)
{
    MarkedReport m;
    const CliRun plain = RunCli({"show", m.report});
    ASSERT_EQ(plain.err, "");
    // Standard output as it always was; the note on stderr.
    const CliRun shown = RunCli({"show", m.marked});
    EXPECT_EQ(shown.code, 0);
    EXPECT_EQ(shown.out, plain.out);
    EXPECT_EQ(shown.err, "tovaline-cli: 1 folder could not be read and 1 folder on another file system was not "
                         "entered ('show --unreadable' lists them)\n");
    EXPECT_EQ(RunCli({"show", "--json", m.marked}).err, shown.err);

    const CliRun marks = RunCli({"show", "--marks", "--folders-only", m.marked});
    EXPECT_EQ(marks.code, 0);
    EXPECT_EQ(marks.err, "");
    EXPECT_NE(marks.out.find("\n C:    "), std::string::npos) << marks.out;
    EXPECT_NE(marks.out.find("\n  >big "), std::string::npos);
    EXPECT_NE(marks.out.find("\n  !few "), std::string::npos);
    EXPECT_NE(marks.out.find("\n      a  1\n"), std::string::npos) << "file lines keep their place";
    EXPECT_NE(marks.out.find("\n   many "), std::string::npos);
    EXPECT_NE(marks.out.find("\n     sub "), std::string::npos);

    const CliRun list = RunCli({"show", "--unreadable", m.marked});
    EXPECT_EQ(list.code, 0);
    EXPECT_EQ(list.err, "");
    EXPECT_EQ(list.out, "C:\\big\\  Other file system, not entered\nC:\\few\\  Could not be read: permission denied\n");
    EXPECT_EQ(RunCli({"show", "--unreadable", m.report}).out, "");

    const std::string json = RunCli({"show", "--json", m.marked}).out;
    EXPECT_NE(json.find("{\"path\":\"C:\\\\few\\\\\",\"level\":1,\"spaceWithoutSubs\":2,\"spaceWithSubs\":2,"), std::string::npos);
    EXPECT_NE(json.find(",\"fileCount\":2,\"items\":2,\"newestChange\":\"2020-01-01T00:00:00Z\",\"otherSpaceWithoutSubs\":"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find(",\"state\":\"no-access\",\"files\":[{\"name\":"), std::string::npos);
    EXPECT_NE(json.find("{\"name\":\"x\",\"size\":100000,\"otherSize\":"), std::string::npos);
    EXPECT_NE(json.find(",\"change\":\"2030-01-01T00:00:00Z\"}"), std::string::npos);
    const CliRun csv = RunCli({"show", "--csv", "-", m.marked});
    EXPECT_NE(csv.out.find("\r\nC:\\big\\,1,100000,100000,99.99200063994881,99.99200063994881,1,1,"
                           "2030-01-01T00:00:00Z,"),
              std::string::npos)
        << csv.out;
    EXPECT_NE(csv.out.find(",other-fs\r\n"), std::string::npos);
    const CliRun files = RunCli({"show", "--csv-files", "-", m.marked});
    EXPECT_NE(files.out.find("\r\nC:\\big\\,x,100000,"), std::string::npos) << files.out;
    EXPECT_NE(files.out.find(",2030-01-01T00:00:00Z\r\n"), std::string::npos);
}

TEST(CliFolderFacts, AReportWithoutFactsRefusesWhatNeedsThemAndMakesNoneUp)
{
    Tree t;
    const std::string plain = t.Plain(t.Scan("r.tvl", {"-f"}), "old.tvl");
    for (const std::vector<std::string>& opts :
         {std::vector<std::string>{"--other-size"}, {"--marks"}, {"--sort", "files"}, {"--sort", "changed"},
          {"--columns", "size,items"}, {"--unreadable"}}) {
        std::vector<std::string> args = {"show"};
        args.insert(args.end(), opts.begin(), opts.end());
        args.push_back(plain);
        const CliRun r = RunCli(args);
        std::string option = opts[0] + (opts.size() > 1 ? " " + opts[1] : "");
        if (opts[0] == "--columns")
            option = "--columns items";
        EXPECT_EQ(r.code, 2) << option;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "tovaline-cli: " + option +
                             " needs the folder facts (file counts, change times, the other size measure, what could "
                             "not be read), and drive C: of this report has none (a report saved by an older version; "
                             "a new scan has them)\nTry 'tovaline-cli show --help' for more information.\n");
    }
    // What needs no facts still works.
    EXPECT_EQ(RunCli({"show", "--columns", "own,size", plain}).code, 0);

    const std::string json = RunCli({"show", "--json", plain}).out;
    EXPECT_NE(json.find("\"folderFacts\":false"), std::string::npos);
    for (const char* key : {"fileCount", "items", "newestChange", "otherSpace", "\"state\"", "otherSize", "change"})
        EXPECT_EQ(json.find(key), std::string::npos) << key;
    const std::string csv = RunCli({"show", "--csv", "-", plain}).out;
    EXPECT_NE(csv.find("\r\nC:\\big\\,1,100000,100000,99.99200063994881,99.99200063994881,,,,,,\r\n"),
              std::string::npos)
        << csv;
    EXPECT_NE(RunCli({"show", "--csv-files", "-", plain}).out.find("\r\nC:\\big\\,x,100000,,\r\n"), std::string::npos);

    // diff against a report with facts: no item change, as the old report knows none.
    const std::string current = t.Scan("new.tvl", {"-f"});
    const CliRun text = RunCli({"diff", plain, current});
    EXPECT_EQ(text.code, 0) << text.err;
    EXPECT_EQ(text.out.find("Items"), std::string::npos) << text.out;
    const std::string diffJson = RunCli({"diff", "--json", plain, current}).out;
    EXPECT_NE(diffJson.find("\"itemsCompared\":false"), std::string::npos);
    EXPECT_EQ(diffJson.find("\"itemsBefore\""), std::string::npos);
}

// A real scan, as an unprivileged user, of a tree with a folder it may not read and a
// tmpfs mounted in it (in a mount namespace of its own): noted, marked, listed and
// exported through a saved report.
TEST(CliFolderFacts, AScanThatCannotReadAFolderOrMeetsAMountPointSaysSo)
{
    if (!CanActAsOtherUsers())
        GTEST_SKIP() << "needs root to act as an unprivileged user";
    TempDir t, out;
    ASSERT_EQ(::chmod(t.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(out.path().c_str(), 0777), 0);
    t.MakeDirs("open");
    t.MakeDirs("locked");
    t.MakeDirs("mnt");
    WriteWholeFile(t.Abs("open/readable"), "x");
    WriteWholeFile(t.Abs("locked/secret"), "x");
    ASSERT_EQ(::chmod(t.Abs("locked").c_str(), 0700), 0);
    const std::string report = out.Abs("r.tvl");
    const std::string got = RunInChild([&]() -> std::string {
        if (::unshare(CLONE_NEWNS) != 0)
            return "skip: no mount namespace here";
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tovaline-test", t.Abs("mnt").c_str(), "tmpfs", 0, "mode=0755") != 0)
            return "skip: cannot mount a tmpfs here";
        WriteWholeFile(t.Abs("mnt/on-tmpfs"), "x");
        return RunAsUser(kNobody, kNobody, [&] {
            const std::vector<std::string> scan = {"scan", "--no-ranking", "-d", "C=" + t.path()};
            auto run = [&](std::vector<std::string> args) {
                const CliRun r = RunCli(args);
                return std::to_string(r.code) + "|" + r.out + "|" + r.err + "\n";
            };
            std::vector<std::string> marks = scan, save = scan;
            marks.insert(marks.end(), {"--marks", "--columns", "state", "C"});
            save.insert(save.end(), {"-o", report, "C"});
            // One after the other: the operands of + are evaluated in no set order.
            std::string all = run(marks);
            all += run(save);
            all += run({"show", "--unreadable", report});
            all += run({"show", "--csv", "-", report});
            return all;
        });
    });
    if (got.rfind("skip: ", 0) == 0)
        GTEST_SKIP() << got.substr(6);
    const std::string note =
        "tovaline-cli: 1 folder could not be read and 1 folder on another file system was not entered "
        "('show --unreadable' lists them)\n";
    const std::size_t csv = got.find("0|path,");
    ASSERT_NE(csv, std::string::npos) << got;
    EXPECT_EQ(got.substr(0, csv), "0|Drive C: (4 folders)\n"
                                  "Folder          State\n"
                                  " C:              read\n"
                                  "  !locked   no-access\n"
                                  "  >mnt       other-fs\n"
                                  "   open          read\n"
                                  "\n|\n" // --marks: no note
                                  "0||" + note + "\n" +
                                  "0|C:\\locked\\  Could not be read: permission denied\n"
                                  "C:\\mnt\\  Other file system, not entered\n|\n");
    EXPECT_EQ(got.substr(got.rfind('|')), "|" + note + "\n");
    EXPECT_NE(got.find("\r\nC:\\locked\\,1,0,0,0,0,0,0,"), std::string::npos);
    EXPECT_NE(got.find(",0,0,no-access\r\nC:\\mnt\\,1,0,0,0,0,0,0,"), std::string::npos) << got;
    EXPECT_NE(got.find(",0,0,other-fs\r\nC:\\open\\,1,1,1,100,100,1,1,"), std::string::npos) << got;
}

} // namespace
} // namespace tvl::test
