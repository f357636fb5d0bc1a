#include "ReportCsv.h"

#include "ReportText.h"

#include <charconv>
#include <cmath>

namespace tvl {

namespace {

constexpr const char* kEol = "\r\n";

std::string CsvShare(double d)
{
    if (!std::isfinite(d) || d < 0)
        return std::string();
    char buf[64];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, d);
    return ec == std::errc() ? std::string(buf, p) : std::string();
}

} // namespace

std::string CsvField(const std::string& bytes)
{
    std::string text = ValidUtf8(bytes);
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

void PrintFoldersCsv(std::ostream& out, const ReportDocument& doc)
{
    out << "path,level,spaceWithoutSubs,spaceWithSubs,percentOfParent,percentOfDisc,fileCount,items,newestChange,"
           "otherSpaceWithoutSubs,otherSpaceWithSubs,state"
        << kEol;
    for (const auto& d : doc.m_pDriveReports) {
        if (!d)
            continue;
        for (const FolderRecord* f : d->Folders()) {
            out << CsvField(f->strPath) << ',' << f->nLevel << ',' << f->nSpaceWithoutSubs << ','
                << f->nSpaceWithSubs << ',' << CsvShare(f->dPercentOfParent) << ',' << CsvShare(f->dPercentOfDisc);
            if (d->bFolderFacts)
                out << ',' << f->nFiles << ',' << f->nItemsWithSubs << ',' << IsoUtc(f->nNewestChange) << ','
                    << f->nOtherWithoutSubs << ',' << f->nOtherWithSubs << ',' << FolderStateName(f->state);
            else
                out << ",,,,,,";
            out << kEol;
        }
    }
}

void PrintFilesCsv(std::ostream& out, const ReportDocument& doc)
{
    out << "folder,name,size,otherSize,change" << kEol;
    for (const auto& d : doc.m_pDriveReports) {
        if (!d || !d->bStoreFileNames)
            continue;
        for (const FolderRecord* f : d->Folders()) {
            if (f->files.empty())
                continue;
            const std::string folder = CsvField(f->strPath);
            for (const FileEntry& e : f->files) {
                out << folder << ',' << CsvField(e.strName) << ',' << e.nSize << ',';
                if (d->bFolderFacts)
                    out << e.nOtherSize << ',' << IsoUtc(e.nChange);
                else
                    out << ',';
                out << kEol;
            }
        }
    }
}

bool HasStoredFileNames(const ReportDocument& doc)
{
    for (const auto& d : doc.m_pDriveReports)
        if (d && d->bStoreFileNames)
            return true;
    return false;
}

} // namespace tvl
