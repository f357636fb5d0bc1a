#include "CMainFrame.h"

#include "ReportProperties.h"

#include "CAboutBoxDlg.h"
#include "CChangesView.h"
#include "CDiscReportView.h"
#include "CFileListView.h"
#include "CFileTypesView.h"
#include "CFolderListCtrl.h"
#include "CLoadProgressDlg.h"
#include "CNavigator.h"
#include "CRankView.h"
#include "CStepProgressDlg.h"
#include "CTovalineApp.h"
#include "CTovalineDoc.h"
#include "CTreemapView.h"
#include "Pictures.h"
#include "ReportActions.h"
#include "SizeMeasure.h"
#include "SizeText.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QResizeEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <algorithm>

namespace {

QAction* MakeAction(QObject* parent, const QString& text, const QString& prompt, const QString& tip = {})
{
    auto* a = new QAction(text, parent);
    a->setStatusTip(prompt);
    if (!tip.isEmpty())
        a->setToolTip(tip);
    return a;
}

// "&1 /home/me/reports/home.tvl", long paths shortened in the middle.
QString RecentCaption(int n, const QString& path)
{
    QString shown = path;
    constexpr int kMax = 60;
    if (shown.size() > kMax)
        shown = shown.left(20) + QStringLiteral("...") + shown.right(kMax - 23);
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(n).arg(shown);
}

} // namespace

CMainFrame::CMainFrame()
{
    setObjectName(QStringLiteral("CMainFrame"));
    setWindowTitle(QStringLiteral("Tovaline"));
    setWindowIcon(pictures::ProgramIcon());
    CreateActions();
    CreateClient();
    m_pNavigator = new CNavigator(*this);
    CreateBars();

    // A comfortable first size, never larger than the screen.
    QSize size(1000, 700);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize() * 9 / 10);
    resize(size);

    // The progress windows live as long as the frame. They have no owner window: the
    // frame under construction is not the main window yet.
    m_pLoadProgress = std::make_unique<CLoadProgressDlg>(nullptr);
    m_pLoadProgress->hide();
    m_pStepProgress = std::make_unique<CStepProgressDlg>(nullptr);
    m_pStepProgress->hide();
}

CMainFrame::~CMainFrame()
{
    // The views let go of the document before the frame's children go.
    SetDocument(nullptr);
    m_pLoadProgress.reset();
    m_pStepProgress.reset();
}

