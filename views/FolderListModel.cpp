#include "FolderListModel.h"

#include "NumberFormat.h"
#include "ReportCompare.h"
#include "ReportDocument.h"
#include "DateText.h"
#include "SizeMeasure.h"
#include "SizeText.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <optional>

using tvl::DriveReport;
using tvl::FolderRecord;

namespace {

QString ToQString(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

using tvl::FolderSizes;
using Kind = FolderListModel::Kind;

const FolderListModel::ColumnInfo kColumns[] = {
    {"Folder", "folder", Kind::Name, nullptr, nullptr},
    {"Space (with subs)", "spaceWithSubs", Kind::Bytes,
     [](const FolderSizes& s, const FolderRecord&) { return s.nWithSubs; }, nullptr},
    {"% of parent folder", "percentOfParent", Kind::Share, nullptr,
     [](const FolderSizes& s) { return s.dPercentOfParent; }},
    {"% of disc", "percentOfDisc", Kind::Share, nullptr, [](const FolderSizes& s) { return s.dPercentOfDisc; }},
    {"Space (w/o subs)", "spaceWithoutSubs", Kind::Bytes,
     [](const FolderSizes& s, const FolderRecord&) { return s.nWithoutSubs; }, nullptr},
    {"Files (with subs)", "filesWithSubs", Kind::Count,
     [](const FolderSizes&, const FolderRecord& f) { return f.FilesWithSubs(); }, nullptr},
    {"Last change", "lastChange", Kind::Date,
     [](const FolderSizes&, const FolderRecord& f) { return f.nNewestChange; }, nullptr},
};
static_assert(std::size(kColumns) == FolderListModel::ColCount);

} // namespace

const FolderListModel::ColumnInfo& FolderListModel::ColumnAt(int column)
{
    return kColumns[static_cast<std::size_t>(std::clamp(column, 0, ColCount - 1))];
}

FolderListModel::FolderListModel(QObject* parent) : QAbstractTableModel(parent) {}

int FolderListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_nReportedRows;
}

int FolderListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_nReportedColumns;
}

const DriveReport* FolderListModel::DriveAt(int row) const
{
    const tvl::ReportDocument* doc = Doc();
    if (!doc || row < 0 || static_cast<std::size_t>(row) >= m_rows.size())
        return nullptr;
    const RowKey key = m_rows[static_cast<std::size_t>(row)];
    if (key.nDrive >= static_cast<int>(doc->m_pDriveReports.size()))
        return nullptr;
    return doc->m_pDriveReports[static_cast<std::size_t>(key.nDrive)].get();
}

FolderRecord* FolderListModel::FolderAt(int row) const
{
    const DriveReport* drive = DriveAt(row);
    return drive ? drive->GetFolder(m_rows[static_cast<std::size_t>(row)].nPos) : nullptr;
}

tvl::SizeKind FolderListModel::KindOf(const DriveReport& drive) const
{
    return tvl::ShownKind(drive, m_kindSource ? m_kindSource() : std::nullopt);
}

void FolderListModel::MeasureChanged()
{
    const bool bBySize = m_sort.nColumn > ColFolder && m_sort.nColumn < ColCount &&
                         (ColumnAt(m_sort.nColumn).kind == Kind::Bytes || ColumnAt(m_sort.nColumn).kind == Kind::Share);
    if (bBySize) {
        SetSort(m_sort); // refills, and so repaints
        return;
    }
    if (m_nReportedRows > 0)
        emit dataChanged(index(0, 0), index(m_nReportedRows - 1, m_nReportedColumns - 1));
}

