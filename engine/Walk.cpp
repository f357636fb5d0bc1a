// The walk (see Walk.h).
//
// Work order: workers take directories from one shared stack and push the sub-folders
// of each directory they read in reverse listing order, so they move through the tree
// in about the pre-order in which the calling thread consumes it. Without workers
// nothing is pushed: the calling thread reads each directory when it comes to it.
//
// Handles: a directory is opened relative to its "anchor", the nearest ancestor that
// kept its handle (else from the drive's root path), one name at a time and never
// through a symbolic link. A directory keeps its handle while sub-folders wait to be
// opened through it, within the soft number of anchors, or beyond it when its anchor
// is kReanchorLevels or more levels up, within the hard number. The file system says
// how many handles the walk may hold; each reader needs two at a time, the anchors
// share the rest, so fewer workers run when descriptors are scarce. An open that still
// finds none free waits for handles to come back; when none do, the walk fails.
#include "Walk.h"

#include "PathNames.h"
#include "ReportBuilder.h"
#include "Scan.h"

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

enum class Failure : int { None, Memory, Descriptors };

// One directory of the walk. Made by the reader of its parent; read by one reader;
// consumed by the calling thread once `ready`. Its name and parent link serve to
// reopen descendants; the listing is freed as soon as the calling thread has consumed
// it. About 100 bytes per folder (96 of the node, plus names over 15 bytes). Without
// workers the sub-folders' nodes go once the folder's subtree is recorded; with them
// they stay until the walk ends (a worker's stack may still point at them): 10 MB for
// 100,000 folders, on top of the folder records.
struct WalkNode {
    WalkNode* parent = nullptr;
    std::unique_ptr<WalkNode[]> kids; // the sub-folders the filter lets in, listing order
    std::uint32_t nKids = 0;
    std::uint32_t nFiles = 0; // entries that are not directories
    std::int32_t level = 0;
    bool enterable = true;   // false: on another file system, recorded but not read
    bool taken = false;      // a reader has taken it (guarded by the mutex)
    std::string name;        // own name; empty for the root
    std::unique_ptr<DirListing> listing; // null when the directory could not be read
    IFileSystem::Handle handle = IFileSystem::kInvalid; // held while it is an anchor
    WalkNode* anchor = nullptr;     // where this directory is opened from (null: the root path)
    std::atomic<std::int32_t> refs{0}; // waiting directories anchored here
    std::atomic<bool> ready{false};    // read (or known unreadable); set last by the reader
};

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
    // relBase: the path of realRoot below the drive's directory ("a/b/"; "" for the
    // drive's root), so that path patterns match as in a scan of the whole drive.
    Walk(IFileSystem& fs, std::string realRoot, int nWorkers, const FolderFilter& filter, std::string relBase = {})
        : m_fs(fs), m_realRoot(std::move(realRoot)), m_filter(filter), m_relBase(std::move(relBase))
    {
        const int budget = fs.HandleBudget();
        // Readers first (at least the calling thread), then anchors with what is left.
        const int readers = std::clamp(budget / (2 * kHandlesPerReader), 1, nWorkers + 1);
        m_hardAnchors = std::max(0, budget - kHandlesPerReader * readers);
        m_softAnchors = std::min(kSoftAnchors, m_hardAnchors / 2);
        m_root.enterable = !m_realRoot.empty();
        if (m_root.enterable && budget < kHandlesPerReader)
            m_failure.store(static_cast<int>(Failure::Descriptors));
        m_root.ready.store(!m_root.enterable || Failed() != Failure::None);
        if (!m_root.ready.load() && readers > 1) {
            m_stack.push_back(&m_root);
            StartWorkers(readers - 1);
        }
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
            n.taken = true; // may stay on the stack; workers skip it
        }
        Read(n);
        return true;
    }
    // Called by the calling thread when n's whole subtree is recorded: frees its listing
    // and, without workers (whose stack may still point at them), its sub-folders.
    void Done(WalkNode& n)
    {
        if (n.listing) {
            n.listing.reset();
            m_ahead.fetch_sub(1, std::memory_order_relaxed);
        }
        if (m_hasWorkers.load(std::memory_order_relaxed))
            return;
        for (std::uint32_t k = 0; k < n.nKids; ++k)
            CloseHandle(n.kids[k]);
        n.kids.reset();
        n.nKids = 0;
    }

