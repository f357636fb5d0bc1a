// The parallel walk: workers read directories ahead, the calling thread records them
// in pre-order (see ParallelWalk.h).
//
// Work order. Workers take directories from one shared stack and push the sub-folders
// of each directory they read in reverse listing order, so the next directory taken is
// the first sub-folder of the last one read: the workers move through the tree in about
// the pre-order in which the calling thread consumes it, and the listings waiting to be
// consumed stay few.
//
// Directory handles. A directory is opened relative to an "anchor": the nearest
// ancestor that kept its handle open. A directory keeps its handle while some of its
// sub-folders wait to be opened through it, as long as fewer than kHandleBudget handles
// are held, and always when its anchor is kReanchorLevels or more levels up; otherwise
// its sub-folders are opened from its anchor, one name at a time (no symbolic link is
// followed on the way). An anchor counts the waiting directories that need it and is
// closed when the last of them has been opened. So trees of any depth and width are
// walked with a bounded number of descriptors.
#include "ParallelWalk.h"

#include "PathNames.h"
#include "Report.h"
#include "Scan.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace tvl {

namespace {

constexpr int kHandleBudget = 128;
constexpr int kReanchorLevels = 32;
// Listings read but not yet consumed, beyond which the workers pause, so memory stays
// bounded when the calling thread is slowed down. The calling thread never waits for
// a directory that no worker has taken: it reads that one itself, so a pause of the
// workers can slow the walk down to the sequential pace but never stall it.
constexpr int kMaxAhead = 4096;

// One directory of the walk. Made by the worker that read its parent; read by one
// worker; consumed by the calling thread once `ready`. Kept until the walk ends (its
// name and parent link serve to reopen descendants); the listing is freed as soon as
// the calling thread has consumed it. About 100 bytes per folder (96 of the node, plus
// its share of the parent's kids block and names over 15 bytes): 10 MB for 100,000
// folders, on top of the folder records, for the duration of the walk.
struct WalkNode {
    WalkNode* parent = nullptr;
    WalkNode* kids = nullptr; // the sub-folders (names without a leading '.'), listing order
    std::uint32_t nKids = 0;
    std::uint32_t nFiles = 0; // entries that are not directories
    std::int32_t level = 0;
    bool enterable = true;   // false: on another file system, recorded but not read
    bool taken = false;      // a worker has taken it from the stack (guarded by the mutex)
    std::string name;        // own name; empty for the root
    std::unique_ptr<DirListing> listing; // null when the directory could not be read
    IFileSystem::Handle handle = IFileSystem::kInvalid; // held while it is an anchor
    WalkNode* anchor = nullptr;     // where this directory is opened from (null: root)
    std::atomic<std::int32_t> refs{0}; // waiting directories anchored here
    std::atomic<bool> ready{false};    // read (or known unreadable); set last by the worker
};

// The path of n relative to the drive's directory, '/'-separated, with a trailing '/'
// ("" for the root).
std::string RelativePath(const WalkNode& n)
{
    std::vector<const WalkNode*> chain;
    for (const WalkNode* p = &n; p->parent; p = p->parent)
        chain.push_back(p);
    std::string rel;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        rel.append((*it)->name).push_back('/');
    return rel;
}

class Walk {
public:
    Walk(IFileSystem& fs, std::string realRoot, int nThreads, const FolderFilter& filter)
        : m_fs(fs), m_realRoot(std::move(realRoot)), m_filter(filter)
    {
        m_root.enterable = !m_realRoot.empty();
        if (m_root.enterable)
            m_stack.push_back(&m_root);
        else
            m_root.ready.store(true);
        m_storage.resize(static_cast<std::size_t>(nThreads) + 1); // the last: the calling thread's
        for (int i = 0; i < nThreads; ++i)
            m_threads.emplace_back([this, i] { Work(m_storage[static_cast<std::size_t>(i)]); });
    }

    ~Walk()
    {
        {
            std::lock_guard<std::mutex> lk(m_mutex);
            m_stop = true;
        }
        m_cv.notify_all();
        for (std::thread& t : m_threads)
            t.join();
        // Anchors of directories that were never read (a stopped walk).
        CloseHandle(m_root);
        for (auto& blocks : m_storage)
            for (auto& [block, n] : blocks)
                for (std::uint32_t i = 0; i < n; ++i)
                    CloseHandle(block[i]);
    }

