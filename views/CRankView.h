// The ranking of the largest files: a tab strip down the left edge ("All", then one
// tab per drive) and a four-column list of the selected tab's ranking, in stored
// order. Hidden when the report has no ranking. The view only reads the document.
#pragma once

#include "View.h"

class QTabBar;
class QTreeWidget;

class CRankView : public CView {
    Q_OBJECT
public:
    explicit CRankView(QWidget* parent = nullptr);

    // Hint 0 rebuilds the tabs and refills the list; kHintComparison refills the list
    // (entries new since the baseline are marked); other hints change nothing.
    void OnUpdate(CView* pSender, int lHint) override;

    void FillDriveTabs();
    void FillRankList();

    QTabBar* Tabs() const { return m_wndDriveTabs; }
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

    QTreeWidget* m_wndRankList;
    QTabBar* m_wndDriveTabs;
    bool m_bFilling = false; // tab changes made by FillDriveTabs are not the user's
};
