#include "AtomicFile.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tvl {

namespace {

constexpr const char* kLinkLeft = " The name is a symbolic link; it was left as it is.";
constexpr const char* kFolderNotWritable =
    " The file may be written but its folder may not, so it cannot be replaced safely; it was left as it is.";
constexpr const char* kReplacedMeanwhile =
    " The file was replaced by another while it was being saved; what is there now was left as it is.";

constexpr const char* kRefusedKind = " The name is a report file; it was left as it is.";
constexpr const char* kUnknownKind =
    " The file cannot be read to make sure it is not a report file; it was left as it is.";

enum class Head { Other, Same, Unknown };

// Whether the file at path (still the one described by `seen`) begins with head.
Head BeginsWith(const std::string& path, const struct stat& seen, const std::string& head)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Head::Unknown;
    struct stat now {};
    std::string bytes(head.size(), '\0');
    std::size_t got = 0;
    bool ok = ::fstat(fd, &now) == 0 && now.st_dev == seen.st_dev && now.st_ino == seen.st_ino;
    while (ok && got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (!ok)
        return Head::Unknown;
    return got == bytes.size() && bytes == head ? Head::Same : Head::Other;
}

std::string DirectoryOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string SystemText(int error)
{
    return std::string(std::strerror(error)) + ".";
}

// ".tvl-" and 8 characters from a 32-letter alphabet: 40 random bits, 13 bytes.
std::string TemporaryName()
{
    static thread_local std::mt19937_64 random{std::random_device{}() ^
                                               (static_cast<std::uint64_t>(::getpid()) << 32)};
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz234567";
    std::uint64_t bits = random();
    std::string name = ".tvl-";
    for (int i = 0; i < 8; ++i, bits >>= 5)
        name += kAlphabet[bits & 31];
    return name;
}

} // namespace

AtomicFile::~AtomicFile()
{
    Discard();
    if (m_dirFd >= 0)
        ::close(m_dirFd);
}

void AtomicFile::Discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_strTempName.empty() && m_dirFd >= 0)
        ::unlinkat(m_dirFd, m_strTempName.c_str(), 0);
    m_strTempName.clear();
}

bool AtomicFile::Fail(Stage stage, int error, const std::string& note)
{
    Discard();
    m_stage = stage;
    m_errno = error;
    m_reason = error ? SystemText(error) : std::string();
    if (!note.empty())
        m_reason += m_reason.empty() ? note.substr(1) : note;
    return false;
}

bool AtomicFile::Begin(const std::string& pathName)
{
    if (pathName.empty())
        return Fail(Stage::Create, ENOENT);
    if (!FindTarget(pathName))
        return false;
    return CreateTemporary();
}

// Decides which folder and name are written: the name itself when it does not exist
// yet or is a regular file, the file a link leads to when the kernel lets this process
// open the link for writing.
bool AtomicFile::FindTarget(const std::string& pathName)
{
    struct stat link {};
    if (::lstat(pathName.c_str(), &link) != 0) {
        if (errno != ENOENT)
            return Fail(Stage::Create, errno);
        if (pathName.back() == '/')
            return Fail(Stage::Create, EISDIR);
        m_strBaseName = BaseNameOf(pathName);
        return OpenFolder(DirectoryOf(pathName));
    }
    m_bThroughLink = S_ISLNK(link.st_mode);
    if (S_ISDIR(link.st_mode))
        return Fail(Stage::Create, EISDIR);
    if (!m_bThroughLink && !S_ISREG(link.st_mode))
        return Fail(Stage::Create, 0, " The name is not a regular file; it was left as it is.");

    // The open the user's own write would make: no creating, no truncating, links
    // followed under the kernel's rules. O_NONBLOCK keeps a pipe behind a link from
    // blocking the save.
    const int fd = ::open(pathName.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (m_bThroughLink && error == ENOENT)
            return Fail(Stage::Create, 0,
                        " The name is a symbolic link to a file that does not exist; the link was left as it is.");
        if (error == ENXIO || error == EWOULDBLOCK)
            return Fail(Stage::Create, 0, " The name does not lead to a regular file; it was left as it is.");
        return Fail(Stage::Create, error, m_bThroughLink ? kLinkLeft : "");
    }
    struct stat target {};
    const bool regular = ::fstat(fd, &target) == 0 && S_ISREG(target.st_mode);
    ::close(fd);
    if (!regular)
        return Fail(Stage::Create, 0, " The name does not lead to a regular file; it was left as it is.");
    if (!m_strRefusedHead.empty()) {
        const Head head = BeginsWith(pathName, target, m_strRefusedHead);
        if (head != Head::Other)
            return Fail(Stage::Create, 0, head == Head::Same ? kRefusedKind : kUnknownKind);
    }
    m_bExisted = true;
    m_uid = target.st_uid;
    m_gid = target.st_gid;
    m_mode = target.st_mode & 07777;
    m_dev = target.st_dev;
    m_ino = target.st_ino;

    std::string real = pathName;
    if (m_bThroughLink) {
        char* resolved = ::realpath(pathName.c_str(), nullptr);
        if (!resolved)
            return Fail(Stage::Create, errno, kLinkLeft);
        real = resolved;
        std::free(resolved);
    }
    m_strBaseName = BaseNameOf(real);
    if (!OpenFolder(DirectoryOf(real)))
        return false;
    // The name found must still be the file that was opened (nothing swapped meanwhile).
    struct stat again {};
    if (::fstatat(m_dirFd, m_strBaseName.c_str(), &again, AT_SYMLINK_NOFOLLOW) != 0 || again.st_dev != m_dev ||
        again.st_ino != m_ino)
        return Fail(Stage::Create, 0, kReplacedMeanwhile);
    return true;
}

