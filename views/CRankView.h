// The ranking of the largest files: a tab strip down the left edge ("All", then one
// tab per drive) and a four-column list of the selected tab's ranking, in stored
// order. Hidden when the report has no ranking. The view only reads the document.
#pragma once

#include "View.h"

#include <QTabBar>

#include "Report.h"

#include <vector>

class QLabel;
class QTreeWidget;

// The drive tabs down the left edge. Where the strip is too short for the tabs at
// their natural length they get shorter (down to their text) and then a smaller font,
// so that every tab stays visible; only when even that does not fit do scroll arrows
// appear. With the focus on the strip the arrow keys (all four), Home and End select
// tabs.
class DriveTabBar : public QTabBar {
    Q_OBJECT
public:
    explicit DriveTabBar(QWidget* parent);
    // Fits the tabs into a strip of the given length (its height).
    void FitInto(int length);
    // Whether every tab lies within the strip.
    bool AllTabsShown() const;

protected:
    QSize tabSizeHint(int index) const override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int NaturalLength() const;
    static constexpr int kCompactPadding = 8;
    int m_nMaxTabLength = 0; // 0: natural length
};

class CRankView : public CView {
    Q_OBJECT
public:
    explicit CRankView(QWidget* parent = nullptr);

    // kHintAll rebuilds the tabs and refills the list; kHintComparison refills the list
    // (entries new since the baseline are marked); other hints change nothing.
    void OnUpdate(CView* pSender, int lHint) override;

    void FillDriveTabs();
    void FillRankList();
    // The tabs' tool tips: while the views show the other size measure than a tab's
    // drive was scanned in, that its ranking stays in the scan's (empty otherwise).
    void UpdateTabTips();

    // The line above the list while the shown ranking may miss files (after Move to
    // trash or a refresh; the tab carries a warning mark as well).
    QLabel* IncompleteLine() const { return m_wndIncomplete; }
    // Whether the ranking of a tab may miss files: a drive's when its report says so,
    // "All" when any drive's does.
    bool MayMissFiles(int nTab) const;

    DriveTabBar* Tabs() const { return m_wndDriveTabs; }
    QTreeWidget* List() const { return m_wndRankList; }

    // The tab strip starts this far below the top of the view.
    static constexpr int kTabTop = 17;

    // The tool tip of an entry that is new since the baseline (such rows are also bold
    // on a tinted background).
    static QString NewEntryTip() { return QStringLiteral("New since the baseline report"); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Marks the rows of the shown ranking that entered it since the baseline, and
    // unmarks the others.
    void MarkNewEntries(int nTab);
    void OnTabChanged(int index);
    void LayoutControls(int cx, int cy);
    // Notes how wide the ranking's largest size text is and lays out again if needed.
    void MeasureSizes(const std::vector<tvl::RankEntry>& ranking);

    QTreeWidget* m_wndRankList;
    DriveTabBar* m_wndDriveTabs;
    QLabel* m_wndIncomplete;
    int m_nWidestSize = 0; // the widest size text of the shown ranking, in pixels
    bool m_bFilling = false; // tab changes made by FillDriveTabs are not the user's
};
