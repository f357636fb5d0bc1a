// A walk shared by several processes (tovaline-mpi): the reading processes read
// directories of the same tree with threads of their own and hand listings to the one
// process that records the report, whose walk (Walk.h) reads through a
// DeliveredFileSystem and so makes the report a walk of the real file system would make.
//
// SharedReader is one process's readers. Its directories wait in one queue: the
// readers take the newest (so each process goes depth first, in listing order, as
// the recording walk consumes), and put each directory's sub-folders there, the
// ones the recording walk enters: directories (not links to them) on the parent's
// file system that the scan options do not leave out, decided with the same
// FolderFilter. Another process takes work from the oldest end (Steal), the folders
// nearest the root, whose subtrees are the largest. Who reads a directory never
// changes what is recorded.
//
// A directory travels as its path below the walk's root: names joined with '/', ""
// for the root. A reader opens it relative to its parent while the parent keeps its
// handle (within a budget of the file system's handles), else from the root, one name
// at a time and never through a symbolic link.
//
// Nothing here knows how listings and work cross between processes: the transport
// (mpi/) moves the bytes of EncodeDirectory and EncodeWork. Qt-free and MPI-free, so
// the whole exchange runs in one process in tests.
#pragma once

#include "FileSystem.h"
#include "ScanOptions.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tvl {

// What became of one directory.
enum class ReadOutcome : std::uint8_t {
    Listed,     // listed whole
    Broken,     // the listing broke off; what was read is kept
    Denied,     // could not be opened: permission denied
    Gone,       // could not be opened: no longer there
    Unreadable, // could not be opened: another error
};

// One directory, read.
struct ReadDirectory {
    std::string path; // below the walk's root, '/'-separated; "" for the root
    ReadOutcome outcome = ReadOutcome::Listed;
    DirListing listing; // empty unless Listed or Broken
};

// The wire forms. Encode appends to `out`; Decode returns false on bytes that are not
// a whole message of that kind (nothing is trusted: sizes and name places are checked).
// Both ends run the same program on the same kind of machine.
void EncodeDirectory(const ReadDirectory& dir, std::string& out);
bool DecodeDirectory(std::string_view bytes, ReadDirectory& dir);
void EncodeWork(const std::vector<std::string>& paths, std::string& out);
bool DecodeWork(std::string_view bytes, std::vector<std::string>& paths);

// The path of `name` inside the directory at `parent` ("" the root).
std::string ChildPath(std::string_view parent, std::string_view name);

class SharedReader {
public:
    // Called on a reader thread for every directory read (never two at once). It may
    // throw std::bad_alloc, which fails the reader.
    using Deliver = std::function<void(ReadDirectory&&)>;

    // Starts nThreads (at least 1) readers over the tree at realRoot. They wait for work.
    SharedReader(IFileSystem& fs, std::string realRoot, const ScanOptions& options, int nThreads, Deliver deliver);
    // Stops the readers (a directory being read is finished first) and closes every handle.
    ~SharedReader();
    SharedReader(const SharedReader&) = delete;
    SharedReader& operator=(const SharedReader&) = delete;

    // Adds directories to read. Throws std::bad_alloc.
    void Give(std::vector<std::string> paths);
    // Takes up to half of the waiting directories, at most `max`, from the oldest end
    // (none when only one waits: it is next for a reader here). Throws std::bad_alloc.
    std::vector<std::string> Steal(std::size_t max);
    // True when no directory waits and none is being read.
    bool Idle() const;
    // Why the readers stopped (out of descriptors or memory), or nothing.
    std::optional<std::string> Failure() const;
    // Waits until a reader finishes a directory, the readers stop or fail, or `timeout`
    // passes.
    void WaitForChange(std::chrono::microseconds timeout) const;
    // Stops the readers and drops the waiting directories.
    void Stop();
    // Directories read here so far.
    std::uint64_t DirectoriesRead() const;

private:
    struct Anchor;
    struct Item {
        std::string path;
        std::shared_ptr<Anchor> parent; // the parent's open handle, or null: open from the root
    };
    void Work();
    void Read(Item& item);
    IFileSystem::Handle Open(const Item& item);
    IFileSystem::Handle OpenPatiently(const Item& item);
    void Fail(std::string why);

    IFileSystem& m_fs;
    const std::string m_realRoot;
    const FolderFilter m_filter;
    const Deliver m_deliver;
    int m_maxAnchors = 0;
    std::atomic<int> m_anchors{0};
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cv;      // readers wait for work
    mutable std::condition_variable m_changed; // WaitForChange
    std::deque<Item> m_queue;
    int m_busy = 0;
    bool m_stop = false;
    std::optional<std::string> m_failure;
    std::uint64_t m_read = 0;
    std::mutex m_deliverMutex;
    std::vector<std::thread> m_threads;
};

} // namespace tvl
