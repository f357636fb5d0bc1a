// Feeds arbitrary bytes to the report reader, the extension block after the report
// included. Besides the sanitizers' checks, a report that reads must keep the parent
// rule, print as JSON, and read back from its own writing (block and all) into the very
// same bytes.
#include "ReportFile.h"
#include "ReportReading.h"
#include "ReportText.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sstream>

namespace {

struct Content {
    std::vector<std::unique_ptr<tvl::DriveReport>> drives;
    int nDrives = 0;
    bool bRanking = false;
    std::vector<tvl::RankEntry> rankingAll;
    std::optional<tvl::ReportFacts> facts;
    tvl::ReportContent View() { return {drives, nDrives, bRanking, rankingAll, facts ? &*facts : nullptr}; }
    // Reads `in` into this content; returns whether the report was whole.
    bool Read(tvl::ReportReader& in, tvl::ILoadProgress& progress)
    {
        tvl::LoadedReport r = tvl::ReadReport(in, progress);
        drives = std::move(r.drives);
        nDrives = r.nDrives;
        bRanking = r.bRanking;
        rankingAll = std::move(r.rankingAll);
        facts = std::move(r.facts);
        // A block that is left out always says why.
        if (!r.strBlockWarning.empty() && facts)
            std::abort();
        return r.result.bOk;
    }
};

std::string Write(Content& c)
{
    std::string bytes;
    tvl::ReportWriter out(bytes);
    tvl::WriteReport(out, c.View());
    return bytes;
}

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tvl::NullLoadProgress progress;
    Content first;
    tvl::ReportReader in(data, size);
    const bool ok = first.Read(in, progress);
    Check(first.nDrives == static_cast<int>(first.drives.size()));
    if (!ok)
        return 0;

    for (const auto& d : first.drives) {
        Check(d != nullptr);
        const auto& folders = d->Folders();
        for (std::size_t i = 0; i < folders.size(); ++i) {
            const tvl::FolderRecord* p = folders[i]->pParent;
            Check(folders[i]->bVisible == (i == 0));
            if (p) {
                Check(p->nLevel < folders[i]->nLevel && p->bHasSubFolders);
            }
        }
    }

    // What reads also prints, as tovaline-cli show does.
    {
        tvl::ReportReadingEnvironment files;
        tvl::ReportDocument doc(files.Env());
        doc.m_pDriveReports = std::move(first.drives);
        doc.m_nDrives = first.nDrives;
        doc.m_bRanking = first.bRanking;
        doc.m_rankingAll = std::move(first.rankingAll);
        doc.m_facts = first.facts;
        std::ostringstream text;
        tvl::PrintReportJson(text, doc);
        tvl::PrintReportText(text, doc);
        first.drives = std::move(doc.m_pDriveReports);
        first.rankingAll = std::move(doc.m_rankingAll);
    }

    const std::string once = Write(first);
    Content second;
    tvl::ReportReader again(once.data(), once.size());
    Check(second.Read(again, progress));
    Check(Write(second) == once);
    return 0;
}
