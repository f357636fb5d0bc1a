#include "FileSystem.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tvl {

namespace {

int OpenFlags() { return O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC; }

} // namespace

IFileSystem::Handle PosixFileSystem::OpenDir(const std::string& realPath)
{
    int fd = ::open(realPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return fd < 0 ? kInvalid : fd;
}

IFileSystem::Handle PosixFileSystem::OpenChild(Handle parent, const std::string& name)
{
    if (parent < 0)
        return kInvalid;
    int fd = ::openat(static_cast<int>(parent), name.c_str(), OpenFlags());
    return fd < 0 ? kInvalid : fd;
}

bool PosixFileSystem::ReadAll(Handle dir, std::vector<DirEntry>& out)
{
    if (dir < 0)
        return false;
    // fdopendir takes ownership of the descriptor it is given, so hand it a duplicate:
    // the caller keeps its handle to open children later.
    int dupFd = ::fcntl(static_cast<int>(dir), F_DUPFD_CLOEXEC, 0);
    if (dupFd < 0)
        return false;
    DIR* d = ::fdopendir(dupFd);
    if (!d) {
        ::close(dupFd);
        return false;
    }
    ::rewinddir(d); // the duplicate shares its offset with the caller's handle
    struct stat self {};
    const bool haveSelf = ::fstat(static_cast<int>(dir), &self) == 0;
    bool ok = true;
    for (;;) {
        errno = 0;
        struct dirent* e = ::readdir(d);
        if (!e) {
            ok = errno == 0;
            break;
        }
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        struct stat st {};
        if (::fstatat(static_cast<int>(dir), n, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue; // vanished since it was listed
        DirEntry entry;
        entry.name = n;
        entry.isDir = S_ISDIR(st.st_mode);
        entry.size = entry.isDir ? 0 : static_cast<std::uint64_t>(st.st_size);
        entry.otherDevice = entry.isDir && haveSelf && st.st_dev != self.st_dev;
        out.push_back(std::move(entry));
    }
    ::closedir(d);
    return ok;
}

void PosixFileSystem::Close(Handle dir)
{
    if (dir >= 0)
        ::close(static_cast<int>(dir));
}

IFileSystem& RealFileSystem()
{
    static PosixFileSystem fs;
    return fs;
}

bool ListDirectory(IFileSystem& fs, const std::string& realPath, std::vector<DirEntry>& out)
{
    IFileSystem::Handle h = fs.OpenDir(realPath);
    if (h == IFileSystem::kInvalid)
        return false;
    bool ok = fs.ReadAll(h, out);
    fs.Close(h);
    return ok;
}

} // namespace tvl
