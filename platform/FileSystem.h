// Directory enumeration behind a small handle-based interface.
//
// The scan opens a drive's root directory, reads each directory's whole listing in
// one call and opens sub-directories relative to their parent's handle, so paths of
// any length and any depth work and no directory stream stays open while the walk
// descends. Tests substitute an in-memory tree; the POSIX implementation below is
// stateless and may be called from several threads at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tvl {

// One entry of a directory listing. "." and ".." are never delivered.
struct DirEntry {
    std::string name;       // raw bytes as the file system gives them
    std::uint64_t size = 0; // full 64-bit size; for a symbolic link the link's own size
    bool isDir = false;     // a real directory (a link to one is a file of its own size)
    bool otherDevice = false; // directory on another file system than its parent: recorded, not entered
};

class IFileSystem {
public:
    using Handle = std::intptr_t;
    static constexpr Handle kInvalid = -1;

    virtual ~IFileSystem() = default;

    // Opens a directory by its real path. kInvalid when it is missing, not a directory
    // or cannot be opened.
    virtual Handle OpenDir(const std::string& realPath) = 0;
    // Opens the directory `name` inside the open directory `parent`, never following a
    // symbolic link. kInvalid on failure (vanished, no access, replaced by a file).
    virtual Handle OpenChild(Handle parent, const std::string& name) = 0;
    // Appends every entry of the open directory to `out`, in the order the file system
    // delivers them. Returns false when the listing cannot be read at all; `out` then
    // holds what was read before the error. An entry that vanishes between being listed
    // and being stat'ed is left out.
    virtual bool ReadAll(Handle dir, std::vector<DirEntry>& out) = 0;
    virtual void Close(Handle dir) = 0;
};

// The real file system (openat/fstatat relative to directory descriptors).
class PosixFileSystem final : public IFileSystem {
public:
    Handle OpenDir(const std::string& realPath) override;
    Handle OpenChild(Handle parent, const std::string& name) override;
    bool ReadAll(Handle dir, std::vector<DirEntry>& out) override;
    void Close(Handle dir) override;
};

// The process-wide instance of the real file system (it holds no state).
IFileSystem& RealFileSystem();

// Convenience for the live file listing: lists the directory at realPath.
// Returns false when it cannot be opened or read.
bool ListDirectory(IFileSystem& fs, const std::string& realPath, std::vector<DirEntry>& out);

} // namespace tvl
