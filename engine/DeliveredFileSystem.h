// The file system of the process that records a shared walk (SharedWalk.h): its
// directories are read by SharedReaders, here or in other processes, and delivered;
// the walk (Walk.h) reads them through this interface as it would read the disc, so
// the report is the one a walk of the real file system makes.
//
// An open only names the directory (by its path below the root); its listing, or what
// kept it from being opened (ListStatus::Denied, Gone, Unreadable), is waited for in
// ReadListing. A delivered directory waits here until the walk takes it; the walk
// takes each one once, in pre-order.
#pragma once

#include "FileSystem.h"
#include "SharedWalk.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <unordered_map>

namespace tvl {

class DeliveredFileSystem final : public IFileSystem {
public:
    // realRoot: the walk's root, as the walk opens it.
    explicit DeliveredFileSystem(std::string realRoot);

    // Hands over a directory read somewhere (any thread). Throws std::bad_alloc.
    void Deliver(ReadDirectory&& dir);
    // Ends every wait: listings not yet delivered come back as ListStatus::Exhausted,
    // which fails the walk. For a reader that failed.
    void Abandon();

    Handle OpenDir(const std::string& realPath) override;
    Handle OpenChild(Handle parent, const std::string& name) override;
    ListStatus ReadListing(Handle dir, DirListing& out) override;
    void Close(Handle dir) override;

    // The most directories that were delivered and not yet taken at one time.
    std::size_t MostWaiting() const;

private:
    const std::string m_realRoot;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::unordered_map<std::string, ReadDirectory> m_delivered;
    std::unordered_map<Handle, std::string> m_open; // handle -> path
    Handle m_next = 0;
    bool m_abandoned = false;
    std::size_t m_mostWaiting = 0;
};

} // namespace tvl
