// The rows of the folder view: one row per shown folder of every drive report, in
// drive order and, within a drive, in folder-list (path) order. The folders' display
// flags (bVisible, bExpanded) are the one source of truth; the model only remembers
// which folder each row shows, by drive index and list position, and looks the record
// up through the document on every access, so a row never holds a pointer into a
// released report.
#pragma once

#include <QAbstractTableModel>

#include <functional>
#include <vector>

namespace tvl {
class ReportDocument;
struct FolderRecord;
}

class FolderListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColFolder, ColSpaceWithSubs, ColPercentOfParent, ColPercentOfDisc, ColSpaceWithoutSubs, ColCount };
    enum Role {
        LevelRole = Qt::UserRole + 1, // int: nLevel
        ImageRole,                    // int: 0 drive, 1 closed, 2 open, 3 no sub-folders
        PercentRole,                  // double: the share as printed with two decimals
    };

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

    explicit FolderListModel(QObject* parent = nullptr);

    // Where the document whose reports are shown is found (it may return null:
    // nothing). Asked on every access, so a document that goes away is never used.
    // Does not refill.
    void SetDocumentSource(std::function<const tvl::ReportDocument*()> source) { m_docSource = std::move(source); }

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
    RowKey KeyAt(int row) const { return m_rows[static_cast<std::size_t>(row)]; }

private:
    // Replaces the rows by newRows; rows before firstChanged are known to be unchanged.
    void ApplyRows(std::vector<RowKey>&& newRows, int firstChanged);

    const tvl::ReportDocument* Doc() const { return m_docSource ? m_docSource() : nullptr; }

    std::function<const tvl::ReportDocument*()> m_docSource;
    std::vector<RowKey> m_rows;
    int m_nReportedRows = 0; // what rowCount says while a change is announced
};
