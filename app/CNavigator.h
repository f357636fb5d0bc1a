// Going to folders: Back and Forward through the folders selected (Alt+Left and
// Alt+Right, the mouse's back and forward buttons, the tool bar), and a double click or
// Enter on a ranking row, which selects its folder in the folder view and the file in
// the file list. The navigator is a view of the document without a window of its own:
// it hears of every selected folder through hint 1.
#pragma once

#include "FolderHistory.h"
#include "View.h"

#include <string>

class QAction;
class CMainFrame;

class CNavigator : public CView {
    Q_OBJECT
public:
    explicit CNavigator(CMainFrame& frame);

    void OnUpdate(CView* pSender, int lHint) override;

    // Selects the folder with the report path strFolder in the folder view (opening
    // the branches above it) and, when strFile is given, that file in the file list.
    // False when the folder is not in the report, or the file not in the list.
    bool ShowPath(const std::string& strFolder, const std::string& strFile = {});
    // The ranking row of the current tab: its folder and file.
    bool ShowRankEntry(int row);

    bool GoBack();
    bool GoForward();

    QAction* m_actBack;
    QAction* m_actForward;

protected:
    // The mouse's back and forward buttons anywhere in the main window.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UpdateActions();
    bool Exists(const std::string& path) const;

    CMainFrame& m_frame;
    tvl::FolderHistory m_history;
    bool m_bNavigating = false;
};
