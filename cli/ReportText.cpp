#include "ReportText.h"

#include "GroupThousands.h"

#include <algorithm>
#include <iomanip>

namespace tvl {

std::string FolderDisplayName(const std::string& strPath)
{
    if (strPath.empty())
        return std::string();
    std::string s = strPath.substr(0, strPath.size() - 1);
    const std::size_t slash = s.rfind('\\');
    return slash == std::string::npos ? s : s.substr(slash + 1);
}

namespace {

// Control bytes would break the line structure of the listing; they show as '?'.
std::string Printable(const std::string& s)
{
    std::string out = s;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    return out;
}

std::string Share(double d)
{
    return d < 0 ? std::string() : FormatPercent(d);
}

void PrintRanking(std::ostream& out, const std::string& title, const std::vector<RankEntry>& ranking)
{
    out << "\nRanking " << title << "\n";
    out << std::setw(6) << "Rank" << "  " << std::setw(20) << "Size" << "  " << "File" << "  " << "Location"
        << "\n";
    int k = 0;
    for (const RankEntry& e : ranking) {
        out << std::setw(6) << ++k << "  " << std::setw(20) << FormatSize(e.nSize) << "  " << Printable(e.strName)
            << "  " << Printable(e.strLocation) << "\n";
    }
}

} // namespace

void PrintReportText(std::ostream& out, const ReportDocument& doc)
{
    constexpr int kNumberWidth = 20;
    for (const auto& drive : doc.m_pDriveReports) {
        if (!drive)
            continue;
        // The folder column is as wide as its widest entry, within reason.
        std::size_t nameWidth = std::string("Folder").size();
        for (const FolderRecord* f : drive->Folders())
            nameWidth = std::max(nameWidth, 2 * static_cast<std::size_t>(std::max(f->nLevel, 0)) +
                                                FolderDisplayName(f->strPath).size());
        nameWidth = std::min<std::size_t>(nameWidth, 60);

        out << "Drive " << drive->cDrive << ": (" << drive->nFolders << " folders)\n";
        out << std::left << std::setw(static_cast<int>(nameWidth)) << "Folder" << std::right << "  "
            << std::setw(kNumberWidth) << "Space (with subs)" << "  " << std::setw(18) << "% of parent folder"
            << "  " << std::setw(9) << "% of disc" << "  " << std::setw(kNumberWidth) << "Space (w/o subs)"
            << "\n";
        for (const FolderRecord* f : drive->Folders()) {
            std::string name(2 * static_cast<std::size_t>(std::clamp(f->nLevel, 0, 10000)), ' ');
            name += Printable(FolderDisplayName(f->strPath));
            out << std::left << std::setw(static_cast<int>(nameWidth)) << name << std::right << "  "
                << std::setw(kNumberWidth) << FormatSize(f->nSpaceWithSubs) << "  " << std::setw(18)
                << Share(f->dPercentOfParent) << "  " << std::setw(9) << Share(f->dPercentOfDisc) << "  "
                << std::setw(kNumberWidth) << FormatSize(f->nSpaceWithoutSubs) << "\n";
            if (drive->bStoreFileNames)
                for (const FileEntry& e : f->files)
                    out << std::string(2 * static_cast<std::size_t>(std::clamp(f->nLevel, 0, 10000)) + 4, ' ')
                        << Printable(e.strName) << "  " << FormatSize(e.nSize) << "\n";
        }
        out << "\n";
    }
    if (doc.m_bRanking) {
        PrintRanking(out, "All", doc.m_rankingAll);
        for (const auto& drive : doc.m_pDriveReports)
            if (drive)
                PrintRanking(out, std::string(1, drive->cDrive) + ":", drive->ranking);
    }
}

} // namespace tvl