    WalkNode& Root() { return m_root; }

    // Called by the calling thread when it needs `n`: reads it at once when no worker
    // has taken it yet. Returns false when a worker is reading it.
    bool ReadIfUntaken(WalkNode& n)
    {
        {
            std::lock_guard<std::mutex> lk(m_mutex);
            if (n.taken)
                return false;
            n.taken = true; // stays on the stack; workers skip it
        }
        Read(n, m_storage.back());
        return true;
    }

    // Called by the calling thread when it has consumed n's listing.
    void Consumed(WalkNode& n)
    {
        if (n.listing) {
            n.listing.reset();
            m_ahead.fetch_sub(1, std::memory_order_relaxed);
        }
    }

private:
    using Storage = std::vector<std::pair<std::unique_ptr<WalkNode[]>, std::uint32_t>>;

    void CloseHandle(WalkNode& n)
    {
        if (n.handle != IFileSystem::kInvalid) {
            m_fs.Close(n.handle);
            n.handle = IFileSystem::kInvalid;
        }
    }

    void Work(Storage& storage)
    {
        for (;;) {
            WalkNode* n = nullptr;
            {
                std::unique_lock<std::mutex> lk(m_mutex);
                m_cv.wait(lk, [&] { return m_stop || !m_stack.empty(); });
                if (m_stop)
                    return;
                if (m_ahead.load(std::memory_order_relaxed) < kMaxAhead) {
                    while (!m_stack.empty() && !n) {
                        n = m_stack.back();
                        m_stack.pop_back();
                        if (n->taken)
                            n = nullptr; // the calling thread has read it already
                    }
                    if (n)
                        n->taken = true;
                }
            }
            if (!n) {
                if (m_ahead.load(std::memory_order_relaxed) >= kMaxAhead)
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                continue;
            }
            Read(*n, storage);
        }
    }

    IFileSystem::Handle Open(const WalkNode& n)
    {
        if (!n.parent)
            return m_fs.OpenDir(m_realRoot);
        const WalkNode* a = n.anchor;
        if (a == n.parent)
            return m_fs.OpenChild(a->handle, n.name);
        // Down from the anchor, one name at a time.
        std::vector<const WalkNode*> chain;
        for (const WalkNode* p = n.parent; p != a; p = p->parent)
            chain.push_back(p);
        IFileSystem::Handle cur = a->handle;
        for (auto it = chain.rbegin(); it != chain.rend() && cur != IFileSystem::kInvalid; ++it) {
            IFileSystem::Handle next = m_fs.OpenChild(cur, (*it)->name);
            if (cur != a->handle)
                m_fs.Close(cur);
            cur = next;
        }
        if (cur == IFileSystem::kInvalid)
            return cur;
        IFileSystem::Handle h = m_fs.OpenChild(cur, n.name);
        if (cur != a->handle)
            m_fs.Close(cur);
        return h;
    }

    void Release(WalkNode* anchor)
    {
        if (anchor && anchor->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            m_fs.Close(anchor->handle);
            anchor->handle = IFileSystem::kInvalid;
            m_held.fetch_sub(1, std::memory_order_relaxed);
        }
    }

