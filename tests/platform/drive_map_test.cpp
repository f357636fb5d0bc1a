#include "DriveMap.h"
#include "test_support.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

using tvl::DriveMap;

namespace {

TEST(DriveMap, AutomaticMapTakesRealFileSystemsInMountPointOrder)
{
    const std::string mounts =
        "/dev/vda1 / ext4 rw 0 0\n"
        "proc /proc proc rw 0 0\n"
        "tmpfs /run tmpfs rw 0 0\n"
        "/dev/vdb1 /srv/data xfs rw 0 0\n"
        "/dev/vdc1 /home ext4 rw 0 0\n"
        "overlay /var/lib/x overlay rw 0 0\n"
        "/dev/loop0 /snap/core squashfs ro 0 0\n"
        "/dev/vdd1 /mnt/with\\040blank ext4 rw 0 0\n";
    DriveMap map = DriveMap::FromMountTable(mounts);
    EXPECT_EQ(map.MappedLetters(), (std::vector<char>{'C', 'D', 'E', 'F'}));
    EXPECT_EQ(map.Directory('C'), "/");
    EXPECT_EQ(map.Directory('D'), "/home");
    EXPECT_EQ(map.Directory('E'), "/mnt/with blank");
    EXPECT_EQ(map.Directory('F'), "/srv/data");
}

TEST(DriveMap, AssignmentsAreCheckedLetterByLetter)
{
    std::string error;
    auto map = DriveMap::FromAssignments("C=/srv;d=/home/me;", &error);
    ASSERT_TRUE(map);
    EXPECT_EQ(map->Directory('D'), "/home/me");
    EXPECT_FALSE(map->IsMapped('E'));

    for (const char* bad : {"B=/x", "C", "C=", "CC=/x", "=/x", "1=/x"}) {
        error.clear();
        EXPECT_FALSE(DriveMap::FromAssignments(bad, &error)) << bad;
        EXPECT_NE(error.find("bad drive assignment"), std::string::npos) << bad;
    }
}

TEST(DriveMap, EnvironmentVariableOverridesTheMountTable)
{
    ::setenv("TOVALINE_DRIVES", "E=/tmp", 1);
    std::string error;
    DriveMap map = DriveMap::FromEnvironment(&error);
    ::unsetenv("TOVALINE_DRIVES");
    EXPECT_EQ(map.MappedLetters(), (std::vector<char>{'E'}));
    EXPECT_TRUE(error.empty());
}

TEST(DriveMap, AvailabilityMeansAnExistingDirectory)
{
    tvl::test::TempDir tmp;
    tmp.MakeFile("plain", 1);
    tmp.MakeDirs("locked");
    ::chmod(tmp.Abs("locked").c_str(), 0);
    DriveMap map;
    map.Set('C', tmp.path());
    map.Set('D', tmp.Abs("missing"));
    map.Set('E', tmp.Abs("plain"));
    map.Set('F', tmp.Abs("locked")); // unreadable, but there
    EXPECT_EQ(map.AvailableLetters(), (std::vector<char>{'C', 'F'}));
    EXPECT_FALSE(map.IsAvailable('G'));
}

TEST(DriveMap, ReportPathsMapBackToRealDirectories)
{
    DriveMap map;
    map.Set('C', "/");
    map.Set('D', "/home/me/");
    EXPECT_EQ(map.RealPath("C:\\"), "/");
    EXPECT_EQ(map.RealPath("C:\\usr\\share\\"), "/usr/share");
    EXPECT_EQ(map.RealPath("D:\\"), "/home/me/");
    EXPECT_EQ(map.RealPath("D:\\a b\\c\\"), "/home/me/a b/c");
    EXPECT_FALSE(map.RealPath("E:\\x\\"));
    EXPECT_FALSE(map.RealPath("C:"));
    EXPECT_FALSE(map.RealPath(""));
    EXPECT_EQ(DriveMap::RootPath('Q'), "Q:\\");
}

TEST(DriveMap, PathsAndFileNamesThatWouldLeaveTheDriveNeverMap)
{
    DriveMap map;
    map.Set('C', "/srv/drive");
    for (const std::string& path : std::vector<std::string>{"C:\\..\\..\\etc\\", "C:\\a\\..\\", "C:\\.\\", "C:\\a\\\\b\\", "C:\\\\",
                                   "C:\\..", std::string("C:\\a\0b\\", 7)})
        EXPECT_FALSE(map.RealPath(path)) << path;
    // A '/' in a step is a backslash of the name, and dots inside a name are names.
    EXPECT_EQ(map.RealPath("C:\\/..\\...\\.a\\"), "/srv/drive/\\../.../.a");
    EXPECT_EQ(map.RealFilePath("C:\\a\\", "f..g"), "/srv/drive/a/f..g");
    EXPECT_EQ(map.RealFilePath("C:\\", "f"), "/srv/drive/f");
    for (const std::string& name : std::vector<std::string>{"", ".", "..", "../../etc/passwd", "a/b", std::string("a\0b", 3)})
        EXPECT_FALSE(map.RealFilePath("C:\\a\\", name)) << name;
    EXPECT_FALSE(map.RealFilePath("C:\\..\\", "f"));
}

} // namespace

TEST(DriveMap, FoldersTakeTheNextFreeLetterOnce)
{
    DriveMap map;
    map.Set('C', "/");
    map.Set('E', "/home");
    EXPECT_EQ(map.MapFolder("/srv/data/"), 'D');
    EXPECT_EQ(map.Directory('D'), "/srv/data");
    EXPECT_EQ(map.MapFolder("/srv/data"), 'D'); // the same folder again
    EXPECT_EQ(map.MapFolder("/home"), 'E');     // a mapped drive's own directory
    EXPECT_EQ(map.MapFolder("/"), 'C');
    // Relative to the current directory; "./C" is the folder C, not the drive.
    char* cwd = ::getcwd(nullptr, 0);
    ASSERT_NE(cwd, nullptr);
    const std::string here = cwd;
    std::free(cwd);
    EXPECT_EQ(map.MapFolder("./C"), 'F');
    EXPECT_EQ(map.Directory('F'), (here == "/" ? "" : here) + "/C");
    EXPECT_EQ(map.MapFolder("."), here == "/" ? 'C' : 'G');
    EXPECT_TRUE(DriveMap::IsFolderArgument("./C"));
    EXPECT_TRUE(DriveMap::IsFolderArgument("/"));
    EXPECT_FALSE(DriveMap::IsFolderArgument("C"));
    EXPECT_FALSE(DriveMap::IsFolderArgument("d:"));
    EXPECT_EQ(map.MapFolder(""), 0);
    // Every letter taken: none for another folder.
    for (char l = 'C'; l <= 'Z'; ++l)
        if (!map.IsMapped(l))
            map.Set(l, std::string("/x/") + l);
    EXPECT_EQ(map.MapFolder("/another"), 0);
    EXPECT_EQ(map.MapFolder("/x/Q"), 'Q');
}
