#include "ReportText.h"

#include "GroupThousands.h"
#include "PathNames.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iomanip>

namespace tvl {

std::string FolderDisplayName(const std::string& strPath)
{
    if (strPath.empty())
        return std::string();
    std::string s = strPath.substr(0, strPath.size() - 1);
    const std::size_t slash = s.rfind('\\');
    return slash == std::string::npos ? s : PathStepToName(s.substr(slash + 1));
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

namespace {

// Length of the well-formed UTF-8 sequence at s[i], or 0 when the byte there does not
// begin one (overlong forms, surrogates and values above U+10FFFF are not well formed).
std::size_t Utf8SequenceLength(const std::string& s, std::size_t i)
{
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    std::size_t n;
    unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        n = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0)
            lo = 0xA0;
        if (c == 0xED)
            hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0)
            lo = 0x90;
        if (c == 0xF4)
            hi = 0x8F;
    } else
        return 0;
    if (i + n > s.size() || b(i + 1) < lo || b(i + 1) > hi)
        return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (b(i + k) < 0x80 || b(i + k) > 0xBF)
            return 0;
    return n;
}

std::string JsonNumber(double d)
{
    if (!std::isfinite(d))
        return "null";
    char buf[64];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, d);
    return ec == std::errc() ? std::string(buf, p) : std::string("null");
}

void PrintRankingJson(std::ostream& out, const std::vector<RankEntry>& ranking)
{
    out << "[";
    bool first = true;
    for (const RankEntry& e : ranking) {
        out << (first ? "" : ",") << "{\"name\":" << JsonString(e.strName)
            << ",\"location\":" << JsonString(e.strLocation) << ",\"size\":" << e.nSize << "}";
        first = false;
    }
    out << "]";
}

} // namespace

std::string JsonString(const std::string& bytes)
{
    std::string out = "\"";
    out.reserve(bytes.size() + 2);
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        const std::size_t n = Utf8SequenceLength(bytes, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD"; // U+FFFD
            ++i;
            continue;
        }
        if (n > 1) {
            out.append(bytes, i, n);
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
        i += n;
    }
    out += '"';
    return out;
}

void PrintReportJson(std::ostream& out, const ReportDocument& doc)
{
    long long total = 0;
    for (const auto& d : doc.m_pDriveReports)
        if (d)
            total += d->nFolders;
    out << "{\"version\":2,\"ranking\":" << (doc.m_bRanking ? "true" : "false") << ",\"totalFolders\":" << total
        << ",\"drives\":[";
    bool firstDrive = true;
    for (const auto& d : doc.m_pDriveReports) {
        if (!d)
            continue;
        out << (firstDrive ? "" : ",") << "\n{\"drive\":" << JsonString(std::string(1, d->cDrive))
            << ",\"storeFileNames\":" << (d->bStoreFileNames ? "true" : "false") << ",\"folders\":[";
        firstDrive = false;
        bool firstFolder = true;
        for (const FolderRecord* f : d->Folders()) {
            out << (firstFolder ? "" : ",") << "\n{\"path\":" << JsonString(f->strPath) << ",\"level\":" << f->nLevel
                << ",\"spaceWithoutSubs\":" << f->nSpaceWithoutSubs << ",\"spaceWithSubs\":" << f->nSpaceWithSubs
                << ",\"percentOfParent\":" << JsonNumber(f->dPercentOfParent)
                << ",\"percentOfDisc\":" << JsonNumber(f->dPercentOfDisc) << ",\"files\":[";
            firstFolder = false;
            bool firstFile = true;
            for (const FileEntry& e : f->files) {
                out << (firstFile ? "" : ",") << "{\"name\":" << JsonString(e.strName) << ",\"size\":" << e.nSize
                    << "}";
                firstFile = false;
            }
            out << "]}";
        }
        out << "],\"ranking\":";
        PrintRankingJson(out, d->ranking);
        out << "}";
    }
    out << "],\n\"rankingAll\":";
    PrintRankingJson(out, doc.m_rankingAll);
    out << "}\n";
}

} // namespace tvl
