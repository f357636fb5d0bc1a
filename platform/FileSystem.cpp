#include "FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace tvl {

void DirListing::Reserve(std::size_t nItems, std::size_t nameBytes)
{
    if (items.size() + nItems > items.capacity())
        items.reserve(std::max(items.size() + nItems, items.capacity() * 2));
    if (names.size() + nameBytes > names.capacity())
        names.reserve(std::max(names.size() + nameBytes, names.capacity() * 2));
}

void DirListing::Add(std::string_view name, std::uint64_t size, bool isDir, bool otherDevice, std::uint64_t allocated,
                     std::uint64_t device, std::uint64_t inode, std::int64_t mtime)
{
    Reserve(1, name.size() + 1);
    items.push_back(Item{size, static_cast<std::uint32_t>(names.size()), static_cast<std::uint32_t>(name.size()),
                         isDir, otherDevice, allocated, device, inode, mtime});
    names.append(name).push_back('\0');
}

namespace {

// A failed open: a lack of descriptors or memory is passing, anything else is final.
IFileSystem::Handle OpenResult(int fd)
{
    if (fd >= 0)
        return fd;
    switch (errno) {
    case EMFILE:
    case ENFILE:
    case ENOMEM:
        return IFileSystem::kExhausted;
    case EACCES:
    case EPERM:
        return IFileSystem::kDenied;
    case ENOENT:
        return IFileSystem::kGone;
    default:
        return IFileSystem::kInvalid;
    }
}

struct LinuxDirent64 {
    std::uint64_t d_ino;
    std::int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

constexpr std::size_t kDirentBuffer = 32 * 1024; // on the heap: threads may have small stacks

// Reads the directory open at `fd` from its start with getdents64 and stats every entry
// relative to it (statx asking for the type, size, blocks, link count and inode; the
// device numbers always come with it). The descriptor's offset is the only state touched, so the caller keeps
// using `fd` to open children.
ListStatus ReadEntries(int fd, DirListing& out)
{
    struct stat self {};
    if (::fstat(fd, &self) != 0)
        return errno == ENOMEM ? ListStatus::Exhausted : ListStatus::Broken;
    const unsigned selfMajor = major(self.st_dev), selfMinor = minor(self.st_dev);
    out.selfChange = static_cast<std::int64_t>(self.st_mtim.tv_sec);
    if (::lseek(fd, 0, SEEK_SET) < 0)
        return ListStatus::Broken;
    std::unique_ptr<char[]> buffer(new char[kDirentBuffer]);
    char* buf = buffer.get();
    for (;;) {
        const long n = ::syscall(SYS_getdents64, fd, buf, kDirentBuffer);
        if (n == 0)
            return ListStatus::Complete;
        if (n < 0)
            return errno == ENOMEM ? ListStatus::Exhausted : ListStatus::Broken;
        // A record takes 24 bytes plus the name rounded up to 8.
        out.Reserve(static_cast<std::size_t>(n) / 32 + 1, static_cast<std::size_t>(n) / 2);
        for (long off = 0; off < n;) {
            const auto* d = reinterpret_cast<const LinuxDirent64*>(buf + off);
            off += d->d_reclen;
            const char* name = d->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            struct statx st {};
            constexpr unsigned kMask = STATX_TYPE | STATX_SIZE | STATX_BLOCKS | STATX_NLINK | STATX_INO | STATX_MTIME;
            if (::statx(fd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kMask, &st) != 0) {
                if (errno == ENOMEM)
                    return ListStatus::Exhausted;
                continue; // vanished since it was listed
            }
            const bool isDir = S_ISDIR(st.stx_mode);
            const std::int64_t mtime = (st.stx_mask & STATX_MTIME) ? st.stx_mtime.tv_sec : 0;
            if (isDir) {
                const bool otherDevice = st.stx_dev_major != selfMajor || st.stx_dev_minor != selfMinor;
                out.Add(std::string_view(name), 0, true, otherDevice, 0, 0, 0, mtime);
                continue;
            }
            const std::uint64_t allocated = (st.stx_mask & STATX_BLOCKS) ? st.stx_blocks * 512u : st.stx_size;
            const bool linked = (st.stx_mask & STATX_NLINK) && (st.stx_mask & STATX_INO) && st.stx_nlink > 1;
            out.Add(std::string_view(name), st.stx_size, false, false, allocated,
                    linked ? makedev(st.stx_dev_major, st.stx_dev_minor) : 0, linked ? st.stx_ino : 0, mtime);
        }
    }
}

// Descriptors open in this process now, or -1 when they cannot be counted.
int OpenDescriptors()
{
    DIR* d = ::opendir("/proc/self/fd");
    if (!d)
        return -1;
    int n = 0;
    while (const dirent* e = ::readdir(d))
        if (e->d_name[0] != '.')
            ++n;
    ::closedir(d);
    return n - 1; // the one of the listing itself
}

} // namespace

IFileSystem::Handle PosixFileSystem::OpenDir(const std::string& realPath)
{
    return OpenResult(::open(realPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

IFileSystem::Handle PosixFileSystem::OpenChild(Handle parent, const std::string& name)
{
    if (parent < 0)
        return kInvalid;
    return OpenResult(::openat(static_cast<int>(parent), name.c_str(),
                               O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

ListStatus PosixFileSystem::ReadListing(Handle dir, DirListing& out)
{
    if (dir < 0)
        return ListStatus::Broken;
    return ReadEntries(static_cast<int>(dir), out);
}

void PosixFileSystem::Close(Handle dir)
{
    if (dir >= 0)
        ::close(static_cast<int>(dir));
}

int PosixFileSystem::HandleBudget()
{
    RaiseOpenFileLimit();
    struct rlimit rl {};
    if (::getrlimit(RLIMIT_NOFILE, &rl) != 0 || rl.rlim_cur == RLIM_INFINITY)
        return 1 << 20;
    const long limit = static_cast<long>(std::min<rlim_t>(rl.rlim_cur, 1 << 20));
    const int open = OpenDescriptors();
    const long free = limit - (open < 0 ? limit / 2 : open);
    // Keep a few for the rest of the program (a file being saved, the display).
    const long reserve = std::min<long>(16, free / 4);
    return static_cast<int>(std::max<long>(0, free - reserve));
}

void RaiseOpenFileLimit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct rlimit rl {};
        if (::getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
            rl.rlim_cur = rl.rlim_max;
            ::setrlimit(RLIMIT_NOFILE, &rl);
        }
    });
}

IFileSystem& RealFileSystem()
{
    static PosixFileSystem fs;
    return fs;
}

bool ListDirectory(IFileSystem& fs, const std::string& realPath, DirListing& out)
{
    IFileSystem::Handle h = fs.OpenDir(realPath);
    if (!IFileSystem::IsOpen(h))
        return false;
    const ListStatus status = fs.ReadListing(h, out);
    fs.Close(h);
    return status == ListStatus::Complete;
}

} // namespace tvl