QVariant FolderListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const FolderRecord* f = FolderAt(index.row());
    if (!f)
        return {};
    const int col = index.column();
    if (col >= ColCount || role == ChangeStateRole || role == ChangePercentRole)
        return ComparisonData(index.row(), col, role);
    const ColumnInfo& column = ColumnAt(col);
    const DriveReport& drive = *DriveAt(index.row());
    // Counts and dates exist only where the drive has folder facts.
    const bool bFacts = drive.bFolderFacts;
    auto sizes = [&] { return tvl::SizesOf(drive, *f, KindOf(drive)); };
    switch (role) {
    case Qt::DisplayRole:
        switch (column.kind) {
        case Kind::Name: return ToQString(tvl::FolderDisplayName(f->strPath));
        case Kind::Bytes: return sizetext::Size(column.number(sizes(), *f));
        case Kind::Share: return QString::fromStdString(tvl::FormatPercent(column.share(sizes())));
        case Kind::Count:
            return bFacts ? QString::fromStdString(tvl::FormatSize(column.number(FolderSizes{}, *f))) : QString();
        case Kind::Date: return bFacts ? datetext::Date(column.number(FolderSizes{}, *f)) : QString();
        }
        return {};
    case Qt::TextAlignmentRole:
        return column.kind == Kind::Name ? int(Qt::AlignLeft | Qt::AlignVCenter) : int(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::ToolTipRole:
        if (column.kind == Kind::Bytes && sizetext::Units())
            return sizetext::ExactTip(column.number(sizes(), *f));
        if (column.kind == Kind::Date && bFacts)
            return datetext::DateTime(f->nNewestChange);
        if (column.kind == Kind::Name) {
            // A folder that was not (wholly) read says why, under its path.
            const char* why = bFacts ? tvl::FolderStateText(f->state) : "";
            return *why ? ToQString(f->strPath) + QLatin1Char('\n') + QString::fromLatin1(why) : ToQString(f->strPath);
        }
        return {};
    case LevelRole:
        return f->nLevel;
    case MarkRole:
        return bFacts ? static_cast<int>(f->state) : 0;
    case BranchRole:
        return static_cast<qulonglong>(m_branches[static_cast<std::size_t>(index.row())]);
    case ImageRole: {
        const RowKey key = m_rows[static_cast<std::size_t>(index.row())];
        if (key.nPos == 0)
            return 0;
        return f->bHasSubFolders ? 1 + (f->bExpanded ? 1 : 0) : 3;
    }
    case PercentRole:
        if (column.kind == Kind::Share)
            return tvl::PrintedPercent(column.share(sizes()));
        return {};
    default:
        return {};
    }
}

QVariant FolderListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColCountComparing)
        return {};
    if (role == Qt::TextAlignmentRole)
        return section == ColFolder ? int(Qt::AlignLeft | Qt::AlignVCenter) : int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ColChange: return QStringLiteral("Change");
    case ColChangePercent: return QStringLiteral("Change %");
    default: return QString::fromLatin1(ColumnAt(section).heading);
    }
}

void FolderListModel::Fill()
{
    std::vector<RowKey> rows;
    if (const tvl::ReportDocument* doc = Doc()) {
        std::size_t shown = 0;
        for (const auto& drive : doc->m_pDriveReports)
            if (drive)
                for (const FolderRecord* f : drive->Folders())
                    shown += f->bVisible ? 1 : 0;
        rows.reserve(shown);
        std::vector<int> order;
        for (std::size_t d = 0; d < doc->m_pDriveReports.size(); ++d) {
            const DriveReport* drive = doc->m_pDriveReports[d].get();
            if (!drive)
                continue;
            const auto& folders = drive->Folders();
            if (m_sort.IsPathOrder()) {
                for (std::size_t p = 0; p < folders.size(); ++p)
                    if (folders[p]->bVisible)
                        rows.push_back({static_cast<int>(d), static_cast<int>(p)});
                continue;
            }
            order.clear();
            tvl::AppendShownBranch(folders, 0, LessFor(static_cast<int>(d)), order);
            for (int p : order)
                rows.push_back({static_cast<int>(d), p});
        }
    }
    ApplyRows(std::move(rows), 0);
}

bool FolderListModel::Activate(int row)
{
    FolderRecord* f = FolderAt(row);
    if (!f || !f->bHasSubFolders)
        return false;
    const RowKey key = m_rows[static_cast<std::size_t>(row)];
    const DriveReport* drive = Doc()->m_pDriveReports[static_cast<std::size_t>(key.nDrive)].get();
    const auto& folders = drive->Folders();
    // The position just after a folder's subtree.
    auto subtreeEnd = [&](int q) { return q + 1 + folders[static_cast<std::size_t>(q)]->nDescendants; };
    const int end = subtreeEnd(key.nPos);

    const bool wasExpanded = f->bExpanded;
    f->bExpanded = !wasExpanded;
    std::vector<RowKey> branch; // the rows of the subtree after the change
    if (!wasExpanded && !m_sort.IsPathOrder()) {
        for (int q = key.nPos + 1; q < end; ++q)
            if (folders[static_cast<std::size_t>(q)]->pParent == f)
                folders[static_cast<std::size_t>(q)]->bVisible = true;
        std::vector<int> order;
        tvl::AppendShownBranch(folders, key.nPos, LessFor(key.nDrive), order);
        for (std::size_t i = 1; i < order.size(); ++i)
            branch.push_back({key.nDrive, order[i]});
    } else if (wasExpanded) {
        // Collapse: the whole branch disappears and closes, however deep it was open.
        for (int q = key.nPos + 1; q < end; ++q) {
            FolderRecord* g = folders[static_cast<std::size_t>(q)];
            g->bVisible = false;
            g->bExpanded = false;
        }
    } else {
        // Expand: the direct children appear; deeper folders keep their flags. A
        // hidden folder's branch is hidden as a whole, so it is skipped in one step.
        for (int q = key.nPos + 1; q < end;) {
            FolderRecord* g = folders[static_cast<std::size_t>(q)];
            if (g->pParent == f)
                g->bVisible = true;
            if (g->bVisible) {
                branch.push_back({key.nDrive, q});
                ++q;
            } else {
                q = subtreeEnd(q);
            }
        }
    }

    // Splice: the rows of the branch follow the activated row directly.
    std::vector<RowKey> rows = m_rows;
    const auto first = rows.begin() + row + 1;
    // The branch's rows follow the row in any order; they are the rows of the same
    // drive within the subtree's positions.
    const auto last = std::find_if(first, rows.end(), [&](const RowKey& k) {
        return k.nDrive != key.nDrive || k.nPos <= key.nPos || k.nPos >= end;
    });
    const auto at = rows.erase(first, last);
    rows.insert(at, branch.begin(), branch.end());
    ApplyRows(std::move(rows), row);
    return true;
}

