// The freedesktop trash on real folders, with the home trash under a temporary
// XDG_DATA_HOME on the same file system as the items.
#include "AsUser.h"
#include "TempDir.h"
#include "Trash.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sched.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tvl;
using namespace tvl::test;

namespace {

class Trash : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* old = std::getenv("XDG_DATA_HOME");
        m_old = old ? old : "";
        m_hadOld = old != nullptr;
        ::setenv("XDG_DATA_HOME", t.Abs("data").c_str(), 1);
    }
    void TearDown() override
    {
        if (m_hadOld)
            ::setenv("XDG_DATA_HOME", m_old.c_str(), 1);
        else
            ::unsetenv("XDG_DATA_HOME");
    }
    static bool Exists(const std::string& p)
    {
        struct stat st {};
        return ::lstat(p.c_str(), &st) == 0;
    }
    static std::size_t Count(const std::string& dir)
    {
        std::size_t n = 0;
        if (DIR* d = ::opendir(dir.c_str())) {
            while (const dirent* e = ::readdir(d))
                n += std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0;
            ::closedir(d);
        }
        return n;
    }
    static std::string Read(const std::string& p)
    {
        std::ifstream in(p);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    TempDir t;
    std::string m_old;
    bool m_hadOld = false;
};

TEST_F(Trash, MovesFilesAndFoldersWithTheirInfoAndKeepsBothOfTwoEqualNames)
{
    t.MakeFile("tree/a file%.txt", 10);
    t.MakeFile("tree/dir/inner", 20);
    TrashResult r = MoveToTrash(t.Abs("tree/a file%.txt"));
    ASSERT_TRUE(r.bMoved) << r.strReason;
    EXPECT_EQ(r.strTrashedPath, t.Abs("data/Trash/files/a file%.txt"));
    EXPECT_FALSE(Exists(t.Abs("tree/a file%.txt")));
    const std::string info = Read(t.Abs("data/Trash/info/a file%.txt.trashinfo"));
    EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + t.Abs("tree/a%20file%25.txt") + "\nDeletionDate=", 0), 0u) << info;

    r = MoveToTrash(t.Abs("tree/dir"));
    ASSERT_TRUE(r.bMoved) << r.strReason;
    EXPECT_TRUE(Exists(t.Abs("data/Trash/files/dir/inner")));

    t.MakeFile("tree/dir/inner", 5); // a second "dir"
    r = MoveToTrash(t.Abs("tree/dir"));
    ASSERT_TRUE(r.bMoved) << r.strReason;
    EXPECT_EQ(r.strTrashedPath, t.Abs("data/Trash/files/dir.2"));
    EXPECT_TRUE(Exists(t.Abs("data/Trash/files/dir/inner")));
    EXPECT_TRUE(Exists(t.Abs("data/Trash/info/dir.2.trashinfo")));
}

TEST_F(Trash, AHomeTrashThatCannotBeMadeRefusesAndLeavesTheItem)
{
    t.MakeFile("tree/f", 10);
    t.MakeFile("data/Trash", 1); // a file where the trash folder should be
    const TrashResult r = MoveToTrash(t.Abs("tree/f"));
    EXPECT_FALSE(r.bMoved);
    EXPECT_NE(r.strReason.find("cannot be used"), std::string::npos) << r.strReason;
    EXPECT_TRUE(Exists(t.Abs("tree/f")));
}

TEST_F(Trash, RefusesWhatIsGoneRelativePathsAndTheTrashItself)
{
    EXPECT_FALSE(MoveToTrash(t.Abs("missing")).bMoved);
    EXPECT_FALSE(MoveToTrash("relative/path").bMoved);
    EXPECT_FALSE(MoveToTrash("/").bMoved);
    t.MakeFile("x", 1);
    ASSERT_TRUE(MoveToTrash(t.Abs("x")).bMoved);
    EXPECT_FALSE(MoveToTrash(t.Abs("data/Trash/files/x")).bMoved);
    EXPECT_TRUE(Exists(t.Abs("data/Trash/files/x")));
}

