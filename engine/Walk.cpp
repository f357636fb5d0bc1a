// The walk (see Walk.h).
//
// Work order: workers take directories from one shared heap, the earliest in pre-order
// first, and put the sub-folders of each directory they read there, so the directories
// in flight are the next ones the calling thread consumes, however many readers there
// are, and the listings read ahead stay few. Each directory's place in pre-order is a
// 64-bit key: the root spans all keys, and each folder's span is split evenly among
// its sub-folders in listing order. In trees too deep or wide for 64 bits keys tie;
// that changes only which of the tied directories is read first, never the report.
// Without workers nothing is queued: the calling thread reads each directory when it
// comes to it.
//
// Handles: a directory is opened relative to its "anchor", the nearest ancestor that
// kept its handle (else from the drive's root path), one name at a time and never
// through a symbolic link. A directory keeps its handle while sub-folders wait to be
// opened through it, within the soft number of anchors, or beyond it when its anchor
// is kReanchorLevels or more levels up, within the hard number. The file system says
// how many handles the walk may hold; each reader needs two at a time, the anchors
// share the rest, so fewer workers run when descriptors are scarce. An open that still
// finds none free waits for handles to come back; when none do, the walk fails.
//
// Readers in flight: with a fixed thread count the walk keeps to it. Otherwise it starts
// one worker per core and adds one whenever a worker finds, in two sampled reads in a
// row, that opening and listing a directory made it wait (a voluntary sleep: the
// device, not the CPU, was the limit) while directories are waiting and no worker is
// idle, up to kMaxWorkers (and the handle budget). On a warm cache reads never
// wait, so the pool stays at one per core; on a cold one it grows until the device has
// enough requests in flight. Who reads a directory never changes what is recorded.
#include "Walk.h"

#include "PathNames.h"
#include "ReportBuilder.h"
#include "Scan.h"
#include "ThreadWaits.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace tvl {