void CMainFrame::CreateActions()
{
    m_actNew = MakeAction(this, QStringLiteral("&New\tStrg+N"), QStringLiteral("Creates a new document."),
                          QStringLiteral("New"));
    m_actNew->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    m_actNew->setIcon(pictures::ToolIcon(pictures::ToolButton::New));
    m_actNewFolder = MakeAction(this, QStringLiteral("Create report of a &folder..."),
                                QStringLiteral("Creates a new report of a folder of your choice."),
                                QStringLiteral("Create report of a folder"));
    m_actOpen = MakeAction(this, QStringLiteral("&Open...\tStrg+O"), QStringLiteral("Opens an existing document."),
                           QStringLiteral("Open"));
    m_actOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    m_actOpen->setIcon(pictures::ToolIcon(pictures::ToolButton::Open));
    m_actSave = MakeAction(this, QStringLiteral("&Save\tStrg+S"), QStringLiteral("Saves the active document."),
                           QStringLiteral("Save"));
    m_actSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    m_actSave->setIcon(pictures::ToolIcon(pictures::ToolButton::Save));
    m_actSaveAs = MakeAction(this, QStringLiteral("Save &as..."),
                             QStringLiteral("Saves the active document under another name."),
                             QStringLiteral("Save as"));
    m_actLastFile = MakeAction(this, QStringLiteral("Last file"), QStringLiteral("Opens this document."));
    m_actLastFile->setEnabled(false);
    m_actExit = MakeAction(this, QStringLiteral("&Exit"), QStringLiteral("Quits the program."),
                           QStringLiteral("Exit"));
    connect(m_actExit, &QAction::triggered, this, &QWidget::close);
    m_actToolBar = MakeAction(this, QStringLiteral("&Tool bar"), QStringLiteral("Toggles the tool bar."),
                              QStringLiteral("Toggle toolbar"));
    m_actToolBar->setCheckable(true);
    m_actToolBar->setChecked(true);
    m_actStatusBar = MakeAction(this, QStringLiteral("&Statusbar"), QStringLiteral("Toggles the status bar."),
                                QStringLiteral("Toggle statusbar"));
    m_actStatusBar->setCheckable(true);
    m_actStatusBar->setChecked(true);
    m_actAbout = MakeAction(this, QStringLiteral("&About..."), QStringLiteral("Shows information about the program."),
                            QStringLiteral("About"));
    m_actAbout->setIcon(pictures::ToolIcon(pictures::ToolButton::About));
    connect(m_actAbout, &QAction::triggered, this, &CMainFrame::OnAppAbout);

    m_menuFile = menuBar()->addMenu(QStringLiteral("&File"));
    m_menuFile->addAction(m_actNew);
    m_menuFile->addAction(m_actNewFolder);
    m_menuFile->addAction(m_actOpen);
    m_menuFile->addAction(m_actSave);
    m_menuFile->addAction(m_actSaveAs);
    m_actProperties = MakeAction(this, QStringLiteral("Report &properties..."),
                                 QStringLiteral("Shows how, where and when the report was made."),
                                 QStringLiteral("Report properties"));
    connect(m_actProperties, &QAction::triggered, this, [this] {
        if (m_pDoc)
            ShowReportProperties(this, *m_pDoc);
    });
    m_menuFile->addAction(m_actProperties);
    CreateCompareActions();
    m_menuFile->addSeparator();
    m_menuFile->addAction(m_actLastFile);
    for (int i = 0; i < CRecentFileList::kSize; ++i) {
        QAction* a = MakeAction(this, QString(), QStringLiteral("Opens this document."));
        a->setVisible(false);
        connect(a, &QAction::triggered, this, [this, a] { emit recentFileTriggered(a->data().toString()); });
        m_recentActions.append(a);
        m_menuFile->addAction(a);
    }
    m_menuFile->addSeparator();
    m_menuFile->addAction(m_actExit);

    m_actTreemap = MakeAction(this, QStringLiteral("T&reemap"), QStringLiteral("Shows or hides the treemap."),
                              QStringLiteral("Toggle treemap"));
    m_actTreemap->setCheckable(true);

    m_actUnits = MakeAction(this, QStringLiteral("Sizes in &units"),
                            QStringLiteral("Shows sizes as 1.5 GiB; the exact number is in the tool tip."),
                            QStringLiteral("Sizes in units"));
    m_actUnits->setCheckable(true);
    connect(m_actUnits, &QAction::toggled, this, [](bool bOn) { sizetext::SetUnits(bOn); });
    sizetext::SetUnits(false);

    QMenu* view = menuBar()->addMenu(QStringLiteral("View"));
    view->addAction(m_actToolBar);
    view->addAction(m_actStatusBar);
    view->addAction(m_actTreemap);
    m_actFileTypes = MakeAction(this, QStringLiteral("&File types"),
                                QStringLiteral("Shows or hides the file types of the selected folder."),
                                QStringLiteral("Toggle file types"));
    m_actFileTypes->setCheckable(true);
    view->addAction(m_actFileTypes);
    view->addAction(m_actUnits);
    // The two measures of a size, one of them checked: a report with folder facts
    // knows both, so the views switch without scanning again.
    m_actSizeLength = MakeAction(this, QStringLiteral("Size: &file length"),
                                 QStringLiteral("Shows every size as the files' length."),
                                 QStringLiteral("Size: file length"));
    m_actSizeDisc = MakeAction(this, QStringLiteral("Size: space on &disc"),
                               QStringLiteral("Shows every size as the space the files take on the disc."),
                               QStringLiteral("Size: space on disc"));
    auto* sizes = new QActionGroup(this);
    sizes->setExclusive(true);
    for (QAction* a : {m_actSizeLength, m_actSizeDisc}) {
        a->setCheckable(true);
        a->setEnabled(false);
        sizes->addAction(a);
    }
    m_actSizeLength->setChecked(true);
    connect(m_actSizeLength, &QAction::triggered, this, [this] {
        if (m_pDoc)
            m_pDoc->SetWantedKind(tvl::SizeKind::Length);
    });
    connect(m_actSizeDisc, &QAction::triggered, this, [this] {
        if (m_pDoc)
            m_pDoc->SetWantedKind(tvl::SizeKind::DiscUsage);
    });
    view->addSeparator();
    view->addAction(m_actSizeLength);
    view->addAction(m_actSizeDisc);
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(m_actAbout);
}

