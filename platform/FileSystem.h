// Directory enumeration behind a small handle-based interface.
//
// The scan opens a drive's root directory, reads each directory's whole listing in
// one call and opens sub-directories relative to their parent's handle, so paths of
// any length and any depth work and no directory stream stays open while the walk
// descends. Tests substitute an in-memory tree; the POSIX implementation below is
// stateless and may be called from several threads at once.
// A scan with more than one walker thread (ScanEnvironment::nThreads) calls every
// operation from several threads at once, on different handles; every implementation
// given to such a scan must allow that.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tvl {

// One entry of a directory listing. "." and ".." are never delivered.
struct DirEntry {
    std::string name;       // raw bytes as the file system gives them
    std::uint64_t size = 0; // full 64-bit size; for a symbolic link the link's own size
    bool isDir = false;     // a real directory (a link to one is a file of its own size)
    bool otherDevice = false; // directory on another file system than its parent: recorded, not entered
    std::uint64_t allocated = 0; // bytes allocated on disc (st_blocks x 512); 0 for a directory
    // Device and inode of a file with more than one hard link, so that a scan can count
    // it once; both 0 for every other entry.
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

// A directory listing in compact form: the names back to back in one buffer, one small
// item per entry (48 bytes: the sizes, the name's place, the flags, and device and inode
// for hard-linked files). Costs two heap blocks per directory instead of one per long
// name; a walk holds only the listings read ahead and not yet consumed.
struct DirListing {
    struct Item {
        std::uint64_t size = 0;       // as DirEntry::size
        std::uint32_t nameOffset = 0; // into names
        std::uint32_t nameLength = 0;
        bool isDir = false;
        bool otherDevice = false;
        std::uint64_t allocated = 0; // as DirEntry::allocated
        std::uint64_t device = 0;    // as DirEntry::device
        std::uint64_t inode = 0;     // as DirEntry::inode
    };
    std::vector<Item> items; // in the order the file system delivers them
    std::string names;       // every name followed by a NUL byte

    std::string_view Name(const Item& item) const { return {names.data() + item.nameOffset, item.nameLength}; }
    void Add(std::string_view name, std::uint64_t size, bool isDir, bool otherDevice, std::uint64_t allocated = 0,
             std::uint64_t device = 0, std::uint64_t inode = 0)
    {
        items.push_back(Item{size, static_cast<std::uint32_t>(names.size()), static_cast<std::uint32_t>(name.size()),
                             isDir, otherDevice, allocated, device, inode});
        names.append(name).push_back('\0');
    }
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
    // The same listing in compact form (appended to `out`). The default goes through
    // ReadAll; implementations may read straight into the compact form. Must be safe to
    // call from several threads at once when the other operations are.
    virtual bool ReadListing(Handle dir, DirListing& out);
    virtual void Close(Handle dir) = 0;
};

// The real file system (openat/fstatat relative to directory descriptors).
class PosixFileSystem final : public IFileSystem {
public:
    Handle OpenDir(const std::string& realPath) override;
    Handle OpenChild(Handle parent, const std::string& name) override;
    bool ReadAll(Handle dir, std::vector<DirEntry>& out) override;
    bool ReadListing(Handle dir, DirListing& out) override;
    void Close(Handle dir) override;
};

// The process-wide instance of the real file system (it holds no state).
IFileSystem& RealFileSystem();

// Convenience for the live file listing: lists the directory at realPath.
// Returns false when it cannot be opened or read.
bool ListDirectory(IFileSystem& fs, const std::string& realPath, std::vector<DirEntry>& out);

} // namespace tvl
