// The file system of a shared walk's recording process (see DeliveredFileSystem.h).
#include "DeliveredFileSystem.h"

#include <algorithm>

namespace tvl {

DeliveredFileSystem::DeliveredFileSystem(std::string realRoot, std::size_t window)
    : m_realRoot(std::move(realRoot)), m_window(std::max<std::size_t>(window, 1))
{
    m_due.push(Due{0, std::string()});
    m_keys.emplace(std::string(), Key{0, ~std::uint64_t(0)});
}

// The sub-folders of a listing just here, with their places in pre-order (the mutex
// held). Those the walk leaves out are never read, and so never asked for.
void DeliveredFileSystem::MakeDue(const std::string& parent, const DirListing& listing)
{
    Key key{0, 0};
    if (const auto it = m_keys.find(parent); it != m_keys.end()) {
        key = it->second;
        m_keys.erase(it);
    }
    std::uint64_t n = 0;
    for (const DirListing::Item& item : listing.items)
        n += item.isDir && !item.otherDevice;
    if (n == 0)
        return;
    const std::uint64_t span = key.span / n;
    std::uint64_t k = 0;
    for (const DirListing::Item& item : listing.items) {
        if (!item.isDir || item.otherDevice)
            continue;
        std::string path = ChildPath(parent, listing.Name(item));
        const std::uint64_t order = key.order + span * k++;
        m_keys.insert_or_assign(path, Key{order, span});
        m_due.push(Due{order, std::move(path)});
    }
}

void DeliveredFileSystem::Noticed(std::string path, int holder)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    const bool demanded = m_walkWaits && path == m_waitingFor;
    if (m_wanted.erase(path) > 0 || demanded) {
        if (m_requested < m_window || demanded) {
            m_asked.insert(path);
            m_fetch.emplace_back(std::move(path), holder);
            ++m_requested;
            return;
        }
        const auto key = m_keys.find(path);
        m_due.push(Due{key != m_keys.end() ? key->second.order : 0, path}); // when the window has room
    }
    m_noticed.insert_or_assign(std::move(path), holder);
}

// Decides what to ask for (the mutex held).
void DeliveredFileSystem::Plan()
{
    // The directory the walk waits for first, whatever the window.
    if (m_walkWaits && !m_asked.count(m_waitingFor) && !m_delivered.count(m_waitingFor)) {
        if (const auto it = m_noticed.find(m_waitingFor); it != m_noticed.end()) {
            m_asked.insert(it->first);
            m_fetch.emplace_back(it->first, it->second);
            m_noticed.erase(it);
            ++m_requested;
        } else {
            m_wanted.insert(m_waitingFor);
        }
    }
    while (m_requested < m_window && !m_due.empty()) {
        std::string path = m_due.top().path;
        m_due.pop();
        if (m_asked.count(path) || m_delivered.count(path))
            continue; // asked for while the walk waited for it
        if (const auto it = m_noticed.find(path); it != m_noticed.end()) {
            m_fetch.emplace_back(path, it->second);
            m_noticed.erase(it);
            m_asked.insert(std::move(path));
            ++m_requested;
        } else {
            m_wanted.insert(std::move(path)); // not read yet (or left out: never read)
        }
    }
}

std::vector<std::pair<std::string, int>> DeliveredFileSystem::ToFetch()
{
    std::lock_guard<std::mutex> lk(m_mutex);
    Plan();
    std::vector<std::pair<std::string, int>> fetch;
    fetch.swap(m_fetch);
    return fetch;
}

void DeliveredFileSystem::Deliver(ReadDirectory&& dir)
{
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        m_asked.erase(dir.path);
        MakeDue(dir.path, dir.listing);
        std::string key = dir.path;
        m_delivered.insert_or_assign(std::move(key), std::move(dir));
        m_mostWaiting = std::max(m_mostWaiting, m_delivered.size());
    }
    m_cv.notify_all();
}

void DeliveredFileSystem::Abandon()
{
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        m_abandoned = true;
    }
    m_cv.notify_all();
}

IFileSystem::Handle DeliveredFileSystem::OpenDir(const std::string& realPath)
{
    if (realPath != m_realRoot)
        return kInvalid;
    std::lock_guard<std::mutex> lk(m_mutex);
    const Handle h = m_next++;
    m_open.emplace(h, std::string());
    return h;
}

IFileSystem::Handle DeliveredFileSystem::OpenChild(Handle parent, const std::string& name)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    const auto it = m_open.find(parent);
    if (it == m_open.end())
        return kInvalid;
    std::string path = ChildPath(it->second, name);
    const Handle h = m_next++;
    m_open.emplace(h, std::move(path));
    return h;
}

ListStatus DeliveredFileSystem::ReadListing(Handle dir, DirListing& out)
{
    std::unique_lock<std::mutex> lk(m_mutex);
    const auto open = m_open.find(dir);
    if (open == m_open.end())
        return ListStatus::Unreadable;
    const std::string path = open->second;
    decltype(m_delivered)::iterator it;
    const auto arrived = [&] { return m_abandoned || (it = m_delivered.find(path)) != m_delivered.end(); };
    if (!arrived()) {
        m_waitingFor = path;
        m_walkWaits = true;
        ++m_nWaits;
        m_changed.notify_all();
        m_cv.wait(lk, arrived);
        m_walkWaits = false;
    }
    if (m_abandoned)
        return ListStatus::Exhausted;
    ReadDirectory got = std::move(it->second);
    m_delivered.erase(it);
    m_requested = m_requested > 0 ? m_requested - 1 : 0;
    lk.unlock();
    m_changed.notify_all();
    switch (got.outcome) {
    case ReadOutcome::Denied:
        return ListStatus::Denied;
    case ReadOutcome::Gone:
        return ListStatus::Gone;
    case ReadOutcome::Unreadable:
        return ListStatus::Unreadable;
    case ReadOutcome::Listed:
    case ReadOutcome::Broken:
        break;
    }
    out = std::move(got.listing);
    return got.outcome == ReadOutcome::Broken ? ListStatus::Broken : ListStatus::Complete;
}

void DeliveredFileSystem::Close(Handle dir)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    m_open.erase(dir);
}

void DeliveredFileSystem::WaitForChange(std::chrono::microseconds timeout)
{
    std::unique_lock<std::mutex> lk(m_mutex);
    m_changed.wait_for(lk, timeout);
}

std::size_t DeliveredFileSystem::WalkWaits() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_nWaits;
}

std::size_t DeliveredFileSystem::MostWaiting() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_mostWaiting;
}

} // namespace tvl
