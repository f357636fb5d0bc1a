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

std::string Reason(int err) { return std::string(std::strerror(err)) + "."; }

// Creates every missing folder of `path` (mode 0700). False with errno set.
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

// A trash folder with its "files" and "info" folders made: a real folder, not a link.
bool UsableTrash(const std::string& trash)
{
    struct stat st {};
    if (!MakeDirs(trash) || ::lstat(trash.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return MakeDirs(trash + "/files") && MakeDirs(trash + "/info");
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

// The mount point of the file system `path` lies on: the highest folder above it on
// the same device.
std::string TopDir(const std::string& path, dev_t dev)
{
    std::string top = Parent(path);
    while (top != "/") {
        struct stat st {};
        const std::string up = Parent(top);
        if (::stat(up.c_str(), &st) != 0 || st.st_dev != dev)
            break;
        top = up;
    }
    return top;
}

// The trash of the file system below mount point `top`, or "".
std::string TopDirTrash(const std::string& top)
{
    const std::string base = top == "/" ? std::string() : top;
    const std::string uid = std::to_string(::getuid());
    struct stat st {};
    const std::string shared = base + "/.Trash";
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) &&
        UsableTrash(shared + "/" + uid))
        return shared + "/" + uid;
    const std::string own = base + "/.Trash-" + uid;
    if (UsableTrash(own) && ::lstat(own.c_str(), &st) == 0 && st.st_uid == ::getuid())
        return own;
    return {};
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

// Reserves a name in the trash by creating its info file exclusively; returns the
// name, or "" with errno set.
std::string ReserveName(const std::string& trash, const std::string& base, const std::string& info)
{
    for (int n = 1; n < 10000; ++n) {
        const std::string name = n == 1 ? base : base + "." + std::to_string(n);
        struct stat st {};
        if (::lstat((trash + "/files/" + name).c_str(), &st) == 0)
            continue;
        const std::string infoPath = trash + "/info/" + name + ".trashinfo";
        const int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return {};
        }
        const bool ok = ::write(fd, info.data(), info.size()) == static_cast<ssize_t>(info.size());
        if (::close(fd) != 0 || !ok) {
            ::unlink(infoPath.c_str());
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

} // namespace

TrashResult MoveToTrash(const std::string& path)
{
    TrashResult r;
    struct stat item {};
    if (path.empty() || path[0] != '/' || path == "/" || ::lstat(path.c_str(), &item) != 0) {
        r.strReason = path.empty() || path[0] != '/' ? "Not an absolute path." : Reason(errno);
        return r;
    }
    std::string trash = HomeTrash();
    std::string recorded = path; // the home trash records absolute paths
    if (!trash.empty() && DeviceOf(trash) == item.st_dev) {
        // On the home file system only the home trash will do.
        if (!UsableTrash(trash)) {
            r.strReason = "The trash folder " + trash + " cannot be used: " + Reason(errno);
            return r;
        }
    } else {
        const std::string top = TopDir(path, item.st_dev);
        trash = TopDirTrash(top);
        if (trash.empty()) {
            r.strReason = "There is no trash for this file system.";
            return r;
        }
        recorded = top == "/" ? path.substr(1) : path.substr(top.size() + 1); // relative to the mount point
    }
    struct stat st {};
    if (path.compare(0, trash.size() + 1, trash + "/") == 0 || path == trash) {
        r.strReason = "The item is in the trash already.";
        return r;
    }
    std::string base = path.substr(path.rfind('/') + 1);
    const std::string name = ReserveName(trash, base, InfoText(recorded));
    if (name.empty()) {
        r.strReason = Reason(errno);
        return r;
    }
    const std::string target = trash + "/files/" + name;
    // Never over an item of the same name that appeared meanwhile.
    int moved = ::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
    if (moved != 0 && errno == EINVAL && ::lstat(target.c_str(), &st) != 0)
        moved = ::rename(path.c_str(), target.c_str()); // a file system without the flag
    if (moved != 0) {
        r.strReason = Reason(errno);
        ::unlink((trash + "/info/" + name + ".trashinfo").c_str());
        return r;
    }
    r.bMoved = true;
    r.strTrashedPath = target;
    return r;
}

} // namespace tvl
