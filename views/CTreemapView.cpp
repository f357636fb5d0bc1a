#include "CTreemapView.h"

#include "SizeMeasure.h"

#include "SizeText.h"

#include "CTovalineDoc.h"
#include "NumberFormat.h"
#include "TreemapTypes.h"

#include <QAction>
#include <QCoreApplication>
#include <QHelpEvent>
#include <QPointer>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStatusTipEvent>
#include <QStyle>
#include <QThreadPool>
#include <QToolButton>
#include <QToolTip>

#include <algorithm>
#include <cstring>

namespace {

QString ToQString(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

constexpr int kResizeDelayMs = 80; // a resize lays out again once the size settles

} // namespace

// One layout and picture being made on the worker: what to lay out, the generation it
// belongs to, and the result.
struct CTreemapView::Job {
    std::shared_ptr<const tvl::TreemapTree> tree;
    int nRoot = -1;
    tvl::TreemapOptions options;
    std::uint64_t nGeneration = 0;
    std::shared_ptr<std::atomic<bool>> cancel;
    qreal dpr = 1.0;
    std::shared_ptr<tvl::TreemapLayout> layout;
    QImage image;
    std::shared_ptr<const tvl::TreemapPixelMap> map;
};

CTreemapView::CTreemapView(QWidget* parent)
    : CView(parent), m_pool(std::make_unique<QThreadPool>()), m_pLayout(std::make_shared<tvl::TreemapLayout>()),
      m_map(std::make_shared<const tvl::TreemapPixelMap>())
{
    setObjectName(QStringLiteral("treemap"));
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    setMinimumSize(100, 100);
    m_pool->setMaxThreadCount(1);

    m_actZoomOut = new QAction(style()->standardIcon(QStyle::SP_ArrowUp), QStringLiteral("Zoom out"), this);
    m_actZoomOut->setStatusTip(QStringLiteral("Shows the folder above the one shown in the treemap."));
    m_actZoomOut->setToolTip(QStringLiteral("Zoom out (Backspace)"));
    m_actZoomOut->setShortcut(QKeySequence(Qt::Key_Backspace));
    m_actZoomOut->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(m_actZoomOut);
    connect(m_actZoomOut, &QAction::triggered, this, [this] { ZoomOut(); });
    m_btnZoomOut = new QToolButton(this);
    m_btnZoomOut->setObjectName(QStringLiteral("treemapZoomOut"));
    m_btnZoomOut->setDefaultAction(m_actZoomOut);
    m_btnZoomOut->setAutoRaise(true);
    m_lblPath = new QLabel(this);
    m_lblPath->setObjectName(QStringLiteral("treemapPath"));
    m_lblPath->setTextFormat(Qt::PlainText);

    m_relayoutTimer.setSingleShot(true);
    m_relayoutTimer.setInterval(kResizeDelayMs);
    connect(&m_relayoutTimer, &QTimer::timeout, this, &CTreemapView::Relayout);
    connect(&sizetext::Notifier(), &SizeTextNotifier::changed, this, &CTreemapView::UpdateHeader);
    UpdateHeader();
}

CTreemapView::~CTreemapView()
{
    if (m_pCancel)
        m_pCancel->store(true);
    m_pool->waitForDone();
}

const tvl::DriveReport* CTreemapView::ShownReport() const
{
    const CTovalineDoc* doc = GetDocument();
    if (!doc || doc->IsBusy() || m_nDrive < 0 || m_nDrive >= static_cast<int>(doc->m_pDriveReports.size()))
        return nullptr;
    return doc->m_pDriveReports[static_cast<std::size_t>(m_nDrive)].get();
}

// Where the document's selected folder lies (drive index and list position); without
// a selection, or one that is in no drive, the root of the first drive with folders.
// (-1, -1) when there is nothing to show. A linear search: once per selection change.
static std::pair<int, int> SelectedPlace(const CTovalineDoc& doc)
{
    std::pair<int, int> first{-1, -1};
    for (std::size_t d = 0; d < doc.m_pDriveReports.size(); ++d) {
        const tvl::DriveReport* r = doc.m_pDriveReports[d].get();
        if (!r || r->nFolders == 0)
            continue;
        if (first.first < 0)
            first = {static_cast<int>(d), 0};
        const auto& list = r->Folders();
        const auto it = doc.m_pSelectedFolder ? std::find(list.begin(), list.end(), doc.m_pSelectedFolder) : list.end();
        if (it != list.end())
            return {static_cast<int>(d), static_cast<int>(it - list.begin())};
    }
    return first;
}

void CTreemapView::OnUpdate(CView*, int lHint)
{
    const CTovalineDoc* doc = GetDocument();
    const auto [nDrive, nPos] = doc && !doc->IsBusy() ? SelectedPlace(*doc) : std::pair<int, int>{-1, -1};
    if (lHint == kHintMeasure) {
        // The same report in the other measure: the same folder, laid out again.
        m_pTree.reset();
        m_zoomedFrom.clear();
        Relayout();
        return;
    }
    if (lHint == kHintAll) {
        // A new report: no position of the old one may be used again.
        m_pTree.reset();
        m_nDrive = -1;
        m_pLayout = std::make_shared<tvl::TreemapLayout>();
        m_image = QImage();
        m_map = std::make_shared<const tvl::TreemapPixelMap>();
    }
    // A folder selected inside the folder shown (from the list or by a click here)
    // keeps the picture and is framed in it; the picture changes only on zoom or for
    // a folder outside it.
    if ((lHint == kHintSelection || lHint == kHintComparison) && nDrive == m_nDrive && (m_bOwnClick || Shows(nPos))) {
        m_nSelected = nPos;
        update();
        return;
    }
    m_nSelected = nPos;
    ZoomTo(nDrive, nPos);
}

bool CTreemapView::Shows(int nPos) const
{
    const tvl::DriveReport* report = ShownReport();
    const tvl::FolderRecord* root = report ? report->GetFolder(m_nRoot) : nullptr;
    return root && nPos >= m_nRoot && nPos <= m_nRoot + root->nDescendants;
}

void CTreemapView::ZoomTo(int nDrive, int nPos)
{
    if (nDrive != m_nDrive) {
        m_pTree.reset();
        m_pLayout = std::make_shared<tvl::TreemapLayout>();
        m_image = QImage();
        m_map = std::make_shared<const tvl::TreemapPixelMap>();
    }
    m_zoomedFrom.clear();
    m_nDrive = nDrive;
    m_nRoot = nPos;
    Relayout();
}

void CTreemapView::ZoomIn(int nPos)
{
    if (PictureReady() && m_pLayout->TileOfFolder(nPos) > 0) {
        m_zoomedFrom.push_back({m_nRoot, m_pLayout, m_image, m_map});
        if (m_zoomedFrom.size() > kZoomMemory)
            m_zoomedFrom.erase(m_zoomedFrom.begin());
    }
    m_nRoot = nPos;
    Relayout();
}

bool CTreemapView::ZoomOut()
{
    if (!m_pTree || m_nRoot < 0 || m_pTree->Parent(m_nRoot) < 0)
        return false;
    const int parent = m_pTree->Parent(m_nRoot);
    if (m_zoomedFrom.empty() || m_zoomedFrom.back().nRoot != parent ||
        m_zoomedFrom.back().map->nWidth != m_map->nWidth || m_zoomedFrom.back().map->nHeight != m_map->nHeight) {
        ZoomTo(m_nDrive, parent);
        return true;
    }
    // The picture it was zoomed in from is still right: no new layout.
    Shown back = std::move(m_zoomedFrom.back());
    m_zoomedFrom.pop_back();
    if (m_pCancel)
        m_pCancel->store(true);
    m_pCancel.reset();
    m_nRoot = parent;
    m_pLayout = std::move(back.layout);
    m_image = std::move(back.image);
    m_map = std::move(back.map);
    m_nImageGeneration = ++m_nGeneration;
    m_nHover = -1;
    UpdateHeader();
    UpdateHighlight();
    update();
    emit pictureChanged();
    return true;
}

QRect CTreemapView::MapRect() const
{
    const int top = m_btnZoomOut->height();
    const int legend = fontMetrics().height() + 6;
    return QRect(0, top, width(), std::max(0, height() - top - legend));
}

void CTreemapView::Relayout()
{
    m_relayoutTimer.stop();
    ++m_nGeneration;
    if (m_pCancel)
        m_pCancel->store(true);
    m_pCancel.reset();
    const tvl::DriveReport* report = ShownReport();
    const QRect r = MapRect();
    const qreal dpr = devicePixelRatioF();
    if (!report || !isVisible() || r.isEmpty() || m_nRoot < 0 || m_nRoot >= report->nFolders) {
        m_pLayout = std::make_shared<tvl::TreemapLayout>();
        m_image = QImage();
        m_map = std::make_shared<const tvl::TreemapPixelMap>();
        m_nHover = -1;
        UpdateHeader();
        UpdateHighlight();
        update();
        return;
    }
    if (!m_pTree)
        m_pTree = std::make_shared<const tvl::TreemapTree>(
            *report, tvl::ShownKind(*report, GetDocument() ? GetDocument()->WantedKind() : std::nullopt));
    UpdateHeader();
    auto job = std::make_shared<Job>();
    job->tree = m_pTree;
    job->nRoot = m_nRoot;
    job->options.nWidth = std::max(1, qRound(r.width() * dpr));
    job->options.nHeight = std::max(1, qRound(r.height() * dpr));
    job->nGeneration = m_nGeneration;
    job->cancel = m_pCancel = std::make_shared<std::atomic<bool>>(false);
    job->options.pCancel = job->cancel.get();
    job->dpr = dpr;
    QPointer<CTreemapView> self(this);
    m_pool->start([job, self] {
        job->layout = std::make_shared<tvl::TreemapLayout>(tvl::LayoutTreemap(*job->tree, job->nRoot, job->options));
        tvl::RgbImage rgb;
        auto map = std::make_shared<tvl::TreemapPixelMap>();
        if (job->cancel->load() || !tvl::RenderTreemap(*job->layout, rgb, job->cancel.get(), map.get()))
            return;
        job->map = std::move(map);
        job->image = QImage(rgb.nWidth, rgb.nHeight, QImage::Format_RGB888);
        for (int y = 0; y < rgb.nHeight; ++y)
            std::memcpy(job->image.scanLine(y), rgb.Row(y), std::size_t(rgb.nWidth) * 3);
        job->image.setDevicePixelRatio(job->dpr);
        QMetaObject::invokeMethod(
            self.data(), [job, self] { if (self) self->OnPictureDone(job); }, Qt::QueuedConnection);
    });
    update();
}

void CTreemapView::OnPictureDone(std::shared_ptr<Job> job)
{
    if (job->nGeneration != m_nGeneration)
        return; // a newer layout is on its way
    if (const tvl::DriveReport* report = ShownReport())
        tvl::NameTreemapLegend(*job->layout, *report);
    m_pLayout = std::move(job->layout);
    m_image = std::move(job->image);
    m_map = std::move(job->map);
    m_nImageGeneration = job->nGeneration;
    m_pCancel.reset(); // nothing is being drawn any more
    m_nHover = -1;
    UpdateHighlight();
    update();
    emit pictureChanged();
}

void CTreemapView::UpdateHeader()
{
    const tvl::DriveReport* report = ShownReport();
    const bool bShown = report && m_nRoot >= 0 && m_nRoot < report->nFolders;
    m_actZoomOut->setEnabled(bShown && m_pTree && m_pTree->Parent(m_nRoot) >= 0);
    if (!bShown) {
        m_lblPath->setText(QString());
        return;
    }
    const tvl::FolderRecord* f = report->GetFolder(m_nRoot);
    const tvl::SizeKind kind = tvl::ShownKind(*report, GetDocument() ? GetDocument()->WantedKind() : std::nullopt);
    m_lblPath->setText(ToQString(f->strPath) + QStringLiteral("  ") +
                       sizetext::Size(tvl::SizesOf(*report, *f, kind).nWithSubs));
}

void CTreemapView::resizeEvent(QResizeEvent* event)
{
    CView::resizeEvent(event);
    const int h = m_btnZoomOut->sizeHint().height();
    m_btnZoomOut->setGeometry(0, 0, m_btnZoomOut->sizeHint().width(), h);
    m_lblPath->setGeometry(m_btnZoomOut->width() + 4, 0, std::max(0, width() - m_btnZoomOut->width() - 8), h);
    // The old picture is stretched until the new one is there.
    m_zoomedFrom.clear();
    m_relayoutTimer.start();
}

void CTreemapView::showEvent(QShowEvent* event)
{
    CView::showEvent(event);
    if (m_pLayout->tiles.empty())
        m_relayoutTimer.start();
}

QRectF CTreemapView::TileRect(int nTile) const
{
    const tvl::TreemapTile& t = m_pLayout->tiles[static_cast<std::size_t>(nTile)];
    const QRect r = MapRect();
    const qreal sx = m_pLayout->nWidth > 0 ? r.width() / qreal(m_pLayout->nWidth) : 1.0;
    const qreal sy = m_pLayout->nHeight > 0 ? r.height() / qreal(m_pLayout->nHeight) : 1.0;
    return QRectF(r.left() + t.x0 * sx, r.top() + t.y0 * sy, (t.x1 - t.x0) * sx, (t.y1 - t.y0) * sy);
}

void CTreemapView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = MapRect();
    const tvl::Rgb bg = tvl::kTreemapBackground;
    p.fillRect(r, QColor(bg.r, bg.g, bg.b));
    p.setPen(Qt::white);
    if (!m_image.isNull())
        p.drawImage(QRectF(r), m_dimmed.isNull() ? m_image : m_dimmed, QRectF(m_image.rect()));
    else if (m_pCancel)
        p.drawText(r, Qt::AlignCenter, QStringLiteral("Drawing ..."));
    if (!m_image.isNull() && m_pLayout->tiles.empty())
        p.drawText(r, Qt::AlignCenter, QStringLiteral("Nothing to show: 0 bytes"));
    // The selected folder, or the nearest folder above it that has a tile.
    if (m_pTree && m_nSelected >= 0 && !m_pLayout->tiles.empty()) {
        int tile = -1;
        for (int f = m_nSelected; f >= 0 && tile < 0; f = m_pTree->Parent(f))
            tile = m_pLayout->TileOfFolder(f);
        if (tile > 0) {
            const QRectF t = TileRect(tile).adjusted(1, 1, -1, -1);
            p.setPen(QPen(Qt::black, 3));
            p.drawRect(t);
            p.setPen(QPen(Qt::white, 1));
            p.drawRect(t);
        }
    }
    DrawLegend(p, QRect(0, r.bottom() + 1, width(), height() - r.bottom() - 1));
}

