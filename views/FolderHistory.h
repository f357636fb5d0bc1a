// Back and Forward through the folders the user selected, as a browser goes through
// pages. Folders are kept by path, so a report refilled or edited meanwhile does no
// harm: a path that is no longer in the report is skipped. No Qt.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tvl {

class FolderHistory {
public:
    static constexpr std::size_t kMaxEntries = 200;

    // A folder was selected: it becomes the current entry and the entries ahead of the
    // old current one are dropped. The current folder again changes nothing.
    void Visit(const std::string& path);
    // The path Back or Forward goes to, skipping paths that `exists` refuses, and makes
    // it current; "" (and nothing changes) when there is none.
    std::string Back(const std::function<bool(const std::string&)>& exists);
    std::string Forward(const std::function<bool(const std::string&)>& exists);
    bool CanGoBack() const { return m_nCurrent > 0; }
    bool CanGoForward() const { return m_nCurrent + 1 < m_entries.size(); }
    void Clear() { m_entries.clear(); m_nCurrent = 0; }

private:
    std::vector<std::string> m_entries;
    std::size_t m_nCurrent = 0; // valid while m_entries is not empty
};

} // namespace tvl