TEST_F(Trash, LinksInTheHomeTrashAreNeverFollowedAndTheReasonSaysSo)
{
    t.MakeFile("tree/f", 10);
    t.MakeDirs("elsewhere/files");
    t.MakeDirs("elsewhere/info");
    t.MakeDirs("data");
    ASSERT_EQ(::symlink(t.Abs("elsewhere").c_str(), t.Abs("data/Trash").c_str()), 0);
    TrashResult r = MoveToTrash(t.Abs("tree/f"));
    EXPECT_FALSE(r.bMoved);
    EXPECT_NE(r.strReason.find(t.Abs("data/Trash") + " is a symbolic link"), std::string::npos) << r.strReason;

    // A real trash folder whose "files" (or "info") is a link.
    ASSERT_EQ(::unlink(t.Abs("data/Trash").c_str()), 0);
    t.MakeDirs("data/Trash/info");
    ASSERT_EQ(::symlink(t.Abs("elsewhere/files").c_str(), t.Abs("data/Trash/files").c_str()), 0);
    r = MoveToTrash(t.Abs("tree/f"));
    EXPECT_FALSE(r.bMoved);
    EXPECT_NE(r.strReason.find("/files is a symbolic link"), std::string::npos) << r.strReason;
    ASSERT_EQ(::unlink(t.Abs("data/Trash/files").c_str()), 0);
    ASSERT_EQ(::rmdir(t.Abs("data/Trash/info").c_str()), 0);
    ASSERT_EQ(::symlink(t.Abs("elsewhere/info").c_str(), t.Abs("data/Trash/info").c_str()), 0);
    r = MoveToTrash(t.Abs("tree/f"));
    EXPECT_FALSE(r.bMoved);
    EXPECT_NE(r.strReason.find("/info is a symbolic link"), std::string::npos) << r.strReason;

    EXPECT_TRUE(Exists(t.Abs("tree/f")));
    EXPECT_EQ(Count(t.Abs("elsewhere/files")) + Count(t.Abs("elsewhere/info")), 0u);
}

TEST_F(Trash, NamesTooLongForTheirInfoFileAreShortenedAndKeepTheirWholePath)
{
    // 255 bytes: 244 of "a" and a two-byte character across the limit of 245.
    const std::string name = std::string(244, 'a') + "\xC3\xA9" + std::string(9, 'b');
    t.MakeFile("one/" + name, 1);
    t.MakeFile("two/" + name, 2);
    const TrashResult first = MoveToTrash(t.Abs("one/" + name));
    ASSERT_TRUE(first.bMoved) << first.strReason;
    const TrashResult second = MoveToTrash(t.Abs("two/" + name));
    ASSERT_TRUE(second.bMoved) << second.strReason;
    const std::string short1 = std::string(244, 'a'), short2 = std::string(243, 'a') + ".2";
    EXPECT_EQ(first.strTrashedPath, t.Abs("data/Trash/files/" + short1));
    EXPECT_EQ(second.strTrashedPath, t.Abs("data/Trash/files/" + short2));
    struct stat st {};
    ASSERT_EQ(::stat(second.strTrashedPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 2);
    const std::string info = Read(t.Abs("data/Trash/info/" + short2 + ".trashinfo"));
    EXPECT_NE(info.find("Path=" + t.Abs("two/") + std::string(244, 'a') + "%C3%A9" + std::string(9, 'b') + "\n"),
              std::string::npos)
        << info;
    EXPECT_FALSE(Exists(t.Abs("one/" + name)));
    EXPECT_FALSE(Exists(t.Abs("two/" + name)));
}

// A tmpfs mounted in a mount namespace of a child process of its own: a second file
// system, whose trash lies below its mount point. The child reports "" when every
// check held, else what failed.
class TrashOnAnotherFileSystem : public Trash {
protected:
    std::string InMountedTmpfs(const std::function<std::string(const std::string& top)>& work)
    {
        if (!test::CanActAsOtherUsers())
            return "skip: mounting needs root";
        t.MakeDirs("mnt");
        const std::string top = t.Abs("mnt");
        return test::RunInChild([&] {
            if (::unshare(CLONE_NEWNS) != 0)
                return std::string("skip: no mount namespace here: ") + std::strerror(errno);
            if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("tovaline-test", top.c_str(), "tmpfs", 0, "mode=0755") != 0)
                return std::string("skip: cannot mount a tmpfs here: ") + std::strerror(errno);
            return work(top);
        });
    }
    static void Make(const std::string& path, off_t size)
    {
        std::ofstream(path).close();
        (void)::truncate(path.c_str(), size);
    }
    static std::string Expect(bool ok, const std::string& what) { return ok ? std::string() : what + "; "; }
    void Check(const std::string& result)
    {
        if (result.rfind("skip: ", 0) == 0)
            GTEST_SKIP() << result.substr(6);
        EXPECT_EQ(result, "");
    }
};

