#include "Trash.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tvl {

namespace {

// The longest name in "files": its info file appends ".trashinfo" and must fit in 255 bytes.
constexpr std::size_t kMaxTrashedName = 255 - 10;

std::string Reason(int err) { return std::string(std::strerror(err)) + "."; }

// A descriptor closed when it goes out of scope.
struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(Fd&& o) noexcept : fd(o.fd) { o.fd = -1; }
    Fd& operator=(Fd&& o) noexcept
    {
        std::swap(fd, o.fd);
        return *this;
    }
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    explicit operator bool() const { return fd >= 0; }
};

// Creates every missing folder of `path` (mode 0700), following links as any program
// would. False with errno set.
bool MakeDirs(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        errno = ENOTDIR;
        return S_ISDIR(st.st_mode);
    }
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirs(path.substr(0, slash)))
        return false;
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// Opens the trash folder `name` inside dirFd, making it (0700) when it is missing, never
// through a symbolic link. It must belong to the user, and with `closed` be closed to
// everybody else. Invalid with *reason set otherwise; `shown` names it there.
Fd OpenTrashDir(int dirFd, const std::string& name, const std::string& shown, bool closed, std::string* reason)
{
    if (::mkdirat(dirFd, name.c_str(), 0700) != 0 && errno != EEXIST) {
        *reason = shown + " cannot be made: " + Reason(errno);
        return {};
    }
    Fd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!fd) {
        const int err = errno;
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
            *reason = shown + " is a symbolic link; a trash is never reached through one.";
        else if (err == ENOTDIR)
            *reason = shown + " is not a folder.";
        else
            *reason = shown + " cannot be opened: " + Reason(err);
        return {};
    }
    if (::fstat(fd.fd, &st) != 0) {
        *reason = shown + " cannot be used: " + Reason(errno);
        return {};
    }
    if (st.st_uid != ::geteuid()) {
        *reason = shown + " belongs to another user.";
        return {};
    }
    if (closed && (st.st_mode & 077) != 0) {
        *reason = shown + " is open to other users.";
        return {};
    }
    return fd;
}

// A trash ready to take an item: its "files" and "info" folders open.
struct TrashDirs {
    std::string path; // the trash folder
    Fd files;
    Fd info;
};

// Opens the trash folder `name` in dirFd with its "files" and "info" (see OpenTrashDir).
bool OpenTrash(int dirFd, const std::string& name, const std::string& path, bool closed, TrashDirs& out,
               std::string* reason)
{
    Fd trash = OpenTrashDir(dirFd, name, path, closed, reason);
    if (!trash)
        return false;
    out.path = path;
    out.files = OpenTrashDir(trash.fd, "files", path + "/files", closed, reason);
    if (!out.files)
        return false;
    out.info = OpenTrashDir(trash.fd, "info", path + "/info", closed, reason);
    return static_cast<bool>(out.info);
}

std::string HomeTrash()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data == '/')
        return std::string(data) + "/Trash";
    const char* home = std::getenv("HOME");
    return home && *home == '/' ? std::string(home) + "/.local/share/Trash" : std::string();
}