private:
    void StartWorkers(int nWorkers)
    {
        m_threads.reserve(static_cast<std::size_t>(nWorkers));
        m_hasWorkers.store(true, std::memory_order_relaxed); // before any worker reads it
        for (int i = 0; i < nWorkers; ++i) {
            try {
                m_threads.emplace_back([this, i] { Work(); });
            } catch (const std::system_error&) {
                break; // no more threads to be had: the ones started (or the calling thread) do the work
            }
        }
        m_hasWorkers.store(!m_threads.empty(), std::memory_order_relaxed);
    }
    void Work()
    {
        while (WalkNode* n = Take())
            Read(*n);
    }
    // The next directory for a worker; null when the walk ends. Waits while the stack
    // is empty or too many listings wait to be consumed.
    WalkNode* Take()
    {
        std::unique_lock<std::mutex> lk(m_mutex);
        for (;;) {
            m_cv.wait(lk, [&] { return m_stop || !m_stack.empty(); });
            if (m_stop)
                return nullptr;
            if (m_ahead.load(std::memory_order_relaxed) >= kMaxAhead) {
                lk.unlock();
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                lk.lock();
                continue;
            }
            WalkNode* n = m_stack.back();
            m_stack.pop_back();
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
    void Read(WalkNode& n)
    {
        IFileSystem::Handle h = Failed() == Failure::None ? OpenPatiently(n) : IFileSystem::kInvalid;
        std::uint32_t waiting = 0;
        if (IFileSystem::IsOpen(h)) {
            try {
                waiting = List(n, h);
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
    }
    // Lists n into a fresh listing and makes the nodes of its sub-folders. Returns how many
    // of them wait to be read. Throws std::bad_alloc.
    std::uint32_t List(WalkNode& n, IFileSystem::Handle h)
    {
        auto listing = std::make_unique<DirListing>();
        if (m_fs.ReadListing(h, *listing) == ListStatus::Exhausted) { // a broken listing keeps what was read
            Fail(Failure::Memory);
            return 0;
        }
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
        {
            std::lock_guard<std::mutex> lk(m_mutex);
            m_stack.reserve(m_stack.size() + waiting);
            for (std::uint32_t k = n.nKids; k > 0; --k)
                if (n.kids[k - 1].enterable)
                    m_stack.push_back(&n.kids[k - 1]);
        }
        if (waiting > 1)
            m_cv.notify_all();
        else
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
    int m_softAnchors = 0; // anchors kept freely; beyond, only every kReanchorLevels levels
    std::vector<std::thread> m_threads; // the calling thread's alone
    std::atomic<bool> m_hasWorkers{false};
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<WalkNode*> m_stack; // directories waiting to be read (only with workers)
    bool m_stop = false;
    std::atomic<int> m_failure{0};
    std::atomic<int> m_held{0};  // handles kept by anchors
    std::atomic<int> m_ahead{0}; // listings read and not yet consumed
};

// The calling thread's side: records the folders in pre-order as their listings come.
class Recorder {
public:
    Recorder(Walk& walk, ReportBuilder& builder, ScanEnvironment& env)
        : m_walk(walk), m_builder(builder), m_env(env), m_counter(env.options)
    {
    }
    WalkResult Run(const std::string& strRootPath, int nLevel)
    {
        if (Enter(m_walk.Root(), strRootPath, nLevel))
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
    bool Enter(WalkNode& node, std::string path, int level)
    {
        m_env.pump.PumpMessages();
        if (Stopped())
            return false;
        FolderRecord& rec = m_builder.EnterFolder(std::move(path), level);
        m_env.progress.SetStatus(rec.strPath);
        if (!WaitReady(node))
            return false;
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
        if (!n.ready.load(std::memory_order_acquire) && !m_walk.ReadIfUntaken(n)) {
            for (int spin = 0; !n.ready.load(std::memory_order_acquire); ++spin) {
                if (spin < 16) {
                    std::this_thread::yield();
                    continue;
                }
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
            m_builder.AddFile(l->Name(item), m_counter.ListedSize(item.size, item.allocated), counts);
            return;
        }
        // The reader kept the sub-folders the filter lets in, in listing order, and names
        // within one directory are unique.
        if (top.nextKid >= top.node->nKids || top.node->kids[top.nextKid].name != l->Name(item))
            return; // left out with everything below it
        WalkNode& kid = top.node->kids[top.nextKid++];
        const std::string& parentPath = top.rec->strPath;
        std::string childPath;
        childPath.reserve(parentPath.size() + item.nameLength + 1);
        childPath.append(parentPath);
        AppendPathStep(childPath, l->Name(item));
        Enter(kid, std::move(childPath), top.rec->nLevel + 1); // `top` may move
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

WalkResult WalkDrive(ReportBuilder& builder, const std::string& strRootPath, ScanEnvironment& env,
                     std::string& message)
{
    return WalkFolder(builder, strRootPath, 0, env, message);
}

WalkResult WalkFolder(ReportBuilder& builder, const std::string& strFolderPath, int nLevel, ScanEnvironment& env,
                      std::string& message)
{
    const int nThreads = WalkerThreads(env);
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
        Walk walk(env.fs, real, nThreads > 1 ? nThreads : 0, filter, nLevel > 0 ? RelativeBase(top, real) : "");
        const WalkResult result = Recorder(walk, builder, env).Run(strFolderPath, nLevel);
        if (result == WalkResult::Failed)
            message = walk.Failed() == Failure::Descriptors ? kMsgTooManyOpenFiles : kMsgOutOfMemory;
        return result;
    } catch (const std::bad_alloc&) {
        message = kMsgOutOfMemory;
        return WalkResult::Failed;
    }
}

} // namespace tvl