TEST_F(TrashOnAnotherFileSystem, UsesTheOwnTrashUnlessAnAdministratorMadeAStickyTrash)
{
    Check(InMountedTmpfs([](const std::string& top) {
        const std::string uid = std::to_string(::geteuid());
        std::string failed;
        ::mkdir((top + "/d").c_str(), 0755);
        Make(top + "/d/f", 10);
        Make(top + "/d/g", 20);
        // A ".Trash" without the sticky bit is nobody's trash.
        ::mkdir((top + "/.Trash").c_str(), 0777);
        ::chmod((top + "/.Trash").c_str(), 0777);
        TrashResult r = MoveToTrash(top + "/d/f");
        failed += Expect(r.bMoved && r.strTrashedPath == top + "/.Trash-" + uid + "/files/f", "own trash: " + r.strReason);
        failed += Expect(Read(top + "/.Trash-" + uid + "/info/f.trashinfo").find("\nPath=d/f\n") != std::string::npos,
                         "relative path in the info");
        struct stat st {};
        failed += Expect(::stat((top + "/.Trash-" + uid + "/files").c_str(), &st) == 0 && (st.st_mode & 0777) == 0700,
                         "own trash 0700");
        failed += Expect(Count(top + "/.Trash") == 0, "nothing in the non-sticky .Trash");

        // The administrator's sticky ".Trash": "<uid>" is made in it, closed to others.
        ::chmod((top + "/.Trash").c_str(), 01777);
        r = MoveToTrash(top + "/d/g");
        failed += Expect(r.bMoved && r.strTrashedPath == top + "/.Trash/" + uid + "/files/g", "shared trash: " + r.strReason);
        failed += Expect(::stat((top + "/.Trash/" + uid).c_str(), &st) == 0 && (st.st_mode & 0777) == 0700 &&
                             st.st_uid == ::geteuid(),
                         "shared trash folder 0700 and the user's");
        return failed;
    }));
}

