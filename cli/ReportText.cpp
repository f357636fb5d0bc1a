#include "ReportText.h"

#include "CommandLine.h"

#include "NumberFormat.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <ctime>
#include <iomanip>

namespace tvl {

namespace {

std::string Share(double d)
{
    return d < 0 ? std::string() : FormatPercent(d);
}

std::string SizeText(std::int64_t n, const TextOptions& o)
{
    return o.bHuman ? FormatHumanSize(n) : FormatSize(n);
}

// Width of the size columns: grouped counts need up to 25 characters ("9.223.372..."),
// which setw lets run over; human sizes at most 11 ("-1023.9 KiB").
int SizeWidth(const TextOptions& o)
{
    return o.bHuman ? 11 : 20;
}

std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b)
{
    std::int64_t sum;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? INT64_MAX : INT64_MIN;
    return sum;
}

void PrintRanking(std::ostream& out, const std::string& title, const std::vector<RankEntry>& ranking,
                  const TextOptions& o)
{
    out << "\nRanking " << title << "\n";
    out << std::setw(6) << "Rank" << "  " << std::setw(SizeWidth(o)) << "Size" << "  " << "File" << "  "
        << "Location" << "\n";
    int k = 0;
    for (const RankEntry& e : ranking) {
        out << std::setw(6) << ++k << "  " << std::setw(SizeWidth(o)) << SizeText(e.nSize, o) << "  "
            << Printable(e.strName) << "  " << Printable(e.strLocation) << "\n";
    }
}

// One line of a drive's folder listing: a folder (its position in the folder list), or
// the summary of the sub-folders of `folder` that --top leaves out.
struct Row {
    std::size_t folder;
    bool bMore = false;
    std::size_t nMore = 0;   // sub-folders left out
    std::int64_t nBytes = 0; // their "Space (with subs)", added up
};

// What the listing of one drive shows of its folders: the measure and how sub-folders
// are ordered and cut.
class DriveView {
public:
    DriveView(const DriveReport& drive, const TextOptions& o)
        : m_drive(drive), m_kind(PrimaryKind(drive)), m_o(o)
    {
        if (o.bOtherSize && drive.bFolderFacts)
            m_kind = m_kind == SizeKind::Length ? SizeKind::DiscUsage : SizeKind::Length;
    }

    SizeKind Kind() const { return m_kind; }
    bool Other() const { return m_kind != PrimaryKind(m_drive); }

    // The folder's sizes and shares in the shown measure.
    FolderSizes Sizes(const FolderRecord& f) const { return SizesOf(m_drive, f, m_kind); }
    std::int64_t WithSubs(const FolderRecord& f) const { return Other() ? f.nOtherWithSubs : f.nSpaceWithSubs; }
    std::int64_t FileSize(const FileEntry& e) const { return FileSizeOf(m_drive, e, m_kind); }