void CMainFrame::CreateBars()
{
    m_wndToolBar = new QToolBar(QStringLiteral("Tool bar"), this);
    m_wndToolBar->setObjectName(QStringLiteral("toolBar"));
    m_wndToolBar->setIconSize(QSize(16, 16));
    m_wndToolBar->setMovable(true); // the gripper
    m_wndToolBar->addAction(m_actNew);
    m_wndToolBar->addAction(m_actOpen);
    m_wndToolBar->addAction(m_actSave);
    m_wndToolBar->addSeparator();
    m_wndToolBar->addAction(m_pNavigator->m_actBack);
    m_wndToolBar->addAction(m_pNavigator->m_actForward);
    m_wndToolBar->addSeparator();
    m_wndToolBar->addAction(m_actAbout);
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);

    // The hint bar sits beside the tool bar, without a gripper.
    m_wndDlgBar = new QToolBar(QStringLiteral("Hint"), this);
    m_wndDlgBar->setObjectName(QStringLiteral("hintBar"));
    m_wndDlgBar->setMovable(false);
    m_wndDlgBar->toggleViewAction()->setVisible(false);
    m_wndHint = new QLabel(QStringLiteral("Double-click on folder to expand branch"));
    m_wndHint->setObjectName(QStringLiteral("hint"));
    m_wndHint->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_wndHint->setContentsMargins(6, 0, 6, 0);
    m_wndDlgBar->addWidget(m_wndHint);
    addToolBar(Qt::TopToolBarArea, m_wndDlgBar);

    connect(m_actToolBar, &QAction::toggled, this, [this](bool bVisible) {
        m_wndToolBar->setVisible(bVisible);
        ArrangeBars();
    });
    connect(m_wndToolBar, &QToolBar::visibilityChanged, m_actToolBar, [this](bool visible) {
        if (!isHidden())
            m_actToolBar->setChecked(visible);
    });

    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("statusBar"));
    // The message pane: "Bereit" unless a prompt is shown over it.
    m_wndReady = new QLabel(QStringLiteral("Bereit"));
    m_wndReady->setObjectName(QStringLiteral("ready"));
    bar->addWidget(m_wndReady, 1);
    m_wndMeasure = new QLabel;
    m_wndMeasure->setObjectName(QStringLiteral("measure"));
    m_wndMeasure->setContentsMargins(4, 0, 4, 0);
    bar->addPermanentWidget(m_wndMeasure);
    const char* const indicators[3] = {"UF", "NUM", "RF"};
    for (int i = 0; i < 3; ++i) {
        auto* l = new QLabel;
        l->setObjectName(QString::fromLatin1(indicators[i]));
        l->setProperty("indicator", QString::fromLatin1(indicators[i]));
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        l->setAlignment(Qt::AlignCenter);
        l->setMinimumWidth(l->fontMetrics().horizontalAdvance(QStringLiteral("NUM")) + 12);
        bar->addPermanentWidget(l);
        m_wndIndicators[i] = l;
    }
    connect(m_actStatusBar, &QAction::toggled, bar, &QWidget::setVisible);

    LockStates states;
    if (QueryLockStates(states)) {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, &CMainFrame::UpdateIndicators);
        timer->start(250);
        UpdateIndicators();
    } else {
        // The platform cannot tell the lock states: no indicators.
        for (QLabel* l : m_wndIndicators)
            l->hide();
    }
}

void CMainFrame::UpdateIndicators()
{
    LockStates s;
    if (!QueryLockStates(s))
        return;
    const bool on[3] = {s.bCaps, s.bNum, s.bScroll};
    for (int i = 0; i < 3; ++i)
        m_wndIndicators[i]->setText(on[i] ? m_wndIndicators[i]->property("indicator").toString() : QString());
}

