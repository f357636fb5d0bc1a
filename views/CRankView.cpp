#include "CRankView.h"

#include "SizeMeasure.h"

#include "CTovalineDoc.h"
#include "ElidingHeaderView.h"
#include "NumberFormat.h"
#include "SizeText.h"
#include "ReportCompare.h"

#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QStyleOptionFocusRect>
#include <QStyleOptionTab>
#include <QStylePainter>
#include <QResizeEvent>
#include <QStyle>
#include <QTabBar>
#include <QTreeWidget>

#include <algorithm>

DriveTabBar::DriveTabBar(QWidget* parent) : QTabBar(parent)
{
    setFocusPolicy(Qt::TabFocus);
    setElideMode(Qt::ElideNone);
}

QSize DriveTabBar::tabSizeHint(int index) const
{
    QSize hint = QTabBar::tabSizeHint(index);
    if (m_nMaxTabLength > 0) {
        // Never shorter than the caption itself and a little air (the compact tabs
        // draw their captions themselves, without the style's wide padding).
        const int least = fontMetrics().horizontalAdvance(tabText(index)) + kCompactPadding;
        hint.setHeight(std::max(least, std::min(hint.height(), m_nMaxTabLength)));
    }
    return hint;
}

int DriveTabBar::NaturalLength() const
{
    int length = 0;
    for (int i = 0; i < count(); ++i)
        length += tabSizeHint(i).height();
    return length;
}

void DriveTabBar::FitInto(int length)
{
    // Start from the natural length in the view's own font, then shorten the tabs,
    // then step the font down; the first that fits is kept.
    m_nMaxTabLength = 0;
    QFont f = parentWidget() ? parentWidget()->font() : font();
    setFont(f);
    if (count() > 0 && length > 0 && NaturalLength() > length) {
        m_nMaxTabLength = length / count();
        const qreal smallest = std::min<qreal>(6.0, f.pointSizeF());
        while (NaturalLength() > length && f.pointSizeF() - 1 >= smallest && f.pointSizeF() > 0) {
            f.setPointSizeF(f.pointSizeF() - 1);
            setFont(f);
        }
    }
    setElideMode(Qt::ElideNone); // lays the tabs out again for the new sizes
}

bool DriveTabBar::AllTabsShown() const
{
    for (int i = 0; i < count(); ++i)
        if (tabRect(i).bottom() >= height())
            return false;
    return true;
}

void DriveTabBar::paintEvent(QPaintEvent* event)
{
    if (m_nMaxTabLength == 0)
        return QTabBar::paintEvent(event);
    // Shortened tabs: the style draws the tab shapes; the captions are drawn here,
    // running upwards like the style's own, centred in the whole tab so that the
    // style's padding cannot cut them.
    QStylePainter painter(this);
    for (int i = 0; i < count(); ++i) {
        QStyleOptionTab tab;
        initStyleOption(&tab, i);
        painter.drawControl(QStyle::CE_TabBarTabShape, tab);
        const QRect r = tab.rect;
        painter.save();
        painter.translate(r.center().x() + 1, r.center().y() + 1);
        painter.rotate(-90);
        const QRect text(-r.height() / 2, -r.width() / 2, r.height(), r.width());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(text, Qt::AlignCenter | Qt::TextSingleLine, tabText(i));
        if (i == currentIndex() && hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = text.adjusted(2, 2, -2, -2);
            painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
        painter.restore();
    }
}

void DriveTabBar::keyPressEvent(QKeyEvent* event)
{
    int next = -1;
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Left: next = currentIndex() - 1; break;
    case Qt::Key_Down:
    case Qt::Key_Right: next = currentIndex() + 1; break;
    case Qt::Key_Home: next = 0; break;
    case Qt::Key_End: next = count() - 1; break;
    default: QTabBar::keyPressEvent(event); return;
    }
    if (next >= 0 && next < count())
        setCurrentIndex(next);
    event->accept();
}

