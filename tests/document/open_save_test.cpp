// Open and Save of the document on real files: messages, the progress display,
// and that a failed Save never destroys the report already on disc.
#include "AsUser.h"
#include "format_support.h"

#include "AtomicFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tvl::test {
namespace {

void MakeSmallReport(ReportDocument& doc)
{
    doc.m_bRanking = true;
    AddDrive(doc, 'C', true, {{"C:\\", 0, 5, 5, -1, -1, {{"f", 5}}}}, {{"f", "C:\\", 5}});
    doc.m_rankingAll = {{"f", "C:\\", 5}};
}

TEST(OpenSave, SaveThenOpenShowsTheLoadProgressAndNoMessage)
{
    TempDir dir;
    DocFixture f;
    MakeSmallReport(f.doc);
    ASSERT_TRUE(f.doc.OnSaveDocument(dir.Abs("r.tvl")));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"r.tvl"});

    DocFixture g;
    RecordingLoadProgress progress;
    g.doc.SetLoadProgress(&progress);
    ASSERT_TRUE(g.doc.OnOpenDocument(dir.Abs("r.tvl")));
    EXPECT_EQ(g.Message(), "");
    EXPECT_EQ(progress.log, (std::vector<std::string>{"caption:Loading ...", "step:", "show", "redraw",
                                                      "step:Loading report for drive C:", "hide"}));
    EXPECT_EQ(Serialize(g.doc), Serialize(f.doc));
}

TEST(OpenSave, OpenEmptiesTheDocumentFirstAndReportsFailures)
{
    TempDir dir;
    DocFixture f;
    MakeSmallReport(f.doc);
    f.doc.m_pSelectedFolder = f.doc.m_pDriveReports[0]->GetFolder(0);
    f.doc.m_strSelectedPath = "C:\\";
    RecordingLoadProgress progress;
    f.doc.SetLoadProgress(&progress);

    EXPECT_FALSE(f.doc.OnOpenDocument(dir.Abs("missing.tvl")));
    EXPECT_EQ(f.Message(), "Open|Cannot open file!");
    EXPECT_EQ(f.doc.m_nDrives, 0);
    EXPECT_TRUE(f.doc.m_pDriveReports.empty());
    EXPECT_TRUE(f.doc.m_rankingAll.empty());
    EXPECT_EQ(f.doc.m_pSelectedFolder, nullptr);
    EXPECT_EQ(f.doc.m_strSelectedPath, "");
    EXPECT_FALSE(progress.shown);

    // A damaged file: the message, the display hidden, the file itself untouched,
    // and the drive read before the damage kept.
    const std::string bytes = Header(2, 0, 2, 2) + "C" + Le32(0) + Le32(1) + Str("C:\\") +
                              std::string(36, '\0') + "D" + Le32(0) + Le32(1) + Str("D:");
    WriteWholeFile(dir.Abs("bad.tvl"), bytes);
    f.messages.messages.clear();
    EXPECT_FALSE(f.doc.OnOpenDocument(dir.Abs("bad.tvl")));
    EXPECT_EQ(f.Message(), "Open|This is not a valid disc space report!");
    EXPECT_FALSE(progress.shown);
    EXPECT_EQ(ReadWholeFile(dir.Abs("bad.tvl")), bytes);
    ASSERT_EQ(f.doc.m_nDrives, 2);
    EXPECT_EQ(f.doc.m_pDriveReports[0]->nFolders, 1);
    EXPECT_EQ(f.doc.m_pDriveReports[1]->nFolders, 0);

    WriteWholeFile(dir.Abs("v1.tvl"), Header(1, 0, 0, 0));
    f.messages.messages.clear();
    EXPECT_FALSE(f.doc.OnOpenDocument(dir.Abs("v1.tvl")));
    EXPECT_EQ(f.Message(), "Open|Invalid version: 1\n\nTovaline is compatible with version 2!");

    f.messages.messages.clear();
    EXPECT_FALSE(f.doc.OnOpenDocument(dir.path()));
    EXPECT_EQ(f.Message(), "Open|Cannot open file!");
}