void CMainFrame::CreateClient()
{
    m_wndSplitter = new QSplitter(Qt::Vertical, this);
    m_wndSplitter->setObjectName(QStringLiteral("splitter"));
    m_wndSplitterTop = new QSplitter(Qt::Horizontal, m_wndSplitter);
    m_wndSplitterTop->setObjectName(QStringLiteral("splitterTop"));
    m_pDiscView = new CDiscReportView(m_wndSplitterTop);
    m_pFileView = new CFileListView(m_wndSplitterTop);
    m_wndSplitterBottom = new QSplitter(Qt::Horizontal, m_wndSplitter);
    m_wndSplitterBottom->setObjectName(QStringLiteral("splitterBottom"));
    m_wndSplitterBottom->setChildrenCollapsible(false);
    m_pRankView = new CRankView(m_wndSplitterBottom);
    m_pChangesView = new CChangesView(m_wndSplitterBottom);
    m_pChangesView->hide();
    connect(m_pChangesView, &CChangesView::folderChosen, m_pDiscView, &CDiscReportView::ShowFolder);
    connect(m_pDiscView, &CDiscReportView::folderMarkChanged, this, &CMainFrame::ShowFolderMark);
    // Columns shown or hidden change the room the folder view needs.
    connect(m_pDiscView, &CDiscReportView::hiddenColumnsChanged, this, [this] { ApplyPaneSizes(); });
    m_wndSplitter->addWidget(m_wndSplitterTop);
    m_wndSplitter->addWidget(m_wndSplitterBottom);
    m_wndSplitterTop->addWidget(m_pDiscView);
    m_wndSplitterTop->addWidget(m_pFileView);
    // The file list's sizes must stay whole too when its neighbour takes room.
    connect(m_pFileView, &CFileListView::listed, this, [this] {
        if (m_bSplitterCreated)
            ApplyPaneSizes();
    });
    for (QSplitter* s : {m_wndSplitter, m_wndSplitterTop}) {
        s->setChildrenCollapsible(false);
        s->setStretchFactor(0, 1);
        s->setStretchFactor(1, 0);
    }
    m_pTreemapView = new CTreemapView(m_wndSplitter);
    m_pTreemapView->hide();
    m_wndSplitter->insertWidget(1, m_pTreemapView);
    m_wndSplitter->setStretchFactor(1, 1);
    connect(m_actTreemap, &QAction::toggled, this, [this](bool bVisible) {
        m_pTreemapView->setVisible(bVisible);
        // Once the splitter has taken the pane (and its handle) in or out.
        QTimer::singleShot(0, this, &CMainFrame::ApplyPaneSizes);
    });
    connect(m_pTreemapView, &CTreemapView::folderClicked, this,
            [this](tvl::FolderRecord* pFolder) { m_pDiscView->SelectFolder(pFolder); });
    CreateTypesPane();
    setCentralWidget(m_wndSplitter);
    // The folder list has the keyboard when the window opens: arrows and Enter browse
    // the report at once.
    m_pDiscView->m_list->setFocus();
    m_bSplitterCreated = true;
}

void CMainFrame::CreateTypesPane()
{
    m_pTypesView = new CFileTypesView(m_wndSplitterBottom);
    m_pTypesView->hide();
    m_wndSplitterBottom->addWidget(m_pTypesView); // after the changes pane, which comes and goes
    m_pTypesView->SetTreemap(m_pTreemapView);
    m_wndSplitterBottom->setStretchFactor(0, 1);
    m_wndSplitterBottom->setStretchFactor(2, 1);
    connect(m_actFileTypes, &QAction::toggled, this, [this](bool bVisible) {
        m_pTypesView->setVisible(bVisible);
        if (!bVisible)
            return;
        // Once the splitter has taken the pane in: the types get a little more than
        // half of the lower row, the ranking the rest (less the changes, when shown).
        QTimer::singleShot(0, this, [this] {
            QList<int> sizes = m_wndSplitterBottom->sizes();
            int w = 0;
            for (int size : sizes)
                w += size;
            const int types = w - (w * 9) / 20;
            sizes.first() = std::max(0, w - types - (m_pChangesView->isHidden() ? 0 : sizes[1]));
            sizes.last() = types;
            m_wndSplitterBottom->setSizes(sizes);
        });
    });
    connect(m_pTypesView, &CFileTypesView::namesChanged, m_actFileTypes, &QAction::setChecked);
    connect(m_pTypesView, &CFileTypesView::fileChosen, this, [this](char cDrive, int nPos, int nFile) {
        if (m_pDoc)
            ShowInViews(*this, *m_pDoc, cDrive, nPos, nFile);
    });
}