CRankView::CRankView(QWidget* parent)
    : CView(parent)
    , m_wndRankList(new QTreeWidget(this))
    , m_wndDriveTabs(new DriveTabBar(this))
    , m_wndIncomplete(new QLabel(this))
{
    setObjectName(QStringLiteral("CRankView"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);

    m_wndRankList->setObjectName(QStringLiteral("rankList"));
    m_wndRankList->setHeader(new ElidingHeaderView(m_wndRankList));
    m_wndRankList->setGeometry(0, 0, 1, 1);
    m_wndRankList->setRootIsDecorated(false);
    m_wndRankList->setItemsExpandable(false);
    m_wndRankList->setUniformRowHeights(true);
    m_wndRankList->setAllColumnsShowFocus(true); // a click selects the whole row
    m_wndRankList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_wndRankList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_wndRankList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_wndRankList->setColumnCount(4);
    auto* header = new QTreeWidgetItem;
    header->setText(0, QStringLiteral("Rank"));
    header->setText(1, QStringLiteral("File"));
    header->setText(2, QStringLiteral("Size"));
    header->setText(3, QStringLiteral("Location"));
    header->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    m_wndRankList->setHeaderItem(header);
    // "Location" takes what the scroll bar leaves, so no horizontal scroll bar appears
    // for a few pixels.
    m_wndRankList->header()->setStretchLastSection(true);
    m_wndRankList->header()->setSectionsMovable(false);
    for (int c = 0; c < 4; ++c)
        m_wndRankList->header()->resizeSection(c, 100);

    m_wndDriveTabs->setObjectName(QStringLiteral("driveTabs"));
    m_wndDriveTabs->setShape(QTabBar::RoundedWest);
    m_wndDriveTabs->setDrawBase(false);
    m_wndDriveTabs->setExpanding(false);
    m_wndDriveTabs->setGeometry(0, 0, 25, 100);
    connect(m_wndDriveTabs, &QTabBar::currentChanged, this, &CRankView::OnTabChanged);
    m_wndIncomplete->setObjectName(QStringLiteral("rankingIncomplete"));
    m_wndIncomplete->setText(QStringLiteral("This ranking may miss files: items were moved to the trash or folders "
                                            "read again. \"Refresh all\" makes it whole."));
    m_wndIncomplete->setWordWrap(true);
    m_wndIncomplete->setContentsMargins(4, 1, 4, 1);
    m_wndIncomplete->setAutoFillBackground(true);
    QPalette pal = m_wndIncomplete->palette();
    pal.setColor(QPalette::Window, QColor(255, 240, 200));
    pal.setColor(QPalette::WindowText, QColor(0, 0, 0));
    m_wndIncomplete->setPalette(pal);
    m_wndIncomplete->hide();
    connect(&sizetext::Notifier(), &SizeTextNotifier::changed, this, [this] {
        if (GetDocument())
            FillRankList();
    });
}

void CRankView::OnUpdate(CView*, int lHint)
{
    if (lHint == kHintMeasure) {
        UpdateTabTips();
        return;
    }
    if (lHint == kHintComparison) {
        FillRankList();
        return;
    }
    if (lHint != kHintAll)
        return;
    FillDriveTabs();
    FillRankList();
}

void CRankView::FillDriveTabs()
{
    m_bFilling = true;
    while (m_wndDriveTabs->count() > 0)
        m_wndDriveTabs->removeTab(m_wndDriveTabs->count() - 1);
    m_wndDriveTabs->addTab(QStringLiteral("All"));
    if (CTovalineDoc* pDoc = GetDocument()) {
        const int n = std::min(pDoc->m_nDrives, static_cast<int>(pDoc->m_pDriveReports.size()));
        for (int i = 0; i < n; ++i) {
            const tvl::DriveReport* d = pDoc->m_pDriveReports[i].get();
            // A drive whose report could not be built keeps its place with an empty ranking.
            m_wndDriveTabs->addTab(d ? QStringLiteral("%1:").arg(QChar(d->cDrive)) : QStringLiteral("?:"));
        }
    }
    // The mark of a ranking that may miss files is part of the caption, so that the
    // compact tabs, which draw their captions themselves, show it too.
    for (int i = 0; i < m_wndDriveTabs->count(); ++i)
        if (MayMissFiles(i))
            m_wndDriveTabs->setTabText(i, m_wndDriveTabs->tabText(i) + QStringLiteral(" !"));
    m_wndDriveTabs->setCurrentIndex(0);
    m_bFilling = false;
    UpdateTabTips();
    LayoutControls(width(), height());
}

void CRankView::FillRankList()
{
    CTovalineDoc* pDoc = GetDocument();
    const bool bRanking = pDoc && pDoc->m_bRanking;
    m_wndDriveTabs->setVisible(bRanking);
    m_wndRankList->setVisible(bRanking);
    const bool bMayMiss = bRanking && MayMissFiles(m_wndDriveTabs->currentIndex());
    if (bMayMiss != m_wndIncomplete->isVisibleTo(this)) {
        m_wndIncomplete->setVisible(bMayMiss);
        LayoutControls(width(), height());
    }
    if (!bRanking)
        return;

    static const std::vector<tvl::RankEntry> kNone;
    const std::vector<tvl::RankEntry>* pRanking = &kNone;
    const int s = m_wndDriveTabs->currentIndex();
    if (s <= 0) {
        pRanking = &pDoc->m_rankingAll;
    } else if (s - 1 < static_cast<int>(pDoc->m_pDriveReports.size()) && pDoc->m_pDriveReports[s - 1]) {
        pRanking = &pDoc->m_pDriveReports[s - 1]->ranking;
    }

    // Rows are reused: existing ones are overwritten, missing ones appended, the
    // surplus trimmed from the end. Selection and scroll position stay.
    const int nEntries = static_cast<int>(pRanking->size());
    for (int k = 0; k < nEntries; ++k) {
        QTreeWidgetItem* item = m_wndRankList->topLevelItem(k);
        if (!item) {
            item = new QTreeWidgetItem;
            item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
            m_wndRankList->addTopLevelItem(item);
        }
        const tvl::RankEntry& e = (*pRanking)[k];
        item->setText(0, QString::number(k + 1));
        item->setText(1, QFile::decodeName(e.strName.c_str()));
        item->setText(2, sizetext::Size(e.nSize));
        item->setToolTip(2, sizetext::ExactTip(e.nSize));
        item->setText(3, QFile::decodeName(e.strLocation.c_str()));
    }
    while (m_wndRankList->topLevelItemCount() > nEntries)
        delete m_wndRankList->takeTopLevelItem(m_wndRankList->topLevelItemCount() - 1);
    MarkNewEntries(s);
    MeasureSizes(*pRanking);
}

void CRankView::MarkNewEntries(int nTab)
{
    const CTovalineDoc* pDoc = GetDocument();
    const tvl::ReportComparison* rc = pDoc ? pDoc->Comparison() : nullptr;
    const std::vector<tvl::RankChange>* changes = nullptr;
    if (rc && rc->bRankingCompared) {
        if (nTab <= 0)
            changes = &rc->rankingAll;
        else if (const tvl::DriveComparison* d = rc->DriveOfIndex(nTab - 1); d && d->bRankingCompared)
            changes = &d->ranking;
    }
    // A light tint of the growth colour, and bold text for those who do not see it.
    const QColor mark(255, 226, 190);
    for (int k = 0; k < m_wndRankList->topLevelItemCount(); ++k) {
        QTreeWidgetItem* item = m_wndRankList->topLevelItem(k);
        const bool isNew = changes && static_cast<std::size_t>(k) < changes->size() &&
                           (*changes)[static_cast<std::size_t>(k)].state == tvl::ChangeState::New;
        QFont font = m_wndRankList->font();
        font.setBold(isNew);
        for (int c = 0; c < 4; ++c) {
            item->setFont(c, font);
            item->setBackground(c, isNew ? QBrush(mark) : QBrush());
            // The size column keeps its exact number (sizes in units).
            if (c != 2 || isNew)
                item->setToolTip(c, isNew ? NewEntryTip() : QString());
        }
    }
}

void CRankView::MeasureSizes(const std::vector<tvl::RankEntry>& ranking)
{
    // Measured in bold: entries new since a comparison's baseline are drawn bold.
    QFont bold = m_wndRankList->font();
    bold.setBold(true);
    const QFontMetrics fm(bold);
    int widest = 0;
    for (const tvl::RankEntry& e : ranking)
        widest = std::max(widest, fm.horizontalAdvance(sizetext::Size(e.nSize)));
    const int margins = 2 * (m_wndRankList->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_wndRankList) + 1);
    const int needed = widest > 0 ? widest + margins + 2 : 0;
    if (needed != m_nWidestSize) {
        m_nWidestSize = needed;
        LayoutControls(width(), height());
    }
}