TEST(OpenSave, SaveThatCannotCreateTheFileSaysSo)
{
    TempDir dir;
    DocFixture f;
    MakeSmallReport(f.doc);
    EXPECT_FALSE(f.doc.OnSaveDocument(dir.Abs("no/such/dir/r.tvl")));
    EXPECT_EQ(f.Message(), "Save|Cannot create file!\n\nNo such file or directory.");
    f.messages.messages.clear();
    EXPECT_FALSE(f.doc.OnSaveDocument(dir.path()));
    EXPECT_EQ(f.Message(), "Save|Cannot create file!\n\nIs a directory.");
    EXPECT_TRUE(dir.Entries().empty());
}

TEST(OpenSave, SaveOverAnExistingReportKeepsItsModeAndItsLink)
{
    TempDir dir;
    DocFixture f;
    MakeSmallReport(f.doc);
    WriteWholeFile(dir.Abs("r.tvl"), "old");
    ASSERT_EQ(::chmod(dir.Abs("r.tvl").c_str(), 0640), 0);
    ASSERT_EQ(::symlink("r.tvl", dir.Abs("link.tvl").c_str()), 0);

    ASSERT_TRUE(f.doc.OnSaveDocument(dir.Abs("link.tvl")));
    struct stat st {};
    ASSERT_EQ(::lstat(dir.Abs("link.tvl").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(dir.Abs("r.tvl").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadWholeFile(dir.Abs("r.tvl")), Serialize(f.doc));
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"link.tvl", "r.tvl"}));
}

// A disc that fills up while the report is written: the file size limit makes every
// write past it fail as a full disc would.
TEST(OpenSave, FailedWriteKeepsTheOldReportAndLeavesNoTemporaryFile)
{
    TempDir dir;
    DocFixture f;
    f.doc.m_bRanking = false;
    std::vector<FolderSpec> many;
    many.push_back({"C:\\", 0});
    for (int i = 0; i < 5000; ++i)
        many.push_back({"C:\\folder number " + std::to_string(i) + "\\", 1});
    AddDrive(f.doc, 'C', false, many);
    const std::string old = "the report saved before";
    WriteWholeFile(dir.Abs("r.tvl"), old);

    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ok = f.doc.OnSaveDocument(dir.Abs("r.tvl"));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(ok);
    ASSERT_EQ(f.messages.messages.size(), 1u);
    EXPECT_EQ(f.messages.messages[0].caption, "Save");
    EXPECT_EQ(f.messages.messages[0].text.rfind("Cannot write file!", 0), 0u) << f.messages.messages[0].text;
    EXPECT_NE(f.messages.messages[0].text.find("left as it was"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(dir.Abs("r.tvl")), old);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"r.tvl"});
}

// Every refusal names the system's reason, and the report on disc stays byte for byte.
TEST(OpenSave, RefusedSaveGivesTheReasonAndKeepsTheOldReport)
{
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    DocFixture f;
    MakeSmallReport(f.doc);
    const std::string old = "the report saved before";
    WriteWholeFile(dir.Abs("r.tvl"), old);
    ASSERT_EQ(::symlink("gone/r.tvl", dir.Abs("dangling.tvl").c_str()), 0);

    EXPECT_FALSE(f.doc.OnSaveDocument(dir.Abs("dangling.tvl")));
    EXPECT_EQ(f.Message(), "Save|Cannot create file!\n\nThe name is a symbolic link to a file that does not "
                           "exist; the link was left as it is.");
    struct stat st {};
    ASSERT_EQ(::lstat(dir.Abs("dangling.tvl").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"dangling.tvl", "r.tvl"}));

    if (!CanActAsOtherUsers())
        GTEST_SKIP() << "needs root to save as an unprivileged user";
    f.messages.messages.clear();
    const std::string message =
        RunAsUser(kNobody, kNobody, [&] { return f.doc.OnSaveDocument(dir.Abs("r.tvl")) ? "saved" : f.Message(); });
    EXPECT_EQ(message, "Save|Cannot create file!\n\nPermission denied.");
    EXPECT_EQ(ReadWholeFile(dir.Abs("r.tvl")), old);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"dangling.tvl", "r.tvl"}));
}

