#include "ReportInfo.h"

#include "NumberFormat.h"
#include "ReportDocument.h"

namespace tvl {

std::vector<ReportInfoLine> ReportInfoLines(const ReportDocument& doc)
{
    std::vector<ReportInfoLine> lines;
    auto add = [&](ReportInfoLine::Kind kind, std::string label, std::string value) {
        lines.push_back(ReportInfoLine{kind, std::move(label), std::move(value)});
    };
    if (const ReportFacts* f = doc.m_facts ? &*doc.m_facts : nullptr) {
        add(ReportInfoLine::Report, "Made by",
            "Tovaline " + f->strProgramVersion + " on " + (f->strHost.empty() ? std::string("an unnamed host") : f->strHost));
        add(ReportInfoLine::Report, "Scanned",
            FormatUtc(f->nStartTime) + " to " + FormatUtc(f->nEndTime) + " (" + FormatDuration(f->nEndTime - f->nStartTime) +
                ")");
        add(ReportInfoLine::Report, "Complete", f->bComplete ? "yes" : "no, the scan was stopped before everything was read");
    } else {
        add(ReportInfoLine::Report, "Scan facts", "not known (the report file does not keep them)");
    }
    for (const auto& d : doc.m_pDriveReports) {
        if (!d)
            continue;
        add(ReportInfoLine::Drive, std::string("Drive ") + d->cDrive + ":", "");
        add(ReportInfoLine::DriveFact, "Folders", FormatSize(d->nFolders) + (d->bStoreFileNames ? ", file names stored" : ""));
        const DriveFacts* f = d->pFacts.get();
        if (!f) {
            add(ReportInfoLine::DriveFact, "Scanned", "how and where is not known");
            continue;
        }
        add(ReportInfoLine::DriveFact, "Directory",
            f->strDirectory + (f->strFsType.empty() ? std::string() : " (" + f->strFsType + ")"));
        add(ReportInfoLine::DriveFact, "Options", DescribeOptions(f->options));
        add(ReportInfoLine::DriveFact, "Not read",
            FormatSize(f->counts.nUnreadable) + " unreadable folders, " + FormatSize(f->counts.nOtherFs) +
                " on other file systems, " + FormatSize(f->counts.nLeftOut) + " left out");
    }
    return lines;
}

long long UnreadableFolders(const ReportDocument& doc)
{
    long long n = -1;
    for (const auto& d : doc.m_pDriveReports)
        if (d && d->pFacts)
            n = (n < 0 ? 0 : n) + d->pFacts->counts.nUnreadable;
    return n;
}

} // namespace tvl
