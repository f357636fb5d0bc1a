#include "Report.h"

#include <algorithm>
#include <cstring>

namespace tvl {

void DriveReport::FreeFolders()
{
    m_list.clear();
    m_list.shrink_to_fit();
    m_records.clear();
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
    m_list.reserve(m_list.size() + 1); // may throw before anything changes
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
    std::sort(m_list.begin(), m_list.end(), [](const FolderRecord* a, const FolderRecord* b) {
        return CompareFolderPaths(a->strPath, b->strPath) < 0;
    });
}

namespace {

inline unsigned char Fold(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

} // namespace

int CompareFolderPaths(const std::string& a, const std::string& b)
{
    const std::size_t na = a.size(), nb = b.size();
    std::size_t i = 0; // start of the current name in both paths (equal so far)
    while (i < na && i < nb) {
        // The current name runs up to and including the next backslash.
        std::size_t ea = a.find('\\', i);
        std::size_t eb = b.find('\\', i);
        ea = ea == std::string::npos ? na : ea + 1;
        eb = eb == std::string::npos ? nb : eb + 1;
        const std::size_t la = ea - i, lb = eb - i;
        const std::size_t n = std::min(la, lb);
        for (std::size_t k = 0; k < n; ++k) {
            const unsigned char ca = Fold(static_cast<unsigned char>(a[i + k]));
            const unsigned char cb = Fold(static_cast<unsigned char>(b[i + k]));
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
