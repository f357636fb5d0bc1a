#include "FolderHistory.h"

namespace tvl {

void FolderHistory::Visit(const std::string& path)
{
    if (path.empty() || (!m_entries.empty() && m_entries[m_nCurrent] == path))
        return;
    if (!m_entries.empty())
        m_entries.resize(m_nCurrent + 1);
    m_entries.push_back(path);
    if (m_entries.size() > kMaxEntries)
        m_entries.erase(m_entries.begin());
    m_nCurrent = m_entries.size() - 1;
}

std::string FolderHistory::Back(const std::function<bool(const std::string&)>& exists)
{
    for (std::size_t i = m_nCurrent; i-- > 0;)
        if (exists(m_entries[i])) {
            m_nCurrent = i;
            return m_entries[i];
        }
    return {};
}

std::string FolderHistory::Forward(const std::function<bool(const std::string&)>& exists)
{
    for (std::size_t i = m_nCurrent + 1; i < m_entries.size(); ++i)
        if (exists(m_entries[i])) {
            m_nCurrent = i;
            return m_entries[i];
        }
    return {};
}

} // namespace tvl
