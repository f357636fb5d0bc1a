// The folder view: every shown folder of every drive report as one row, indented by
// level, with both space sums and both shares drawn as bars. Double-click or Enter
// opens and closes a branch; the selected row becomes the document's selected folder.
#pragma once

#include "FolderOrder.h"
#include "View.h"

#include <QStringList>

#include <vector>

class CFolderListCtrl;
namespace tvl {
struct FolderRecord;
}
class FolderListModel;

class CDiscReportView : public CView {
    Q_OBJECT
public:
    explicit CDiscReportView(QWidget* parent = nullptr);
    ~CDiscReportView() override;

    void OnInitialUpdate() override;
    // kHintAll refills the list, kHintComparison shows or hides the comparison columns;
    // other hints are ignored.
    void OnUpdate(CView* pSender, int lHint) override;

    // Brings the rows into line with the folders' display flags; the selected row
    // number stays, and when it now shows another folder the document hears of it.
    void FillList();

    // Expands or collapses the folder of a row (double-click, Enter).
    void OnItemActivate(int row);
    // Makes the folder of the selected row the document's selected folder and sends
    // kHintSelection, but only when its path differs from the document's. No selected row:
    // the document keeps its selection.
    void OnItemChanged();

    // Column widths for the width the list shows its rows in (the view less the
    // vertical scroll bar while there is one), for nColumns shown columns of which the
    // first is "Folder": "Folder" a third, the others equal parts of the rest (the last
    // takes what the division leaves). A 615-pixel view with a 15-pixel scroll bar and
    // five columns gives 200 and four times 100.
    static std::vector<int> ColumnWidths(int width, int nColumns);

    // Columns the user hid from the heading's context menu, by their keys
    // (FolderListModel::ColumnInfo::key); "Folder" is always shown. Unknown keys are
    // ignored. Setting them does not emit hiddenColumnsChanged.
    void SetHiddenColumns(const QStringList& keys);
    QStringList HiddenColumns() const;
    // Whether a column of the report is shown: not hidden by the user, and for the
    // columns of the folder facts, some drive of the report has them.
    bool IsColumnShown(int column) const;
    // The menu the heading's context menu shows: one checkable entry per column but
    // "Folder". Made anew on each call; the caller owns it.
    class QMenu* MakeColumnMenu(QWidget* parent);
    // The narrowest each column may start at: the byte-count columns hold the
    // report's widest number, the share columns "100.00" and a short bar; "Folder"
    // gives way first.
    std::vector<int> MinimumColumnWidths() const;
    // The width the view needs to show every column at its minimum without sideways
    // scrolling (the change columns included while comparing): the main window gives
    // it this much, taking it from the file list, before a number would be cut.
    int RequiredWidth() const;

    // Selects the row of a folder, opening every closed branch above it first, and
    // scrolls it into view; the document hears of the selection as after a click.
    // False (nothing selected) when the folder is not in the list.
    bool SelectFolder(const tvl::FolderRecord* pFolder);
    // SelectFolder for the folder at list position nPos of drive table entry nDrive,
    // and the keyboard focus to the list, so that the row shows highlighted.
    bool ShowFolder(int nDrive, int nPos);

    // Sorts the sub-folders of every folder by a column (or returns to path order),
    // keeping the selected folder selected; the heading shows an arrow while sorted.
    // A click on a heading goes through FolderSort::Clicked and then sortChanged.
    void SetSort(const tvl::FolderSort& sort);
    tvl::FolderSort Sort() const;

    CFolderListCtrl* m_list = nullptr;
    FolderListModel* Model() const { return m_model; }

signals:
    // The user changed the sort by clicking a heading.
    void sortChanged(const tvl::FolderSort& sort);
    // The user hid or showed a column (HiddenColumns() tells which are hidden).
    void hiddenColumnsChanged(const QStringList& keys);
    // The selected folder changed; text says why it was not (wholly) read (as the
    // folder's tool tip does), or is empty.
    void folderMarkChanged(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Sets the column widths for the width the rows are shown in.
    void LayoutColumns(int width);
    // The widest text of a byte count in the current report, in pixels.
    void MeasureNumbers();
    // The widths of "Change" and "Change %" while comparing (0 otherwise): room for the
    // largest possible change and for a percentage with a short bar.
    void ChangeColumnWidths(int& change, int& percent) const;

    void ShowSortIndicator();

    // Hides the columns that are not to be shown and shows the others.
    void ApplyHiddenColumns();

    FolderListModel* m_model = nullptr;
    int m_nWidestSize = 0;
    int m_nWidestCount = 0; // "Files (with subs)": the widest count of the report
    std::vector<bool> m_hidden; // by column, below ColCount: hidden by the user
};
