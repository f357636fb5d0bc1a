// A file system that answers as a remote one does: every open, every listing and every
// entry's stat costs a fixed wait, on top of the real file system below. The waits
// sleep, so they cost time, not processor, as a network round trip does.
#pragma once

#include "FileSystem.h"

#include <chrono>
#include <thread>

namespace tvl {

struct Latency {
    std::chrono::microseconds open{0}, list{0}, stat{0};
};

class LatencyFileSystem final : public IFileSystem {
public:
    LatencyFileSystem(IFileSystem& inner, Latency latency) : m_inner(inner), m_latency(latency) {}
    Handle OpenDir(const std::string& path) override
    {
        Wait(m_latency.open);
        return m_inner.OpenDir(path);
    }
    Handle OpenChild(Handle parent, const std::string& name) override
    {
        Wait(m_latency.open);
        return m_inner.OpenChild(parent, name);
    }
    ListStatus ReadListing(Handle dir, DirListing& out) override
    {
        const std::size_t before = out.items.size();
        const ListStatus status = m_inner.ReadListing(dir, out);
        Wait(m_latency.list + m_latency.stat * static_cast<long>(out.items.size() - before));
        return status;
    }
    void Close(Handle dir) override { m_inner.Close(dir); }
    int HandleBudget() override { return m_inner.HandleBudget(); }

private:
    static void Wait(std::chrono::microseconds d)
    {
        if (d.count() > 0)
            std::this_thread::sleep_for(d);
    }
    IFileSystem& m_inner;
    const Latency m_latency;
};

} // namespace tvl