void CRankView::OnTabChanged(int)
{
    if (!m_bFilling)
        FillRankList();
}

void CRankView::UpdateTabTips()
{
    const CTovalineDoc* pDoc = GetDocument();
    for (int i = 0; i < m_wndDriveTabs->count(); ++i) {
        QString tip;
        if (pDoc)
            for (std::size_t d = 0; d < pDoc->m_pDriveReports.size() && tip.isEmpty(); ++d) {
                const tvl::DriveReport* r = pDoc->m_pDriveReports[d].get();
                if (!r || (i > 0 && static_cast<std::size_t>(i) != d + 1))
                    continue;
                const tvl::SizeKind scanned = tvl::PrimaryKind(*r);
                const tvl::SizeKind shown = tvl::ShownKind(*r, pDoc->WantedKind());
                if (shown != scanned)
                    tip = QStringLiteral("The ranking stays as the scan made it: by %1. The other views show %2.")
                              .arg(QString::fromLatin1(tvl::SizeKindText(scanned)),
                                   QString::fromLatin1(tvl::SizeKindText(shown)));
            }
        m_wndDriveTabs->setTabToolTip(i, tip);
    }
}

bool CRankView::MayMissFiles(int nTab) const
{
    const CTovalineDoc* pDoc = GetDocument();
    if (!pDoc)
        return false;
    for (std::size_t i = 0; i < pDoc->m_pDriveReports.size(); ++i) {
        const tvl::DriveReport* d = pDoc->m_pDriveReports[i].get();
        if (d && d->bRankingIncomplete && (nTab <= 0 || static_cast<std::size_t>(nTab) == i + 1))
            return true;
    }
    return false;
}