bool AtomicFile::OpenFolder(const std::string& folder)
{
    m_dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    m_bDirSyncable = m_dirFd >= 0;
    // A folder the user may write but not list is still a place to save in.
    if (m_dirFd < 0 && errno == EACCES)
        m_dirFd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_dirFd < 0)
        return Fail(Stage::Create, errno, m_bThroughLink ? kLinkLeft : "");
    return true;
}

bool AtomicFile::CreateTemporary()
{
    // A new file gets the mode any program's new file gets (umask and the folder's
    // default ACL apply); a replacement starts private and takes the old mode later.
    const mode_t mode = m_bExisted ? 0600 : 0666;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = TemporaryName();
        m_fd = ::openat(m_dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                        mode);
        if (m_fd >= 0) {
            m_strTempName = name;
            return true;
        }
        if (errno == EACCES && m_bExisted)
            return Fail(Stage::Create, errno, kFolderNotWritable);
        if (errno != EEXIST)
            return Fail(Stage::Create, errno);
    }
    return Fail(Stage::Create, EEXIST);
}

void AtomicFile::SetWriteError(int error)
{
    if (!m_writeError)
        m_writeError = error ? error : EIO;
}

bool AtomicFile::Commit()
{
    if (m_fd < 0)
        return Fail(Stage::Write, EBADF);
    if (m_writeError)
        return Fail(Stage::Write, m_writeError);
    if (m_bExisted) {
        // Owner and group first: changing them may clear the set-id bits of the mode.
        if ((m_uid != ::geteuid() || m_gid != ::getegid()) && ::fchown(m_fd, m_uid, m_gid) != 0)
            (void)::fchown(m_fd, static_cast<uid_t>(-1), m_gid); // at least the group, where allowed
        if (::fchmod(m_fd, m_mode) != 0)
            return Fail(Stage::Write, errno);
    }
    if (::fsync(m_fd) != 0)
        return Fail(Stage::Write, errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        return Fail(Stage::Write, errno);
    return PutInPlace();
}

bool AtomicFile::PutInPlace()
{
    if (m_bExisted) {
        struct stat now {};
        if (::fstatat(m_dirFd, m_strBaseName.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_dev != m_dev ||
            now.st_ino != m_ino)
            return Fail(Stage::Write, 0,
                        kReplacedMeanwhile);
        if (::renameat(m_dirFd, m_strTempName.c_str(), m_dirFd, m_strBaseName.c_str()) != 0)
            return Fail(Stage::Write, errno);
    } else {
        // A file that appeared under the new name meanwhile is not someone's to lose.
        int rc = ::renameat2(m_dirFd, m_strTempName.c_str(), m_dirFd, m_strBaseName.c_str(), RENAME_NOREPLACE);
        if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // The file system cannot refuse to replace; a hard link can.
            rc = ::linkat(m_dirFd, m_strTempName.c_str(), m_dirFd, m_strBaseName.c_str(), 0);
            if (rc == 0)
                ::unlinkat(m_dirFd, m_strTempName.c_str(), 0);
            else if (errno == EPERM || errno == EOPNOTSUPP) // no hard links either
                rc = ::renameat(m_dirFd, m_strTempName.c_str(), m_dirFd, m_strBaseName.c_str());
        }
        if (rc != 0)
            return Fail(Stage::Write, errno);
    }
    m_strTempName.clear();
    // Make the rename itself durable (best effort: some file systems refuse this).
    if (m_bDirSyncable)
        ::fsync(m_dirFd);
    m_stage = Stage::None;
    return true;
}

} // namespace tvl
