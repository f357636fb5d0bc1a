#include "TypesCommand.h"

#include "OutputFile.h"
#include "NumberFormat.h"
#include "ReportCsv.h"
#include "ReportFile.h"
#include "ReportText.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <climits>
#include <ctime>
#include <functional>
#include <memory>
#include <ostream>

namespace tvl::cli {

namespace {

constexpr const char* kOtherTypes = "(other types)";
constexpr const char* kNotMatched = "(not matched to names)";

// The rows shown before "(other types)".
std::size_t Shown(const TypesResult& r, int nRows)
{
    return nRows <= 0 ? r.stats.types.size() : std::min(r.stats.types.size(), std::size_t(nRows));
}

struct Rest {
    std::int64_t nTypes = 0, nFiles = 0, nBytes = 0;
};
Rest OtherTypes(const TypesResult& r, int nRows)
{
    Rest rest;
    for (std::size_t i = Shown(r, nRows); i < r.stats.types.size(); ++i) {
        ++rest.nTypes;
        rest.nFiles += r.stats.types[i].nFiles;
        rest.nBytes += r.stats.types[i].nBytes;
    }
    return rest;
}

const std::string& FileName(const TypesResult& r, const FileTypeFile& f)
{
    return r.drive->GetFolder(f.nFolder)->files[std::size_t(f.nFile)].strName;
}
const std::string& FileLocation(const TypesResult& r, const FileTypeFile& f)
{
    return r.drive->GetFolder(f.nFolder)->strPath;
}

// "2026-12-08" (UTC).
std::string DateText(std::int64_t t)
{
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    if (!gmtime_r(&tt, &tm))
        return "?";
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
    return buf;
}

// Columns aligned: the first left, the numbers right, the last left and not padded.
void PrintTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows, std::size_t nNumbers)
{
    std::vector<std::size_t> width;
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) {
            width.resize(std::max(width.size(), row.size()));
            width[c] = std::max(width[c], row[c].size());
        }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            const std::size_t pad = width[c] - row[c].size();
            if (c > 0)
                line += "  ";
            if (c == 0)
                line += row[c] + (row.size() > 1 ? std::string(pad, ' ') : "");
            else if (c <= nNumbers)
                line += std::string(pad, ' ') + row[c];
            else
                line += row[c];
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out << line << "\n";
    }
}

void PrintClasses(std::ostream& out, const char* heading, const std::vector<std::string>& labels,
                  const std::vector<FileClass>& classes)
{
    std::vector<std::vector<std::string>> rows{{heading, "Files", "Bytes"}};
    for (std::size_t c = 0; c < classes.size(); ++c)
        rows.push_back({labels[c], FormatSize(classes[c].nFiles), FormatSize(classes[c].nBytes)});
    PrintTable(out, rows, 2);
}

std::vector<FileClass> AgeClasses(const FileTypeStats& s)
{
    std::vector<FileClass> v(s.ages.begin(), s.ages.end());
    v.push_back(s.agesUnknown);
    return v;
}
std::vector<std::string> AgeLabels()
{
    std::vector<std::string> v;
    for (std::size_t c = 0; c < kAgeClasses; ++c)
        v.push_back(AgeClassLabel(c));
    v.push_back("not known");
    return v;
}

} // namespace

void PrintTypesText(std::ostream& out, const TypesResult& r, int nRows)
{
    const FileTypeStats& s = r.stats;
    out << "File types of " << Printable(FileLocation(r, {s.nFolder, -1, 0})) << ": " << FormatSize(s.nTotalBytes)
        << " bytes in " << FormatSize(s.nFiles) << " files\n";
    // Type, Files, Bytes, Share, Largest, [Newest change,] Largest file.
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> head{"Type", "Files", "Bytes", "Share", "Largest"};
    if (s.bTimesKnown)
        head.push_back("Newest change");
    head.push_back("Largest file");
    rows.push_back(head);
    const std::size_t shown = Shown(r, nRows);
    for (std::size_t i = 0; i < shown; ++i) {
        const FileTypeRow& t = s.types[i];
        std::vector<std::string> row{Printable(FileTypeLabel(t.strExtension)), FormatSize(t.nFiles),
                                     FormatSize(t.nBytes), FormatPercent(s.Share(t.nBytes)),
                                     FormatSize(t.largest.nSize)};
        if (s.bTimesKnown)
            row.push_back(t.nNewest == FileTypeIndex::kNoTime ? "" : DateText(t.nNewest));
        row.push_back(Printable(FileLocation(r, t.largest) + FileName(r, t.largest)));
        rows.push_back(std::move(row));
    }
    if (const Rest rest = OtherTypes(r, nRows); rest.nTypes > 0) {
        std::vector<std::string> row{kOtherTypes, FormatSize(rest.nFiles), FormatSize(rest.nBytes),
                                     FormatPercent(s.Share(rest.nBytes)), ""};
        if (s.bTimesKnown)
            row.push_back("");
        row.push_back(FormatSize(rest.nTypes) + " types");
        rows.push_back(std::move(row));
    }
    if (s.nUnmatchedBytes != 0)
        rows.push_back({kNotMatched, "", FormatSize(s.nUnmatchedBytes), FormatPercent(s.Share(s.nUnmatchedBytes))});
    PrintTable(out, rows, 4);
    out << "\n";
    std::vector<std::string> sizeLabels;
    for (std::size_t c = 0; c < kSizeClasses; ++c)
        sizeLabels.push_back(SizeClassLabel(c));
    PrintClasses(out, "Size", sizeLabels, std::vector<FileClass>(s.sizes.begin(), s.sizes.end()));
    out << "\n";
    if (s.bTimesKnown)
        PrintClasses(out, "Last change", AgeLabels(), AgeClasses(s));
    else
        out << "Ages: not known (the report holds no modification times)\n";
}