    // True when folder a comes before folder b in the --sort order (not Path).
    bool Before(const FolderRecord& a, const FolderRecord& b) const
    {
        switch (m_o.order) {
        case TextOptions::Order::Files: return a.FilesWithSubs() > b.FilesWithSubs();
        case TextOptions::Order::Changed: return a.nNewestChange > b.nNewestChange;
        default: return WithSubs(a) > WithSubs(b);
        }
    }

private:
    const DriveReport& m_drive;
    SizeKind m_kind;
    const TextOptions& m_o;
};

// The folder tree of a list in tree order, as positions: children[offsets[i] ..
// offsets[i + 1]) are the sub-folders of folder i, and roots those without a parent
// before them, all in list order.
struct FolderTree {
    std::vector<std::size_t> roots, offsets, children;
};

FolderTree BuildTree(const std::vector<FolderRecord*>& list)
{
    const std::size_t n = list.size();
    std::vector<std::size_t> parent(n, SIZE_MAX), open; // open: the chain of ancestors
    for (std::size_t i = 0; i < n; ++i) {
        while (!open.empty() && list[open.back()] != list[i]->pParent)
            open.pop_back();
        if (!open.empty())
            parent[i] = open.back();
        open.push_back(i);
    }
    FolderTree t;
    t.offsets.assign(n + 1, 0);
    for (std::size_t i = 0; i < n; ++i)
        if (parent[i] != SIZE_MAX)
            ++t.offsets[parent[i] + 1];
    for (std::size_t i = 0; i < n; ++i)
        t.offsets[i + 1] += t.offsets[i];
    t.children.resize(t.offsets[n]);
    std::vector<std::size_t> fill(t.offsets.begin(), t.offsets.end() - 1);
    for (std::size_t i = 0; i < n; ++i) {
        if (parent[i] == SIZE_MAX)
            t.roots.push_back(i);
        else
            t.children[fill[parent[i]]++] = i;
    }
    return t;
}

// The sub-folders of one folder as shown: ordered, cut to --top, and the summary of
// the rest. `kids` comes in list order and is reordered in place. With path order,
// --top keeps the largest; with another order, the first in that order.
std::vector<Row> ShownChildren(std::vector<std::size_t> kids, const std::vector<FolderRecord*>& list,
                               const TextOptions& o, const DriveView& view)
{
    const auto bySize = [&](std::size_t a, std::size_t b) { return view.WithSubs(*list[a]) > view.WithSubs(*list[b]); };
    const auto byOrder = [&](std::size_t a, std::size_t b) { return view.Before(*list[a], *list[b]); };
    Row more{0, true};
    if (o.nTop > 0 && kids.size() > static_cast<std::size_t>(o.nTop)) {
        if (o.order == TextOptions::Order::Path)
            std::stable_sort(kids.begin(), kids.end(), bySize);
        else
            std::stable_sort(kids.begin(), kids.end(), byOrder);
        for (std::size_t k = static_cast<std::size_t>(o.nTop); k < kids.size(); ++k)
            more.nBytes = SaturatingAdd(more.nBytes, view.WithSubs(*list[kids[k]]));
        more.nMore = kids.size() - static_cast<std::size_t>(o.nTop);
        kids.resize(static_cast<std::size_t>(o.nTop));
        if (o.order == TextOptions::Order::Path)
            std::sort(kids.begin(), kids.end());
    } else if (o.order != TextOptions::Order::Path) {
        std::stable_sort(kids.begin(), kids.end(), byOrder);
    }
    std::vector<Row> rows;
    rows.reserve(kids.size() + 1);
    for (std::size_t k : kids)
        rows.push_back(Row{k});
    if (more.nMore)
        rows.push_back(more);
    return rows;
}

// Calls visit for each line of a drive's listing in print order (a depth-first walk
// with its own stack). The full listing in list order needs no tree.
void VisitShownRows(const std::vector<FolderRecord*>& list, const TextOptions& o, const DriveView& view,
                    const std::function<void(const Row&)>& visit)
{
    if (o.nDepth < 0 && o.nTop <= 0 && o.order == TextOptions::Order::Path) {
        for (std::size_t i = 0; i < list.size(); ++i)
            visit(Row{i});
        return;
    }
    const FolderTree tree = BuildTree(list);
    struct Pending {
        Row row;
        int depth;
    };
    std::vector<Pending> stack;
    for (auto it = tree.roots.rbegin(); it != tree.roots.rend(); ++it)
        stack.push_back({Row{*it}, 0});
    while (!stack.empty()) {
        const Pending p = stack.back();
        stack.pop_back();
        visit(p.row);
        if (p.row.bMore || (o.nDepth >= 0 && p.depth >= o.nDepth))
            continue;
        const std::size_t f = p.row.folder;
        std::vector<std::size_t> kids(tree.children.begin() + static_cast<std::ptrdiff_t>(tree.offsets[f]),
                                      tree.children.begin() + static_cast<std::ptrdiff_t>(tree.offsets[f + 1]));
        std::vector<Row> shown = ShownChildren(std::move(kids), list, o, view);
        for (auto it = shown.rbegin(); it != shown.rend(); ++it) {
            if (it->bMore)
                it->folder = f;
            stack.push_back({*it, p.depth + 1});
        }
    }
}

std::string Indent(std::int32_t nLevel)
{
    return std::string(2 * static_cast<std::size_t>(std::clamp(nLevel, 0, 10000)), ' ');
}

std::string MoreText(const Row& r, const TextOptions& o)
{
    return "(" + std::to_string(r.nMore) + (r.nMore == 1 ? " more folder, " : " more folders, ") +
           (o.bHuman ? FormatHumanSize(r.nBytes) : FormatSize(r.nBytes) + " bytes") + ")";
}

// The mark --marks puts before a folder's name.
char StateMark(FolderState state)
{
    switch (state) {
    case FolderState::Read: return ' ';
    case FolderState::OtherFs: return '>';
    case FolderState::LeftOut: return '-';
    default: return '!';
    }
}

std::string TimeText(std::int64_t t)
{
    std::string iso = IsoUtc(t);
    if (iso.size() == 20) {
        iso[10] = ' ';
        iso.pop_back();
    }
    return iso;
}

const TextColumn kDefaultColumns[] = {TextColumn::Size, TextColumn::ShareParent, TextColumn::ShareDisc,
                                      TextColumn::Own};

const char* ColumnHeading(TextColumn c)
{
    switch (c) {
    case TextColumn::Size: return "Space (with subs)";
    case TextColumn::ShareParent: return "% of parent folder";
    case TextColumn::ShareDisc: return "% of disc";
    case TextColumn::Own: return "Space (w/o subs)";
    case TextColumn::Files: return "Files (with subs)";
    case TextColumn::OwnFiles: return "Files (w/o subs)";
    case TextColumn::Items: return "Items (with subs)";
    case TextColumn::Changed: return "Last change (UTC)";
    case TextColumn::State: return "State";
    }
    return "";
}

// Width of a column: the size columns as they always were; the others as wide as
// their heading or their widest usual value (a count up to the billions, a time).
int ColumnWidth(TextColumn c, const TextOptions& o)
{
    switch (c) {
    case TextColumn::Size:
    case TextColumn::Own: return std::max(SizeWidth(o), 17);
    case TextColumn::ShareParent: return 18;
    case TextColumn::ShareDisc: return 9;
    case TextColumn::Changed: return 19;
    case TextColumn::State: return 10;
    default: return 17;
    }
}

std::string Cell(TextColumn c, const FolderRecord& f, const FolderSizes& s, const TextOptions& o)
{
    switch (c) {
    case TextColumn::Size: return SizeText(s.nWithSubs, o);
    case TextColumn::ShareParent: return Share(s.dPercentOfParent);
    case TextColumn::ShareDisc: return Share(s.dPercentOfDisc);
    case TextColumn::Own: return SizeText(s.nWithoutSubs, o);
    case TextColumn::Files: return FormatSize(f.FilesWithSubs());
    case TextColumn::OwnFiles: return FormatSize(f.nFiles);
    case TextColumn::Items: return FormatSize(f.nItemsWithSubs);
    case TextColumn::Changed: return TimeText(f.nNewestChange);
    case TextColumn::State: return FolderStateName(f.state);
    }
    return "";
}

void PrintDriveFolders(std::ostream& out, const DriveReport& drive, const TextOptions& o)
{
    const auto& list = drive.Folders();
    const DriveView view(drive, o);
    const bool marks = o.bMarks && drive.bFolderFacts;
    const std::size_t markWidth = marks ? 1 : 0;
    // The folder column is as wide as its widest entry, within reason.
    std::size_t nameWidth = std::string("Folder").size();
    VisitShownRows(list, o, view, [&](const Row& r) {
        if (!r.bMore)
            nameWidth = std::max(nameWidth, Indent(list[r.folder]->nLevel).size() + markWidth +
                                                FolderDisplayName(list[r.folder]->strPath).size());
    });
    nameWidth = std::min<std::size_t>(nameWidth, 60);
    const int w = static_cast<int>(nameWidth);
    std::vector<TextColumn> columns = o.columns;
    if (columns.empty())
        columns.assign(std::begin(kDefaultColumns), std::end(kDefaultColumns));

    out << "Drive " << DriveLetterText(drive.cDrive) << ": (" << drive.nFolders << " folders)";
    if (view.Other())
        out << " in " << SizeKindText(view.Kind()) << ", not the report's " << SizeKindText(PrimaryKind(drive));
    out << "\n";
    out << std::left << std::setw(w) << "Folder" << std::right;
    for (TextColumn c : columns)
        out << "  " << std::setw(ColumnWidth(c, o)) << ColumnHeading(c);
    out << "\n";
    VisitShownRows(list, o, view, [&](const Row& r) {
        const FolderRecord* f = list[r.folder];
        if (r.bMore) {
            out << Indent(f->nLevel) << "  " << MoreText(r, o) << "\n";
            return;
        }
        const FolderSizes sizes = view.Sizes(*f);
        std::string name = Indent(f->nLevel);
        if (marks)
            name += StateMark(f->state);
        out << std::left << std::setw(w) << name + Printable(FolderDisplayName(f->strPath)) << std::right;
        for (TextColumn c : columns)
            out << "  " << std::setw(ColumnWidth(c, o)) << Cell(c, *f, sizes, o);
        out << "\n";
        if (drive.bStoreFileNames)
            for (const FileEntry& e : f->files)
                out << Indent(f->nLevel) << "    " << Printable(e.strName) << "  " << SizeText(view.FileSize(e), o)
                    << "\n";
    });
    out << "\n";
}

bool SameRanking(const std::vector<RankEntry>& a, const std::vector<RankEntry>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const RankEntry& x, const RankEntry& y) {
        return x.nSize == y.nSize && x.strName == y.strName && x.strLocation == y.strLocation;
    });
}

} // namespace