namespace {

constexpr int kSoftAnchors = 128;
constexpr int kReanchorLevels = 32;
constexpr int kHandlesPerReader = 2;
// Listings read but not yet consumed, beyond which the workers pause, so memory stays
// bounded when the calling thread is slowed down. The calling thread never waits for
// a directory that no worker has taken: it reads that one itself.
constexpr int kMaxAhead = 4096;
// How long a reader waits for a descriptor before the walk fails: about 3 s in all.
constexpr int kOpenRetries = 300;
// Workers an adaptive walk may grow to (beside the calling thread): enough to keep a
// device with deep queues busy, few enough that their stacks and buffers stay small and
// that they do not crowd each other out on a busy machine.
constexpr int kMaxWorkers = 16;
// An adaptive worker samples every kSampleEvery-th read for waits (two system calls),
// and asks for another worker after kWaitsToGrow sampled reads in a row waited.
constexpr unsigned kSampleEvery = 4;
constexpr unsigned kWaitsToGrow = 2;

enum class Failure : int { None, Memory, Descriptors };

// One directory of the walk. Made by the reader of its parent; read by one reader;
// consumed by the calling thread once `ready`. Its name and parent link serve to
// reopen descendants; the listing is freed as soon as the calling thread has consumed
// it. About 120 bytes per folder (112 of the node, plus names over 15 bytes). Without
// workers the sub-folders' nodes go once the folder's subtree is recorded; with them
// they stay until the walk ends (the work queue may still point at them): 12 MB for
// 100,000 folders, on top of the folder records.
struct WalkNode {
    WalkNode* parent = nullptr;
    std::unique_ptr<WalkNode[]> kids; // the sub-folders the filter lets in, listing order
    std::uint32_t nKids = 0;
    std::uint32_t nFiles = 0; // entries that are not directories
    std::int32_t level = 0;
    std::uint64_t order = 0; // first key of its span in pre-order (see the work order)
    std::uint64_t span = ~std::uint64_t(0);
    bool enterable = true;   // false: on another file system, recorded but not read
    FolderState state = FolderState::Read; // why it could not be read (set by its reader)
    bool taken = false;      // a reader has taken it (guarded by the mutex)
    std::string name;        // own name; empty for the root
    std::unique_ptr<DirListing> listing; // null when the directory could not be read
    IFileSystem::Handle handle = IFileSystem::kInvalid; // held while it is an anchor
    WalkNode* anchor = nullptr;     // where this directory is opened from (null: the root path)
    std::atomic<std::int32_t> refs{0}; // waiting directories anchored here
    std::atomic<bool> ready{false};    // read (or known unreadable); set last by the reader
};

// The heap order of the work queue: the earliest in pre-order on top.
bool LaterInPreOrder(const WalkNode* a, const WalkNode* b)
{
    return a->order > b->order;
}

// The path of n relative to the drive's directory, '/'-separated, with a trailing '/'
// ("" for the root). Needed only by exclusion patterns that hold a '/'.
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

// The path of the real folder `real` below the drive's directory `top`, '/'-separated
// and ending in '/' ("" when it is not below it), as path patterns see it.
std::string RelativeBase(const std::string& top, const std::string& real)
{
    std::string base = top;
    if (base.empty() || base.back() != '/')
        base += '/';
    return real.compare(0, base.size(), base) == 0 ? real.substr(base.size()) + '/' : std::string();
}

class Walk {
public:
    // Starts `nWorkers` workers; an adaptive walk (`maxWorkers` above `nWorkers`) may add
    // more up to `maxWorkers`. The handle budget may lower both. relBase: the path of
    // realRoot below the drive's directory ("a/b/"; "" for the drive's root), so that
    // path patterns match as in a scan of the whole drive.
    Walk(IFileSystem& fs, std::string realRoot, int nWorkers, int maxWorkers, const FolderFilter& filter,
         std::string relBase = {})
        : m_fs(fs), m_realRoot(std::move(realRoot)), m_filter(filter), m_relBase(std::move(relBase))
    {
        const int budget = fs.HandleBudget();
        // Readers first (at least the calling thread), then anchors with what is left.
        const int readers = std::clamp(budget / (2 * kHandlesPerReader), 1, std::max(nWorkers, maxWorkers) + 1);
        m_maxWorkers = readers - 1;
        const bool adaptive = maxWorkers > nWorkers && m_maxWorkers > nWorkers;
        m_hardAnchors = std::max(0, budget - kHandlesPerReader * readers);
        m_softAnchors = std::min(kSoftAnchors, m_hardAnchors / 2);
        m_root.enterable = !m_realRoot.empty();
        if (m_root.enterable && budget < kHandlesPerReader)
            m_failure.store(static_cast<int>(Failure::Descriptors));
        m_root.ready.store(!m_root.enterable || Failed() != Failure::None);
        if (!m_root.ready.load() && readers > 1) {
            m_queue.push_back(&m_root);
            const int first = std::min(nWorkers, m_maxWorkers);
            StartWorkers(first);
            // Growth starts once the first ones run, and only when all of them could start.
            std::lock_guard<std::mutex> lk(m_mutex);
            m_canGrow.store(adaptive && static_cast<int>(m_threads.size()) == first, std::memory_order_relaxed);
        }
    }
    ~Walk()
    {
        {
            std::lock_guard<std::mutex> lk(m_mutex);
            m_stop = true;
        }
        m_cv.notify_all();
        for (std::thread& t : m_threads) // no worker is added once m_stop is set
            t.join();
        TearDown();
    }

    WalkNode& Root() { return m_root; }
    Failure Failed() const { return static_cast<Failure>(m_failure.load(std::memory_order_acquire)); }
    void Fail(Failure why)
    {
        int none = static_cast<int>(Failure::None);
        m_failure.compare_exchange_strong(none, static_cast<int>(why), std::memory_order_acq_rel);
        std::lock_guard<std::mutex> lk(m_mutex);
        m_stop = true;
        m_cv.notify_all();
    }

