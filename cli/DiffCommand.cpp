#include "DiffCommand.h"

#include "CliCommands.h"
#include "DriveMap.h"
#include "FactsCheck.h"
#include "FileSystem.h"
#include "NumberFormat.h"
#include "MessagePump.h"
#include "ReportCompare.h"
#include "ReportDocument.h"
#include "ReportText.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <limits>
#include <ostream>

#include <CLI/CLI.hpp>
#include <climits>
#include <memory>

namespace tvl::cli {

namespace {

template <class T>
bool ParseNumber(const std::string& s, T& v)
{
    if (s.empty() || s[0] == '-' || s[0] == '+')
        return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && p == s.data() + s.size();
}

// The "Change %" cell of a folder: the percent, or why there is none.
std::string PercentCell(const FolderChange& f)
{
    if (f.state == ChangeState::New)
        return "new";
    if (f.state == ChangeState::Removed)
        return "removed";
    const auto p = f.Percent();
    return p ? FormatPercentChange(*p) : std::string();
}

bool Shown(std::int64_t change, std::int64_t nMinChange)
{
    return ChangeShown(change, nMinChange);
}

constexpr int kNum = 20;
constexpr int kPct = 11; // "+1000000.00" still lines up
constexpr int kItems = 14; // "Items +/-" up to "+99.999.999.999"

// True when some drive compares item counts: the listings then have an "Items +/-"
// column (empty for drives that do not).
bool AnyItemsCompared(const ReportComparison& rc)
{
    for (const DriveComparison& d : rc.drives)
        if (d.bItemsCompared)
            return true;
    return false;
}

void PrintDrives(std::ostream& out, const ReportComparison& rc)
{
    const bool items = AnyItemsCompared(rc);
    out << std::left << std::setw(7) << "Drive" << std::setw(10) << "State" << std::right << std::setw(kNum)
        << "Before" << "  " << std::setw(kNum) << "After" << "  " << std::setw(kNum) << "Change" << "  "
        << std::setw(kPct) << "Change %";
    if (items)
        out << "  " << std::setw(kItems) << "Items +/-";
    out << "\n";
    for (const DriveComparison& d : rc.drives) {
        const auto p = d.pOld ? ChangePercent(d.nOldTotal, d.nNewTotal) : std::nullopt;
        out << std::left << std::setw(7) << (std::string(1, d.cDrive) + ":") << std::setw(10)
            << ChangeStateName(d.state) << std::right << std::setw(kNum) << FormatSize(d.nOldTotal) << "  "
            << std::setw(kNum) << FormatSize(d.nNewTotal) << "  " << std::setw(kNum) << FormatSizeChange(d.Change())
            << "  " << std::setw(kPct) << (p ? FormatPercentChange(*p) : std::string());
        if (items)
            out << "  " << std::setw(kItems) << (d.bItemsCompared ? FormatSizeChange(d.ItemChange()) : std::string());
        out << "\n";
    }
}

void PrintFolders(std::ostream& out, const ReportComparison& rc, const DiffOptions& o, bool bGrowth)
{
    out << "\n" << (bGrowth ? "Largest growth" : "Largest shrinkage") << "\n";
    const std::vector<FolderRef> refs = LargestChanges(rc, o.nTop, bGrowth, o.nMinChange);
    if (refs.empty()) {
        out << "  (none)\n";
        return;
    }
    const bool items = AnyItemsCompared(rc);
    out << std::setw(kNum) << "Before" << "  " << std::setw(kNum) << "After" << "  " << std::setw(kNum) << "Change"
        << "  " << std::setw(kPct) << "Change %";
    if (items)
        out << "  " << std::setw(kItems) << "Items +/-";
    out << "  Folder\n";
    for (const FolderRef& r : refs) {
        const DriveComparison& d = rc.drives[r.nDrive];
        const FolderChange& f = d.folders[r.nFolder];
        out << std::setw(kNum) << FormatSize(f.OldWithSubs()) << "  " << std::setw(kNum) << FormatSize(f.NewWithSubs())
            << "  " << std::setw(kNum) << FormatSizeChange(f.Change()) << "  " << std::setw(kPct) << PercentCell(f);
        if (items)
            out << "  " << std::setw(kItems) << (d.bItemsCompared ? FormatSizeChange(f.ItemChange()) : std::string());
        out << "  " << Printable(f.Path()) << "\n";
    }
}

// The entries of the current combined ranking with the given kind of change, in
// ranking order, at most nTop of them.
std::vector<std::size_t> RankedFiles(const ReportComparison& rc, const DiffOptions& o, bool bEntered)
{
    std::vector<std::size_t> out;
    if (!rc.bRankingCompared || !rc.pRankingAll)
        return out;
    const auto& ranking = *rc.pRankingAll;
    for (std::size_t k = 0; k < rc.rankingAll.size() && k < ranking.size() && out.size() < o.nTop; ++k) {
        const RankChange& c = rc.rankingAll[k];
        const bool entered = c.state == ChangeState::New;
        if (c.state == ChangeState::Unchanged || entered != bEntered)
            continue;
        if (Shown(SizeChange(c.nOldSize, ranking[k].nSize), o.nMinChange))
            out.push_back(k);
    }
    return out;
}

void PrintFiles(std::ostream& out, const ReportComparison& rc, const DiffOptions& o)
{
    out << "\nNew large files\n";
    if (!rc.bRankingCompared) {
        out << "  (not known: a report has no ranking)\n";
        return;
    }
    const auto& ranking = *rc.pRankingAll;
    const std::vector<std::size_t> entered = RankedFiles(rc, o, true);
    if (entered.empty())
        out << "  (none)\n";
    else
        out << std::setw(kNum) << "Size" << "  File  Location\n";
    for (std::size_t k : entered)
        out << std::setw(kNum) << FormatSize(ranking[k].nSize) << "  " << Printable(ranking[k].strName) << "  "
            << Printable(ranking[k].strLocation) << "\n";

    const std::vector<std::size_t> resized = RankedFiles(rc, o, false);
    out << "\nLarge files that changed size\n";
    if (resized.empty()) {
        out << "  (none)\n";
        return;
    }
    out << std::setw(kNum) << "Before" << "  " << std::setw(kNum) << "After" << "  " << std::setw(kNum) << "Change"
        << "  File  Location\n";
    for (std::size_t k : resized) {
        const RankEntry& e = ranking[k];
        const std::int64_t before = rc.rankingAll[k].nOldSize;
        out << std::setw(kNum) << FormatSize(before) << "  " << std::setw(kNum) << FormatSize(e.nSize) << "  "
            << std::setw(kNum) << FormatSizeChange(SizeChange(before, e.nSize)) << "  " << Printable(e.strName) << "  "
            << Printable(e.strLocation) << "\n";
    }
}

std::string JsonPercent(const std::optional<double>& p)
{
    return p ? JsonNumber(*p) : std::string("null");
}

void FolderJson(std::ostream& out, const FolderChange& f, bool bItems)
{
    out << "{\"path\":" << JsonString(f.Path()) << ",\"state\":\"" << ChangeStateName(f.state)
        << "\",\"before\":" << f.OldWithSubs() << ",\"after\":" << f.NewWithSubs()
        << ",\"beforeWithoutSubs\":" << f.OldWithoutSubs() << ",\"afterWithoutSubs\":" << f.NewWithoutSubs()
        << ",\"change\":" << f.Change() << ",\"percent\":" << JsonPercent(f.Percent());
    if (bItems)
        out << ",\"itemsBefore\":" << f.OldItems() << ",\"itemsAfter\":" << f.NewItems()
            << ",\"itemChange\":" << f.ItemChange();
    out << "}";
}

void RankingJson(std::ostream& out, const std::vector<RankEntry>& ranking, const std::vector<RankChange>& changes,
                 std::int64_t nMinChange)
{
    out << "[";
    bool first = true;
    for (std::size_t k = 0; k < changes.size() && k < ranking.size(); ++k) {
        const RankChange& c = changes[k];
        const RankEntry& e = ranking[k];
        const std::int64_t change = SizeChange(c.nOldSize, e.nSize);
        if (c.state == ChangeState::Unchanged || !Shown(change, nMinChange))
            continue;
        out << (first ? "" : ",") << "{\"rank\":" << k + 1 << ",\"name\":" << JsonString(e.strName)
            << ",\"location\":" << JsonString(e.strLocation) << ",\"state\":\"" << ChangeStateName(c.state)
            << "\",\"before\":" << c.nOldSize << ",\"size\":" << e.nSize << ",\"change\":" << change << "}";
        first = false;
    }
    out << "]";
}

void DriveJson(std::ostream& out, const DriveComparison& d, const DiffOptions& o)
{
    out << "{\"drive\":" << JsonString(std::string(1, d.cDrive)) << ",\"state\":\"" << ChangeStateName(d.state)
        << "\",\"before\":" << d.nOldTotal << ",\"after\":" << d.nNewTotal << ",\"change\":" << d.Change()
        << ",\"percent\":" << JsonPercent(d.pOld ? ChangePercent(d.nOldTotal, d.nNewTotal) : std::nullopt)
        << ",\"filesCompared\":" << (d.bFilesCompared ? "true" : "false")
        << ",\"rankingCompared\":" << (d.bRankingCompared ? "true" : "false")
        << ",\"itemsCompared\":" << (d.bItemsCompared ? "true" : "false");
    if (d.bItemsCompared)
        out << ",\"itemsBefore\":" << d.nOldItems << ",\"itemsAfter\":" << d.nNewItems
            << ",\"itemChange\":" << d.ItemChange();
    out << ",\n\"folders\":[";
    bool first = true;
    for (const FolderChange& f : d.folders) {
        if (f.state == ChangeState::Unchanged || !Shown(f.Change(), o.nMinChange))
            continue;
        out << (first ? "\n" : ",\n");
        FolderJson(out, f, d.bItemsCompared);
        first = false;
    }
    out << "],\n\"files\":[";
    first = true;
    for (const FileChange& f : d.files) {
        const std::int64_t change = SizeChange(f.OldSize(), f.NewSize());
        if (!Shown(change, o.nMinChange))
            continue;
        out << (first ? "\n" : ",\n") << "{\"folder\":" << JsonString(d.folders[f.nFolder].Path())
            << ",\"name\":" << JsonString(f.Name()) << ",\"state\":\"" << ChangeStateName(f.state)
            << "\",\"before\":" << f.OldSize() << ",\"after\":" << f.NewSize() << ",\"change\":" << change << "}";
        first = false;
    }
    out << "],\n\"ranking\":";
    if (d.bRankingCompared && d.pNew)
        RankingJson(out, d.pNew->ranking, d.ranking, o.nMinChange);
    else
        out << "[]";
    out << "}";
}

void FolderListJson(std::ostream& out, const ReportComparison& rc, const DiffOptions& o, bool bGrowth)
{
    out << "[";
    bool first = true;
    for (const FolderRef& r : LargestChanges(rc, o.nTop, bGrowth, o.nMinChange)) {
        out << (first ? "\n" : ",\n");
        FolderJson(out, rc.drives[r.nDrive].folders[r.nFolder], rc.drives[r.nDrive].bItemsCompared);
        first = false;
    }
    out << "]";
}

} // namespace

void PrintDiffText(std::ostream& out, const ReportComparison& rc, const DiffOptions& o)
{
    out << "Baseline: " << Printable(o.strBaseline) << "\nCurrent:  " << Printable(o.strCurrent) << "\n";
    if (o.nSecondsBetween)
        out << "Between:  " << FormatDuration(*o.nSecondsBetween) << " from the start of one scan to the other\n";
    out << "\n";
    PrintDrives(out, rc);
    PrintFolders(out, rc, o, true);
    PrintFolders(out, rc, o, false);
    PrintFiles(out, rc, o);
}

void PrintDiffJson(std::ostream& out, const ReportComparison& rc, const DiffOptions& o)
{
    out << "{\"baseline\":" << JsonString(o.strBaseline) << ",\"current\":" << JsonString(o.strCurrent)
        << ",\"minChange\":" << o.nMinChange << ",\"secondsBetween\":"
        << (o.nSecondsBetween ? std::to_string(*o.nSecondsBetween) : std::string("null")) << ",\n\"drives\":[";
    bool first = true;
    for (const DriveComparison& d : rc.drives) {
        out << (first ? "\n" : ",\n");
        DriveJson(out, d, o);
        first = false;
    }
    out << "],\n\"grown\":";
    FolderListJson(out, rc, o, true);
    out << ",\n\"shrunk\":";
    FolderListJson(out, rc, o, false);
    out << ",\n\"rankingCompared\":" << (rc.bRankingCompared ? "true" : "false") << ",\n\"rankingAll\":";
    static const std::vector<RankEntry> kNone;
    RankingJson(out, rc.pRankingAll ? *rc.pRankingAll : kNone, rc.rankingAll, o.nMinChange);
    out << "}\n";
}

int RunDiff(const DiffOptions& options, std::ostream& out, std::ostream& err)
{
    DiffOptions o = options;
    ReportFileEnvironment files(err);
    ReportDocument baseline(files.Env()), current(files.Env());
    auto open = [&](ReportDocument& doc, const std::string& file, const char* which) {
        if (ReportFileEnvironment::Open(doc, file))
            return true;
        err << "tovaline-cli: cannot read the " << which << " report " << Printable(file) << "\n";
        return false;
    };
    if (!open(baseline, o.strBaseline, "baseline") || !open(current, o.strCurrent, "current"))
        return kFailed;

    // Numbers measured by different rules do not compare: refused unless forced.
    const ComparabilityCheck check =
        CheckComparable(baseline.m_pDriveReports, baseline.m_facts ? &*baseline.m_facts : nullptr,
                        current.m_pDriveReports, current.m_facts ? &*current.m_facts : nullptr);
    if (!check.differences.empty()) {
        const std::string what = "the reports were measured differently (" + check.DifferencesText() + ")";
        if (!o.bForce) {
            err << "tovaline-cli: " << what << "; their numbers do not compare (--force compares them anyway)\n";
            return kFailed;
        }
        err << "tovaline-cli: warning: " << what << "; compared anyway\n";
    }
    if (!check.strUnknownDrives.empty()) {
        std::string letters;
        for (char c : check.strUnknownDrives)
            letters += (letters.empty() ? "" : ", ") + std::string(1, c) + ":";
        err << "tovaline-cli: the scan options of " << letters
            << " are unknown (a report does not keep them); compared as they are\n";
    }
    o.nSecondsBetween = check.nSecondsBetween;

    const ReportComparison rc =
        CompareReports(ReportSide{baseline.m_pDriveReports, baseline.m_bRanking, baseline.m_rankingAll},
                       ReportSide{current.m_pDriveReports, current.m_bRanking, current.m_rankingAll});
    errno = 0;
    if (o.bJson)
        PrintDiffJson(out, rc, o);
    else
        PrintDiffText(out, rc, o);
    out.flush();
    if (!out) {
        const int e = errno;
        err << "tovaline-cli: cannot write output: " << (e ? std::strerror(e) : "write error") << "\n";
        return kFailed;
    }
    return kOk;
}

CommandAction DeclareDiffCommand(CLI::App& command)
{
    auto o = std::make_shared<DiffOptions>();
    command.footer(
        "Folders are matched by drive letter and path; sizes are \"Space (with subs)\".\n"
        "Per drive the totals before and after and the change, the folders that grew most\n"
        "and those that shrank most (path, before, after, change, change in percent of before,\n"
        "and where both reports hold folder facts the change of \"Items (with subs)\"),\n"
        "then the files that entered the ranking and the ranked files whose size changed.\n"
        "Drive totals are always shown. OLD or NEW may be '-' (standard input), not both.\n");
    command.add_flag("--json", o->bJson, "print the whole comparison as JSON (see README)");
    command.add_flag("--force", o->bForce,
                     "compare reports whose drives were measured with different options (with a warning)");
    auto top = std::make_shared<int>(20);
    AddCountOption(command, "-n", *top, "count", 0, INT_MAX,
                   "list N folders per direction and N files per list (default 20)");
    command
        .add_option_function<std::string>(
            "--min-change", [o](const std::string& s) { ParseNumber(s, o->nMinChange); },
            "leave out changes smaller than BYTES bytes")
        ->type_name("BYTES")
        ->check(CLI::Validator(
            [](const std::string& s) -> std::string {
                std::int64_t v = 0;
                return ParseNumber(s, v) ? std::string()
                                         : "the number of bytes '" + s + "' is not a number from 0 up";
            },
            ""))
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    command.add_option("OLD", o->strBaseline, "the baseline report (the older one)")->required();
    command.add_option("NEW", o->strCurrent, "the current report")->required();
    return [o, top](CommandIo& io) {
        if (o->strBaseline == "-" && o->strCurrent == "-")
            return Usage(io.err, "only one of the reports can come from standard input", "diff");
        o->nTop = static_cast<std::size_t>(*top);
        return RunDiff(*o, io.out, io.err);
    };
}

} // namespace tvl::cli