std::string DriveLetterText(char cDrive)
{
    return cDrive >= 'C' && cDrive <= 'Z' ? std::string(1, cDrive) : std::string("?");
}

void PrintReportText(std::ostream& out, const ReportDocument& doc, const TextOptions& options)
{
    if (options.bFolders)
        for (const auto& drive : doc.m_pDriveReports)
            if (drive)
                PrintDriveFolders(out, *drive, options);
    if (!doc.m_bRanking || !options.bRankings)
        return;
    std::vector<const DriveReport*> drives;
    for (const auto& drive : doc.m_pDriveReports)
        if (drive)
            drives.push_back(drive.get());
    // A ranking holds the sizes the scan ranked by; with the other measure shown
    // above, its title says which measure it is in.
    const auto measure = [&](const DriveReport* d) {
        return options.bOtherSize && d ? std::string(" (in ") + SizeKindText(PrimaryKind(*d)) + ", as the scan ranked)"
                                       : std::string();
    };
    PrintRanking(out, "All" + measure(drives.empty() ? nullptr : drives[0]), doc.m_rankingAll, options);
    // The ranking of a report's only drive is the combined one: it is not printed twice.
    if (drives.size() == 1 && SameRanking(drives[0]->ranking, doc.m_rankingAll))
        return;
    for (const DriveReport* drive : drives)
        PrintRanking(out, DriveLetterText(drive->cDrive) + ":" + measure(drive), drive->ranking, options);
}

