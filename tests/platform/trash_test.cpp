// The freedesktop trash on real folders, with the home trash under a temporary
// XDG_DATA_HOME on the same file system as the items.
#include "TempDir.h"
#include "Trash.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

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

} // namespace
