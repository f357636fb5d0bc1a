// The rows of the folder view: one row per shown folder of every drive report, in
// drive order and, within a drive, in folder-list (path) order. The folders' display
// flags (bVisible, bExpanded) are the one source of truth; the model only remembers
// which folder each row shows, by drive index and list position, and looks the record
// up through the document on every access, so a row never holds a pointer into a
// released report.
#pragma once

#include "FolderOrder.h"

#include <QAbstractTableModel>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace tvl {
class DriveReport;
class ReportDocument;
struct FolderRecord;
struct FolderSizes;
enum class SizeKind : std::uint8_t;
struct FolderChange;
struct ReportComparison;
}

class FolderListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        ColFolder,
        ColSpaceWithSubs,
        ColPercentOfParent,
        ColPercentOfDisc,
        ColSpaceWithoutSubs,
        ColFilesWithSubs, // from the folder facts; empty for a drive without them
        ColLastChange,    // likewise
        ColCount
    };
    enum Role {
        LevelRole = Qt::UserRole + 1, // int: nLevel
        ImageRole,                    // int: 0 drive, 1 closed, 2 open, 3 no sub-folders
        PercentRole,                  // double: the share as printed with two decimals
        ChangeStateRole,              // int: tvl::ChangeState of the row's folder (comparing only)
        ChangePercentRole,            // double: the change in percent as printed; none without value
        BranchRole,                   // qulonglong: the tree lines of a row (see BranchLines)
        MarkRole,                     // int: the folder's tvl::FolderState (0: read, no mark)
    };
    // The tree lines a row draws left of its image: bit d (d < level, d < 63) is set
    // when the line of depth d goes on below this row (a folder at level d + 1 above
    // it has a sibling further down), and bit 63 when the row's folder is the last
    // of its parent's rows. Derived from the shown rows in one pass per change.
    static constexpr int kLastChildBit = 63;
    // While a comparison runs, two more columns follow the others.
    enum ComparisonColumn { ColChange = ColCount, ColChangePercent, ColCountComparing };

    // Which folder a row shows: the drive report's index in the document's table and
    // the folder's position in that drive's list.
    struct RowKey {
        int nDrive = 0;
        int nPos = 0;
        friend bool operator<(const RowKey& a, const RowKey& b)
        {
            return a.nDrive != b.nDrive ? a.nDrive < b.nDrive : a.nPos < b.nPos;
        }
        friend bool operator==(const RowKey& a, const RowKey& b) = default;
    };

    // What a column shows. The view and its delegate go by the kind, not by the
    // position, so a column is added by adding a line to the table.
    // Bytes and Share columns follow the shown size measure; Count and Date come from
    // the folder facts and stay empty for a drive without them.
    enum class Kind { Name, Bytes, Share, Count, Date };
    struct ColumnInfo {
        const char* heading;
        // The name under which the settings remember that the column is hidden.
        const char* key;
        Kind kind;
        // The value of a Bytes, Count or Date column (null for the others): sizes in
        // the shown measure, counts and times from the record.
        std::int64_t (*number)(const tvl::FolderSizes&, const tvl::FolderRecord&);
        // The value of a Share column (null for the others).
        double (*share)(const tvl::FolderSizes&);
    };
    // The column table, ColCount entries in column order.
    static const ColumnInfo& ColumnAt(int column);

    explicit FolderListModel(QObject* parent = nullptr);

    // Where the document whose reports are shown is found (it may return null:
    // nothing). Asked on every access, so a document that goes away is never used.
    // Does not refill.
    void SetDocumentSource(std::function<const tvl::ReportDocument*()> source) { m_docSource = std::move(source); }
    // Where the running comparison of that document is found (null: none). Asked on
    // every access, like the document.
    void SetComparisonSource(std::function<const tvl::ReportComparison*()> source)
    {
        m_comparisonSource = std::move(source);
    }
    // Where the size measure the user asked for is found (none: each drive's own).
    // Asked on every access; call MeasureChanged when it changes.
    void SetWantedKindSource(std::function<std::optional<tvl::SizeKind>()> source)
    {
        m_kindSource = std::move(source);
    }
    // Repaints every row in the measure now asked for, and sorts again when the rows
    // are sorted by a size or share.
    void MeasureChanged();
    // The measure the rows of a drive table entry are shown in.
    tvl::SizeKind KindOf(const tvl::DriveReport& drive) const;

    // Shows or drops the "Change" and "Change %" columns as the comparison source now
    // says, and repaints the rows. Call when a comparison starts or ends.
    void UpdateComparisonColumns();

    // The row that shows a folder, or -1 when it is not shown. O(log rows) in path
    // order, O(rows) while sorted by a column.
    int RowOf(const RowKey& key) const;

    // Sorts the children of every folder by a column (FolderOrder.h) and refills; the
    // tree is kept. Sorting by "Change" or "Change %" without a comparison, or by a
    // column that does not exist, is path order.
    void SetSort(const tvl::FolderSort& sort);
    const tvl::FolderSort& Sort() const { return m_sort; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Brings the rows into line with the display flags of all folders. Rows are
    // rewritten in place (dataChanged) and only the surplus at the end is inserted or
    // removed, so the selected row number stays the same.
    void Fill();

    // Expands or collapses the folder of a row (double-click, Enter) and updates the
    // rows of its branch. Returns false when the row's folder has no sub-folders (or
    // the row shows nothing); nothing changes then. Visits only the folder's subtree,
    // which is contiguous in list order.
    bool Activate(int row);

    // The folder a row shows, or null (no such row, or its report was released).
    tvl::FolderRecord* FolderAt(int row) const;
    // The drive report of a row, or null likewise.
    const tvl::DriveReport* DriveAt(int row) const;

private:
    const tvl::ReportComparison* Comparison() const { return m_comparisonSource ? m_comparisonSource() : nullptr; }
    const tvl::FolderChange* ChangeAt(int row) const;
    QVariant ComparisonData(int row, int col, int role) const;

    std::function<const tvl::ReportComparison*()> m_comparisonSource;
    std::function<std::optional<tvl::SizeKind>()> m_kindSource;
    int m_nReportedColumns = ColCount;

    // How the children of a folder are ordered under the current sort.
    tvl::FolderLess LessFor(int nDrive) const;

    tvl::FolderSort m_sort;

    // Replaces the rows by newRows; rows before firstChanged are known to be unchanged.
    void ApplyRows(std::vector<RowKey>&& newRows, int firstChanged);

    const tvl::ReportDocument* Doc() const { return m_docSource ? m_docSource() : nullptr; }

    std::function<const tvl::ReportDocument*()> m_docSource;
    // The tree lines of every row (BranchRole), made again whenever the rows change.
    void MakeBranchLines();

    std::vector<RowKey> m_rows;
    std::vector<std::uint64_t> m_branches;
    int m_nReportedRows = 0; // what rowCount says while a change is announced
};