void PrintTypesJson(std::ostream& out, const TypesResult& r, int nRows)
{
    const FileTypeStats& s = r.stats;
    auto time = [](std::int64_t t) { return t == FileTypeIndex::kNoTime ? std::string("null") : std::to_string(t); };
    out << "{\"folder\":" << JsonString(FileLocation(r, {s.nFolder, -1, 0})) << ",\"spaceWithSubs\":" << s.nTotalBytes
        << ",\"files\":" << s.nFiles << ",\"timesKnown\":" << (s.bTimesKnown ? "true" : "false") << ",\"types\":[";
    const std::size_t shown = Shown(r, nRows);
    for (std::size_t i = 0; i < shown; ++i) {
        const FileTypeRow& t = s.types[i];
        out << (i ? "," : "") << "{\"extension\":" << JsonString(t.strExtension) << ",\"files\":" << t.nFiles
            << ",\"bytes\":" << t.nBytes << ",\"percent\":" << JsonNumber(s.Share(t.nBytes))
            << ",\"largest\":{\"name\":" << JsonString(FileName(r, t.largest))
            << ",\"location\":" << JsonString(FileLocation(r, t.largest)) << ",\"size\":" << t.largest.nSize
            << "},\"newestChange\":" << time(t.nNewest) << "}";
    }
    out << "],\"otherTypes\":";
    if (const Rest rest = OtherTypes(r, nRows); rest.nTypes > 0)
        out << "{\"types\":" << rest.nTypes << ",\"files\":" << rest.nFiles << ",\"bytes\":" << rest.nBytes
            << ",\"percent\":" << JsonNumber(s.Share(rest.nBytes)) << "}";
    else
        out << "null";
    out << ",\"unmatchedBytes\":" << s.nUnmatchedBytes << ",\"sizes\":[";
    for (std::size_t c = 0; c < kSizeClasses; ++c)
        out << (c ? "," : "") << "{\"class\":" << JsonString(SizeClassLabel(c)) << ",\"below\":"
            << (c < kSizeClassBounds.size() ? std::to_string(kSizeClassBounds[c]) : std::string("null"))
            << ",\"files\":" << s.sizes[c].nFiles << ",\"bytes\":" << s.sizes[c].nBytes << "}";
    out << "],\"ages\":";
    if (s.bTimesKnown) {
        const std::vector<FileClass> ages = AgeClasses(s);
        const std::vector<std::string> labels = AgeLabels();
        out << "[";
        for (std::size_t c = 0; c < ages.size(); ++c)
            out << (c ? "," : "") << "{\"class\":" << JsonString(labels[c]) << ",\"below\":"
                << (c < kAgeClassBounds.size() ? std::to_string(kAgeClassBounds[c]) : std::string("null"))
                << ",\"files\":" << ages[c].nFiles << ",\"bytes\":" << ages[c].nBytes << "}";
        out << "]";
    } else {
        out << "null";
    }
    out << "}\n";
}

