#include "test_support.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace tvl::test {

FakeFileSystem::FakeFileSystem() : m_root(std::make_unique<Node>())
{
    m_root->isDir = true;
}

FakeFileSystem::Node* FakeFileSystem::Find(Node& from, const std::string& name)
{
    for (auto& c : from.children)
        if (c->name == name)
            return c.get();
    return nullptr;
}

FakeFileSystem::Node& FakeFileSystem::Dir(const std::string& path)
{
    Node* cur = m_root.get();
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        std::string name = path.substr(start, end - start);
        Node* next = Find(*cur, name);
        if (!next) {
            cur->children.push_back(std::make_unique<Node>());
            next = cur->children.back().get();
            next->name = name;
            next->isDir = true;
        }
        cur = next;
        start = end + 1;
    }
    return *cur;
}

FakeFileSystem::Node& FakeFileSystem::File(const std::string& path, std::uint64_t size)
{
    const std::size_t slash = path.rfind('/');
    Node& dir = slash == std::string::npos ? *m_root : Dir(path.substr(0, slash));
    dir.children.push_back(std::make_unique<Node>());
    Node& f = *dir.children.back();
    f.name = slash == std::string::npos ? path : path.substr(slash + 1);
    f.size = size;
    return f;
}

IFileSystem::Handle FakeFileSystem::OpenDir(const std::string& realPath)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (realPath != m_rootPath || !m_root->openable)
        return kInvalid;
    Handle h = m_next++;
    m_open[h] = m_root.get();
    maxOpenHandles = std::max(maxOpenHandles, ++openHandles);
    return h;
}

IFileSystem::Handle FakeFileSystem::OpenChild(Handle parent, const std::string& name)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_open.find(parent);
    if (it == m_open.end())
        return kInvalid;
    Node* child = Find(*it->second, name);
    if (!child || !child->isDir)
        return kInvalid;
    if (!child->openable)
        return child->failure;
    Handle h = m_next++;
    m_open[h] = child;
    maxOpenHandles = std::max(maxOpenHandles, ++openHandles);
    return h;
}

ListStatus FakeFileSystem::ReadListing(Handle dir, DirListing& out)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_open.find(dir);
    if (it == m_open.end())
        return ListStatus::Broken;
    for (auto& c : it->second->children) {
        out.Add(c->name, c->isDir ? 0 : c->size, c->isDir, c->otherDevice, c->allocated, c->inode ? 1u : 0u, c->inode);
        if (it->second->broken)
            return ListStatus::Broken;
    }
    return ListStatus::Complete;
}

void FakeFileSystem::Close(Handle dir)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_open.erase(dir))
        --openHandles;
}

ScanFixture::ScanFixture(IFileSystem& fs, const std::string& root, int nThreads)
    : env{fs, drives, progress, messages, pump, nThreads}
{
    drives.Set('C', root);
}

std::unique_ptr<DriveReport> ScanFixture::Scan(bool storeFiles, int rankingSize)
{
    auto r = std::make_unique<DriveReport>();
    r->CreateReport('C', storeFiles, rankingSize, env);
    return r;
}

std::string CheckReportInvariants(const DriveReport& r)
{
    const auto& list = r.Folders();
    if (static_cast<int>(list.size()) != r.nFolders)
        return "nFolders disagrees with the list";
    if (list.empty())
        return "";
    if (list[0]->nLevel != 0 || list[0]->pParent || list[0]->strPath != std::string(1, r.cDrive) + ":\\")
        return "the root is not first";
    std::vector<const FolderRecord*> ancestors; // the chain of open folders
    std::map<const FolderRecord*, std::int64_t> childSums;
    for (const FolderRecord* f : list) {
        while (!ancestors.empty() && ancestors.back()->nLevel >= f->nLevel)
            ancestors.pop_back();
        const FolderRecord* expected = ancestors.empty() ? nullptr : ancestors.back();
        if (f->pParent != expected)
            return "wrong parent for " + f->strPath;
        if (expected) {
            if (f->nLevel != expected->nLevel + 1)
                return "level jump at " + f->strPath;
            if (f->strPath.compare(0, expected->strPath.size(), expected->strPath) != 0)
                return "path does not extend the parent's: " + f->strPath;
            childSums[expected] += f->nSpaceWithSubs;
        }
        ancestors.push_back(f);
    }
    for (const FolderRecord* f : list)
        if (f->nSpaceWithSubs != f->nSpaceWithoutSubs + childSums[f])
            return "space with subs does not add up at " + f->strPath;
    return "";
}

std::vector<std::string> Paths(const DriveReport& r)
{
    std::vector<std::string> out;
    for (const FolderRecord* f : r.Folders())
        out.push_back(f->strPath);
    return out;
}

const FolderRecord* Find(const DriveReport& r, const std::string& path)
{
    for (const FolderRecord* f : r.Folders())
        if (f->strPath == path)
            return f;
    return nullptr;
}

} // namespace tvl::test