void CMainFrame::SetDocument(CTovalineDoc* pDoc)
{
    if (m_pDoc) {
        disconnect(m_pDoc, nullptr, this, nullptr);
        disconnect(m_pStepProgress.get(), nullptr, m_pDoc, nullptr);
        if (m_pStopShortcut)
            disconnect(m_pStopShortcut, nullptr, m_pDoc, nullptr);
    }
    m_pDoc = pDoc;
    m_pDiscView->SetDocument(pDoc);
    m_pFileView->SetDocument(pDoc);
    m_pRankView->SetDocument(pDoc);
    m_pChangesView->SetDocument(pDoc);
    m_pTreemapView->SetDocument(pDoc);
    m_pTypesView->SetDocument(pDoc);
    m_pNavigator->SetDocument(pDoc);
    if (!pDoc)
        return;
    connect(pDoc, &CTovalineDoc::titleChanged, this, &CMainFrame::ShowTitle);
    connect(pDoc, &CTovalineDoc::comparisonChanged, this, &CMainFrame::OnComparisonChanged);
    connect(pDoc, &CTovalineDoc::statusMessage, this, [this](const QString& text) {
        statusBar()->showMessage(text, 15000);
    });
    // The step window's Stop ends the scan and keeps what was read; so does Escape in
    // the main window while a scan runs.
    connect(m_pStepProgress.get(), &CStepProgressDlg::stopRequested, pDoc, &CTovalineDoc::StopScan);
    if (!m_pStopShortcut)
        m_pStopShortcut = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(m_pStopShortcut, &QShortcut::activated, pDoc, [this] {
        // The step window tells that the stop was heard; a scan without it just stops.
        if (m_pStepProgress->isVisible())
            m_pStepProgress->RequestStop();
        else if (m_pDoc)
            m_pDoc->StopScan();
    });
    connect(pDoc, &CTovalineDoc::busyChanged, this, &CMainFrame::OnBusyChanged);
    connect(pDoc, &CTovalineDoc::measureChanged, this, &CMainFrame::OnMeasureChanged);
    connect(pDoc, &QObject::destroyed, this, [this] { m_pDoc = nullptr; });
    OnComparisonChanged();
    OnBusyChanged(pDoc->IsBusy());
    OnMeasureChanged();
}

void CMainFrame::OnMeasureChanged()
{
    // The measure of the first drive stands for the report: a scan measures all its
    // drives alike.
    const tvl::DriveReport* first = nullptr;
    if (m_pDoc && !m_pDoc->IsBusy())
        for (const auto& d : m_pDoc->m_pDriveReports)
            if (d && !first)
                first = d.get();
    const bool bSwitch = first && tvl::CanSwitchKind(m_pDoc->m_pDriveReports);
    m_actSizeLength->setEnabled(bSwitch);
    m_actSizeDisc->setEnabled(bSwitch);
    const tvl::SizeKind shown = first ? tvl::ShownKind(*first, m_pDoc->WantedKind()) : tvl::SizeKind::Length;
    (shown == tvl::SizeKind::DiscUsage ? m_actSizeDisc : m_actSizeLength)->setChecked(true);
    // A report that does not say how it was measured shows no note.
    if (!first || !first->pFacts) {
        m_wndMeasure->clear();
        m_wndMeasure->setToolTip(QString());
        return;
    }
    const tvl::SizeKind scanned = tvl::PrimaryKind(*first);
    m_wndMeasure->setText(QStringLiteral("Size: ") + QString::fromLatin1(tvl::SizeKindText(shown)));
    m_wndMeasure->setToolTip(
        shown == scanned
            ? QStringLiteral("Sizes are shown as the scan measured them.")
            : QStringLiteral("Sizes are shown as %1; the scan measured %2, and the ranking stays in that.")
                  .arg(QString::fromLatin1(tvl::SizeKindText(shown)), QString::fromLatin1(tvl::SizeKindText(scanned))));
}