TEST_F(TrashOnAnotherFileSystem, AFolderOfAnotherUserInTheTrashIsNeverUsed)
{
    Check(InMountedTmpfs([](const std::string& top) {
        const std::string uid = std::to_string(::geteuid());
        std::string failed;
        ::mkdir((top + "/d").c_str(), 0755);
        Make(top + "/d/private", 10);
        ::mkdir((top + "/.Trash").c_str(), 01777);
        ::chmod((top + "/.Trash").c_str(), 01777);
        // Another user was first: ".Trash/<uid>" and an open "files" of theirs.
        const std::string planted = top + "/.Trash/" + uid;
        for (const std::string& dir : {planted, planted + "/files", planted + "/info"})
            failed += Expect(::mkdir(dir.c_str(), 0777) == 0 && ::chmod(dir.c_str(), 0777) == 0 &&
                                 ::chown(dir.c_str(), test::kNobody, test::kNobody) == 0,
                             "planting " + dir);
        TrashResult r = MoveToTrash(top + "/d/private");
        failed += Expect(r.bMoved && r.strTrashedPath == top + "/.Trash-" + uid + "/files/private",
                         "fell back to the own trash: " + r.strReason);
        failed += Expect(Count(planted + "/files") == 0 && Count(planted + "/info") == 0, "nothing in the planted trash");

        // An own trash that another user made, or that is open to others, is refused too.
        Make(top + "/d/second", 5);
        ::chown((top + "/.Trash-" + uid + "/files").c_str(), test::kNobody, test::kNobody);
        r = MoveToTrash(top + "/d/second");
        failed += Expect(!r.bMoved && r.strReason.find("/files belongs to another user.") != std::string::npos,
                         "another user's files: " + r.strReason);
        ::chown((top + "/.Trash-" + uid + "/files").c_str(), ::geteuid(), ::getegid());
        ::chmod((top + "/.Trash-" + uid).c_str(), 0755);
        r = MoveToTrash(top + "/d/second");
        failed += Expect(!r.bMoved && r.strReason.find(".Trash-" + uid + " is open to other users.") != std::string::npos,
                         "open trash: " + r.strReason);
        struct stat st {};
        failed += Expect(::stat((top + "/d/second").c_str(), &st) == 0 && st.st_size == 5, "the item stayed");
        return failed;
    }));
}

TEST_F(TrashOnAnotherFileSystem, AnItemThatIsNoLongerTheOneExpectedIsNotMoved)
{
    Check(InMountedTmpfs([](const std::string& top) {
        std::string failed;
        ::mkdir((top + "/d").c_str(), 0755);
        Make(top + "/d/target", 7);
        Make(top + "/d/f", 7);
        ::mkdir((top + "/d/dir").c_str(), 0755);
        Make(top + "/d/sized", 8);
        // "f" became a link to a file of the same size; "dir" a file; "sized" another
        // size; "gone" is gone; "became-dir" a folder.
        ::unlink((top + "/d/f").c_str());
        (void)::symlink("target", (top + "/d/f").c_str());
        ::mkdir((top + "/d/became-dir").c_str(), 0755);
        const struct {
            const char* name;
            ExpectedItem expected;
        } cases[] = {{"f", {false, 7}},     {"dir", {false, 0}},  {"target", {true, 0}},
                     {"sized", {false, 9}}, {"gone", {false, 1}}, {"became-dir", {false, 0}}};
        for (const auto& c : cases) {
            const TrashResult r = MoveToTrashIfUnchanged(top + "/d/" + c.name, c.expected);
            failed += Expect(!r.bMoved && r.bChanged, std::string(c.name) + " refused as changed: " + r.strReason);
        }
        failed += Expect(Count(top + "/d") == 5, "everything stayed");
        const std::string own = top + "/.Trash-" + std::to_string(::geteuid());
        failed += Expect(Count(own + "/files") == 0 && Count(own + "/info") == 0, "nothing in the trash");
        const TrashResult r = MoveToTrashIfUnchanged(top + "/d/target", {false, 7});
        failed += Expect(r.bMoved, "the unchanged file moves: " + r.strReason);

        // A sparse file: 1 MiB long, nothing allocated. A report that counted space on
        // disc lists it with 0 bytes, one that counted lengths with 1 MiB.
        using M = ExpectedItem::Measure;
        const std::string sparse = top + "/d/sparse";
        const int fd = ::open(sparse.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        failed += Expect(fd >= 0 && ::ftruncate(fd, 1 << 20) == 0 && ::close(fd) == 0, "sparse file made");
        for (const ExpectedItem& wrong : {ExpectedItem{false, 0, M::Length}, ExpectedItem{false, 1 << 20, M::DiscUsage},
                                          ExpectedItem{false, 4096, M::Either}})
            failed += Expect(MoveToTrashIfUnchanged(sparse, wrong).bChanged, "the other measure is no match");
        failed += Expect(MoveToTrashIfUnchanged(sparse, {false, 0, M::DiscUsage}).bMoved,
                         "a disc-usage report's file moves");
        return failed;
    }));
}

} // namespace
