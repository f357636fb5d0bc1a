// A walk shared by several processes (see SharedWalk.h).
#include "SharedWalk.h"

#include "Scan.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

namespace tvl {

namespace {

// How long a reader waits for a descriptor before it gives up: about 3 s, as the walk.
constexpr int kOpenRetries = 300;
constexpr int kHandlesPerReader = 2;

template <class T>
void Put(std::string& out, const T& v)
{
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

class Cursor {
public:
    explicit Cursor(std::string_view bytes) : m_bytes(bytes) {}
    template <class T>
    bool Get(T& v)
    {
        if (m_bytes.size() - m_pos < sizeof v)
            return false;
        std::memcpy(&v, m_bytes.data() + m_pos, sizeof v);
        m_pos += sizeof v;
        return true;
    }
    bool Bytes(std::size_t n, std::string& to)
    {
        if (m_bytes.size() - m_pos < n)
            return false;
        to.assign(m_bytes.data() + m_pos, n);
        m_pos += n;
        return true;
    }
    std::size_t Left() const { return m_bytes.size() - m_pos; }

private:
    std::string_view m_bytes;
    std::size_t m_pos = 0;
};

constexpr std::uint32_t kDirectoryMark = 0x52494454; // "TDIR"
constexpr std::uint32_t kWorkMark = 0x4b524f57;      // "WORK"

} // namespace

// The items go field by field, so that no padding byte of the struct travels.
void EncodeDirectory(const ReadDirectory& dir, std::string& out)
{
    const DirListing& l = dir.listing;
    out.reserve(out.size() + 32 + dir.path.size() + l.items.size() * 53 + l.names.size());
    Put(out, kDirectoryMark);
    Put(out, static_cast<std::uint8_t>(dir.outcome));
    Put(out, static_cast<std::uint64_t>(dir.path.size()));
    out.append(dir.path);
    Put(out, l.selfChange);
    Put(out, static_cast<std::uint64_t>(l.items.size()));
    Put(out, static_cast<std::uint64_t>(l.names.size()));
    for (const DirListing::Item& it : l.items) {
        Put(out, it.size);
        Put(out, it.nameOffset);
        Put(out, it.nameLength);
        Put(out, static_cast<std::uint8_t>((it.isDir ? 1 : 0) | (it.otherDevice ? 2 : 0)));
        Put(out, it.allocated);
        Put(out, it.device);
        Put(out, it.inode);
        Put(out, it.mtime);
    }
    out.append(l.names);
}

bool DecodeDirectory(std::string_view bytes, ReadDirectory& dir)
{
    Cursor c(bytes);
    std::uint32_t mark = 0;
    std::uint8_t outcome = 0;
    std::uint64_t pathSize = 0, nItems = 0, nameBytes = 0;
    if (!c.Get(mark) || mark != kDirectoryMark || !c.Get(outcome) ||
        outcome > static_cast<std::uint8_t>(ReadOutcome::Unreadable) || !c.Get(pathSize) || pathSize > c.Left() ||
        !c.Bytes(pathSize, dir.path) || !c.Get(dir.listing.selfChange) || !c.Get(nItems) || !c.Get(nameBytes))
        return false;
    constexpr std::size_t kItemBytes = 8 + 4 + 4 + 1 + 8 + 8 + 8 + 8;
    if (nItems > c.Left() / kItemBytes || nameBytes != c.Left() - nItems * kItemBytes)
        return false;
    dir.outcome = static_cast<ReadOutcome>(outcome);
    dir.listing.items.resize(nItems);
    for (DirListing::Item& it : dir.listing.items) {
        std::uint8_t flags = 0;
        c.Get(it.size), c.Get(it.nameOffset), c.Get(it.nameLength), c.Get(flags);
        c.Get(it.allocated), c.Get(it.device), c.Get(it.inode), c.Get(it.mtime);
        it.isDir = flags & 1;
        it.otherDevice = flags & 2;
        if (static_cast<std::uint64_t>(it.nameOffset) + it.nameLength + 1 > nameBytes) // each name ends in a NUL
            return false;
    }
    return c.Bytes(nameBytes, dir.listing.names);
}

void EncodeWork(const std::vector<std::string>& paths, std::string& out)
{
    Put(out, kWorkMark);
    Put(out, static_cast<std::uint64_t>(paths.size()));
    for (const std::string& p : paths) {
        Put(out, static_cast<std::uint64_t>(p.size()));
        out.append(p);
    }
}

bool DecodeWork(std::string_view bytes, std::vector<std::string>& paths)
{
    Cursor c(bytes);
    std::uint32_t mark = 0;
    std::uint64_t n = 0;
    if (!c.Get(mark) || mark != kWorkMark || !c.Get(n) || n > c.Left() / 8)
        return false;
    paths.resize(n);
    for (std::string& p : paths) {
        std::uint64_t size = 0;
        if (!c.Get(size) || size > c.Left() || !c.Bytes(size, p))
            return false;
    }
    return c.Left() == 0;
}

std::string ChildPath(std::string_view parent, std::string_view name)
{
    std::string path;
    path.reserve(parent.size() + 1 + name.size());
    path.append(parent);
    if (!parent.empty())
        path.push_back('/');
    path.append(name);
    return path;
}

// An open directory whose sub-folders wait to be opened through it; closed with the
// last of them.
struct SharedReader::Anchor {
    IFileSystem& fs;
    IFileSystem::Handle handle;
    std::atomic<int>& count;
    ~Anchor()
    {
        fs.Close(handle);
        count.fetch_sub(1, std::memory_order_relaxed);
    }
};

SharedReader::SharedReader(IFileSystem& fs, std::string realRoot, const ScanOptions& options, int nThreads,
                           Deliver deliver)
    : m_fs(fs), m_realRoot(std::move(realRoot)), m_filter(options), m_deliver(std::move(deliver))
{
    nThreads = std::max(1, nThreads);
    m_maxAnchors = std::max(0, fs.HandleBudget() - kHandlesPerReader * nThreads) / 2;
    try {
        for (int i = 0; i < nThreads; ++i)
            m_threads.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
        if (m_threads.empty())
            throw;
    }
}

SharedReader::~SharedReader()
{
    Stop();
    for (std::thread& t : m_threads)
        t.join();
}

void SharedReader::Stop()
{
    std::deque<Item> dropped;
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        m_stop = true;
        dropped.swap(m_queue);
    }
    m_cv.notify_all();
    m_changed.notify_all();
}

void SharedReader::Give(std::vector<std::string> paths)
{
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        if (m_stop)
            return;
        for (std::string& p : paths)
            m_queue.push_back(Item{std::move(p), nullptr});
    }
    m_cv.notify_all();
}