void CRankView::resizeEvent(QResizeEvent* event)
{
    CView::resizeEvent(event);
    LayoutControls(event->size().width(), event->size().height());
}

void CRankView::LayoutControls(int cx, int cy)
{
    const int h = std::max(cy - kTabTop, 0);
    m_wndDriveTabs->FitInto(h);
    m_wndDriveTabs->setGeometry(0, kTabTop, 10, h);
    // The strip is as wide as its widest tab reaches, and never narrower than 10.
    int w = 10;
    for (int i = 0; i < m_wndDriveTabs->count(); ++i) {
        const QRect r = m_wndDriveTabs->tabRect(i);
        w = std::max(w, r.x() + r.width());
    }
    // The line of a ranking that may miss files stands above the list.
    int top = 0;
    if (m_wndIncomplete->isVisibleTo(this)) {
        top = m_wndIncomplete->heightForWidth(std::max(cx - w - 1, 1));
        top = std::max(top, m_wndIncomplete->sizeHint().height());
        m_wndIncomplete->setGeometry(w + 1, 0, std::max(cx - w - 1, 0), top);
    }
    m_wndRankList->setGeometry(w + 1, top, std::max(cx - w - 1, 0), std::max(cy - top, 0));
    QHeaderView* header = m_wndRankList->header();
    const int wText = std::max((cx - w - 166) / 2, 0);
    header->resizeSection(0, 50);
    header->resizeSection(1, wText);
    // "Size" is 100 pixels, or as wide as the largest size shown, which is never cut.
    header->resizeSection(2, std::max(100, m_nWidestSize));
    // "Location" would get wText as well; it stretches over what is left instead.
    m_wndDriveTabs->setGeometry(0, kTabTop, w, h);
}
