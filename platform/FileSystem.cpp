#include "FileSystem.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

namespace {

struct LinuxDirent64 {
    std::uint64_t d_ino;
    std::int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

// Reads the directory open at `fd` from its start with getdents64 and stats every entry
// relative to it (statx asking for the type, size, blocks, link count and inode; the
// device numbers always come with it). Calls add(name, entry) per entry, with every
// field of the DirEntry but the name. An entry that
// vanishes before its stat is left out. The descriptor's offset is the only state
// touched, so the caller keeps using `fd` to open children.
template <class Add, class Reserve>
bool ForEachEntry(int fd, Add&& add, Reserve&& reserve)
{
    struct stat self {};
    if (::fstat(fd, &self) != 0)
        return false;
    const unsigned selfMajor = major(self.st_dev), selfMinor = minor(self.st_dev);
    if (::lseek(fd, 0, SEEK_SET) < 0)
        return false;
    alignas(8) char buf[32 * 1024];
    for (;;) {
        const long n = ::syscall(SYS_getdents64, fd, buf, sizeof buf);
        if (n == 0)
            return true;
        if (n < 0)
            return false;
        reserve(static_cast<std::size_t>(n));
        for (long off = 0; off < n;) {
            const auto* d = reinterpret_cast<const LinuxDirent64*>(buf + off);
            off += d->d_reclen;
            const char* name = d->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            struct statx st {};
            constexpr unsigned kMask = STATX_TYPE | STATX_SIZE | STATX_BLOCKS | STATX_NLINK | STATX_INO;
            if (::statx(fd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kMask, &st) != 0)
                continue; // vanished since it was listed
            DirEntry e;
            e.isDir = S_ISDIR(st.stx_mode);
            e.otherDevice = e.isDir && (st.stx_dev_major != selfMajor || st.stx_dev_minor != selfMinor);
            if (!e.isDir) {
                e.size = st.stx_size;
                e.allocated = (st.stx_mask & STATX_BLOCKS) ? st.stx_blocks * 512u : st.stx_size;
                if ((st.stx_mask & STATX_NLINK) && (st.stx_mask & STATX_INO) && st.stx_nlink > 1) {
                    e.device = makedev(st.stx_dev_major, st.stx_dev_minor);
                    e.inode = st.stx_ino;
                }
            }
            add(std::string_view(name), e);
        }
    }
}

} // namespace

bool PosixFileSystem::ReadAll(Handle dir, std::vector<DirEntry>& out)
{
    if (dir < 0)
        return false;
    return ForEachEntry(static_cast<int>(dir), [&](std::string_view name, DirEntry& e) {
        e.name = name;
        out.push_back(std::move(e));
    }, [](std::size_t) {});
}

bool PosixFileSystem::ReadListing(Handle dir, DirListing& out)
{
    if (dir < 0)
        return false;
    return ForEachEntry(static_cast<int>(dir), [&](std::string_view name, const DirEntry& e) {
        out.Add(name, e.size, e.isDir, e.otherDevice, e.allocated, e.device, e.inode);
    }, [&](std::size_t bytes) {
        // A getdents64 record takes 24 bytes plus the name rounded up to 8: room for
        // this batch's entries and names without growing step by step.
        out.items.reserve(out.items.size() + bytes / 32 + 1);
        out.names.reserve(out.names.size() + bytes / 2);
    });
}

bool IFileSystem::ReadListing(Handle dir, DirListing& out)
{
    std::vector<DirEntry> entries;
    const bool ok = ReadAll(dir, entries);
    for (const DirEntry& e : entries)
        out.Add(e.name, e.size, e.isDir, e.otherDevice, e.allocated, e.device, e.inode);
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
