#include "InfoCommand.h"

#include "NumberFormat.h"
#include "ReportDocument.h"
#include "ReportText.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

namespace tvl::cli {

void PrintReportInfo(std::ostream& out, const ReportDocument& doc)
{
    if (const ReportFacts* f = doc.m_facts ? &*doc.m_facts : nullptr) {
        out << "Made by:   Tovaline " << Printable(f->strProgramVersion) << " on "
            << (f->strHost.empty() ? std::string("an unnamed host") : Printable(f->strHost)) << "\n";
        out << "Scanned:   " << FormatUtc(f->nStartTime) << " to " << FormatUtc(f->nEndTime) << " ("
            << FormatDuration(f->nEndTime - f->nStartTime) << ")\n";
        out << "Complete:  "
            << (f->bComplete ? "yes" : "no, the scan was stopped before everything was read") << "\n";
    } else {
        out << "Scan facts: not known (the report file does not keep them)\n";
    }
    for (const auto& d : doc.m_pDriveReports) {
        if (!d)
            continue;
        out << "\nDrive " << d->cDrive << ":\n";
        out << "  Folders:     " << FormatSize(d->nFolders) << (d->bStoreFileNames ? ", file names stored" : "")
            << "\n";
        const DriveFacts* f = d->pFacts.get();
        if (!f) {
            out << "  Scanned:     how and where is not known\n";
            continue;
        }
        out << "  Directory:   " << Printable(f->strDirectory)
            << (f->strFsType.empty() ? std::string() : " (" + Printable(f->strFsType) + ")") << "\n";
        out << "  Options:     " << Printable(DescribeOptions(f->options)) << "\n";
        out << "  Not read:    " << FormatSize(f->counts.nUnreadable) << " unreadable folders, "
            << FormatSize(f->counts.nOtherFs) << " on other file systems, " << FormatSize(f->counts.nLeftOut)
            << " left out\n";
    }
}

CommandAction DeclareInfoCommand(CLI::App& command)
{
    auto file = std::make_shared<std::string>();
    command.footer("A report made before its program kept scan facts says that they are not known.\n");
    command.add_option("REPORT", *file, "the report file ('-': standard input)")->required();
    return [file](CommandIo& io) {
        ReportFileEnvironment files(io.err);
        ReportDocument doc(files.Env());
        if (!ReportFileEnvironment::Open(doc, *file))
            return static_cast<int>(kFailed);
        PrintReportInfo(io.out, doc);
        return static_cast<int>(kOk);
    };
}

} // namespace tvl::cli
