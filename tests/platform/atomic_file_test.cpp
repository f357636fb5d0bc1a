// Replacing files atomically on real files: the old file stays until the new one is
// complete, nothing is left behind, modes are kept, and links, folders and
// other non-regular files are refused the way the system would refuse them.
#include "AsUser.h"
#include "AtomicFile.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tvl::test {
namespace {

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void Put(const std::string& path, const std::string& bytes, mode_t mode = 0644)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    ::chmod(path.c_str(), mode);
}

bool WriteAll(int fd, const std::string& bytes)
{
    return ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

// Begin, write, Commit; "" on success, otherwise the stage and reason.
std::string Save(const std::string& path, const std::string& bytes)
{
    AtomicFile f;
    if (!f.Begin(path))
        return "create: " + f.Reason();
    if (!WriteAll(f.Fd(), bytes))
        f.SetWriteError(errno);
    if (!f.Commit())
        return "write: " + f.Reason();
    return "";
}

std::string LinkText(const std::string& path)
{
    char buf[4096];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
    return n < 0 ? std::string("(no link)") : std::string(buf, static_cast<std::size_t>(n));
}

mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST(AtomicFile, NewFileGetsTheUsualModeAndNoTemporaryStays)
{
    TempDir dir;
    const mode_t old = ::umask(027);
    const std::string result = Save(dir.Abs("new.tvl"), "content");
    ::umask(old);
    EXPECT_EQ(result, "");
    EXPECT_EQ(Slurp(dir.Abs("new.tvl")), "content");
    EXPECT_EQ(ModeOf(dir.Abs("new.tvl")), 0640u);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"new.tvl"});
}

TEST(AtomicFile, OldFileStaysUntilCommitAndEveryFailureLeavesItAsItWas)
{
    TempDir dir;
    const std::string path = dir.Abs("r.tvl");
    Put(path, "old report", 0604);
    {
        AtomicFile f;
        ASSERT_TRUE(f.Begin(path));
        EXPECT_TRUE(f.Existed());
        ASSERT_TRUE(WriteAll(f.Fd(), "new report"));
        EXPECT_EQ(Slurp(path), "old report");
        EXPECT_EQ(dir.Entries().size(), 2u); // the temporary file beside it
        // Abandoned without Commit.
    }
    EXPECT_EQ(Slurp(path), "old report");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"r.tvl"});

    {
        AtomicFile f;
        ASSERT_TRUE(f.Begin(path));
        f.SetWriteError(ENOSPC);
        EXPECT_FALSE(f.Commit());
        EXPECT_EQ(f.FailedStage(), AtomicFile::Stage::Write);
        EXPECT_EQ(f.Reason(), "No space left on device.");
    }
    EXPECT_EQ(Slurp(path), "old report");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"r.tvl"});

    EXPECT_EQ(Save(path, "new report"), "");
    EXPECT_EQ(Slurp(path), "new report");
    EXPECT_EQ(ModeOf(path), 0604u);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"r.tvl"});
}

// Another program puts a file under the name while the save is being written: what it
// put there is not the save's to replace, whether the name existed before or not.
TEST(AtomicFile, ANameTakenOverDuringTheSaveIsLeftToItsNewFile)
{
    TempDir dir;
    const std::string path = dir.Abs("r.tvl"), fresh = dir.Abs("fresh.tvl");
    Put(path, "old report");
    for (const std::string& name : {path, fresh}) {
        SCOPED_TRACE(name);
        AtomicFile f;
        ASSERT_TRUE(f.Begin(name));
        ASSERT_TRUE(WriteAll(f.Fd(), "the save"));
        Put(dir.Abs("other"), "someone else's file");
        ASSERT_EQ(::rename(dir.Abs("other").c_str(), name.c_str()), 0);
        EXPECT_FALSE(f.Commit());
        EXPECT_EQ(f.FailedStage(), AtomicFile::Stage::Write);
        if (name == path)
            EXPECT_EQ(f.Reason(), "The file was replaced by another while it was being saved; what is there now "
                                  "was left as it is.");
        else
            EXPECT_EQ(f.Reason(), "File exists.");
        EXPECT_EQ(Slurp(name), "someone else's file");
    }
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"fresh.tvl", "r.tvl"}));
}