    // Called by the calling thread when it needs `n`: reads it at once when no worker
    // has taken it yet. Returns false when a worker is reading it.
    bool ReadIfUntaken(WalkNode& n)
    {
        {
            std::lock_guard<std::mutex> lk(m_mutex);
            if (n.taken)
                return false;
            n.taken = true; // may stay in the queue; workers skip it
        }
        Read(n);
        return true;
    }
    // Called by the calling thread when n's whole subtree is recorded: frees its listing
    // and, without workers (whose queue may still point at them), its sub-folders.
    void Done(WalkNode& n)
    {
        if (n.listing) {
            n.listing.reset();
            if (m_ahead.fetch_sub(1, std::memory_order_relaxed) == kMaxAhead) {
                // Workers may be waiting for room: the lock orders this after their check.
                { std::lock_guard<std::mutex> lk(m_mutex); }
                m_cv.notify_all();
            }
        }
        if (m_hasWorkers.load(std::memory_order_relaxed))
            return;
        for (std::uint32_t k = 0; k < n.nKids; ++k)
            CloseHandle(n.kids[k]);
        n.kids.reset();
        n.nKids = 0;
    }

private:
    // The first workers. No lock is held while they are made, so the first ones start
    // working (and take their memory) while the next are made; nothing else adds
    // workers yet (m_canGrow is still false).
    void StartWorkers(int nWorkers)
    {
        m_threads.reserve(static_cast<std::size_t>(m_maxWorkers));
        m_hasWorkers.store(true, std::memory_order_relaxed); // before any worker reads it
        for (int i = 0; i < nWorkers; ++i)
            if (!AddWorker())
                break; // no more threads to be had: the ones started (or the calling thread) do the work
        std::lock_guard<std::mutex> lk(m_mutex);
        m_hasWorkers.store(!m_threads.empty(), std::memory_order_relaxed);
    }
    // Starts one more worker (the mutex held, or before growth starts). Returns false
    // when none can be had; then the walk stops growing.
    bool AddWorker()
    {
        try {
            m_threads.emplace_back([this] { Work(); });
            return true;
        } catch (const std::system_error&) {
        } catch (const std::bad_alloc&) {
        }
        m_canGrow.store(false, std::memory_order_relaxed);
        return false;
    }
    void Work()
    {
        unsigned reads = 0, waitsInARow = 0;
        while (WalkNode* n = Take()) {
            const bool sample = m_canGrow.load(std::memory_order_relaxed) && ++reads % kSampleEvery == 0;
            const bool waited = Read(*n, sample);
            if (!sample)
                continue;
            waitsInARow = waited ? waitsInARow + 1 : 0;
            if (waitsInARow >= kWaitsToGrow) {
                waitsInARow = 0;
                MaybeGrow();
            }
        }
    }
    // Adds a worker when directories wait, no worker is idle and the pool may grow.
    void MaybeGrow()
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        if (m_stop || m_idle > 0 || m_queue.empty() || !m_canGrow.load(std::memory_order_relaxed))
            return;
        if (static_cast<int>(m_threads.size()) >= m_maxWorkers) {
            m_canGrow.store(false, std::memory_order_relaxed);
            return;
        }
        AddWorker();
    }
    // The next directory for a worker; null when the walk ends. Waits while the queue
    // is empty or too many listings wait to be consumed (Done wakes it).
    WalkNode* Take()
    {
        std::unique_lock<std::mutex> lk(m_mutex);
        for (;;) {
            ++m_idle;
            m_cv.wait(lk, [&] {
                return m_stop || (!m_queue.empty() && m_ahead.load(std::memory_order_relaxed) < kMaxAhead);
            });
            --m_idle;
            if (m_stop)
                return nullptr;
            std::pop_heap(m_queue.begin(), m_queue.end(), LaterInPreOrder);
            WalkNode* n = m_queue.back();
            m_queue.pop_back();
            if (!n->taken) { // else the calling thread has read it already
                n->taken = true;
                return n;
            }
        }
    }
    IFileSystem::Handle Open(const WalkNode& n)
    {
        if (!n.parent)
            return m_fs.OpenDir(m_realRoot);
        const WalkNode* a = n.anchor;
        if (a && a == n.parent)
            return m_fs.OpenChild(a->handle, n.name);
        // Down from the anchor (or the root path), one name at a time.
        std::vector<const WalkNode*> chain;
        for (const WalkNode* p = n.parent; p != a && p->parent; p = p->parent)
            chain.push_back(p);
        bool owned = !a;
        IFileSystem::Handle cur = a ? a->handle : m_fs.OpenDir(m_realRoot);
        for (auto it = chain.rbegin(); it != chain.rend() && IFileSystem::IsOpen(cur); ++it) {
            const IFileSystem::Handle next = m_fs.OpenChild(cur, (*it)->name);
            if (owned)
                m_fs.Close(cur);
            cur = next;
            owned = true;
        }
        if (!IFileSystem::IsOpen(cur))
            return cur;
        const IFileSystem::Handle h = m_fs.OpenChild(cur, n.name);
        if (owned)
            m_fs.Close(cur);
        return h;
    }
    IFileSystem::Handle OpenPatiently(const WalkNode& n)
    {
        for (int attempt = 0;; ++attempt) {
            const IFileSystem::Handle h = Open(n);
            if (h != IFileSystem::kExhausted)
                return h;
            if (Failed() != Failure::None)
                return h;
            if (attempt == kOpenRetries) {
                Fail(Failure::Descriptors);
                return h;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(attempt + 1, 10)));
        }
    }
    // Reads n and hands its sub-folders on. When `sample`, returns whether opening and
    // listing it made the thread wait; otherwise false.
    bool Read(WalkNode& n, bool sample = false)
    {
        const std::uint64_t waitsBefore = sample ? ThreadBlockingWaits() : 0;
        bool waited = false;
        IFileSystem::Handle h = Failed() == Failure::None ? OpenPatiently(n) : IFileSystem::kInvalid;
        if (h == IFileSystem::kDenied)
            n.state = FolderState::NoAccess;
        else if (h == IFileSystem::kGone)
            n.state = FolderState::Vanished;
        else if (!IFileSystem::IsOpen(h))
            n.state = FolderState::ReadError;
        std::uint32_t waiting = 0;
        if (IFileSystem::IsOpen(h)) {
            try {
                waiting = List(n, h);
                waited = sample && ThreadBlockingWaits() != waitsBefore;
                if (waiting > 0 && Failed() == Failure::None) {
                    Anchor(n, h, waiting);
                    Publish(n, waiting);
                }
            } catch (const std::bad_alloc&) {
                Fail(Failure::Memory);
            }
        }
        if (IFileSystem::IsOpen(h))
            m_fs.Close(h);
        n.ready.store(true, std::memory_order_release);
        Release(n.anchor);
        return waited;
    }
    // Lists n into a fresh listing and makes the nodes of its sub-folders. Returns how many
    // of them wait to be read. Throws std::bad_alloc.
    std::uint32_t List(WalkNode& n, IFileSystem::Handle h)
    {
        auto listing = std::make_unique<DirListing>();
        const ListStatus status = m_fs.ReadListing(h, *listing);
        if (status == ListStatus::Exhausted) {
            Fail(Failure::Memory);
            return 0;
        }
        if (status == ListStatus::Denied || status == ListStatus::Gone || status == ListStatus::Unreadable) {
            // Not opened after all: as when the open says so, the folder has no listing.
            n.state = status == ListStatus::Denied ? FolderState::NoAccess
                      : status == ListStatus::Gone ? FolderState::Vanished
                                                   : FolderState::ReadError;
            return 0;
        }
        if (status == ListStatus::Broken) // what was read is kept, the folder is marked
            n.state = FolderState::ReadError;
        // The sub-folders are the directories the filter does not leave out.
        const std::string rel = m_filter.NeedsRelativePath() ? m_relBase + RelativePath(n) : std::string();
        auto isSubFolder = [&](const DirListing::Item& item) {
            if (!item.isDir)
                return false;
            const std::string_view name = listing->Name(item);
            if (!m_filter.NeedsRelativePath())
                return !m_filter.LeavesOut(name, std::string_view());
            return !m_filter.LeavesOut(name, rel + std::string(name));
        };
        std::uint32_t nKids = 0, waiting = 0;
        for (const DirListing::Item& item : listing->items) {
            if (isSubFolder(item))
                ++nKids;
            else if (!item.isDir)
                ++n.nFiles;
        }
        if (nKids > 0) {
            auto kids = std::make_unique<WalkNode[]>(nKids);
            const std::uint64_t kidSpan = n.span / nKids;
            std::uint32_t k = 0;
            for (const DirListing::Item& item : listing->items) {
                if (k == nKids || !isSubFolder(item))
                    continue;
                WalkNode& kid = kids[k];
                kid.order = n.order + kidSpan * k++;
                kid.span = kidSpan;
                kid.parent = &n;
                kid.level = n.level + 1;
                kid.name.assign(listing->Name(item));
                kid.enterable = !item.otherDevice;
                if (kid.enterable)
                    ++waiting;
                else
                    kid.ready.store(true, std::memory_order_relaxed);
            }
            n.kids = std::move(kids);
            n.nKids = nKids;
        }
        n.listing = std::move(listing);
        m_ahead.fetch_add(1, std::memory_order_relaxed);
        return waiting;
    }
    // Decides where n's waiting sub-folders are opened from: n itself (it keeps `h`, which
    // is then cleared) or n's own anchor. Returns that anchor.
    WalkNode* Anchor(WalkNode& n, IFileSystem::Handle& h, std::uint32_t waiting)
    {
        WalkNode* anchor = n.anchor;
        const int anchorLevel = anchor ? anchor->level : 0;
        const bool keep = TakeAnchorSlot(m_softAnchors) ||
                          ((!anchor || n.level - anchorLevel >= kReanchorLevels) && TakeAnchorSlot(m_hardAnchors));
        if (keep) {
            n.handle = h;
            h = IFileSystem::kInvalid;
            n.refs.store(static_cast<std::int32_t>(waiting), std::memory_order_relaxed);
            anchor = &n;
        } else if (anchor) {
            anchor->refs.fetch_add(static_cast<std::int32_t>(waiting), std::memory_order_relaxed);
        }
        for (std::uint32_t k = 0; k < n.nKids; ++k)
            if (n.kids[k].enterable)
                n.kids[k].anchor = anchor;
        return anchor;
    }
    // Hands n's waiting sub-folders to the workers (with workers only).
    void Publish(WalkNode& n, std::uint32_t waiting)
    {
        if (!m_hasWorkers.load(std::memory_order_relaxed))
            return;
        std::uint32_t wake = 0;
        {
            std::lock_guard<std::mutex> lk(m_mutex);
            m_queue.reserve(m_queue.size() + waiting);
            for (std::uint32_t k = 0; k < n.nKids; ++k)
                if (n.kids[k].enterable) {
                    m_queue.push_back(&n.kids[k]);
                    std::push_heap(m_queue.begin(), m_queue.end(), LaterInPreOrder);
                }
            wake = std::min(waiting, static_cast<std::uint32_t>(m_idle));
        }
        // As many idle workers as there are new directories, not the whole pool.
        for (std::uint32_t i = 0; i < wake; ++i)
            m_cv.notify_one();
    }
    bool TakeAnchorSlot(int limit)
    {
        int held = m_held.load(std::memory_order_relaxed);
        while (held < limit)
            if (m_held.compare_exchange_weak(held, held + 1, std::memory_order_relaxed))
                return true;
        return false;
    }
    void Release(WalkNode* anchor)
    {
        if (anchor && anchor->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            m_fs.Close(anchor->handle);
            anchor->handle = IFileSystem::kInvalid;
            m_held.fetch_sub(1, std::memory_order_relaxed);
        }
    }
    void CloseHandle(WalkNode& n)
    {
        if (IFileSystem::IsOpen(n.handle)) {
            m_fs.Close(n.handle);
            n.handle = IFileSystem::kInvalid;
        }
    }
    // Closes the handles still held (a stopped or failed walk) and frees the nodes from
    // the bottom up, without recursion or allocation: a tree may be deeper than any
    // stack. Each node's nKids counts down the sub-folders not yet freed.
    void TearDown()
    {
        WalkNode* n = &m_root;
        while (n) {
            while (n->nKids > 0 && !n->kids[n->nKids - 1].kids) {
                CloseHandle(n->kids[n->nKids - 1]);
                --n->nKids;
            }
            if (n->nKids > 0) {
                n = &n->kids[n->nKids - 1];
                continue;
            }
            n->kids.reset();
            CloseHandle(*n);
            n = n->parent;
        }
    }

    IFileSystem& m_fs;
    std::string m_realRoot;
    const FolderFilter& m_filter; // which directories are left out
    const std::string m_relBase;   // the walk root's path below the drive's directory
    WalkNode m_root;
    int m_hardAnchors = 0; // anchors the budget allows at most
    int m_maxWorkers = 0;  // workers the walk may have at most
    std::atomic<bool> m_canGrow{false}; // an adaptive walk below m_maxWorkers
    int m_softAnchors = 0; // anchors kept freely; beyond, only every kReanchorLevels levels
    std::vector<std::thread> m_threads; // guarded by the mutex; joined by the destructor
    std::atomic<bool> m_hasWorkers{false};
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<WalkNode*> m_queue; // heap of directories waiting to be read (only with workers)
    bool m_stop = false;
    int m_idle = 0; // workers waiting in Take (guarded by the mutex)
    std::atomic<int> m_failure{0};
    std::atomic<int> m_held{0};  // handles kept by anchors
    std::atomic<int> m_ahead{0}; // listings read and not yet consumed
};

