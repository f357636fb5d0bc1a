#include "HostFacts.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

namespace {

// A field of the mount table with its octal escapes ("\040" for a blank) undone.
std::string Unescape(const char* field)
{
    std::string out;
    for (const char* p = field; *p; ++p) {
        if (p[0] == '\\' && p[1] >= '0' && p[1] <= '3' && p[2] >= '0' && p[2] <= '7' && p[3] >= '0' && p[3] <= '7') {
            out.push_back(static_cast<char>((p[1] - '0') * 64 + (p[2] - '0') * 8 + (p[3] - '0')));
            p += 3;
        } else {
            out.push_back(*p);
        }
    }
    return out;
}

} // namespace

std::string FileSystemType(const std::string& directory)
{
    // The mount whose point is the longest prefix of the directory's real path, and on
    // the same device (a mount over a prefix that is not this file system does not count).
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(directory.c_str(), nullptr), &std::free);
    struct stat dirStat {};
    if (!real || ::stat(real.get(), &dirStat) != 0)
        return std::string();
    std::unique_ptr<FILE, decltype(&std::fclose)> mounts(std::fopen("/proc/self/mounts", "re"), &std::fclose);
    if (!mounts)
        return std::string();
    const std::string path = real.get();
    std::string bestType;
    std::size_t bestLength = 0;
    char* line = nullptr;
    std::size_t cap = 0;
    while (::getline(&line, &cap, mounts.get()) > 0) {
        char* save = nullptr;
        ::strtok_r(line, " \n", &save); // the source
        const char* point = ::strtok_r(nullptr, " \n", &save);
        const char* type = ::strtok_r(nullptr, " \n", &save);
        if (!point || !type)
            continue;
        const std::string mountPoint = Unescape(point);
        const bool prefix = mountPoint == "/" ||
                            (path.compare(0, mountPoint.size(), mountPoint) == 0 &&
                             (path.size() == mountPoint.size() || path[mountPoint.size()] == '/'));
        if (!prefix || mountPoint.size() < bestLength)
            continue;
        struct stat pointStat {};
        if (::stat(mountPoint.c_str(), &pointStat) != 0 || pointStat.st_dev != dirStat.st_dev)
            continue;
        bestLength = mountPoint.size();
        bestType = Unescape(type);
    }
    std::free(line);
    return bestType;
}

} // namespace tvl