// Files beginning with the bytes the writer protects (a report's magic) are refused
// whatever else they are; other files are replaced as usual.
TEST(AtomicFile, FilesBeginningWithProtectedBytesAreRefused)
{
    TempDir dir;
    Put(dir.Abs("report"), "MAGIC and the rest");
    Put(dir.Abs("short"), "MAG");
    ASSERT_EQ(::symlink("report", dir.Abs("link").c_str()), 0);
    for (const char* name : {"report", "link"}) {
        AtomicFile f;
        f.RefuseFilesBeginningWith("MAGIC");
        EXPECT_FALSE(f.Begin(dir.Abs(name))) << name;
        EXPECT_EQ(f.Reason(), "The name is a report file; it was left as it is.");
    }
    AtomicFile f;
    f.RefuseFilesBeginningWith("MAGIC");
    ASSERT_TRUE(f.Begin(dir.Abs("short")));
    ASSERT_TRUE(WriteAll(f.Fd(), "picture"));
    EXPECT_TRUE(f.Commit());
    EXPECT_EQ(Slurp(dir.Abs("report")), "MAGIC and the rest");
    EXPECT_EQ(Slurp(dir.Abs("short")), "picture");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"link", "report", "short"}));
}

// The temporary name must fit where the name itself just fits.
TEST(AtomicFile, NamesUpToTheFileSystemLimitCanBeSaved)
{
    TempDir dir;
    for (std::size_t length : {247u, 248u, 255u}) {
        const std::string name = std::string(length - 4, 'n') + ".tvl";
        EXPECT_EQ(Save(dir.Abs(name), "first"), "") << length;
        EXPECT_EQ(Save(dir.Abs(name), "second"), "") << length;
        EXPECT_EQ(Slurp(dir.Abs(name)), "second") << length;
        ::unlink(dir.Abs(name).c_str());
    }
    EXPECT_EQ(Save(dir.Abs(std::string(256, 'n')), "x"), "create: File name too long.");
    EXPECT_TRUE(dir.Entries().empty());
}

