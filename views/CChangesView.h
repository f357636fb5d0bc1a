// The "Changes" pane, shown while the report is compared with a baseline: every folder
// whose size changed, by change from the largest growth down to the largest
// shrinkage, with its change, change in percent, size before and now. Choosing a row
// asks for the folder to be shown in the folder view; a folder that no longer exists
// leads to its nearest ancestor that does.
#pragma once

#include "View.h"

#include <QAbstractTableModel>

#include <cstdint>

#include <functional>
#include <vector>

class QLabel;
class QTableView;

namespace tvl {
struct ReportComparison;
}

// The rows of the pane. Looks the comparison up on every access.
class ChangesListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // "Item change": the change of the folder's items (files and folders below it),
    // where both reports know them (folder facts); empty otherwise.
    enum Column { ColFolder, ColChange, ColChangePercent, ColItems, ColBefore, ColNow, ColCount };
    explicit ChangesListModel(QObject* parent = nullptr);

    void SetComparisonSource(std::function<const tvl::ReportComparison*()> source) { m_source = std::move(source); }
    // Rebuilds the rows from the comparison (none without one).
    void Refill();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The folder of a row: its drive's index in the comparison and its index in that
    // drive's folders; false for no such row.
    bool RefAt(int row, std::uint32_t& nDrive, std::uint32_t& nFolder) const;
    // Whether any drive of the comparison knows its folders' items on both sides.
    bool KnowsItems() const;

private:
    std::function<const tvl::ReportComparison*()> m_source;
    struct Row {
        std::uint32_t nDrive, nFolder;
    };
    std::vector<Row> m_rows;
};

class CChangesView : public CView {
    Q_OBJECT
public:
    explicit CChangesView(QWidget* parent = nullptr);

    // Hints kHintAll and kHintComparison rebuild the list; others change nothing.
    void OnUpdate(CView* pSender, int lHint) override;

    // Asks for the folder of a row to be shown (folderChosen), as a click does.
    void ChooseRow(int row);

    QTableView* List() const { return m_list; }
    ChangesListModel* Model() const { return m_model; }

signals:
    // The current report's drive table entry and list position of the folder to show.
    void folderChosen(int nDrive, int nPos);

private:
    void LayoutColumns();
    void resizeEvent(QResizeEvent* event) override;

    QLabel* m_heading;
    QTableView* m_list;
    ChangesListModel* m_model;
};