void CTreemapView::DrawLegend(QPainter& p, const QRect& r) const
{
    p.fillRect(r, palette().window());
    const QFontMetrics fm = fontMetrics();
    const int box = fm.height() - 4;
    int x = r.left() + 4;
    for (const tvl::TreemapLegendEntry& e : m_pLayout->legend) {
        const QString label = ToQString(e.strLabel);
        const int w = box + 4 + fm.horizontalAdvance(label) + 12;
        if (x + w > r.right())
            break;
        const tvl::Rgb c = tvl::TreemapColour(e.nColour);
        const QRect sq(x, r.top() + (r.height() - box) / 2, box, box);
        p.fillRect(sq, QColor(c.r, c.g, c.b));
        p.setPen(palette().color(QPalette::WindowText));
        p.drawRect(sq.adjusted(0, 0, -1, -1));
        p.drawText(QRect(x + box + 4, r.top(), w, r.height()), Qt::AlignLeft | Qt::AlignVCenter, label);
        x += w;
    }
}

int CTreemapView::TileAt(const QPoint& pos) const
{
    const QRect r = MapRect();
    if (m_pLayout->tiles.empty() || !r.contains(pos))
        return -1;
    const qreal fx = (pos.x() - r.left() + 0.5) * m_pLayout->nWidth / qreal(r.width());
    const qreal fy = (pos.y() - r.top() + 0.5) * m_pLayout->nHeight / qreal(r.height());
    // The picture's pixel map answers at once; until it is there, the layout does.
    if (PictureReady() && m_map->nWidth == m_pLayout->nWidth && m_map->nHeight == m_pLayout->nHeight)
        return m_map->TileAt(static_cast<int>(fx), static_cast<int>(fy));
    return m_pLayout->HitTest(fx, fy);
}