void CMainFrame::ShowFolderMark(const QString& text)
{
    // A folder that was read says nothing; it only takes away the note of the folder
    // selected before, not another message.
    if (!text.isEmpty()) {
        statusBar()->showMessage(text);
        m_strShownMark = text;
    } else if (!m_strShownMark.isEmpty() && statusBar()->currentMessage() == m_strShownMark) {
        statusBar()->clearMessage();
        m_strShownMark.clear();
    }
}

void CMainFrame::CreateCompareActions()
{
    m_actCompare = MakeAction(this, QStringLiteral("&Compare with report..."),
                              QStringLiteral("Compares the report with an older report file and shows what changed."),
                              QStringLiteral("Compare with report"));
    m_actStopCompare = MakeAction(this, QStringLiteral("S&top comparing"),
                                  QStringLiteral("Shows the plain report again."), QStringLiteral("Stop comparing"));
    m_actStopCompare->setEnabled(false);
    connect(m_actStopCompare, &QAction::triggered, this, [this] {
        if (m_pDoc)
            m_pDoc->StopComparing();
    });
    m_menuFile->addSeparator();
    m_menuFile->addAction(m_actCompare);
    m_menuFile->addAction(m_actStopCompare);
}

void CMainFrame::OnComparisonChanged()
{
    const bool comparing = m_pDoc && m_pDoc->Comparison();
    m_actStopCompare->setEnabled(comparing);
    if (comparing && m_pChangesView->isHidden()) {
        m_pChangesView->show();
        // The changes take the right half of the lower row.
        const int w = m_wndSplitterBottom->width();
        m_wndSplitterBottom->setSizes({w / 2, w - w / 2});
    } else if (!comparing) {
        m_pChangesView->hide();
    }
    // The change columns need room in the folder view.
    if (m_bSplitterCreated)
        ApplyPaneSizes();
    ShowTitle();
}

void CMainFrame::ShowTitle()
{
    // "new.tvl compared with old.tvl - Tovaline" while comparing.
    QString title = m_pDoc ? m_pDoc->GetTitle() : QString();
    if (m_pDoc && m_pDoc->Comparison())
        title += QStringLiteral(" compared with ") + QFileInfo(m_pDoc->BaselinePathName()).fileName();
    // A report changed since it was made, opened or saved: "Report * - Tovaline"; one
    // whose scan was stopped ends in " (incomplete)".
    if (!title.isEmpty() && m_pDoc && m_pDoc->IsModified())
        title += QStringLiteral(" *");
    title = title.isEmpty() ? QStringLiteral("Tovaline") : title + QStringLiteral(" - Tovaline");
    if (m_pDoc && m_pDoc->IsIncomplete())
        title += QStringLiteral(" (incomplete)");
    setWindowTitle(title);
}

void CMainFrame::OnBusyChanged(bool bBusy)
{
    // A scan lets the user interface run; New, Open and Save must wait for its end.
    for (QAction* a : {m_actNew, m_actNewFolder, m_actOpen, m_actSave, m_actSaveAs, m_actCompare, m_actProperties})
        a->setEnabled(!bBusy);
    m_actStopCompare->setEnabled(!bBusy && m_pDoc && m_pDoc->Comparison());
    for (QAction* a : m_recentActions)
        a->setEnabled(!bBusy);
    if (m_pStopShortcut)
        m_pStopShortcut->setEnabled(bBusy);
    OnMeasureChanged();
    if (!bBusy && m_bCloseWhenIdle)
        QTimer::singleShot(0, this, &QWidget::close);
}

