// The ncdu JSON export: what an import makes of each field, what it refuses (with the
// byte where, and nothing half-read left behind), and that an export reads back into
// the report it came from.
#include "NcduExport.h"
#include "NcduImport.h"
#include "ReportBuilder.h"
#include "ReportDocument.h"
#include "ReportReading.h"
#include "format_support.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace tvl::test {
namespace {

LoadedReport Import(const std::string& json, NcduImportOptions options = {})
{
    ReportReader in(json.data(), json.size());
    NullLoadProgress progress;
    return ImportNcduExport(in, options, progress);
}

std::string Gzip(const std::string& s)
{
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, s.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(s.data()));
    z.avail_in = static_cast<uInt>(s.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// What ncdu 1.x writes (with -e), with what a reader must pass over: unknown fields of
// any shape, a hard link met first in "b" (dev inherited from the root), a folder that
// could not be read, one on another file system, one left out by a pattern, a file left
// out (its mode says so), a raw non-UTF-8 byte, a backslash and an escaped newline.
const std::string kExport =
    "[1,2,{\"progname\":\"ncdu\",\"progver\":\"1.18\",\"timestamp\":1700000000,\"x\":[1,{\"y\":2}]},\n"
    "[{\"name\":\"/srv/data\",\"asize\":4096,\"dsize\":4096,\"dev\":7,\"mtime\":100,\"uid\":0},\n"
    "[{\"name\":\"b\",\"mtime\":50},\n"
    "{\"name\":\"f1link\",\"asize\":6,\"dsize\":4096,\"ino\":42,\"hlnkc\":true,\"nlink\":2,\"mtime\":300}],\n"
    "{\"name\":\"n\xe9me\",\"asize\":10,\"dsize\":4096,\"extra\":{\"deep\":[[],{}]},\"notreg\":false},\n"
    "{\"name\":\"sparse\",\"asize\":10485760,\"dsize\":0,\"mtime\":200},\n"
    "{\"name\":\"back\\\\slash\\nline\",\"asize\":1,\"dsize\":512},\n"
    "[{\"name\":\"noread\",\"read_error\":true}],\n"
    "[{\"name\":\"proc\",\"dev\":9,\"excluded\":\"othfs\"}],\n"
    "{\"name\":\"cache\",\"excluded\":\"pattern\"},\n"
    "{\"name\":\"skipped.iso\",\"excluded\":\"pattern\",\"mode\":33188},\n"
    "[{\"name\":\"a\"},\n"
    "{\"name\":\"f1\",\"asize\":6,\"dsize\":4096,\"ino\":42,\"hlnkc\":true},\n"
    "[{\"name\":\"empty\"}],\n"
    "{\"name\":\"other-dev\",\"asize\":7,\"dsize\":8,\"dev\":8,\"ino\":42,\"hlnkc\":true}]]]\n";

const FileEntry* FileOf(const FolderRecord* rec, const std::string& name)
{
    for (const FileEntry& f : rec->files)
        if (f.strName == name)
            return &f;
    return nullptr;
}

TEST(NcduImport, EveryFieldAsAScanWouldHaveIt)
{
    // Plain, compressed, and compressed in two members (as `cat a.gz b.gz` makes), with
    // a value after the tree that a later minor version may add.
    const std::string later = kExport.substr(0, kExport.size() - 2) + ",{\"more\":[1]}]\n";
    for (const std::string& bytes : {kExport, Gzip(kExport), Gzip(later.substr(0, 500)) + Gzip(later.substr(500))}) {
        SCOPED_TRACE(bytes.size());
        ASSERT_TRUE(LooksLikeNcduExport(bytes));
        NcduImportOptions options;
        options.cDrive = 'E';
        options.nRankingSize = 3;
        LoadedReport r = Import(bytes, options);
        ASSERT_TRUE(r.result.bOk) << r.result.message;
        ASSERT_EQ(r.nDrives, 1);
        const DriveReport& d = *r.drives[0];
        EXPECT_EQ(CheckReportInvariants(d), "");
        EXPECT_EQ(Paths(d), (std::vector<std::string>{"E:\\", "E:\\a\\", "E:\\a\\empty\\", "E:\\b\\",
                                                      "E:\\cache\\", "E:\\noread\\", "E:\\proc\\"}));
        EXPECT_TRUE(d.bFolderFacts && d.bStoreFileNames);
        EXPECT_EQ(d.pFacts->strDirectory, "/srv/data");
        EXPECT_EQ(PrimaryKind(d), SizeKind::Length);
        EXPECT_EQ(d.pFacts->counts.nUnreadable, 1);
        EXPECT_EQ(d.pFacts->counts.nOtherFs, 1);
        EXPECT_EQ(d.pFacts->counts.nLeftOut, 1);
        EXPECT_EQ(r.facts->strProgramVersion, "ncdu 1.18");
        EXPECT_EQ(r.facts->nStartTime, 1700000000);

        const FolderRecord* root = Find(d, "E:\\");
        // Own files: 10 + 10485760 + 1; the folders' own 4096 count nowhere.
        EXPECT_EQ(root->nSpaceWithoutSubs, 10485771);
        EXPECT_EQ(root->nOtherWithoutSubs, 4096 + 0 + 512);
        // b's link counted first; a's f1 does not; the same inode on another device does.
        EXPECT_EQ(root->nSpaceWithSubs, 10485771 + 6 + 7);
        EXPECT_EQ(root->nOtherWithSubs, 4608 + 4096 + 8);
        EXPECT_EQ(root->nFiles, 3);
        EXPECT_EQ(root->FilesWithSubs(), 5);
        EXPECT_EQ(root->nNewestChange, 300);
        EXPECT_TRUE(d.Counts(*Find(d, "E:\\b\\"), "f1link"));
        EXPECT_FALSE(d.Counts(*Find(d, "E:\\a\\"), "f1"));
        EXPECT_TRUE(d.Counts(*Find(d, "E:\\a\\"), "other-dev"));
        EXPECT_EQ(FileOf(Find(d, "E:\\a\\"), "f1")->nSize, 6);
        EXPECT_NE(FileOf(root, "n\xe9me"), nullptr);
        EXPECT_NE(FileOf(root, "back\\slash\nline"), nullptr);
        EXPECT_EQ(FileOf(root, "skipped.iso"), nullptr);
        EXPECT_EQ(FileOf(root, "sparse")->nChange, 200);
        EXPECT_EQ(FileOf(root, "sparse")->nOtherSize, 0);
        EXPECT_EQ(Find(d, "E:\\noread\\")->state, FolderState::ReadError);
        EXPECT_EQ(Find(d, "E:\\proc\\")->state, FolderState::OtherFs);
        EXPECT_EQ(Find(d, "E:\\cache\\")->state, FolderState::LeftOut);
        EXPECT_EQ(Find(d, "E:\\b\\")->nNewestChange, 300);
        EXPECT_EQ(Find(d, "E:\\a\\empty\\")->nNewestChange, kNoTime);
        ASSERT_EQ(d.ranking.size(), 3u);
        EXPECT_EQ(d.ranking[0].strName, "sparse");
        EXPECT_EQ(d.ranking[1].strName, "n\xe9me");
        EXPECT_EQ(d.ranking[2].strLocation, "E:\\a\\");
        EXPECT_EQ(r.rankingAll.size(), 3u);
    }
    // Counted with the space on disc, the other measure is the length.
    LoadedReport du = Import(kExport, NcduImportOptions{true});
    ASSERT_TRUE(du.result.bOk);
    const DriveReport& d = *du.drives[0];
    EXPECT_EQ(PrimaryKind(d), SizeKind::DiscUsage);
    EXPECT_EQ(d.FirstFolder()->nSpaceWithSubs, 4608 + 4096 + 8);
    EXPECT_EQ(d.FirstFolder()->nOtherWithSubs, 10485771 + 6 + 7);
    EXPECT_EQ(d.ranking.front().strName, "f1link"); // 4096 each: the first met leads
}

TEST(NcduImport, RefusesWhatIsDamagedWithTheByteAndKeepsNothing)
{
    const std::string pre = "[1,2,{},[{\"name\":\"r\"},";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {pre + "{\"name\":\"x\",\"asize\":18446744073709551616}]]", "\"asize\" is not a whole number"},
        {pre + "{\"name\":\"x\",\"asize\":9223372036854775808}]]", "\"asize\" is beyond 64 bits"},
        {pre + "{\"name\":\"x\",\"dsize\":-1}]]", "\"dsize\" is negative"},
        {pre + "{\"name\":\"x\",\"asize\":1.5}]]", "\"asize\" is not a whole number"},
        {pre + "{\"name\":\"x\",\"asize\":\"1\"}]]", "\"asize\" has the wrong type"},
        {pre + "{\"name\":7}]]", "\"name\" has the wrong type"},
        {pre + "{\"name\":\"x\",\"hlnkc\":{}}]]", "\"hlnkc\" has the wrong type"},
        {pre + "{\"name\":\"x\",\"mtime\":[1]}]]", "\"mtime\" has the wrong type"},
        {pre + "{\"asize\":1}]]", "an entry without a name"},
        {pre + "{\"name\":\"a/b\"}]]", "cannot be a file name"},
        {pre + "{\"name\":\"..\"}]]", "cannot be a file name"},
        {pre + "{\"name\":\"\"}]]", "cannot be a file name"},
        {pre + "{\"name\":\"x\"},[{\"name\":\"x\"}]]]", "the name \"x\" is in one folder twice"},
        {pre + "{\"name\":\"x\"},{\"name\":\"x\"}]]", "the name \"x\" is in one folder twice"},
        {pre + "{\"name\":\"x\",\"asize\":9223372036854775807},{\"name\":\"y\",\"asize\":1}]]",
         "its sizes add up to more than 64 bits hold"},
        {pre + "5]]", "a number where none belongs"},
        {pre + "[]]]", "a folder without its name"},
        {"[1,2,{},[{\"name\":\"r\"}]] x", "it is not valid JSON there"},
        {"[1,2,{},[{\"name\":\"r\"}]", "it ends too early"},
        {"[1,2,{},[{\"name\":\"r\"},{\"name\":\"\xff\x01\"}]]", "it is not valid JSON there"},
    };
    for (const auto& [json, why] : cases) {
        SCOPED_TRACE(json);
        const LoadedReport r = Import(json);
        EXPECT_FALSE(r.result.bOk);
        EXPECT_EQ(r.result.message.rfind("The ncdu export is damaged at byte ", 0), 0u) << r.result.message;
        EXPECT_NE(r.result.message.find(why), std::string::npos) << r.result.message;
        EXPECT_EQ(r.nDrives, 0);
        EXPECT_TRUE(r.drives.empty());
    }
    // The byte is where the trouble is (just past the value), counted in the
    // uncompressed export, raw bytes as one each.
    const std::string at = "[1,2,{},[{\"name\":\"r\xe9\xe9\"},{\"name\":\"x\",\"asize\":-1}]]";
    EXPECT_EQ(Import(at).result.message, "The ncdu export is damaged at byte 47: \"asize\" is negative.");
    EXPECT_EQ(Import(Gzip(at)).result.message, "The ncdu export is damaged at byte 47: \"asize\" is negative.");
    EXPECT_EQ(Import("[2,0,{},[{\"name\":\"r\"}]]").result.message, kMsgNotNcduExport);
    EXPECT_FALSE(LooksLikeNcduExport("[2,0,{}"));
    EXPECT_FALSE(LooksLikeNcduExport("TovalineReportMQX"));

    // Cut anywhere, plain or compressed, an export fails with the message.
    const std::string gz = Gzip(kExport);
    for (std::size_t n = 0; n + 1 < kExport.size(); ++n) { // all but the final newline
        const LoadedReport r = Import(kExport.substr(0, n));
        ASSERT_FALSE(r.result.bOk) << n;
        ASSERT_TRUE(r.result.message.rfind("The ncdu export is damaged at byte", 0) == 0 ||
                    r.result.message == kMsgNotNcduExport)
            << n << ": " << r.result.message;
    }
    for (std::size_t n = 0; n < gz.size(); ++n)
        ASSERT_FALSE(Import(gz.substr(0, n)).result.bOk) << n;

    // A million levels: refused long before the paths eat the memory; a million
    // brackets: refused at the second. Neither recurses.
    std::string deep = "[1,2,{},";
    for (int i = 0; i < 1000000; ++i)
        deep += "[{\"name\":\"a\"},";
    deep += std::string(1000000, ']') + "]";
    EXPECT_NE(Import(deep).result.message.find("nested too deeply"), std::string::npos);
    EXPECT_NE(Import("[1,2,{}," + std::string(1000000, '[')).result.message.find("an array where none belongs"),
              std::string::npos);
}

// A report as a scan with folder facts makes it, by hand.
std::unique_ptr<DriveReport> HandMade(bool discUsage, bool names)
{
    auto d = std::make_unique<DriveReport>();
    d->cDrive = 'C';
    d->bStoreFileNames = names;
    d->bFolderFacts = true;
    d->nRankingSize = 100;
    d->pFacts = std::make_unique<DriveFacts>();
    d->pFacts->strDirectory = "/home/u";
    d->pFacts->options.bDiscUsage = discUsage;
    ReportBuilder b(*d, ReportBuilder::Origin::Scan);
    const auto add = [&](const std::string& n, std::int64_t len, std::int64_t disc, std::int64_t t, bool c) {
        b.AddFile(n, discUsage ? disc : len, discUsage ? len : disc, t, c);
    };
    b.EnterFolder("C:\\", 0).nNewestChange = 10;
    add("top \"q\"\x01", 100, 4096, 20, true);
    add("caf\xe9", 5, 4096, kNoTime, true);
    b.EnterFolder("C:\\k\\", 1);
    add("link", 700, 4096, 30, true);
    b.LeaveFolder();
    b.EnterFolder("C:\\back/slash\\", 1).state = FolderState::NoAccess;
    b.LeaveFolder();
    b.EnterFolder("C:\\j\\", 1);
    add("link", 700, 4096, 30, false);
    add("lonely", 9, 0, 40, false); // no counting name of its sizes before it
    b.EnterFolder("C:\\j\\proc\\", 2).state = FolderState::OtherFs;
    b.Finish();
    SumSubtrees(*d);
    const std::int64_t total = d->FirstFolder()->nSpaceWithSubs;
    for (FolderRecord* r : d->Folders())
        SetShares(*r, total);
    d->FirstFolder()->dPercentOfParent = d->FirstFolder()->dPercentOfDisc = -1.0;
    d->SortFolders();
    return d;
}

std::string Export(const std::vector<std::unique_ptr<DriveReport>>& drives)
{
    std::ostringstream out;
    EXPECT_EQ(WriteNcduExport(out, drives, 1234), "");
    return out.str();
}

TEST(NcduExport, ReadsBackIntoTheReportItCameFrom)
{
    for (const bool du : {false, true}) {
        SCOPED_TRACE(du ? "disc usage" : "length");
        std::vector<std::unique_ptr<DriveReport>> drives;
        drives.push_back(HandMade(du, true));
        const DriveReport& a = *drives[0];
        const std::string json = Export(drives);
        EXPECT_EQ(json.rfind("[1,2,{\"progname\":\"tovaline\",\"progver\":", 0), 0u);
        EXPECT_NE(json.find("\"name\":\"top \\\"q\\\"\\u0001\""), std::string::npos) << json;
        EXPECT_NE(json.find("\"name\":\"caf\xe9\""), std::string::npos); // raw, as ncdu writes it
        EXPECT_NE(json.find("[{\"name\":\"proc\",\"excluded\":\"otherfs\"}]"), std::string::npos);
        LoadedReport r = Import(json, NcduImportOptions{du});
        ASSERT_TRUE(r.result.bOk) << r.result.message << "\n" << json;
        const DriveReport& b = *r.drives[0];
        EXPECT_EQ(b.pFacts->strDirectory, "/home/u");
        ASSERT_EQ(Paths(a), Paths(b));
        for (int i = 0; i < a.nFolders; ++i) {
            const FolderRecord &x = *a.GetFolder(i), &y = *b.GetFolder(i);
            SCOPED_TRACE(x.strPath);
            EXPECT_EQ(x.nSpaceWithSubs, y.nSpaceWithSubs);
            EXPECT_EQ(x.nSpaceWithoutSubs, y.nSpaceWithoutSubs);
            EXPECT_EQ(x.nOtherWithSubs, y.nOtherWithSubs);
            EXPECT_EQ(x.nNewestChange, y.nNewestChange);
            EXPECT_EQ(x.dPercentOfDisc, y.dPercentOfDisc);
            EXPECT_EQ(x.state == FolderState::Read, y.state == FolderState::Read);
            if (x.strPath != "C:\\j\\") { // the lonely name comes back as a counted empty file
                EXPECT_EQ(x.nFiles, y.nFiles);
                ASSERT_EQ(x.files.size(), y.files.size());
                for (const FileEntry& f : x.files) {
                    const FileEntry* g = FileOf(&y, f.strName);
                    ASSERT_NE(g, nullptr) << f.strName;
                    EXPECT_EQ(f.nSize, g->nSize);
                    EXPECT_EQ(f.nOtherSize, g->nOtherSize);
                    EXPECT_EQ(f.nChange, g->nChange);
                    EXPECT_EQ(a.Counts(x, f.strName), b.Counts(y, g->strName)) << f.strName;
                }
            }
        }
        EXPECT_EQ(Find(b, "C:\\j\\proc\\")->state, FolderState::OtherFs);
        EXPECT_EQ(FileOf(Find(b, "C:\\j\\"), "lonely")->nSize, 0);
    }

    // Without file names: one "<files>" per folder with own bytes; totals stay. A drive
    // without folder facts (an older report) writes its one measure as both.
    std::vector<std::unique_ptr<DriveReport>> two;
    two.push_back(HandMade(false, false));
    two.push_back(HandMade(true, false));
    two[1]->cDrive = 'D';
    two[1]->bFolderFacts = false;
    const std::string json = Export(two);
    EXPECT_NE(json.find("[{\"name\":\"Tovaline report\"},\n[{\"name\":\"C:\""), std::string::npos) << json;
    EXPECT_NE(json.find("{\"name\":\"<files>\",\"asize\":105,\"dsize\":8192}"), std::string::npos) << json;
    LoadedReport r = Import(json);
    ASSERT_TRUE(r.result.bOk) << r.result.message;
    const DriveReport& b = *r.drives[0];
    EXPECT_EQ(Find(b, "C:\\C:\\")->nSpaceWithSubs, two[0]->FirstFolder()->nSpaceWithSubs);
    EXPECT_EQ(Find(b, "C:\\D:\\")->nSpaceWithSubs, two[1]->FirstFolder()->nSpaceWithSubs);
    EXPECT_EQ(Find(b, "C:\\D:\\")->nOtherWithSubs, two[1]->FirstFolder()->nSpaceWithSubs);
    EXPECT_EQ(Find(b, "C:\\C:\\k\\")->nOtherWithSubs, 4096);
}

TEST(NcduImport, OpenRecognisesTheExportByContentAlsoFromAPipe)
{
    TempDir dir;
    WriteWholeFile(dir.Abs("scan.tvl"), kExport); // the name does not matter
    ReportReadingEnvironment env;
    ReportDocument doc(env.Env());
    ASSERT_TRUE(ReportReadingEnvironment::Open(doc, dir.Abs("scan.tvl")));
    EXPECT_TRUE(doc.m_bImported);
    EXPECT_TRUE(doc.NeedsSave());
    EXPECT_EQ(doc.m_nDrives, 1);
    // Saved and opened again, it is a report like any other.
    ASSERT_TRUE(doc.OnSaveDocument(dir.Abs("saved.tvl")));
    ReportDocument again(env.Env());
    ASSERT_TRUE(ReportReadingEnvironment::Open(again, dir.Abs("saved.tvl")));
    EXPECT_FALSE(again.m_bImported);
    EXPECT_EQ(again.m_strOpenWarning, "");
    EXPECT_TRUE(again.m_pDriveReports[0]->bFolderFacts);
    EXPECT_EQ(again.m_pDriveReports[0]->FirstFolder()->nSpaceWithSubs, doc.m_pDriveReports[0]->FirstFolder()->nSpaceWithSubs);
    // Through a pipe, compressed.
    const std::string gz = Gzip(kExport);
    ASSERT_EQ(::mkfifo(dir.Abs("pipe").c_str(), 0600), 0);
    std::thread writer([&] { WriteWholeFile(dir.Abs("pipe"), gz); });
    ReportDocument piped(env.Env());
    const bool ok = ReportReadingEnvironment::Open(piped, dir.Abs("pipe"));
    writer.join();
    ASSERT_TRUE(ok);
    EXPECT_EQ(piped.m_pDriveReports[0]->nFolders, 7);
    // A damaged export: Open's message, an empty document, the file untouched.
    WriteWholeFile(dir.Abs("cut.json"), kExport.substr(0, 100));
    ReportDocument cut(env.Env());
    EXPECT_FALSE(ReportReadingEnvironment::Open(cut, dir.Abs("cut.json")));
    EXPECT_EQ(cut.m_nDrives, 0);
    ASSERT_FALSE(env.Recorded().messages.empty());
    EXPECT_EQ(env.Recorded().messages.back().text, "The ncdu export is damaged at byte 100: it ends too early.");
    EXPECT_EQ(ReadWholeFile(dir.Abs("cut.json")), kExport.substr(0, 100));
}

} // namespace
} // namespace tvl::test