void FolderListModel::ApplyRows(std::vector<RowKey>&& newRows, int firstChanged)
{
    const int oldCount = m_nReportedRows;
    const int newCount = static_cast<int>(newRows.size());
    m_rows = std::move(newRows);
    MakeBranchLines();
    if (newCount < oldCount) {
        beginRemoveRows(QModelIndex(), newCount, oldCount - 1);
        m_nReportedRows = newCount;
        endRemoveRows();
    }
    const int lastCommon = std::min(oldCount, newCount) - 1;
    if (firstChanged <= lastCommon)
        emit dataChanged(index(firstChanged, 0), index(lastCommon, m_nReportedColumns - 1));
    if (newCount > oldCount) {
        beginInsertRows(QModelIndex(), oldCount, newCount - 1);
        m_nReportedRows = newCount;
        endInsertRows();
    }
}

void FolderListModel::MakeBranchLines()
{
    // From the last row up: more[d] tells whether a row of level d follows before the
    // next row of a lower level, that is whether the folder at level d above has a
    // sibling further down.
    m_branches.assign(m_rows.size(), 0);
    std::vector<bool> more;
    for (std::size_t r = m_rows.size(); r-- > 0;) {
        const FolderRecord* f = FolderAt(static_cast<int>(r));
        const int level = f ? std::max(f->nLevel, 0) : 0;
        if (more.size() < static_cast<std::size_t>(level) + 1)
            more.resize(static_cast<std::size_t>(level) + 1, false);
        std::uint64_t bits = 0;
        for (int d = 0; d < level && d < kLastChildBit; ++d)
            if (more[static_cast<std::size_t>(d) + 1])
                bits |= std::uint64_t{1} << d;
        if (!more[static_cast<std::size_t>(level)])
            bits |= std::uint64_t{1} << kLastChildBit;
        m_branches[r] = bits;
        more[static_cast<std::size_t>(level)] = true;
        std::fill(more.begin() + level + 1, more.end(), false);
        // A new drive's root ends every line of the drive before it.
        if (level == 0)
            std::fill(more.begin(), more.end(), false);
    }
}

const tvl::FolderChange* FolderListModel::ChangeAt(int row) const
{
    const tvl::ReportComparison* rc = Comparison();
    if (!rc || row < 0 || static_cast<std::size_t>(row) >= m_rows.size())
        return nullptr;
    const RowKey key = m_rows[static_cast<std::size_t>(row)];
    return rc->ChangeOf(key.nDrive, key.nPos);
}

QVariant FolderListModel::ComparisonData(int row, int col, int role) const
{
    const tvl::FolderChange* c = ChangeAt(row);
    if (!c)
        return {};
    // An unchanged folder shows its 0 bytes of change but no percentage and no bar, so
    // that the changed rows stand out.
    const std::optional<double> percent =
        c->state == tvl::ChangeState::Unchanged ? std::nullopt : c->Percent();
    auto percentText = [&]() -> QString {
        if (c->state == tvl::ChangeState::New)
            return QStringLiteral("new");
        return percent ? QString::fromStdString(tvl::FormatPercentChange(*percent)) : QString();
    };
    switch (role) {
    case Qt::DisplayRole:
        if (col == ColChange)
            return sizetext::Change(c->Change());
        if (col == ColChangePercent)
            return percentText();
        return {};
    case Qt::ToolTipRole:
        // The whole story of the folder, also when a number does not fit its cell.
        if (col != ColChange && col != ColChangePercent)
            return {};
        return QStringLiteral("Before: %1\nNow: %2\nChange: %3 %4")
            .arg(QString::fromStdString(tvl::FormatSize(c->OldWithSubs())),
                 QString::fromStdString(tvl::FormatSize(c->NewWithSubs())),
                 QString::fromStdString(tvl::FormatSizeChange(c->Change())), percentText());
    case Qt::TextAlignmentRole:
        return int(Qt::AlignRight | Qt::AlignVCenter);
    case ChangeStateRole:
        return static_cast<int>(c->state);
    case ChangePercentRole:
        // As printed, so that bar and number agree.
        if (!percent)
            return {};
        return tvl::PrintedPercent(*percent);
    default:
        return {};
    }
}

