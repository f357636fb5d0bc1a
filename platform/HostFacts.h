// Facts about the machine a scan runs on, for the report to keep: the host name, the
// time, and the type of the file system that holds a directory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tvl {

// The host name; "" when the system does not say.
std::string HostName();

// Seconds since 1970-01-01 00:00 UTC.
std::int64_t NowUtcSeconds();

// `path` made absolute against the current directory (symbolic links are kept).
std::string AbsolutePath(const std::string& path);

// Which file a name stands for, and how many names it has.
struct FileIdentity {
    std::uint64_t device = 0, inode = 0;
    std::uint64_t links = 0;
    bool operator<(const FileIdentity& o) const { return device != o.device ? device < o.device : inode < o.inode; }
    bool operator==(const FileIdentity& o) const { return device == o.device && inode == o.inode; }
};
// The identity of the file `path` names (not following a last symbolic link), or
// nullopt when it cannot be found.
std::optional<FileIdentity> IdentifyFile(const std::string& path);

// The type of the file system that holds `directory` ("ext4", "tmpfs", ...), as the
// mount table names it; "" when it cannot be found.
std::string FileSystemType(const std::string& directory);

} // namespace tvl
