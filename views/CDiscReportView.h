// The folder view: every shown folder of every drive report as one row, indented by
// level, with both space sums and both shares drawn as bars. Double-click or Enter
// opens and closes a branch; the selected row becomes the document's selected folder.
#pragma once

#include "View.h"

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
    // Hint 0 refills the list; other hints are ignored.
    void OnUpdate(CView* pSender, int lHint) override;

    // Brings the rows into line with the folders' display flags; the selected row
    // number stays, and when it now shows another folder the document hears of it.
    void FillList();

    // Expands or collapses the folder of a row (double-click, Enter).
    void OnItemActivate(int row);
    // Makes the folder of the selected row the document's selected folder and sends
    // hint 1, but only when its path differs from the document's. No selected row:
    // the document keeps its selection.
    void OnItemChanged();

    // Selects the row of a folder, opening every closed branch above it first; the
    // document hears of the selection as after a click. False (nothing selected) when
    // the folder is not in the list.
    bool SelectFolder(const tvl::FolderRecord* pFolder);

    // Column widths for a view width: "Folder" a third of what is left after 15
    // pixels for the scroll bar, the four others a quarter each of the rest.
    static void ColumnWidths(int cx, int widths[5]);

    CFolderListCtrl* m_list = nullptr;
    FolderListModel* Model() const { return m_model; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    FolderListModel* m_model = nullptr;
};
