// Directory enumeration behind a small handle-based interface.
//
// The scan opens a drive's root directory, reads each directory's whole listing in
// one call and opens sub-directories relative to their parent's handle, so paths of
// any length and any depth work and no directory stream stays open while the walk
// descends. Tests substitute an in-memory tree; the POSIX implementation below is
// stateless. A scan with worker threads calls every operation from several threads
// at once, on different handles: every implementation must allow that.
//
// Running out of descriptors or memory is not the same as a directory that cannot be
// read: the open operations say kExhausted and the listing says ListStatus::Exhausted,
// so that the walk can wait for handles to come back, or fail, instead of leaving the
// folder out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tvl {

// A directory listing in compact form: the names back to back in one buffer, one small
// item per entry (48 bytes: the sizes, the name's place, the flags, and device and inode
// for hard-linked files). Costs two heap blocks per directory instead of one per long
// name. "." and ".." are never in it.
struct DirListing {
    struct Item {
        std::uint64_t size = 0;       // full 64-bit size; for a symbolic link the link's own size
        std::uint32_t nameOffset = 0; // into names
        std::uint32_t nameLength = 0;
        bool isDir = false;       // a real directory (a link to one is a file of its own size)
        bool otherDevice = false; // directory on another file system than its parent: recorded, not entered
        std::uint64_t allocated = 0; // bytes allocated on disc (st_blocks x 512); 0 for a directory
        // Device and inode of a file with more than one hard link, so that a scan can
        // count it once; both 0 for every other entry.
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t mtime = 0; // modification time, seconds since 1970-01-01 UTC
    };
    std::vector<Item> items; // in the order the file system delivers them
    std::string names;       // every name followed by a NUL byte
    std::int64_t selfChange = 0; // the directory's own modification time

    std::string_view Name(const Item& item) const { return {names.data() + item.nameOffset, item.nameLength}; }
    // Appends an entry. Both buffers grow geometrically. Throws std::bad_alloc.
    void Add(std::string_view name, std::uint64_t size, bool isDir, bool otherDevice, std::uint64_t allocated = 0,
             std::uint64_t device = 0, std::uint64_t inode = 0, std::int64_t mtime = 0);
    // Makes room for `items` more entries with `nameBytes` more name bytes, growing
    // at least geometrically so that a huge directory is not copied batch by batch.
    void Reserve(std::size_t items, std::size_t nameBytes);
};

enum class ListStatus {
    Complete,  // every entry was read
    Broken,    // the listing broke off (I/O error, directory removed); what was read is kept
    Exhausted, // out of memory in the kernel: the listing is not usable, try again later
    // A file system whose directories are read elsewhere (DeliveredFileSystem.h) opens
    // without looking and learns only with the listing what the open met; these say it,
    // and there is no listing:
    Denied,     // permission denied (as kDenied)
    Gone,       // no longer there (as kGone)
    Unreadable, // any other error (as kInvalid)
};

class IFileSystem {
public:
    using Handle = std::intptr_t;
    static constexpr Handle kInvalid = -1;   // cannot be opened: an I/O or other error, not a directory
    static constexpr Handle kExhausted = -2; // no descriptor or no memory left just now
    static constexpr Handle kDenied = -3;    // cannot be opened: permission denied
    static constexpr Handle kGone = -4;      // cannot be opened: it is no longer there
    static bool IsOpen(Handle h) { return h >= 0; }

    virtual ~IFileSystem() = default;

    // Opens a directory by its real path.
    virtual Handle OpenDir(const std::string& realPath) = 0;
    // Opens the directory `name` inside the open directory `parent`, never following a
    // symbolic link.
    virtual Handle OpenChild(Handle parent, const std::string& name) = 0;
    // Appends every entry of the open directory to `out`, in the order the file system
    // delivers them. An entry that vanishes between being listed and being stat'ed is
    // left out. Throws std::bad_alloc when `out` cannot grow.
    virtual ListStatus ReadListing(Handle dir, DirListing& out) = 0;
    virtual void Close(Handle dir) = 0;
    // How many handles a walk may hold open at once (the process's free descriptors,
    // less a reserve for the rest of the program).
    virtual int HandleBudget() { return 1 << 20; }
};

// The real file system (openat/statx relative to directory descriptors).
class PosixFileSystem final : public IFileSystem {
public:
    Handle OpenDir(const std::string& realPath) override;
    Handle OpenChild(Handle parent, const std::string& name) override;
    ListStatus ReadListing(Handle dir, DirListing& out) override;
    void Close(Handle dir) override;
    int HandleBudget() override;
};

// The process-wide instance of the real file system (it holds no state).
IFileSystem& RealFileSystem();

// Raises the soft limit of open files to the hard limit (once; later calls do nothing).
void RaiseOpenFileLimit();

// Convenience for the live file listing: lists the directory at realPath.
// Returns false when it cannot be opened or read.
bool ListDirectory(IFileSystem& fs, const std::string& realPath, DirListing& out);

} // namespace tvl
