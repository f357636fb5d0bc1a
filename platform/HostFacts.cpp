#include "HostFacts.h"
#include "DriveMap.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace tvl {

std::string HostName()
{
    char buf[HOST_NAME_MAX + 1] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0)
        return std::string();
    return buf;
}

std::int64_t NowUtcSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string AbsolutePath(const std::string& path)
{
    if (path.empty() || path[0] == '/')
        return path;
    std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
    if (!cwd)
        return path;
    std::string abs = cwd.get();
    if (abs.back() != '/')
        abs += '/';
    return abs + path;
}

std::optional<FileIdentity> IdentifyFile(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                        static_cast<std::uint64_t>(st.st_nlink)};
}

std::string FileSystemType(const std::string& directory)
{
    // The mount whose point is the longest prefix of the directory's real path, and on
    // the same device (a mount over a prefix that is not this file system does not count).
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(directory.c_str(), nullptr), &std::free);
    struct stat dirStat {};
    if (!real || ::stat(real.get(), &dirStat) != 0)
        return std::string();
    const std::string path = real.get();
    std::string bestType;
    std::size_t bestLength = 0;
    for (const MountEntry& e : ReadMountTable()) {
        const bool prefix = e.point == "/" || (path.compare(0, e.point.size(), e.point) == 0 &&
                                               (path.size() == e.point.size() || path[e.point.size()] == '/'));
        if (!prefix || e.point.size() < bestLength)
            continue;
        struct stat pointStat {};
        if (::stat(e.point.c_str(), &pointStat) != 0 || pointStat.st_dev != dirStat.st_dev)
            continue;
        bestLength = e.point.size();
        bestType = e.type;
    }
    return bestType;
}

} // namespace tvl