// Root saving over a report of another user leaves it theirs, with its mode.
TEST(OpenSave, SaveOverAnotherUsersReportKeepsOwnerGroupAndMode)
{
    if (!CanActAsOtherUsers())
        GTEST_SKIP() << "needs root to own files as another user";
    TempDir dir;
    DocFixture f;
    MakeSmallReport(f.doc);
    WriteWholeFile(dir.Abs("theirs.tvl"), "old");
    ASSERT_EQ(::chown(dir.Abs("theirs.tvl").c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(dir.Abs("theirs.tvl").c_str(), 0620), 0);

    ASSERT_TRUE(f.doc.OnSaveDocument(dir.Abs("theirs.tvl"))) << f.Message();
    struct stat st {};
    ASSERT_EQ(::stat(dir.Abs("theirs.tvl").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_gid, kNobody);
    EXPECT_EQ(st.st_mode & 07777, 0620u);
    EXPECT_EQ(ReadWholeFile(dir.Abs("theirs.tvl")), Serialize(f.doc));
}

// Another user's link in a world-writable sticky folder, pointing at a file only root
// may write: Save writes through it only when the system lets root open the link for
// writing (fs.protected_symlinks off), and the link itself stays in every case.
TEST(OpenSave, SaveThroughAnotherUsersLinkInAStickyFolderObeysTheSystem)
{
    if (!CanActAsOtherUsers())
        GTEST_SKIP() << "needs root to plant a link as another user";
    const int protectedLinks = ProtectedSymlinks();
    if (protectedLinks < 0)
        GTEST_SKIP() << "fs.protected_symlinks cannot be read";
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    dir.MakeDirs("root-only");
    dir.MakeDirs("shared");
    ::chmod(dir.Abs("shared").c_str(), 01777);
    const std::string secret = dir.Abs("root-only/secret.conf");
    WriteWholeFile(secret, "root's settings");
    ::chmod(secret.c_str(), 0600);
    const std::string link = dir.Abs("shared/report.tvl");
    ASSERT_EQ(RunAsUser(kNobody, kNobody,
                        [&] { return std::string(::symlink(secret.c_str(), link.c_str()) == 0 ? "" : "failed"); }),
              "");

    DocFixture f;
    MakeSmallReport(f.doc);
    const bool saved = f.doc.OnSaveDocument(link);
    if (protectedLinks == 1) {
        EXPECT_FALSE(saved);
        EXPECT_EQ(f.Message(), "Save|Cannot create file!\n\nPermission denied. The name is a symbolic link; it "
                               "was left as it is.");
        EXPECT_EQ(ReadWholeFile(secret), "root's settings");
    } else {
        EXPECT_TRUE(saved) << f.Message();
        EXPECT_EQ(ReadWholeFile(secret), Serialize(f.doc));
    }
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(st.st_uid, kNobody);
}

// A report on a file system mounted read-only (in a mount namespace of the test's
// own): the reason is named, and the report stays as it was.
TEST(OpenSave, SaveOnAReadOnlyFileSystemSaysSo)
{
    TempDir dir;
    dir.MakeDirs("mnt");
    const std::string mnt = dir.Abs("mnt");
    DocFixture f;
    MakeSmallReport(f.doc);
    const std::string result = RunInChild([&]() -> std::string {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tvl-test", mnt.c_str(), "tmpfs", 0, "size=1m") != 0)
            return "skip";
        WriteWholeFile(mnt + "/r.tvl", "old report");
        if (::mount(nullptr, mnt.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            return "skip";
        std::string out;
        for (const char* name : {"/r.tvl", "/new.tvl"}) {
            f.messages.messages.clear();
            out += f.doc.OnSaveDocument(mnt + name) ? "saved" : f.Message();
            out += "\n";
        }
        return out + ReadWholeFile(mnt + "/r.tvl");
    });
    if (result == "skip")
        GTEST_SKIP() << "cannot mount a read-only file system here";
    EXPECT_EQ(result, "Save|Cannot create file!\n\nRead-only file system.\n"
                      "Save|Cannot create file!\n\nRead-only file system.\n"
                      "old report");
}

TEST(OpenSave, AFileReplacedDuringTheSaveIsSaidOnce)
{
    TempDir dir;
    WriteWholeFile(dir.Abs("r.tvl"), "old");
    WriteWholeFile(dir.Abs("other"), "someone else's");
    AtomicFile file;
    ASSERT_TRUE(file.Begin(dir.Abs("r.tvl")));
    ASSERT_EQ(::write(file.Fd(), "new", 3), 3);
    ASSERT_EQ(::rename(dir.Abs("other").c_str(), dir.Abs("r.tvl").c_str()), 0);
    ASSERT_FALSE(file.Commit());
    EXPECT_EQ(SaveFailureMessage(file), "Cannot write file!\n\nThe file was replaced by another while it was being "
                                        "saved; what is there now was left as it is.");
    EXPECT_EQ(ReadWholeFile(dir.Abs("r.tvl")), "someone else's");
}

// The load progress of a report read from a pipe that stalls: before the read waits,
// the path of the folder being read is put on the screen.
TEST(OpenSave, AReadThatWaitsShowsTheLatestPathFirst)
{
    struct WaitingProgress final : ILoadProgress {
        void SetCaption(const std::string&) override {}
        void SetStepText(const std::string&) override {}
        void SetPathText(const std::string& t) override { path = t; }
        void SetProgress(int, int) override {}
        void Show() override {}
        void Hide() override {}
        void Redraw() override {}
        void ShowPendingText() override
        {
            std::lock_guard<std::mutex> lock(m);
            if (!path.empty())
                shown.push_back(path);
            cv.notify_all();
        }
        std::string path;
        std::vector<std::string> shown;
        std::mutex m;
        std::condition_variable cv;
    } progress;
    DocFixture f;
    AddDrive(f.doc, 'C', false, {{"C:\\", 0, 0, 3}, {"C:\\a\\", 1, 1, 1, 33, 33}, {"C:\\b\\", 1, 2, 2, 66, 66}});
    const std::string bytes = Serialize(f.doc);
    const std::size_t cut = bytes.find(std::string("C:\\b\\\0", 6)) + 6; // the last folder's path and no more
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.Abs("pipe").c_str(), 0600), 0);
    std::thread writer([&] {
        const int fd = ::open(dir.Abs("pipe").c_str(), O_WRONLY | O_CLOEXEC);
        (void)::write(fd, bytes.data(), cut);
        {
            // The rest comes when the reader waits for it (or after a while, to fail clearly).
            std::unique_lock<std::mutex> lock(progress.m);
            progress.cv.wait_for(lock, std::chrono::seconds(10), [&] { return !progress.shown.empty(); });
        }
        (void)::write(fd, bytes.data() + cut, bytes.size() - cut);
        ::close(fd);
    });
    ReportReader in(dir.Abs("pipe"));
    const LoadedReport r = ReadReport(in, progress);
    writer.join();
    EXPECT_TRUE(r.result.bOk) << r.result.message;
    // Each wait (for the rest of the record, then for the end of the stream, where a
    // block of scan facts could follow) shows the latest path.
    ASSERT_FALSE(progress.shown.empty());
    for (const std::string& shown : progress.shown)
        EXPECT_EQ(shown, "C:\\b\\");
}

} // namespace
} // namespace tvl::test