int CTreemapView::FolderOfTile(int nTile) const
{
    const int f = m_pLayout->FolderTileOf(nTile);
    return f < 0 ? -1 : m_pLayout->tiles[static_cast<std::size_t>(f)].nFolder;
}

QPoint CTreemapView::FolderPoint(int nPos) const
{
    const int tile = m_pLayout->TileOfFolder(nPos);
    if (tile < 0)
        return {-1, -1};
    return TileRect(tile).center().toPoint();
}

QString CTreemapView::TileText(const QPoint& pos) const
{
    const int tile = TileAt(pos);
    const tvl::DriveReport* report = ShownReport();
    if (tile < 0 || !report)
        return {};
    const tvl::TreemapTile& t = m_pLayout->tiles[static_cast<std::size_t>(tile)];
    const tvl::FolderRecord* f = report->GetFolder(t.nFolder);
    if (!f)
        return {};
    QString text = ToQString(f->strPath);
    switch (t.kind) {
    case tvl::TileKind::Folder: break;
    case tvl::TileKind::OwnFiles: text += QStringLiteral(" (files in this folder)"); break;
    case tvl::TileKind::Rest: text += QStringLiteral(" (small items)"); break;
    case tvl::TileKind::File:
        if (t.nFile >= 0 && t.nFile < static_cast<int>(f->files.size()))
            text += ToQString(f->files[static_cast<std::size_t>(t.nFile)].strName);
        break;
    }
    return text + QStringLiteral("  ") + sizetext::Size(t.nSize) + (sizetext::Units() ? QString() : QStringLiteral(" bytes"));
}