void FolderListModel::UpdateComparisonColumns()
{
    const int want = Comparison() ? static_cast<int>(ColCountComparing) : static_cast<int>(ColCount);
    if (want > m_nReportedColumns) {
        beginInsertColumns(QModelIndex(), m_nReportedColumns, want - 1);
        m_nReportedColumns = want;
        endInsertColumns();
    } else if (want < m_nReportedColumns) {
        beginRemoveColumns(QModelIndex(), want, m_nReportedColumns - 1);
        m_nReportedColumns = want;
        endRemoveColumns();
    }
    if (m_nReportedRows > 0)
        emit dataChanged(index(0, 0), index(m_nReportedRows - 1, m_nReportedColumns - 1));
    // A sort by a change column follows the new comparison, and ends with it.
    if (m_sort.nColumn >= ColCount)
        SetSort(Comparison() ? m_sort : tvl::FolderSort{});
}

void FolderListModel::SetSort(const tvl::FolderSort& sort)
{
    m_sort = sort;
    if (m_sort.nColumn >= ColCountComparing || (m_sort.nColumn >= ColCount && !Comparison()))
        m_sort = {};
    Fill();
}

tvl::FolderLess FolderListModel::LessFor(int nDrive) const
{
    const tvl::ReportDocument* doc = Doc();
    const DriveReport* drive = doc ? doc->m_pDriveReports[static_cast<std::size_t>(nDrive)].get() : nullptr;
    if (!drive)
        return [](int, int) { return false; };
    const auto& folders = drive->Folders();
    const bool down = m_sort.bDescending;
    // Orders by a key, ties left to the stable sort (path order).
    auto by = [down](auto key) -> tvl::FolderLess {
        return [down, key](int a, int b) { return down ? key(b) < key(a) : key(a) < key(b); };
    };
    const int col = m_sort.nColumn;
    if (col == ColFolder) // siblings' positions are in name order
        return by([](int p) { return p; });
    if (col < ColCount) {
        const ColumnInfo& info = ColumnAt(col);
        const tvl::SizeKind kind = KindOf(*drive);
        if (info.kind == Kind::Count || info.kind == Kind::Date) {
            if (!drive->bFolderFacts)
                return [](int, int) { return false; }; // nothing to sort by: path order
            return by([&folders, f = info.number](int p) {
                return f(FolderSizes{}, *folders[static_cast<std::size_t>(p)]);
            });
        }
        if (info.number)
            return by([drive, kind, &folders, f = info.number](int p) {
                const FolderRecord& rec = *folders[static_cast<std::size_t>(p)];
                return f(tvl::SizesOf(*drive, rec, kind), rec);
            });
        return by([drive, kind, &folders, f = info.share](int p) {
            return f(tvl::SizesOf(*drive, *folders[static_cast<std::size_t>(p)], kind));
        });
    }
    const tvl::ReportComparison* rc = Comparison();
    if (!rc)
        return [](int, int) { return false; };
    if (col == ColChange)
        return by([rc, nDrive](int p) {
            const tvl::FolderChange* c = rc->ChangeOf(nDrive, p);
            return c ? c->Change() : std::int64_t{0};
        });
    // "Change %": a new folder above every percentage, a folder without one below.
    return by([rc, nDrive](int p) {
        const tvl::FolderChange* c = rc->ChangeOf(nDrive, p);
        if (!c)
            return -std::numeric_limits<double>::infinity();
        if (c->state == tvl::ChangeState::New)
            return std::numeric_limits<double>::infinity();
        const std::optional<double> v = c->Percent();
        return v ? *v : -std::numeric_limits<double>::infinity();
    });
}

int FolderListModel::RowOf(const RowKey& key) const
{
    if (!m_sort.IsPathOrder()) {
        const auto it = std::find(m_rows.begin(), m_rows.end(), key);
        const int row = static_cast<int>(it - m_rows.begin());
        return it != m_rows.end() && row < m_nReportedRows ? row : -1;
    }
    const auto it = std::lower_bound(m_rows.begin(), m_rows.end(), key);
    if (it == m_rows.end() || !(*it == key))
        return -1;
    const int row = static_cast<int>(it - m_rows.begin());
    return row < m_nReportedRows ? row : -1;
}