    void Read(WalkNode& n, Storage& storage)
    {
        IFileSystem::Handle h = Open(n);
        std::uint32_t waiting = 0; // sub-folders to be read
        if (h != IFileSystem::kInvalid) {
            try {
                auto listing = std::make_unique<DirListing>();
                m_fs.ReadListing(h, *listing); // a listing that breaks off keeps what was read
                const std::string rel = m_filter.NeedsRelativePath() ? RelativePath(n) : std::string();
                auto isSubFolder = [&](const DirListing::Item& item) {
                    if (!item.isDir)
                        return false;
                    const std::string_view name = listing->Name(item);
                    if (!m_filter.NeedsRelativePath())
                        return !m_filter.LeavesOut(name, std::string_view());
                    return !m_filter.LeavesOut(name, rel + std::string(name));
                };
                std::uint32_t nKids = 0;
                for (const DirListing::Item& item : listing->items) {
                    if (isSubFolder(item))
                        ++nKids;
                    else if (!item.isDir)
                        ++n.nFiles;
                }
                if (nKids > 0) {
                    storage.emplace_back(std::make_unique<WalkNode[]>(nKids), nKids);
                    WalkNode* kids = storage.back().first.get();
                    std::uint32_t k = 0;
                    for (const DirListing::Item& item : listing->items) {
                        if (k == nKids || !isSubFolder(item))
                            continue;
                        WalkNode& kid = kids[k++];
                        kid.parent = &n;
                        kid.level = n.level + 1;
                        kid.name.assign(listing->Name(item));
                        kid.enterable = !item.otherDevice;
                        if (kid.enterable)
                            ++waiting;
                        else
                            kid.ready.store(true, std::memory_order_relaxed);
                    }
                    n.kids = kids;
                    n.nKids = nKids;
                }
                n.listing = std::move(listing);
                m_ahead.fetch_add(1, std::memory_order_relaxed);
            } catch (const std::bad_alloc&) {
                // Out of memory: the folder stays in the report without files.
                n.listing.reset();
                n.kids = nullptr;
                n.nKids = n.nFiles = 0;
                waiting = 0;
            }
        }

        // Where the sub-folders are opened from.
        WalkNode* anchor = n.anchor;
        if (waiting > 0) {
            const int anchorLevel = anchor ? anchor->level : 0;
            if (!anchor || m_held.load(std::memory_order_relaxed) < kHandleBudget ||
                n.level - anchorLevel >= kReanchorLevels) {
                n.handle = h;
                h = IFileSystem::kInvalid;
                n.refs.store(static_cast<std::int32_t>(waiting), std::memory_order_relaxed);
                m_held.fetch_add(1, std::memory_order_relaxed);
                anchor = &n;
            } else {
                anchor->refs.fetch_add(static_cast<std::int32_t>(waiting), std::memory_order_relaxed);
            }
            for (std::uint32_t k = 0; k < n.nKids; ++k)
                if (n.kids[k].enterable)
                    n.kids[k].anchor = anchor;
        }
        if (h != IFileSystem::kInvalid)
            m_fs.Close(h);

        if (waiting > 0) {
            bool pushed = false;
            try {
                std::lock_guard<std::mutex> lk(m_mutex);
                m_stack.reserve(m_stack.size() + waiting);
                for (std::uint32_t k = n.nKids; k > 0; --k)
                    if (n.kids[k - 1].enterable)
                        m_stack.push_back(&n.kids[k - 1]);
                pushed = true;
            } catch (const std::bad_alloc&) {
            }
            if (pushed) {
                if (waiting > 1)
                    m_cv.notify_all();
                else
                    m_cv.notify_one();
            } else {
                // Never to be read: they stay in the report without files.
                for (std::uint32_t k = 0; k < n.nKids; ++k) {
                    if (n.kids[k].enterable) {
                        n.kids[k].ready.store(true, std::memory_order_release);
                        Release(anchor);
                    }
                }
            }
        }
        n.ready.store(true, std::memory_order_release);
        Release(n.anchor);
    }

