#include "CNavigator.h"

#include "CDiscReportView.h"
#include "CFileListView.h"
#include "CMainFrame.h"
#include "CRankView.h"
#include "CTovalineDoc.h"
#include "DriveMap.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QStyle>
#include <QTabBar>
#include <QTreeView>
#include <QTreeWidget>

namespace {

// The drive table index and list position of a report path, or false.
bool Locate(const CTovalineDoc& doc, const std::string& path, int& nDrive, int& nPos)
{
    const char cDrive = tvl::DriveOfPath(path);
    for (std::size_t d = 0; d < doc.m_pDriveReports.size(); ++d) {
        const tvl::DriveReport* drive = doc.m_pDriveReports[d].get();
        if (!drive || drive->cDrive != cDrive)
            continue;
        const auto& list = drive->Folders();
        for (std::size_t p = 0; p < list.size(); ++p)
            if (list[p]->strPath == path) {
                nDrive = static_cast<int>(d);
                nPos = static_cast<int>(p);
                return true;
            }
    }
    return false;
}

} // namespace

CNavigator::CNavigator(CMainFrame& frame) : CView(&frame), m_frame(frame)
{
    hide();
    m_actBack = new QAction(style()->standardIcon(QStyle::SP_ArrowBack), QStringLiteral("&Back"), this);
    m_actBack->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    m_actBack->setStatusTip(QStringLiteral("Goes back to the folder selected before."));
    m_actBack->setToolTip(QStringLiteral("Back (Alt+Left)"));
    m_actForward = new QAction(style()->standardIcon(QStyle::SP_ArrowForward), QStringLiteral("&Forward"), this);
    m_actForward->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    m_actForward->setStatusTip(QStringLiteral("Goes forward again to the folder selected after this one."));
    m_actForward->setToolTip(QStringLiteral("Forward (Alt+Right)"));
    for (QAction* a : {m_actBack, m_actForward})
        a->setShortcutContext(Qt::WindowShortcut);
    frame.addAction(m_actBack);
    frame.addAction(m_actForward);
    connect(m_actBack, &QAction::triggered, this, &CNavigator::GoBack);
    connect(m_actForward, &QAction::triggered, this, &CNavigator::GoForward);
    connect(frame.m_pRankView->List(), &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        ShowRankEntry(m_frame.m_pRankView->List()->indexOfTopLevelItem(item));
    });
    qApp->installEventFilter(this);
    UpdateActions();
}

void CNavigator::OnUpdate(CView*, int lHint)
{
    const CTovalineDoc* doc = GetDocument();
    if (lHint == 1 && doc && !m_bNavigating)
        m_history.Visit(doc->m_strSelectedPath);
    UpdateActions();
}

void CNavigator::UpdateActions()
{
    m_actBack->setEnabled(m_history.CanGoBack());
    m_actForward->setEnabled(m_history.CanGoForward());
}

bool CNavigator::Exists(const std::string& path) const
{
    int d = 0, p = 0;
    return GetDocument() && Locate(*GetDocument(), path, d, p);
}

bool CNavigator::GoBack()
{
    const std::string path = m_history.Back([this](const std::string& p) { return Exists(p); });
    m_bNavigating = true;
    const bool ok = !path.empty() && ShowPath(path);
    m_bNavigating = false;
    UpdateActions();
    return ok;
}

bool CNavigator::GoForward()
{
    const std::string path = m_history.Forward([this](const std::string& p) { return Exists(p); });
    m_bNavigating = true;
    const bool ok = !path.empty() && ShowPath(path);
    m_bNavigating = false;
    UpdateActions();
    return ok;
}

bool CNavigator::ShowPath(const std::string& strFolder, const std::string& strFile)
{
    const CTovalineDoc* doc = GetDocument();
    int nDrive = 0, nPos = 0;
    if (!doc || !Locate(*doc, strFolder, nDrive, nPos) || !m_frame.m_pDiscView->ShowFolder(nDrive, nPos))
        return false;
    if (strFile.empty())
        return true;
    const CFileListModel& model = m_frame.m_pFileView->Model();
    for (int r = 0; r < model.rowCount(); ++r)
        if (model.EntryAt(r).strName == strFile) {
            QTreeView* list = m_frame.m_pFileView->List();
            list->setCurrentIndex(model.index(r, 0));
            list->scrollTo(model.index(r, 0));
            return true;
        }
    return false;
}

bool CNavigator::ShowRankEntry(int row)
{
    const CTovalineDoc* doc = GetDocument();
    if (!doc)
        return false;
    const int tab = m_frame.m_pRankView->Tabs()->currentIndex();
    const std::vector<tvl::RankEntry>* ranking = &doc->m_rankingAll;
    if (tab > 0 && tab - 1 < static_cast<int>(doc->m_pDriveReports.size()) && doc->m_pDriveReports[tab - 1])
        ranking = &doc->m_pDriveReports[static_cast<std::size_t>(tab - 1)]->ranking;
    if (row < 0 || row >= static_cast<int>(ranking->size()))
        return false;
    const tvl::RankEntry& e = (*ranking)[static_cast<std::size_t>(row)];
    return ShowPath(e.strLocation, e.strName);
}

bool CNavigator::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        auto* w = qobject_cast<QWidget*>(watched);
        const auto* me = static_cast<QMouseEvent*>(event);
        if (w && w->window() == &m_frame && (me->button() == Qt::BackButton || me->button() == Qt::ForwardButton)) {
            if (me->button() == Qt::BackButton)
                GoBack();
            else
                GoForward();
            return true;
        }
    }
    return CView::eventFilter(watched, event);
}
