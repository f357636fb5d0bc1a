// The one main window: menu, tool bar with the hint bar beside it, status bar, and
// the client area split into the folder list (top left), the file list (top right)
// and the ranking (bottom). It owns the two progress windows for the whole run.
//
// The frame only shows; the application serves New, Open, Save, Save as and the
// recent files through the actions it publishes.
#pragma once

#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;
class CChangesView;
class CFileTypesView;
class CDiscReportView;
class CFileListView;
class CLoadProgressDlg;
class CNavigator;
class CRankView;
class CStepProgressDlg;
class CTreemapView;
class CTovalineDoc;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame();
    ~CMainFrame() override;

    // Attaches the three views to the document and follows its title and busy state.
    void SetDocument(CTovalineDoc* pDoc);
    CTovalineDoc* Document() const { return m_pDoc; }

    CStepProgressDlg& StepProgress() const { return *m_pStepProgress; }
    CLoadProgressDlg& LoadProgress() const { return *m_pLoadProgress; }

    // Shows the recent files in the File menu (most recent first, at most
    // CRecentFileList::kSize of them), or the grayed "Last file" while there are none.
    void SetRecentFiles(const QStringList& files);

    // The pane sizes the frame sets for a client area of cx x cy: the upper row two
    // thirds and the lower row one third of the height, the left column three
    // quarters and the right column one quarter of the width. Every resize of the
    // window sets them again.
    struct PaneSizes {
        int nRow0, nRow1, nCol0, nCol1;
    };
    static PaneSizes ComputePaneSizes(int cx, int cy);
    static constexpr int kMinPane = 100;
    // The client area the pane sizes come from.
    QSize ClientSize() const;

    QAction* m_actNew;
    QAction* m_actNewFolder; // "Create report of a folder..."
    QAction* m_actOpen;
    QAction* m_actSave;
    QAction* m_actSaveAs;
    QAction* m_actExit;
    QAction* m_actToolBar;
    QAction* m_actStatusBar;
    QAction* m_actAbout;
    QAction* m_actTreemap; // View > Treemap; off until the application sets it
    QAction* m_actUnits;   // View > "Sizes in units"; off by default
    // View > "Size: file length" and "Size: space on disc": the measure the views show,
    // checked as the document shows it; disabled unless the report can show both.
    QAction* m_actSizeLength = nullptr;
    QAction* m_actSizeDisc = nullptr;
    // The status bar's note of the measure shown ("Size: file length"); empty while
    // the report does not say how it was measured.
    QLabel* m_wndMeasure = nullptr;
    QAction* m_actLastFile; // the grayed place holder of the recent files
    QAction* m_actCompare = nullptr;     // "Compare with report..."
    QAction* m_actProperties = nullptr;  // "Report properties"
    QAction* m_actStopCompare = nullptr; // "Stop comparing"
    QList<QAction*> m_recentActions;

    QMenu* m_menuFile;
    QToolBar* m_wndToolBar = nullptr;
    QToolBar* m_wndDlgBar = nullptr; // the hint bar
    QLabel* m_wndHint;
    QLabel* m_wndReady;
    QLabel* m_wndIndicators[3]; // Caps Lock, Num Lock, Scroll Lock
    QSplitter* m_wndSplitter;    // 2 rows: the top splitter, the ranking
    QSplitter* m_wndSplitterTop; // 2 columns: folder list, file list
    CDiscReportView* m_pDiscView;
    CFileListView* m_pFileView;
    CRankView* m_pRankView;
    QSplitter* m_wndSplitterBottom = nullptr; // the ranking, and the changes while comparing
    CChangesView* m_pChangesView = nullptr;
    // The treemap pane, across the window between the upper row and the ranking (a
    // middle row of m_wndSplitter); while it is hidden the client area is laid out as
    // without it.
    CTreemapView* m_pTreemapView = nullptr;
    // The "File types" pane beside the ranking (View > File types; on by default for a
    // report with file names).
    CFileTypesView* m_pTypesView = nullptr;
    QAction* m_actFileTypes = nullptr;
    // Back, Forward and going to a ranking row's file.
    CNavigator* m_pNavigator = nullptr;

    // Asked before the window closes (the report may need saving); false keeps it open.
    std::function<bool()> m_queryClose;

signals:
    void recentFileTriggered(const QString& path);

public slots:
    void OnAppAbout();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateActions();
    void CreateBars();
    void CreateClient();
    void CreateTypesPane();
    void ApplyPaneSizes();
    // The hint bar sits beside the tool bar while the row has room for both, below it
    // otherwise, so that neither a button nor the hint is cut off.
    void ArrangeBars();
    void OnBusyChanged(bool bBusy);
    // The "Changes" pane and the compare commands follow the document's comparison.
    void CreateCompareActions();
    void OnComparisonChanged();
    void ShowTitle();
    // The size actions and the status bar's note follow the document's measure.
    void OnMeasureChanged();
    // The reason the selected folder was not (wholly) read, in the status bar.
    void ShowFolderMark(const QString& text);
    void UpdateIndicators();

    CTovalineDoc* m_pDoc = nullptr;
    std::unique_ptr<CLoadProgressDlg> m_pLoadProgress;
    std::unique_ptr<CStepProgressDlg> m_pStepProgress;
    bool m_bSplitterCreated = false;
    bool m_bCloseWhenIdle = false;
    class QShortcut* m_pStopShortcut = nullptr; // Escape during a scan: Stop, keeping what was read
    bool m_bHintBarWrapped = false;
    QString m_strShownMark; // the folder mark the status bar shows, if any
};

// The lock states the status bar shows, where the platform can tell them.
struct LockStates {
    bool bCaps = false, bNum = false, bScroll = false;
};
// False when the platform cannot tell the lock states.
bool QueryLockStates(LockStates& states);