std::vector<std::string> SharedReader::Steal(std::size_t max)
{
    std::vector<std::string> taken;
    std::lock_guard<std::mutex> lk(m_mutex);
    const std::size_t n = std::min(max, m_queue.size() / 2);
    taken.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        taken.push_back(std::move(m_queue.front().path));
        m_queue.pop_front(); // its anchor goes with the last directory that needs it
    }
    return taken;
}

bool SharedReader::Idle() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_queue.empty() && m_busy == 0;
}

std::optional<std::string> SharedReader::Failure() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_failure;
}

std::uint64_t SharedReader::DirectoriesRead() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_read;
}

void SharedReader::WaitForChange(std::chrono::microseconds timeout) const
{
    std::unique_lock<std::mutex> lk(m_mutex);
    m_changed.wait_for(lk, timeout);
}

void SharedReader::Fail(std::string why)
{
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        if (!m_failure)
            m_failure = std::move(why);
        m_stop = true;
        m_queue.clear();
    }
    m_cv.notify_all();
    m_changed.notify_all();
}

void SharedReader::Work()
{
    for (;;) {
        Item item;
        {
            std::unique_lock<std::mutex> lk(m_mutex);
            m_cv.wait(lk, [&] { return m_stop || !m_queue.empty(); });
            if (m_stop)
                return;
            item = std::move(m_queue.back());
            m_queue.pop_back();
            ++m_busy;
        }
        try {
            Read(item);
        } catch (const std::bad_alloc&) {
            Fail(kMsgOutOfMemory);
        }
        item = Item{};
        {
            std::lock_guard<std::mutex> lk(m_mutex);
            --m_busy;
            ++m_read;
        }
        m_changed.notify_all();
    }
}