const char* TextColumnName(TextColumn column)
{
    switch (column) {
    case TextColumn::Size: return "size";
    case TextColumn::ShareParent: return "share-parent";
    case TextColumn::ShareDisc: return "share-disc";
    case TextColumn::Own: return "own";
    case TextColumn::Files: return "files";
    case TextColumn::OwnFiles: return "own-files";
    case TextColumn::Items: return "items";
    case TextColumn::Changed: return "changed";
    case TextColumn::State: return "state";
    }
    return "";
}

bool TextColumnOfName(const std::string& name, TextColumn& column)
{
    for (int k = 0; k <= static_cast<int>(TextColumn::State); ++k)
        if (name == TextColumnName(static_cast<TextColumn>(k))) {
            column = static_cast<TextColumn>(k);
            return true;
        }
    return false;
}

std::string FolderFactsOption(const TextOptions& o)
{
    if (o.bOtherSize)
        return "--other-size";
    if (o.bMarks)
        return "--marks";
    if (o.order == TextOptions::Order::Files)
        return "--sort files";
    if (o.order == TextOptions::Order::Changed)
        return "--sort changed";
    for (TextColumn c : o.columns)
        if (c > TextColumn::Own)
            return std::string("--columns ") + TextColumnName(c);
    return std::string();
}

