#include "Report.h"

#include <algorithm>
#include <cstring>

namespace tvl {

void DriveReport::FreeFolders()
{
    m_list.clear();
    m_list.shrink_to_fit();
    m_records.clear();
    m_uncounted.clear();
    nFolders = 0;
    bAvailable = true;
}

FolderRecord* DriveReport::GetFolder(int nPos) const
{
    if (nPos < 0 || static_cast<std::size_t>(nPos) >= m_list.size())
        return nullptr;
    return m_list[static_cast<std::size_t>(nPos)];
}

FolderRecord& DriveReport::AppendFolder(std::string strPath, FolderRecord* pParent, std::int32_t nLevel)
{
    // Grow geometrically (reserve(size + 1) would copy the whole list on every append);
    // reserving first means a failure throws before anything changes.
    if (m_list.size() == m_list.capacity())
        m_list.reserve(m_list.empty() ? 64 : m_list.size() * 2);
    FolderRecord& rec = m_records.emplace_back();
    rec.strPath = std::move(strPath);
    rec.pParent = pParent;
    rec.nLevel = nLevel;
    m_list.push_back(&rec);
    ++nFolders;
    return rec;
}

void DriveReport::SortFolders()
{
    // Path order compares paths name by name, so it is the pre-order of the folder tree
    // with the children of every folder sorted by their names. Sorting each folder's
    // children and walking the tree gives the same list as sorting whole paths, but
    // compares only names: deep trees no longer cost the length of their paths. The
    // children of the folder at p are found by jumping over subtrees (nDescendants).
    const std::size_t n = m_list.size();
    if (n < 2)
        return;
    std::vector<FolderRecord*> sorted;
    sorted.reserve(n);
    std::vector<std::size_t> children;
    std::vector<std::size_t> stack{0}; // positions in m_list still to be put out
    while (!stack.empty()) {
        const std::size_t p = stack.back();
        stack.pop_back();
        FolderRecord* parent = m_list[p];
        sorted.push_back(parent);
        children.clear();
        const std::size_t end = p + 1 + static_cast<std::size_t>(parent->nDescendants);
        for (std::size_t c = p + 1; c < end; c += 1 + static_cast<std::size_t>(m_list[c]->nDescendants))
            children.push_back(c);
        const std::size_t prefix = parent->strPath.size();
        std::sort(children.begin(), children.end(), [&](std::size_t a, std::size_t b) {
            return CompareFolderPaths(std::string_view(m_list[a]->strPath).substr(prefix),
                                      std::string_view(m_list[b]->strPath).substr(prefix)) < 0;
        });
        stack.insert(stack.end(), children.rbegin(), children.rend());
    }
    m_list.swap(sorted);
}

SizeKind PrimaryKind(const DriveReport& drive)
{
    return drive.pFacts && drive.pFacts->options.bDiscUsage ? SizeKind::DiscUsage : SizeKind::Length;
}

bool CanShow(const DriveReport& drive, SizeKind kind)
{
    return kind == PrimaryKind(drive) || drive.bFolderFacts;
}

SizeKind ShownKind(const DriveReport& drive, std::optional<SizeKind> wanted)
{
    return wanted && CanShow(drive, *wanted) ? *wanted : PrimaryKind(drive);
}

FolderSizes SizesOf(const DriveReport& drive, const FolderRecord& rec, SizeKind kind)
{
    if (kind == PrimaryKind(drive))
        return {rec.nSpaceWithoutSubs, rec.nSpaceWithSubs, rec.dPercentOfParent, rec.dPercentOfDisc};
    FolderSizes s{rec.nOtherWithoutSubs, rec.nOtherWithSubs, -1.0, -1.0};
    if (!rec.pParent)
        return s;
    const FolderRecord* root = drive.FirstFolder();
    const auto percent = [](std::int64_t part, std::int64_t whole) {
        return static_cast<double>(part) / static_cast<double>(whole) * 100.0;
    };
    s.dPercentOfParent = rec.pParent->nOtherWithSubs == 0 ? -1.0 : percent(s.nWithSubs, rec.pParent->nOtherWithSubs);
    s.dPercentOfDisc = root->nOtherWithSubs == 0 ? 0.0 : percent(s.nWithSubs, root->nOtherWithSubs);
    return s;
}

void SumSubtrees(DriveReport& drive)
{
    const std::vector<FolderRecord*>& list = drive.Folders();
    for (FolderRecord* rec : list) {
        rec->nSpaceWithSubs = rec->nSpaceWithoutSubs;
        rec->nOtherWithSubs = rec->nOtherWithoutSubs;
        rec->nItemsWithSubs = rec->nFiles;
    }
    // In reverse list order every folder is finished before its parent takes it.
    for (std::size_t i = list.size(); i-- > 1;) {
        const FolderRecord* rec = list[i];
        if (FolderRecord* parent = rec->pParent) {
            parent->nSpaceWithSubs += rec->nSpaceWithSubs;
            parent->nOtherWithSubs += rec->nOtherWithSubs;
            parent->nItemsWithSubs += rec->nItemsWithSubs + 1;
            parent->nNewestChange = std::max(parent->nNewestChange, rec->nNewestChange);
        }
    }
}

const char* FolderStateName(FolderState state)
{
    switch (state) {
    case FolderState::Read: return "read";
    case FolderState::NoAccess: return "no-access";
    case FolderState::Vanished: return "vanished";
    case FolderState::ReadError: return "read-error";
    case FolderState::OtherFs: return "other-fs";
    case FolderState::LeftOut: return "left-out";
    }
    return "read";
}

const char* FolderStateText(FolderState state)
{
    switch (state) {
    case FolderState::Read: return "";
    case FolderState::NoAccess: return "Could not be read: permission denied";
    case FolderState::Vanished: return "Could not be read: it vanished while being read";
    case FolderState::ReadError: return "Could not be read: input/output error";
    case FolderState::OtherFs: return "Other file system, not entered";
    case FolderState::LeftOut: return "Left out by the scan options";
    }
    return "";
}

int CompareFolderPaths(std::string_view a, std::string_view b)
{
    const std::size_t na = a.size(), nb = b.size();
    std::size_t i = 0; // start of the current name in both paths (equal so far)
    while (i < na && i < nb) {
        // The current name runs up to and including the next backslash.
        std::size_t ea = a.find('\\', i);
        std::size_t eb = b.find('\\', i);
        ea = ea == std::string_view::npos ? na : ea + 1;
        eb = eb == std::string_view::npos ? nb : eb + 1;
        const std::size_t la = ea - i, lb = eb - i;
        const std::size_t n = std::min(la, lb);
        for (std::size_t k = 0; k < n; ++k) {
            const unsigned char ca = FoldCase(static_cast<unsigned char>(a[i + k]));
            const unsigned char cb = FoldCase(static_cast<unsigned char>(b[i + k]));
            if (ca != cb)
                return ca < cb ? -1 : 1;
        }
        if (la != lb)
            return la < lb ? -1 : 1;
        // Equal without case: the raw bytes decide at this name.
        if (int raw = std::memcmp(a.data() + i, b.data() + i, la); raw != 0)
            return raw < 0 ? -1 : 1;
        i = ea;
    }
    if (na == nb)
        return 0;
    return na < nb ? -1 : 1;
}

} // namespace tvl