// The calling thread's side: records the folders in pre-order as their listings come.
class Recorder {
public:
    Recorder(Walk& walk, ReportBuilder& builder, ScanEnvironment& env, WalkCounts& counts)
        : m_walk(walk), m_builder(builder), m_env(env), m_counter(env.options), m_counts(counts)
    {
    }
    WalkResult Run(const std::string& strRootPath, int nLevel)
    {
        if (Enter(m_walk.Root(), strRootPath, nLevel, kNoTime))
            while (!m_frames.empty() && !Stopped() && m_walk.Failed() == Failure::None)
                Step(m_frames.back());
        if (m_walk.Failed() != Failure::None)
            return WalkResult::Failed;
        // A stopped walk's report is finished too: what was read stays usable.
        m_builder.Finish();
        return m_stopped ? WalkResult::Stopped : WalkResult::Complete;
    }

private:
    struct Frame {
        WalkNode* node;
        FolderRecord* rec;
        std::uint32_t nextItem;
        std::uint32_t nextKid;
    };
    // Records one folder and waits for its listing; pushes its frame. Returns false when
    // the walk stopped or failed. Throws std::bad_alloc.
    bool Enter(WalkNode& node, std::string path, int level, std::int64_t nChange)
    {
        m_env.pump.PumpMessages();
        if (Stopped())
            return false;
        FolderRecord& rec = m_builder.EnterFolder(std::move(path), level);
        m_env.progress.SetStatus(rec.strPath);
        if (!WaitReady(node))
            return false;
        if (!node.enterable)
            ++m_counts.nOtherFs;
        else if (!node.listing || node.state != FolderState::Read) // a broken listing too
            ++m_counts.nUnreadable;
        // The folder's own change time comes from its parent's listing; the walk's first
        // folder has none and takes its own listing's.
        if (nChange == kNoTime && node.listing)
            nChange = node.listing->selfChange;
        rec.nNewestChange = nChange;
        rec.state = !node.enterable ? FolderState::OtherFs : node.state;
        m_builder.ExpectFiles(node.nFiles); // the listing is known: the files array is sized exactly
        m_frames.push_back(Frame{&node, &rec, 0, 0});
        return true;
    }
    // Makes sure `n` has been read: reads it here when no worker has taken it, otherwise
    // waits for the worker, pumping messages meanwhile. The workers do not signal: the
    // calling thread sleeps in short slices, so a walk costs a few thousand wake-ups in
    // all rather than one per folder. Returns false when the walk stopped or failed.
    bool WaitReady(WalkNode& n)
    {
        constexpr int kSpinsBeforeShowing = 16 + 10; // about 2 ms of sleeping
        if (!n.ready.load(std::memory_order_acquire) && !m_walk.ReadIfUntaken(n)) {
            for (int spin = 0; !n.ready.load(std::memory_order_acquire); ++spin) {
                if (spin < 16) {
                    std::this_thread::yield();
                    continue;
                }
                if (spin == kSpinsBeforeShowing)
                    m_env.progress.ShowPendingText(); // a wait long enough to be seen
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                m_env.pump.PumpMessages();
                if (Stopped())
                    return false;
            }
        }
        return m_walk.Failed() == Failure::None;
    }
    // Takes the next entry of the innermost folder: enters a sub-folder or adds a file;
    // leaves the folder when its listing is done.
    void Step(Frame& top)
    {
        const DirListing* l = top.node->listing.get();
        if (!l || top.nextItem >= l->items.size()) {
            m_walk.Done(*top.node);
            m_frames.pop_back();
            m_builder.LeaveFolder();
            return;
        }
        const DirListing::Item& item = l->items[top.nextItem++];
        if (!item.isDir) {
            // Decided here, in walk order: the first name of a hard-linked file counts.
            const bool counts = m_counter.Counts(item.device, item.inode);
            m_builder.AddFile(l->Name(item), m_counter.ListedSize(item.size, item.allocated),
                              m_counter.OtherSize(item.size, item.allocated), item.mtime, counts);
            return;
        }
        // The reader kept the sub-folders the filter lets in, in listing order, and names
        // within one directory are unique.
        if (top.nextKid >= top.node->nKids || top.node->kids[top.nextKid].name != l->Name(item)) {
            ++m_counts.nLeftOut; // with everything below it
            return;
        }
        WalkNode& kid = top.node->kids[top.nextKid++];
        const std::string& parentPath = top.rec->strPath;
        std::string childPath;
        childPath.reserve(parentPath.size() + item.nameLength + 1);
        childPath.append(parentPath);
        AppendPathStep(childPath, l->Name(item));
        Enter(kid, std::move(childPath), top.rec->nLevel + 1, item.mtime); // `top` may move
    }
    bool Stopped()
    {
        m_stopped = m_stopped || m_env.pump.StopRequested();
        return m_stopped;
    }