void PrintTypesCsv(std::ostream& out, const TypesResult& r, int nRows)
{
    constexpr const char* kEol = "\r\n";
    const FileTypeStats& s = r.stats;
    out << "type,files,bytes,percent,largestName,largestLocation,largestSize,newestChange" << kEol;
    const std::size_t shown = Shown(r, nRows);
    for (std::size_t i = 0; i < shown; ++i) {
        const FileTypeRow& t = s.types[i];
        out << CsvField(FileTypeLabel(t.strExtension)) << ',' << t.nFiles << ',' << t.nBytes << ','
            << JsonNumber(s.Share(t.nBytes)) << ',' << CsvField(FileName(r, t.largest)) << ','
            << CsvField(FileLocation(r, t.largest)) << ',' << t.largest.nSize << ','
            << (t.nNewest == FileTypeIndex::kNoTime ? std::string() : std::to_string(t.nNewest)) << kEol;
    }
    if (const Rest rest = OtherTypes(r, nRows); rest.nTypes > 0)
        out << kOtherTypes << ',' << rest.nFiles << ',' << rest.nBytes << ',' << JsonNumber(s.Share(rest.nBytes))
            << ",,,," << kEol;
    if (s.nUnmatchedBytes != 0)
        out << kNotMatched << ",0," << s.nUnmatchedBytes << ',' << JsonNumber(s.Share(s.nUnmatchedBytes)) << ",,,,"
            << kEol;
}

int RunTypes(const TypesCommandOptions& options, CommandIo& io)
{
    ReportFileEnvironment files(io.err);
    ReportDocument doc(files.Env());
    if (!ReportFileEnvironment::Open(doc, options.strReport))
        return kFailed;
    const auto [drive, nPos] = FindReportFolder(doc, options.strFolder);
    if (!drive) {
        io.err << "tovaline-cli: "
               << (options.strFolder.empty() ? std::string("the report holds no folder")
                                             : "the folder '" + Printable(options.strFolder) + "' is not in the report")
               << "\n";
        return kFailed;
    }
    if (!drive->bStoreFileNames) {
        io.err << "tovaline-cli: file types need a report with file names; drive " << DriveLetterText(drive->cDrive)
               << ": of this report has none (make one with 'tovaline-cli scan -f' or with \"Store filenames in "
                  "database\" ticked)\n";
        return kFailed;
    }
    TypesResult r;
    r.drive = drive;
    FileTypeOptions o;
    o.nNow = static_cast<std::int64_t>(std::time(nullptr));
    r.stats = ComputeFileTypes(FileTypeIndex(*drive), nPos, o);
    if (options.bCsv)
        return WriteOutput(options.strCsv, io.out, [&](std::ostream& out) { PrintTypesCsv(out, r, options.nRows); },
                           io.err)
                   ? kOk
                   : kFailed;
    if (options.bJson)
        PrintTypesJson(io.out, r, options.nRows);
    else
        PrintTypesText(io.out, r, options.nRows);
    return kOk;
}

CommandAction DeclareTypesCommand(CLI::App& command)
{
    auto o = std::make_shared<TypesCommandOptions>();
    command.footer(
        "The type of a file is its extension, letters in lower case: \"libz.so.1.2\" is .so\n"
        "(numbers after it are versions), \"python3.11\", \".bashrc\" and \"Makefile\" have none.\n"
        "Files count as in the report's sums (a hard-linked file once), so the bytes add up\n"
        "to the folder's \"Space (with subs)\". Needs a report with file names ('scan -f').\n"
        "--json prints {folder, spaceWithSubs, files, timesKnown, types: [{extension, files,\n"
        "bytes, percent, largest: {name, location, size}, newestChange}], otherTypes,\n"
        "unmatchedBytes, sizes: [{class, below, files, bytes}], ages}; --csv writes the\n"
        "columns type, files, bytes, percent, largestName, largestLocation, largestSize,\n"
        "newestChange. Times are seconds since 1970 (UTC), null or empty where unknown.\n");
    command.add_option("--folder", o->strFolder, "the folder of the report (e.g. \"C:\\home\\me\" or C:/home/me)")
        ->type_name("PATH");
    AddCountOption(command, "-n", o->nRows, "row count", 0, INT_MAX,
                   "list the N types with the most bytes, then one row for the others (default 20; 0: all)");
    command.add_flag("--json", o->bJson, "print the statistics as JSON instead of text");
    auto* csv = command.add_option("--csv", o->strCsv, "write the types as CSV to FILE ('-': stdout)")
                    ->type_name("FILE");
    command.add_option("REPORT", o->strReport, "the report file ('-': standard input)")->required();
    return [o, csv](CommandIo& io) {
        o->bCsv = csv->count() > 0;
        if (o->bCsv && o->bJson)
            return Usage(io.err, "--json prints the statistics; it cannot be combined with --csv", "types");
        if (o->bCsv)
            if (const std::string problem = CheckFileName("--csv", o->strCsv); !problem.empty())
                return Usage(io.err, problem, "types");
        return RunTypes(*o, io);
    };
}

} // namespace tvl::cli