IFileSystem::Handle SharedReader::Open(const Item& item)
{
    if (item.path.empty())
        return m_fs.OpenDir(m_realRoot);
    const std::size_t slash = item.path.rfind('/');
    const std::string name = slash == std::string::npos ? item.path : item.path.substr(slash + 1);
    if (item.parent)
        return m_fs.OpenChild(item.parent->handle, name);
    // Down from the root, one name at a time.
    IFileSystem::Handle cur = m_fs.OpenDir(m_realRoot);
    std::size_t start = 0;
    while (IFileSystem::IsOpen(cur)) {
        const std::size_t end = item.path.find('/', start);
        const std::string step = item.path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const IFileSystem::Handle next = m_fs.OpenChild(cur, step);
        m_fs.Close(cur);
        cur = next;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return cur;
}

IFileSystem::Handle SharedReader::OpenPatiently(const Item& item)
{
    for (int attempt = 0;; ++attempt) {
        const IFileSystem::Handle h = Open(item);
        if (h != IFileSystem::kExhausted)
            return h;
        if (attempt == kOpenRetries)
            return h;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(attempt + 1, 10)));
    }
}

void SharedReader::Read(Item& item)
{
    ReadDirectory dir;
    dir.path = item.path;
    const IFileSystem::Handle h = OpenPatiently(item);
    item.parent.reset(); // the parent's handle may go now
    if (h == IFileSystem::kExhausted) {
        Fail(kMsgTooManyOpenFiles);
        return;
    }
    std::vector<Item> kids;
    if (!IFileSystem::IsOpen(h)) {
        dir.outcome = h == IFileSystem::kDenied ? ReadOutcome::Denied
                      : h == IFileSystem::kGone ? ReadOutcome::Gone
                                                : ReadOutcome::Unreadable;
    } else {
        ListStatus status;
        try {
            status = m_fs.ReadListing(h, dir.listing);
        } catch (const std::bad_alloc&) {
            m_fs.Close(h);
            throw;
        }
        if (status == ListStatus::Exhausted) {
            m_fs.Close(h);
            Fail(kMsgOutOfMemory);
            return;
        }
        dir.outcome = status == ListStatus::Broken ? ReadOutcome::Broken : ReadOutcome::Listed;
        // The sub-folders the recording walk enters, as it decides them (Walk.cpp).
        const std::string rel = m_filter.NeedsRelativePath() && !item.path.empty() ? item.path + '/' : std::string();
        for (const DirListing::Item& it : dir.listing.items) {
            if (!it.isDir || it.otherDevice)
                continue;
            const std::string_view name = dir.listing.Name(it);
            if (m_filter.LeavesOut(name, m_filter.NeedsRelativePath() ? rel + std::string(name) : std::string()))
                continue;
            kids.push_back(Item{ChildPath(item.path, name), nullptr});
        }
        std::shared_ptr<Anchor> anchor;
        if (!kids.empty() && m_anchors.fetch_add(1, std::memory_order_relaxed) < m_maxAnchors) {
            try {
                anchor = std::make_shared<Anchor>(m_fs, h, m_anchors);
            } catch (const std::bad_alloc&) {
                m_anchors.fetch_sub(1, std::memory_order_relaxed);
                m_fs.Close(h);
                throw;
            }
            for (Item& k : kids)
                k.parent = anchor;
        } else {
            if (!kids.empty())
                m_anchors.fetch_sub(1, std::memory_order_relaxed);
            m_fs.Close(h);
        }
    }
    {
        std::lock_guard<std::mutex> lk(m_deliverMutex);
        m_deliver(std::move(dir));
    }
    if (kids.empty())
        return;
    {
        // The first sub-folder on top, so that this process goes on in listing order.
        std::lock_guard<std::mutex> lk(m_mutex);
        if (m_stop)
            return;
        for (auto it = kids.rbegin(); it != kids.rend(); ++it)
            m_queue.push_back(std::move(*it));
    }
    m_cv.notify_all();
    m_changed.notify_all();
}

} // namespace tvl