void CMainFrame::SetRecentFiles(const QStringList& files)
{
    const int n = std::min<int>(static_cast<int>(files.size()), CRecentFileList::kSize);
    m_actLastFile->setVisible(n == 0);
    for (int i = 0; i < CRecentFileList::kSize; ++i) {
        QAction* a = m_recentActions[i];
        a->setVisible(i < n);
        if (i < n) {
            a->setText(RecentCaption(i + 1, files[i]));
            a->setData(files[i]);
        }
    }
}

void CMainFrame::OnAppAbout()
{
    CAboutBoxDlg dlg(this);
    dlg.exec();
}

CMainFrame::PaneSizes CMainFrame::ComputePaneSizes(int cx, int cy)
{
    return {(2 * cy) / 3, cy / 3, (3 * cx) / 4, cx / 4};
}

QSize CMainFrame::ClientSize() const
{
    // The client area is the window without its menu bar; tool bars and the status
    // bar count in.
    const int menu = menuBar()->isHidden() && isVisible() ? 0 : menuBar()->sizeHint().height();
    return {width(), std::max(height() - menu, 0)};
}

void CMainFrame::ApplyPaneSizes()
{
    const QSize client = ClientSize();
    const PaneSizes sizes = ComputePaneSizes(client.width(), client.height());
    // As in a static splitter the first row and column get their share of the whole
    // client area, the last ones whatever is left. A shown treemap takes a little more
    // than half of the upper row's share, below the folder and file lists.
    const int handle = m_wndSplitter->handleWidth();
    const bool bMap = !m_pTreemapView->isHidden();
    const int outer = std::max(m_wndSplitter->height() - handle * (bMap ? 2 : 1), 0);
    const int row0 = std::min(sizes.nRow0, outer);
    const int map = bMap ? (row0 * 11) / 20 : 0;
    m_wndSplitter->setSizes({row0 - map, map, outer - row0});
    const int inner = std::max(m_wndSplitterTop->width() - m_wndSplitterTop->handleWidth(), 0);
    // The folder view's numbers are never cut: when its share is too narrow for them
    // (the change columns of a comparison, a large font) the file list gives way, down
    // to the width that still shows its sizes whole; past that the folder view scrolls
    // sideways.
    // Of the folder view's three quarters the file list takes back what it wants for
    // its "Last change" as well, but nothing the folder view's numbers need.
    const int fileListMinimum = std::max(kMinPane, m_pFileView->MinimumWidth());
    const int fileListWanted = std::max(fileListMinimum, m_pFileView->WantedWidth());
    const int needed = std::min(m_pDiscView->RequiredWidth(), inner - fileListMinimum);
    const int col0 = std::clamp(std::max(needed, std::min(sizes.nCol0, inner - fileListWanted)), 0, inner);
    m_wndSplitterTop->setSizes({col0, inner - col0});
}

void CMainFrame::ArrangeBars()
{
    if (!m_wndToolBar || !m_wndDlgBar)
        return;
    const bool bWrap = !m_wndToolBar->isHidden() &&
                       m_wndToolBar->sizeHint().width() + m_wndDlgBar->sizeHint().width() > width();
    if (bWrap == m_bHintBarWrapped)
        return;
    m_bHintBarWrapped = bWrap;
    if (bWrap)
        insertToolBarBreak(m_wndDlgBar);
    else
        removeToolBarBreak(m_wndDlgBar);
    // Lay the bars out now, so that the panes are measured in the client area that
    // is left for them.
    layout()->activate();
}

void CMainFrame::resizeEvent(QResizeEvent* event)
{
    ArrangeBars();
    QMainWindow::resizeEvent(event);
    if (!m_bSplitterCreated)
        return;
    ApplyPaneSizes();
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (m_queryClose && !(m_pDoc && m_pDoc->IsBusy()) && !m_queryClose()) {
        event->ignore(); // the user cancelled the save question
        return;
    }
    if (m_pDoc && m_pDoc->IsBusy()) {
        // A scan is running inside the event pump: ask it to stop and close once it
        // has returned.
        m_bCloseWhenIdle = true;
        m_pDoc->RequestStop();
        event->ignore();
        return;
    }
    m_pLoadProgress->hide();
    m_pStepProgress->hide();
    QMainWindow::closeEvent(event);
}
