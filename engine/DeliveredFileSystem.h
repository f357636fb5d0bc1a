// The file system of the process that records a shared walk (SharedWalk.h): its
// directories are read by SharedReaders elsewhere, which keep each listing until it is
// asked for; the walk (Walk.h) reads them through this interface as it would read the
// disc, so the report is the one a walk of the real file system makes.
//
// An open only names the directory (by its path below the root); its listing, or what
// kept it from being opened (ListStatus::Denied, Gone, Unreadable), is waited for in
// ReadListing. The walk takes each directory once, in pre-order.
//
// What to ask for: a reader says which listings it holds (Noticed); ToFetch names the
// ones to ask for now. A directory becomes due when its parent's listing is here; the
// due ones are asked for in the walk's own order, the earliest in pre-order first,
// while fewer than `window` listings are asked for and not yet taken. Each
// directory's place in pre-order is a 64-bit key, as in the walk (Walk.cpp): the root
// spans all keys and each directory's span is split evenly among its sub-folders in
// listing order; where keys tie only the order of asking changes. The directory the walk waits for is asked for at once, beyond the window. So
// the listings here are at most about a window's, whatever the readers read ahead:
// the rest wait with the readers that hold them.
#pragma once

#include "FileSystem.h"
#include "SharedWalk.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <queue>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace tvl {

class DeliveredFileSystem final : public IFileSystem {
public:
    // realRoot: the walk's root, as the walk opens it.
    explicit DeliveredFileSystem(std::string realRoot, std::size_t window = 4096);

    // Reader `holder` holds the listing of `path`. Throws std::bad_alloc.
    void Noticed(std::string path, int holder);
    // The listings to ask for now, each named once: path and holder. Throws std::bad_alloc.
    std::vector<std::pair<std::string, int>> ToFetch();
    // Hands over a listing asked for (any thread). Throws std::bad_alloc.
    void Deliver(ReadDirectory&& dir);
    // Ends every wait: listings not yet delivered come back as ListStatus::Exhausted,
    // which fails the walk.
    void Abandon();

    Handle OpenDir(const std::string& realPath) override;
    Handle OpenChild(Handle parent, const std::string& name) override;
    ListStatus ReadListing(Handle dir, DirListing& out) override;
    void Close(Handle dir) override;

    // Waits until the walk takes a listing or starts to wait for one, or `timeout` passes.
    void WaitForChange(std::chrono::microseconds timeout);
    // The most listings that were delivered and not yet taken at one time, and how
    // often the walk had to wait for one.
    std::size_t MostWaiting() const;
    std::size_t WalkWaits() const;

private:
    void Plan();
    void MakeDue(const std::string& parent, const DirListing& listing);

    const std::string m_realRoot;
    const std::size_t m_window;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;      // the walk waits for a listing
    std::condition_variable m_changed; // the exchange waits for the walk
    std::unordered_map<std::string, ReadDirectory> m_delivered;
    std::unordered_map<Handle, std::string> m_open; // handle -> path
    Handle m_next = 0;
    bool m_abandoned = false;
    std::size_t m_mostWaiting = 0;
    std::size_t m_nWaits = 0; // times the walk waited

    std::unordered_map<std::string, int> m_noticed; // held by a reader, not asked for
    struct Due {
        std::uint64_t order;
        std::string path;
        bool operator<(const Due& o) const { return order > o.order; } // earliest on top
    };
    struct Key {
        std::uint64_t order, span;
    };
    std::priority_queue<Due> m_due;                // due, not asked for
    std::unordered_map<std::string, Key> m_keys;   // due, wanted or asked: where in pre-order
    std::unordered_set<std::string> m_wanted;     // due, asked for as soon as noticed
    std::unordered_set<std::string> m_asked;      // asked for, not yet delivered
    std::vector<std::pair<std::string, int>> m_fetch; // decided, not yet handed out
    std::size_t m_requested = 0;                  // asked for and not yet taken by the walk
    bool m_walkWaits = false;                     // the walk waits for m_waitingFor
    std::string m_waitingFor;
};

} // namespace tvl