void CTreemapView::ShowStatus(const QString& text)
{
    QStatusTipEvent tip(text);
    QCoreApplication::sendEvent(this, &tip);
}

void CTreemapView::mouseMoveEvent(QMouseEvent* event)
{
    const int tile = TileAt(event->position().toPoint());
    if (tile != m_nHover) {
        m_nHover = tile;
        ShowStatus(TileText(event->position().toPoint()));
    }
    CView::mouseMoveEvent(event);
}

void CTreemapView::leaveEvent(QEvent* event)
{
    m_nHover = -1;
    ShowStatus(QString());
    CView::leaveEvent(event);
}

bool CTreemapView::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        QString text = TileText(help->pos());
        if (!text.isEmpty()) {
            const int tile = TileAt(help->pos());
            const std::uint8_t colour = m_pLayout->tiles[static_cast<std::size_t>(tile)].nColour;
            for (const tvl::TreemapLegendEntry& e : m_pLayout->legend)
                if (e.nColour == colour) {
                    text += QStringLiteral("\nColour: ") + ToQString(e.strLabel);
                    break;
                }
            QToolTip::showText(help->globalPos(), text, this);
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return CView::event(event);
}

void CTreemapView::mousePressEvent(QMouseEvent* event)
{
    CView::mousePressEvent(event);
    const tvl::DriveReport* report = ShownReport();
    const int folder = FolderOfTile(TileAt(event->position().toPoint()));
    if (event->button() != Qt::LeftButton || !report || folder < 0)
        return;
    m_nSelected = folder;
    update();
    m_bOwnClick = true;
    emit folderClicked(report->GetFolder(folder));
    m_bOwnClick = false;
}

