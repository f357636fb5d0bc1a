// The folder view: every shown folder of every drive report as one row, indented by
// level, with both space sums and both shares drawn as bars. Double-click or Enter
// opens and closes a branch; the selected row becomes the document's selected folder.
#pragma once

#include "View.h"

class CFolderListCtrl;
class FolderListModel;

class CDiscReportView : public CView {
    Q_OBJECT
public:
    explicit CDiscReportView(QWidget* parent = nullptr);
    ~CDiscReportView() override;

    void OnInitialUpdate() override;
    // Hint 0 refills the list; other hints are ignored.
    void OnUpdate(CView* pSender, int lHint) override;

    // Brings the rows into line with the folders' display flags.
    void FillList();

    CFolderListCtrl* m_list = nullptr;
    FolderListModel* Model() const { return m_model; }

private:
    FolderListModel* m_model = nullptr;
};
