// The file system of a shared walk's recording process (see DeliveredFileSystem.h).
#include "DeliveredFileSystem.h"

#include <algorithm>

namespace tvl {

DeliveredFileSystem::DeliveredFileSystem(std::string realRoot) : m_realRoot(std::move(realRoot)) {}

void DeliveredFileSystem::Deliver(ReadDirectory&& dir)
{
    {
        std::lock_guard<std::mutex> lk(m_mutex);
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
    const std::string& path = open->second;
    decltype(m_delivered)::iterator it;
    m_cv.wait(lk, [&] { return m_abandoned || (it = m_delivered.find(path)) != m_delivered.end(); });
    if (m_abandoned)
        return ListStatus::Exhausted;
    ReadDirectory got = std::move(it->second);
    m_delivered.erase(it);
    lk.unlock();
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

std::size_t DeliveredFileSystem::MostWaiting() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_mostWaiting;
}

} // namespace tvl