void CTreemapView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // One level down: the folder right below the shown one on the way to the tile.
    int tile = TileAt(event->position().toPoint());
    while (tile > 0 && m_pLayout->tiles[static_cast<std::size_t>(tile)].nParent > 0)
        tile = m_pLayout->tiles[static_cast<std::size_t>(tile)].nParent;
    if (event->button() != Qt::LeftButton || tile <= 0)
        return;
    const tvl::TreemapTile& t = m_pLayout->tiles[static_cast<std::size_t>(tile)];
    if (t.kind == tvl::TileKind::Folder)
        ZoomIn(t.nFolder);
}

void CTreemapView::HighlightType(std::optional<std::string> strExtension)
{
    if (strExtension == m_highlight)
        return;
    m_highlight = std::move(strExtension);
    UpdateHighlight();
    update();
}

void CTreemapView::UpdateHighlight()
{
    m_lit.clear();
    m_dimmed = QImage();
    if (m_highlight && m_pTree && !m_pLayout->tiles.empty())
        m_lit = tvl::TilesOfType(*m_pLayout, *m_pTree, *m_highlight);
    if (m_lit.empty() || m_image.isNull() || m_map->nWidth != m_image.width() || m_map->nHeight != m_image.height() ||
        m_image.format() != QImage::Format_RGB888)
        return;
    m_dimmed = m_image.copy();
    tvl::DimOtherTiles(m_dimmed.bits(), static_cast<std::size_t>(m_dimmed.bytesPerLine()), *m_map, m_lit);
}