const DriveReport* DriveWithoutFacts(const ReportDocument& doc)
{
    for (const auto& d : doc.m_pDriveReports)
        if (d && !d->bFolderFacts)
            return d.get();
    return nullptr;
}

const char* SizeKindText(SizeKind kind)
{
    return kind == SizeKind::DiscUsage ? "space on disc" : "file length";
}

MarkedFolders CountMarkedFolders(const ReportDocument& doc)
{
    MarkedFolders m;
    for (const auto& d : doc.m_pDriveReports) {
        if (!d || !d->bFolderFacts)
            continue;
        for (const FolderRecord* f : d->Folders()) {
            switch (f->state) {
            case FolderState::Read: break;
            case FolderState::OtherFs: ++m.nOtherFs; break;
            case FolderState::LeftOut: ++m.nLeftOut; break;
            default: ++m.nUnreadable; break;
            }
        }
    }
    return m;
}

std::string MarkedFoldersNote(const MarkedFolders& m)
{
    if (m.nUnreadable == 0 && m.nOtherFs == 0)
        return std::string();
    const auto folders = [](std::int64_t n) { return std::to_string(n) + (n == 1 ? " folder " : " folders "); };
    std::string note = cli::ProgramName() + ": ";
    if (m.nUnreadable)
        note += folders(m.nUnreadable) + "could not be read";
    if (m.nUnreadable && m.nOtherFs)
        note += " and ";
    if (m.nOtherFs)
        note += folders(m.nOtherFs) + "on another file system " + (m.nOtherFs == 1 ? "was" : "were") + " not entered";
    return note + " ('show --unreadable' lists them)";
}

void PrintMarkedFolders(std::ostream& out, const ReportDocument& doc)
{
    for (const auto& d : doc.m_pDriveReports) {
        if (!d || !d->bFolderFacts)
            continue;
        for (const FolderRecord* f : d->Folders())
            if (f->state != FolderState::Read)
                out << Printable(f->strPath) << "  " << FolderStateText(f->state) << "\n";
    }
}

std::string IsoUtc(std::int64_t nSeconds)
{
    // Years 0 to 9999: from -62167219200 (0000-01-01) to 253402300799 (9999-12-31 23:59:59).
    if (nSeconds == kNoTime || nSeconds < -62167219200LL || nSeconds > 253402300799LL)
        return std::string();
    const std::time_t t = static_cast<std::time_t>(nSeconds);
    std::tm tm{};
    if (!::gmtime_r(&t, &tm))
        return std::string();
    char buf[80]; // room for any int the compiler imagines; the years are 0 to 9999
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
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

std::string Printable(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const std::size_t n = Utf8SequenceLength(s, i);
        const bool control = n == 0 ? (c >= 0x80 && c <= 0x9F)              // a lone C1 byte (0x9B is a CSI)
                                    : n == 1 ? (c < 0x20 || c == 0x7F)      // C0 controls, ESC, DEL
                                             : (c == 0xC2 && static_cast<unsigned char>(s[i + 1]) <= 0x9F); // U+0080-U+009F
        if (control)
            out += '?';
        else
            out.append(s, i, n ? n : 1);
        i += n ? n : 1;
    }
    return out;
}

std::string JsonNumber(double d)
{
    if (!std::isfinite(d))
        return "null";
    char buf[64];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, d);
    return ec == std::errc() ? std::string(buf, p) : std::string("null");
}

std::string ValidUtf8(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t n = Utf8SequenceLength(bytes, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD"; // U+FFFD
            ++i;
        } else {
            out.append(bytes, i, n);
            i += n;
        }
    }
    return out;
}

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

