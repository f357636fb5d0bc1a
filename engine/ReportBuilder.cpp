#include "ReportBuilder.h"

#include <algorithm>

namespace tvl {

FolderRecord& ReportBuilder::EnterFolder(std::string strPath, std::int32_t nLevel)
{
    while (!m_open.empty() && m_open.back().rec->nLevel >= nLevel)
        LeaveFolder();
    // Room first, so that a failure leaves everything as it was. Geometric growth: a
    // crafted file of a million nested folders must not copy this stack each time.
    if (m_open.size() == m_open.capacity())
        m_open.reserve(m_open.empty() ? 16 : m_open.size() * 2);
    FolderRecord* parent = Current();
    const std::size_t pos = m_drive.Folders().size();
    FolderRecord& rec = m_drive.AppendFolder(std::move(strPath), parent, nLevel);
    if (m_origin == Origin::Scan) {
        // The root and the first level start shown and expandable; the root counts as
        // expanded until the report is finished.
        rec.bVisible = rec.bHasSubFolders = nLevel < 2;
        rec.bExpanded = nLevel == 0;
    } else {
        rec.bVisible = pos == 0;
        rec.bExpanded = false;
        rec.bHasSubFolders = false;
    }
    if (parent)
        parent->bHasSubFolders = true;
    m_open.push_back(Open{&rec, pos});
    return rec;
}

void ReportBuilder::ExpectFiles(std::size_t nFiles)
{
    FolderRecord* rec = Current();
    if (rec && m_drive.bStoreFileNames)
        rec->files.reserve(rec->files.size() + nFiles);
}

void ReportBuilder::AddFile(std::string_view strName, std::int64_t nSize, bool bCounts)
{
    FolderRecord& rec = *Current();
    if (bCounts)
        rec.nSpaceWithoutSubs += nSize;
    if (bCounts && m_drive.nRankingSize > 0)
        m_drive.InsertRankEntry(strName, rec.strPath, nSize);
    if (m_drive.bStoreFileNames) {
        rec.files.push_back(FileEntry{std::string(strName), nSize});
        if (!bCounts)
            m_drive.MarkUncounted(rec, rec.files.back().strName);
    }
}

void ReportBuilder::AddFile(std::string_view strName, std::int64_t nSize, std::int64_t nOtherSize,
                            std::int64_t nChange, bool bCounts)
{
    FolderRecord& rec = *Current();
    if (bCounts) {
        rec.nSpaceWithoutSubs += nSize;
        rec.nOtherWithoutSubs += nOtherSize;
        ++rec.nFiles;
    }
    rec.nNewestChange = std::max(rec.nNewestChange, nChange);
    if (bCounts && m_drive.nRankingSize > 0)
        m_drive.InsertRankEntry(strName, rec.strPath, nSize);
    if (m_drive.bStoreFileNames) {
        rec.files.push_back(FileEntry{std::string(strName), nSize, nOtherSize, nChange});
        if (!bCounts)
            m_drive.MarkUncounted(rec, rec.files.back().strName);
    }
}

void ReportBuilder::LeaveFolder()
{
    if (m_open.empty())
        return;
    const Open& top = m_open.back();
    top.rec->nDescendants = static_cast<std::int32_t>(m_drive.Folders().size() - top.pos - 1);
    m_open.pop_back();
}

void ReportBuilder::Finish()
{
    while (!m_open.empty())
        LeaveFolder();
    FolderRecord* root = m_drive.FirstFolder();
    if (root && m_origin == Origin::Scan) {
        root->bVisible = true;
        root->bExpanded = false;
    }
}

} // namespace tvl