std::string Parent(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

// The device of `path`, or of its nearest existing folder above when it does not exist yet.
dev_t DeviceOf(std::string path)
{
    struct stat st {};
    while (::stat(path.c_str(), &st) != 0 && path != "/")
        path = Parent(path);
    return st.st_dev;
}

// The mount point of the file system that the folder `dir` lies on: the highest folder
// at or above it on the same device.
std::string TopDir(std::string top, dev_t dev)
{
    while (top != "/") {
        struct stat st {};
        const std::string up = Parent(top);
        if (::stat(up.c_str(), &st) != 0 || st.st_dev != dev)
            break;
        top = up;
    }
    return top;
}

// The trash of the file system below mount point `top`: ".Trash/<uid>" in an
// administrator's sticky ".Trash", else ".Trash-<uid>".
bool OpenTopDirTrash(const std::string& top, TrashDirs& out, std::string* reason)
{
    const std::string base = top == "/" ? std::string() : top;
    const std::string uid = std::to_string(::geteuid());
    Fd topFd(::open(top.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!topFd) {
        *reason = top + " cannot be opened: " + Reason(errno);
        return false;
    }
    struct stat st {};
    if (::fstatat(topFd.fd, ".Trash", &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) &&
        (st.st_mode & S_ISVTX)) {
        Fd shared(::openat(topFd.fd, ".Trash", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        std::string notShared; // a .Trash/<uid> that cannot be used: the own trash takes over
        if (shared && OpenTrash(shared.fd, uid, base + "/.Trash/" + uid, true, out, &notShared))
            return true;
    }
    return OpenTrash(topFd.fd, ".Trash-" + uid, base + "/.Trash-" + uid, true, out, reason);
}

// "%"-escapes what a trash info path may not hold as it is.
std::string Escape(const std::string& path)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (std::isalnum(c) || std::strchr("/-_.~!$&'()*+,;=:@", c))
            out += static_cast<char>(c);
        else
            out.append({'%', hex[c >> 4], hex[c & 15]});
    }
    return out;
}

// The n-th name to try in the trash for an item called `base`: the name, then "name.2",
// ...; shortened at a character boundary so that its info file's name fits.
std::string Candidate(const std::string& base, int n)
{
    const std::string suffix = n == 1 ? std::string() : "." + std::to_string(n);
    if (base.size() + suffix.size() <= kMaxTrashedName)
        return base + suffix;
    std::size_t cut = kMaxTrashedName - suffix.size();
    while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80)
        --cut; // not inside a UTF-8 sequence
    return base.substr(0, cut) + suffix;
}

// Reserves a name in the trash by creating its info file exclusively; returns the
// name, or "" with errno set.
std::string ReserveName(const TrashDirs& trash, const std::string& base, const std::string& info)
{
    for (int n = 1; n < 10000; ++n) {
        const std::string name = Candidate(base, n);
        struct stat st {};
        if (::fstatat(trash.files.fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            continue;
        const std::string infoName = name + ".trashinfo";
        const int fd = ::openat(trash.info.fd, infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return {};
        }
        const bool ok = ::write(fd, info.data(), info.size()) == static_cast<ssize_t>(info.size());
        if (::close(fd) != 0 || !ok) {
            ::unlinkat(trash.info.fd, infoName.c_str(), 0);
            errno = EIO;
            return {};
        }
        return name;
    }
    errno = EEXIST;
    return {};
}

std::string InfoText(const std::string& recordedPath)
{
    char date[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    ::localtime_r(&now, &local);
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    return "[Trash Info]\nPath=" + Escape(recordedPath) + "\nDeletionDate=" + date + "\n";
}

// Whether the entry `st` is still the item expected.
bool StillExpected(const struct stat& st, const ExpectedItem& e)
{
    if (e.bFolder)
        return S_ISDIR(st.st_mode);
    if (!S_ISREG(st.st_mode))
        return false;
    const bool length = static_cast<std::int64_t>(st.st_size) == e.nSize;
    const bool allocated = static_cast<std::int64_t>(st.st_blocks) * 512 == e.nSize;
    switch (e.measure) {
    case ExpectedItem::Measure::Length:
        return length;
    case ExpectedItem::Measure::DiscUsage:
        return allocated;
    case ExpectedItem::Measure::Either:
        break;
    }
    return length || allocated;
}

TrashResult Move(const std::string& path, const ExpectedItem* expected)
{
    TrashResult r;
    if (path.empty() || path[0] != '/') {
        r.strReason = "Not an absolute path.";
        return r;
    }
    const std::size_t slash = path.rfind('/');
    const std::string base = path.substr(slash + 1);
    if (base.empty() || base == "." || base == "..") {
        r.strReason = "Not the path of a file or folder.";
        return r;
    }
    const std::string dir = slash == 0 ? std::string("/") : path.substr(0, slash);
    // The item is looked at and moved through its folder's descriptor: what was checked
    // is what moves, even if a folder above is renamed meanwhile.
    Fd parent(::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat item {}, parentSt {};
    if (!parent || ::fstat(parent.fd, &parentSt) != 0 ||
        ::fstatat(parent.fd, base.c_str(), &item, AT_SYMLINK_NOFOLLOW) != 0) {
        r.strReason = Reason(errno);
        r.bChanged = expected != nullptr && (errno == ENOENT || errno == ENOTDIR);
        return r;
    }
    if (expected && !StillExpected(item, *expected)) {
        r.bChanged = true;
        r.strReason = "It has changed on disc.";
        return r;
    }
    std::string trashPath = HomeTrash();
    std::string recorded = path; // the home trash records absolute paths
    TrashDirs trash;
    if (!trashPath.empty() && DeviceOf(trashPath) == parentSt.st_dev) {
        // On the home file system only the home trash will do.
        const std::string above = Parent(trashPath);
        Fd aboveFd;
        if (MakeDirs(above))
            aboveFd = Fd(::open(above.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!aboveFd) {
            r.strReason = "The trash folder " + trashPath + " cannot be made: " + Reason(errno);
            return r;
        }
        std::string why;
        if (!OpenTrash(aboveFd.fd, trashPath.substr(trashPath.rfind('/') + 1), trashPath, false, trash, &why)) {
            r.strReason = "The trash cannot be used: " + why;
            return r;
        }
    } else {
        const std::string top = TopDir(dir, parentSt.st_dev);
        std::string why;
        if (!OpenTopDirTrash(top, trash, &why)) {
            r.strReason = "There is no trash on this file system: " + why;
            return r;
        }
        recorded = top == "/" ? path.substr(1) : path.substr(top.size() + 1); // relative to the mount point
    }
    if (path.compare(0, trash.path.size() + 1, trash.path + "/") == 0 || path == trash.path) {
        r.strReason = "The item is in the trash already.";
        return r;
    }
    const std::string name = ReserveName(trash, base, InfoText(recorded));
    if (name.empty()) {
        r.strReason = Reason(errno);
        return r;
    }
    const std::string infoName = name + ".trashinfo";
    // Looked at once more right before the move: the trash took a moment to prepare.
    struct stat now {};
    if (::fstatat(parent.fd, base.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_ino != item.st_ino ||
        now.st_dev != item.st_dev || (expected && !StillExpected(now, *expected))) {
        ::unlinkat(trash.info.fd, infoName.c_str(), 0);
        r.bChanged = expected != nullptr;
        r.strReason = "It has changed on disc.";
        return r;
    }
    // Never over an item of the same name that appeared meanwhile.
    struct stat st {};
    int moved = ::renameat2(parent.fd, base.c_str(), trash.files.fd, name.c_str(), RENAME_NOREPLACE);
    if (moved != 0 && errno == EINVAL && ::fstatat(trash.files.fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        moved = ::renameat(parent.fd, base.c_str(), trash.files.fd, name.c_str()); // no flag on this file system
    if (moved != 0) {
        r.strReason = Reason(errno);
        ::unlinkat(trash.info.fd, infoName.c_str(), 0);
        return r;
    }
    r.bMoved = true;
    r.strTrashedPath = trash.path + "/files/" + name;
    if (!S_ISDIR(now.st_mode)) {
        r.nLength = static_cast<std::int64_t>(now.st_size);
        r.nAllocated = static_cast<std::int64_t>(now.st_blocks) * 512;
    }
    return r;
}

} // namespace

TrashResult MoveToTrash(const std::string& path)
{
    return Move(path, nullptr);
}

TrashResult MoveToTrashIfUnchanged(const std::string& path, const ExpectedItem& expected)
{
    return Move(path, &expected);
}

} // namespace tvl