namespace {

// A time as a JSON string (IsoUtc), or null when it is not known.
std::string JsonTime(std::int64_t t)
{
    const std::string iso = IsoUtc(t);
    return iso.empty() ? std::string("null") : "\"" + iso + "\"";
}

// The scan facts of the report, or null when it does not know them.
void ReportScanJson(std::ostream& out, const ReportDocument& doc)
{
    if (!doc.m_facts) {
        out << "null";
        return;
    }
    const ReportFacts& f = *doc.m_facts;
    out << "{\"program\":" << JsonString(f.strProgramVersion) << ",\"host\":" << JsonString(f.strHost)
        << ",\"startTime\":" << f.nStartTime << ",\"endTime\":" << f.nEndTime
        << ",\"complete\":" << (f.bComplete ? "true" : "false") << "}";
}

// How one drive was measured, or null.
void DriveScanJson(std::ostream& out, const DriveReport& d)
{
    if (!d.pFacts) {
        out << "null";
        return;
    }
    const DriveFacts& f = *d.pFacts;
    out << "{\"directory\":" << JsonString(f.strDirectory) << ",\"fileSystem\":" << JsonString(f.strFsType)
        << ",\"skipHidden\":" << (f.options.bSkipHidden ? "true" : "false")
        << ",\"countLinksOnce\":" << (f.options.bCountLinksOnce ? "true" : "false")
        << ",\"discUsage\":" << (f.options.bDiscUsage ? "true" : "false") << ",\"excludes\":[";
    for (std::size_t i = 0; i < f.options.excludes.size(); ++i)
        out << (i ? "," : "") << JsonString(f.options.excludes[i]);
    out << "],\"unreadableFolders\":" << f.counts.nUnreadable << ",\"otherFileSystemFolders\":" << f.counts.nOtherFs
        << ",\"leftOutFolders\":" << f.counts.nLeftOut << "}";
}

} // namespace

void PrintReportJson(std::ostream& out, const ReportDocument& doc)
{
    long long total = 0;
    for (const auto& d : doc.m_pDriveReports)
        if (d)
            total += d->nFolders;
    out << "{\"version\":2,\"ranking\":" << (doc.m_bRanking ? "true" : "false") << ",\"totalFolders\":" << total
        << ",\"scan\":";
    ReportScanJson(out, doc);
    out << ",\"drives\":[";
    bool firstDrive = true;
    for (const auto& d : doc.m_pDriveReports) {
        if (!d)
            continue;
        out << (firstDrive ? "" : ",") << "\n{\"drive\":"
            << JsonString(d->cDrive >= 'C' && d->cDrive <= 'Z' ? std::string(1, d->cDrive) : "\xEF\xBF\xBD")
            << ",\"storeFileNames\":" << (d->bStoreFileNames ? "true" : "false") << ",\"scan\":";
        DriveScanJson(out, *d);
        out << ",\"folderFacts\":" << (d->bFolderFacts ? "true" : "false") << ",\"folders\":[";
        firstDrive = false;
        bool firstFolder = true;
        for (const FolderRecord* f : d->Folders()) {
            out << (firstFolder ? "" : ",") << "\n{\"path\":" << JsonString(f->strPath) << ",\"level\":" << f->nLevel
                << ",\"spaceWithoutSubs\":" << f->nSpaceWithoutSubs << ",\"spaceWithSubs\":" << f->nSpaceWithSubs
                << ",\"percentOfParent\":" << JsonNumber(f->dPercentOfParent)
                << ",\"percentOfDisc\":" << JsonNumber(f->dPercentOfDisc);
            if (d->bFolderFacts)
                out << ",\"fileCount\":" << f->nFiles << ",\"items\":" << f->nItemsWithSubs
                    << ",\"newestChange\":" << JsonTime(f->nNewestChange)
                    << ",\"otherSpaceWithoutSubs\":" << f->nOtherWithoutSubs
                    << ",\"otherSpaceWithSubs\":" << f->nOtherWithSubs << ",\"state\":\"" << FolderStateName(f->state)
                    << "\"";
            out << ",\"files\":[";
            firstFolder = false;
            bool firstFile = true;
            for (const FileEntry& e : f->files) {
                out << (firstFile ? "" : ",") << "{\"name\":" << JsonString(e.strName) << ",\"size\":" << e.nSize;
                if (d->bFolderFacts)
                    out << ",\"otherSize\":" << e.nOtherSize << ",\"change\":" << JsonTime(e.nChange);
                out << (d->Counts(*f, e.strName) ? "}" : ",\"counted\":false}");
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