    Walk& m_walk;
    ReportBuilder& m_builder;
    ScanEnvironment& m_env;
    FileCounter m_counter;
    WalkCounts& m_counts;
    std::vector<Frame> m_frames;
    bool m_stopped = false;
};

} // namespace

int WalkerThreads(const ScanEnvironment& env)
{
    if (env.nThreads > 0)
        return env.nThreads;
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

static int MaxWalkerThreads(const ScanEnvironment& env)
{
    return env.nThreads > 0 ? env.nThreads : std::max(kMaxWorkers, WalkerThreads(env));
}

WalkResult WalkDrive(ReportBuilder& builder, const std::string& strRootPath, ScanEnvironment& env,
                     std::string& message, WalkCounts* counts)
{
    return WalkFolder(builder, strRootPath, 0, env, message, counts);
}

WalkResult WalkFolder(ReportBuilder& builder, const std::string& strFolderPath, int nLevel, ScanEnvironment& env,
                      std::string& message, WalkCounts* counts)
{
    WalkCounts unused;
    // A fixed count N is the calling thread and N - 1 workers (1: the calling thread
    // alone); without one the walk starts one worker per core and may add more.
    const int nWorkers = env.nThreads > 0 ? env.nThreads - 1 : WalkerThreads(env);
    const int maxWorkers = env.nThreads > 0 ? env.nThreads - 1 : MaxWalkerThreads(env);
    try {
        // A drive's root is its mapped directory as it is; a folder below it needs the
        // mapping, and path patterns see it from the drive's directory.
        const std::string top = env.drives.Directory(DriveOfPath(strFolderPath));
        std::string real = nLevel == 0 ? top : env.drives.RealPath(strFolderPath).value_or(std::string());
        if (nLevel > 0 && real.empty()) {
            message = kMsgNotMapped;
            return WalkResult::Failed;
        }
        const FolderFilter filter(env.options);
        Walk walk(env.fs, real, nWorkers, maxWorkers, filter,
                  nLevel > 0 ? RelativeBase(top, real) : "");
        const WalkResult result = Recorder(walk, builder, env, counts ? *counts : unused).Run(strFolderPath, nLevel);
        if (result == WalkResult::Failed)
            message = walk.Failed() == Failure::Descriptors ? kMsgTooManyOpenFiles : kMsgOutOfMemory;
        return result;
    } catch (const std::bad_alloc&) {
        message = kMsgOutOfMemory;
        return WalkResult::Failed;
    }
}

} // namespace tvl
