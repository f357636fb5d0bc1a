#include "MergeCommand.h"

#include "ReportDocument.h"
#include "ReportMerge.h"
#include "ReportText.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>
#include <sys/stat.h>

namespace tvl::cli {

namespace {

// True when both names lead to the same existing file (through links, too).
bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

} // namespace

int RunMerge(const MergeOptions& o, CommandIo& io)
{
    if (std::string p = CheckFileName("-o", o.strOutput); !p.empty())
        return Usage(io.err, p, "merge");
    if (o.parts.empty())
        return Usage(io.err, "merge needs at least one report to merge", "merge");
    for (const std::string& part : o.parts)
        if (part == o.strOutput || (part != "-" && SameFile(part, o.strOutput)))
            return Usage(io.err,
                         "the output " + Printable(o.strOutput) + " is the part " + Printable(part) +
                             "; merge writes a new report and never over one of its parts",
                         "merge");

    ReportFileEnvironment files(io.err);
    std::vector<std::unique_ptr<ReportDocument>> docs;
    std::vector<MergePart> parts;
    for (const std::string& name : o.parts) {
        docs.push_back(std::make_unique<ReportDocument>(files.Env()));
        ReportDocument& doc = *docs.back();
        if (!ReportFileEnvironment::Open(doc, name)) {
            io.err << "tovaline-cli: cannot read the part " << Printable(name) << "; nothing was written\n";
            return kFailed;
        }
        parts.push_back(MergePart{name, &doc.m_pDriveReports, doc.m_facts ? &*doc.m_facts : nullptr, doc.m_bRanking});
    }

    MergeResult merged = MergeReports(parts);
    if (!merged.strRefusal.empty()) {
        io.err << "tovaline-cli: " << Printable(merged.strRefusal) << "; nothing was written\n";
        return kFailed;
    }
    for (const std::string& note : merged.notes)
        io.err << "tovaline-cli: note: " << Printable(note) << "\n";
    docs.clear(); // the parts are spent; their memory goes before the report is written

    ReportDocument out(files.Env());
    out.m_rankingAll = merged.drive->ranking;
    out.m_pDriveReports.push_back(std::move(merged.drive));
    out.m_nDrives = 1;
    out.m_bRanking = merged.bRanking;
    out.m_facts = std::move(merged.facts);
    return out.OnSaveDocument(o.strOutput) ? kOk : kFailed;
}

CommandAction DeclareMergeCommand(CLI::App& command)
{
    auto o = std::make_shared<MergeOptions>();
    command.footer(
        "Each PART is a report of one directory (scan DIR -o PART.tvl). They merge into one\n"
        "report of their deepest common parent directory, with the sums, shares, counts,\n"
        "folder facts and ranking a scan of those directories as one tree gives. The folders\n"
        "between the common parent and the parts are added without files of their own.\n"
        "Refused, with nothing written: a part without scan facts (made by an older version),\n"
        "with more than one drive, or from a stopped scan; two parts whose directories are\n"
        "the same or one inside the other; parts scanned with different options (sizes,\n"
        "hidden folders, hard links, exclusions); an output that is one of the parts.\n"
        "The ranking keeps the smaller of the parts' bounds; equal sizes are ordered as a\n"
        "walk meeting the parts in path order would order them. File names and folder\n"
        "facts are kept only when every part has them (a note says which part lacked them).\n"
        "Hard links: a report does not know the inodes of its files, so a file with names\n"
        "in two parts counts in both; the merged sums can exceed a scan of the whole.\n");
    command.add_option("-o", o->strOutput, "the .tvl report file to write")->type_name("OUT")->required();
    command.add_option("PART", o->parts, "the report files to merge ('-': standard input)")->required();
    return [o](CommandIo& io) { return RunMerge(*o, io); };
}

} // namespace tvl::cli