TEST(AtomicFile, WhatIsNotARegularFileIsRefusedAndLeftAsItIs)
{
    TempDir dir;
    dir.MakeDirs("folder");
    ASSERT_EQ(::mkfifo(dir.Abs("pipe").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("folder", dir.Abs("to-folder").c_str()), 0);
    ASSERT_EQ(::symlink("pipe", dir.Abs("to-pipe").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere/r.tvl", dir.Abs("dangling").c_str()), 0);
    ASSERT_EQ(::symlink("loop-b", dir.Abs("loop-a").c_str()), 0);
    ASSERT_EQ(::symlink("loop-a", dir.Abs("loop-b").c_str()), 0);
    const std::vector<std::string> before = dir.Entries();

    EXPECT_EQ(Save(dir.Abs("no/such/folder/r.tvl"), "x"), "create: No such file or directory.");
    EXPECT_EQ(Save(dir.Abs("folder"), "x"), "create: Is a directory.");
    EXPECT_EQ(Save(dir.Abs("r.tvl/"), "x"), "create: Is a directory.");
    EXPECT_EQ(Save(dir.Abs("pipe"), "x"), "create: The name is not a regular file; it was left as it is.");
    EXPECT_EQ(Save(dir.Abs("to-folder"), "x"), "create: Is a directory. The name is a symbolic link; it was left as it is.");
    EXPECT_EQ(Save(dir.Abs("to-pipe"), "x"), "create: The name does not lead to a regular file; it was left as it is.");
    EXPECT_EQ(Save(dir.Abs("dangling"), "x"),
              "create: The name is a symbolic link to a file that does not exist; the link was left as it is.");
    EXPECT_EQ(Save(dir.Abs("loop-a"), "x"),
              "create: Too many levels of symbolic links. The name is a symbolic link; it was left as it is.");

    EXPECT_EQ(dir.Entries(), before);
    EXPECT_EQ(LinkText(dir.Abs("dangling")), "nowhere/r.tvl");
    EXPECT_EQ(LinkText(dir.Abs("loop-a")), "loop-b");
}

TEST(AtomicFile, LinkToAFileReplacesThatFileBesideItAndKeepsTheLink)
{
    TempDir dir;
    dir.MakeDirs("links");
    dir.MakeDirs("reports");
    Put(dir.Abs("reports/r.tvl"), "old", 0640);
    ASSERT_EQ(::symlink("../reports/r.tvl", dir.Abs("links/r.tvl").c_str()), 0);

    AtomicFile f;
    ASSERT_TRUE(f.Begin(dir.Abs("links/r.tvl")));
    // The temporary file lies beside the file it replaces, on its file system.
    DIR* reports = ::opendir(dir.Abs("reports").c_str());
    int n = 0;
    while (::readdir(reports))
        ++n;
    ::closedir(reports);
    EXPECT_EQ(n, 4); // ".", "..", r.tvl and the temporary file
    ASSERT_TRUE(WriteAll(f.Fd(), "new"));
    ASSERT_TRUE(f.Commit());

    EXPECT_EQ(LinkText(dir.Abs("links/r.tvl")), "../reports/r.tvl");
    EXPECT_EQ(Slurp(dir.Abs("reports/r.tvl")), "new");
    EXPECT_EQ(ModeOf(dir.Abs("reports/r.tvl")), 0640u);
}

TEST(AtomicFile, AnUnprivilegedUserIsRefusedWhereTheSystemRefusesThem)
{
    if (!CanActAsOtherUsers())
        GTEST_SKIP() << "needs root to act as an unprivileged user";
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    Put(dir.Abs("roots.tvl"), "root's", 0644);        // not theirs to write
    Put(dir.Abs("open.tvl"), "writable by all", 0666); // writable, but the folder is not
    const auto save = [&](const std::string& name) {
        return RunAsUser(kNobody, kNobody, [&] { return Save(dir.Abs(name), "nobody's"); });
    };
    EXPECT_EQ(save("roots.tvl"), "create: Permission denied.");
    EXPECT_EQ(save("open.tvl"), "create: Permission denied. The file may be written but its folder may not, so it "
                                "cannot be replaced safely; it was left as it is.");
    EXPECT_EQ(save("new.tvl"), "create: Permission denied.");
    ASSERT_EQ(::symlink("roots.tvl", dir.Abs("link.tvl").c_str()), 0);
    EXPECT_EQ(save("link.tvl"), "create: Permission denied. The name is a symbolic link; it was left as it is.");
    EXPECT_EQ(Slurp(dir.Abs("roots.tvl")), "root's");
    EXPECT_EQ(Slurp(dir.Abs("open.tvl")), "writable by all");
    EXPECT_EQ(LinkText(dir.Abs("link.tvl")), "roots.tvl");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"link.tvl", "open.tvl", "roots.tvl"}));

    // Their own file in a folder they may write is replaced and stays theirs.
    dir.MakeDirs("shared");
    ::chmod(dir.Abs("shared").c_str(), 01777);
    Put(dir.Abs("shared/mine.tvl"), "old", 0600);
    ASSERT_EQ(::chown(dir.Abs("shared/mine.tvl").c_str(), kNobody, kNobody), 0);
    EXPECT_EQ(save("shared/mine.tvl"), "");
    EXPECT_EQ(Slurp(dir.Abs("shared/mine.tvl")), "nobody's");
}

} // namespace
} // namespace tvl::test