    IFileSystem& m_fs;
    std::string m_realRoot;
    const FolderFilter& m_filter;
    WalkNode m_root;
    std::vector<Storage> m_storage; // one per worker and one for the calling thread: the nodes each made
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<WalkNode*> m_stack; // directories waiting to be read
    bool m_stop = false;
    std::atomic<int> m_held{0}; // handles kept by anchors
    std::atomic<int> m_ahead{0}; // listings read and not yet consumed
};

// Makes sure `n` has been read: reads it on the calling thread when no worker has taken
// it, otherwise waits for the worker, pumping messages meanwhile. The workers do not
// signal: the calling thread sleeps in short slices, so a walk costs a few thousand
// wake-ups in all rather than one per folder. Returns false when a stop was requested.
bool WaitReady(WalkNode& n, Walk& walk, MessagePump& pump)
{
    if (n.ready.load(std::memory_order_acquire) || walk.ReadIfUntaken(n))
        return true;
    for (int spin = 0; !n.ready.load(std::memory_order_acquire); ++spin) {
        if (spin < 16) {
            std::this_thread::yield();
            continue;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        pump.PumpMessages();
        if (pump.StopRequested())
            return false;
    }
    return true;
}

} // namespace

int WalkerThreads(const ScanEnvironment& env)
{
    if (env.nThreads > 0)
        return env.nThreads;
    return std::max(1u, std::thread::hardware_concurrency());
}

bool ParallelReadFolder(DriveReport& report, const std::string& strPath, FolderRecord* pParent, int nLevel,
                        ScanEnvironment& env, int nThreads, bool& cancelled)
{
    struct Frame {
        WalkNode* node;
        FolderRecord* rec;
        std::uint32_t nextItem;
        std::uint32_t nextKid;
    };
    std::vector<Frame> frames;
    const std::string real = env.drives.Directory(strPath.empty() ? 0 : strPath[0]);
    const FolderFilter filter(env.options);
    FileCounter counter(env.options);
    Walk walk(env.fs, real, nThreads, filter);
    const std::size_t rankingSize = report.nRankingSize > 0 ? static_cast<std::size_t>(report.nRankingSize) : 0;
    const bool storeFiles = report.bStoreFileNames;

    // Records one folder and waits for its listing; pushes its frame. Returns false when
    // the record cannot be created (the folder and its subtree are then left out) or
    // when a stop was requested while waiting (cancelled is then set).
    auto enter = [&](WalkNode& node, std::string path, FolderRecord* parent, int level) -> bool {
        env.pump.PumpMessages();
        if (env.pump.StopRequested()) { // asked during this pump: do not pump again
            cancelled = true;
            return false;
        }
        FolderRecord* rec = report.RecordScannedFolder(std::move(path), parent, level, env);
        if (!rec)
            return false;
        if (!WaitReady(node, walk, env.pump)) {
            cancelled = true;
            return false;
        }
        if (storeFiles && node.nFiles > 0) {
            try {
                rec->files.reserve(node.nFiles); // exact size: the listing is known
            } catch (const std::bad_alloc&) {
            }
        }
        frames.push_back(Frame{&node, rec, 0, 0});
        return true;
    };

    if (!enter(walk.Root(), strPath, pParent, nLevel))
        return cancelled; // a stop is not a failure of the root record

    while (!frames.empty() && !cancelled) {
        if (env.pump.StopRequested()) {
            cancelled = true;
            break;
        }
        Frame& top = frames.back();
        const DirListing* l = top.node->listing.get();
        if (!l || top.nextItem >= l->items.size()) {
            walk.Consumed(*top.node);
            frames.pop_back();
            continue;
        }
        const DirListing::Item& item = l->items[top.nextItem++];
        FolderRecord* rec = top.rec;
        if (item.isDir) {
            // The worker kept the sub-folders that are not left out, in listing order,
            // and names within one directory are unique.
            if (top.nextKid >= top.node->nKids || top.node->kids[top.nextKid].name != l->Name(item))
                continue; // left out with everything below it
            WalkNode& kid = top.node->kids[top.nextKid++];
            std::string childPath;
            childPath.reserve(rec->strPath.size() + item.nameLength + 1);
            childPath.append(rec->strPath);
            AppendPathStep(childPath, l->Name(item));
            enter(kid, std::move(childPath), rec, rec->nLevel + 1);
            continue; // `top` may have moved
        }
        const std::int64_t size = counter.ListedSize(item.size, item.allocated);
        const bool counts = counter.Counts(item.device, item.inode);
        if (counts)
            rec->nSpaceWithoutSubs += size;
        // The ranking would turn the file away when it is full and the file is no larger
        // than its last entry; skip making the name in that common case.
        if (counts && rankingSize != 0 &&
            !(report.ranking.size() >= rankingSize && !report.ranking.empty() && size <= report.ranking.back().nSize))
            report.InsertRankEntry(std::string(l->Name(item)), rec->strPath, size);
        if (storeFiles)
            rec->files.push_back(FileEntry{std::string(l->Name(item)), size});
    }
    return true;
}

} // namespace tvl
