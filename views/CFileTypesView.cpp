#include "CFileTypesView.h"

#include "SizeMeasure.h"

#include "CTovalineDoc.h"
#include "CTreemapView.h"
#include "NumberFormat.h"
#include "TreemapRender.h"
#include "TreemapTypes.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QMimeDatabase>
#include <QPainter>
#include <QPointer>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTabBar>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QThreadPool>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <ctime>

namespace {

constexpr int kSortRole = Qt::UserRole + 1;  // the number (or text) a column sorts by
constexpr int kTypeRole = Qt::UserRole + 2;  // the extension of a row, raw bytes
constexpr int kShareRole = Qt::UserRole + 3; // the share a bar draws, in percent
constexpr std::size_t kFilesListed = 100;    // largest files of a type listed

QString Text(const std::string& s) { return QString::fromStdString(s); }
QString Local(const std::string& bytes) { return QFile::decodeName(QByteArray::fromStdString(bytes)); }

// The system's description of a type (".png" gives "PNG image"), "" when it has none.
QString Description(const std::string& strExtension)
{
    static QHash<QString, QString> cache;
    const QString ext = Local(strExtension);
    if (strExtension.empty())
        return QString();
    auto it = cache.constFind(ext);
    if (it != cache.constEnd())
        return *it;
    QString text;
    const QList<QMimeType> types = QMimeDatabase().mimeTypesForFileName(QStringLiteral("x") + ext);
    if (!types.isEmpty())
        text = types.front().comment();
    cache.insert(ext, text);
    return text;
}

QColor Swatch(std::uint8_t nColour)
{
    const tvl::Rgb c = tvl::TreemapColour(nColour);
    return QColor(c.r, c.g, c.b);
}

// The share column: the number and a bar drawn from it (never parsed back from text).
class ShareDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem o(option);
        initStyleOption(&o, index);
        const QString text = o.text;
        o.text.clear();
        QApplication::style()->drawControl(QStyle::CE_ItemViewItem, &o, p, o.widget);
        const double share = std::clamp(index.data(kShareRole).toDouble(), 0.0, 100.0);
        const QRect r = o.rect.adjusted(3, 3, -3, -3);
        const int textWidth = o.fontMetrics.horizontalAdvance(QStringLiteral("100.00")) + 6;
        const QRect bar(r.left(), r.top(), std::max(0, r.width() - textWidth), r.height());
        p->save();
        p->setPen(o.palette.color(QPalette::Mid));
        p->drawRect(bar.adjusted(0, 0, -1, -1));
        p->fillRect(QRect(bar.left() + 1, bar.top() + 1, int((bar.width() - 2) * share / 100.0), bar.height() - 2),
                    QColor(66, 133, 244));
        p->setPen(o.palette.color((o.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text));
        p->drawText(o.rect.adjusted(0, 0, -3, 0), Qt::AlignRight | Qt::AlignVCenter, text);
        p->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setWidth(option.fontMetrics.horizontalAdvance(QStringLiteral("100.00")) + 60);
        return s;
    }
};

// A sortable item: shown text, and the value the column sorts by.
QStandardItem* Item(const QString& text, const QVariant& sort, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter)
{
    auto* item = new QStandardItem(text);
    item->setData(sort, kSortRole);
    item->setTextAlignment(align);
    item->setEditable(false);
    return item;
}

} // namespace

// Files by size class and by age, each class a row with two bars: its share of the
// files and of the bytes.
class CTypeHistogramWidget : public QWidget {
public:
    explicit CTypeHistogramWidget(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("typeHistograms")); }
    void SetStatistics(const tvl::FileTypeStats* s)
    {
        m_pStats = s;
        const int rows = 2 + int(tvl::kSizeClasses) + 1 + (s && s->bTimesKnown ? int(tvl::kAgeClasses) + 1 : 1);
        setMinimumHeight(rows * RowHeight() + 8);
        update();
    }

protected:
    int RowHeight() const { return fontMetrics().height() + 2; }
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), palette().base());
        if (!m_pStats || !m_pStats->bNames)
            return;
        const tvl::FileTypeStats& s = *m_pStats;
        const QFontMetrics fm = fontMetrics();
        const int h = RowHeight();
        int label = 0;
        for (std::size_t c = 0; c < tvl::kSizeClasses; ++c)
            label = std::max(label, fm.horizontalAdvance(QString::fromLatin1(tvl::SizeClassLabel(c))));
        for (const char* t : {"< 1 month", "not known", "Last change"})
            label = std::max(label, fm.horizontalAdvance(QString::fromLatin1(t)));
        label += 12;
        // The widest number shown, so that none loses a digit.
        int numbers = fm.horizontalAdvance(QStringLiteral("Bytes"));
        auto widest = [&](const tvl::FileClass& c) {
            numbers = std::max({numbers, fm.horizontalAdvance(Text(tvl::FormatSize(c.nFiles))),
                                fm.horizontalAdvance(Text(tvl::FormatSize(c.nBytes)))});
        };
        for (const tvl::FileClass& c : s.sizes)
            widest(c);
        for (const tvl::FileClass& c : s.ages)
            widest(c);
        widest(s.agesUnknown);
        numbers += 8;
        const int bar = std::max(20, (width() - label - 2 * numbers - 16) / 2);
        int y = 4;
        auto heading = [&](const QString& title) {
            QFont bold = font();
            bold.setBold(true);
            p.setFont(bold);
            p.setPen(palette().color(QPalette::Text));
            p.drawText(QRect(4, y, label, h), Qt::AlignLeft | Qt::AlignVCenter, title);
            p.drawText(QRect(4 + label, y, bar + numbers, h), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Files"));
            p.drawText(QRect(4 + label + bar + numbers + 8, y, bar + numbers, h), Qt::AlignRight | Qt::AlignVCenter,
                       QStringLiteral("Bytes"));
            p.setFont(font());
            y += h;
        };
        auto row = [&](const QString& name, const tvl::FileClass& c, std::int64_t files, std::int64_t bytes) {
            p.setPen(palette().color(QPalette::Text));
            p.drawText(QRect(4, y, label, h), Qt::AlignLeft | Qt::AlignVCenter, name);
            int x = 4 + label;
            for (int k = 0; k < 2; ++k) {
                const std::int64_t part = k == 0 ? c.nFiles : c.nBytes, whole = k == 0 ? files : bytes;
                const double f = whole > 0 ? std::clamp(double(part) / double(whole), 0.0, 1.0) : 0.0;
                p.fillRect(QRect(x, y + 3, int(bar * f), h - 6), k == 0 ? QColor(52, 168, 83) : QColor(66, 133, 244));
                p.setPen(palette().color(QPalette::Mid));
                p.drawRect(QRect(x, y + 3, bar - 1, h - 7));
                p.setPen(palette().color(QPalette::Text));
                p.drawText(QRect(x + bar, y, numbers, h), Qt::AlignRight | Qt::AlignVCenter,
                           Text(tvl::FormatSize(part)));
                x += bar + numbers + 8;
            }
            y += h;
        };
        std::int64_t bytes = 0;
        for (const tvl::FileClass& c : s.sizes)
            bytes += c.nBytes;
        heading(QStringLiteral("Size"));
        for (std::size_t c = 0; c < tvl::kSizeClasses; ++c)
            row(QString::fromLatin1(tvl::SizeClassLabel(c)), s.sizes[c], s.nFiles, bytes);
        y += h / 2;
        if (!s.bTimesKnown) {
            p.drawText(QRect(4, y, width() - 8, h), Qt::AlignLeft | Qt::AlignVCenter,
                       QStringLiteral("Ages are not known: the report holds no modification times."));
            return;
        }
        heading(QStringLiteral("Last change"));
        for (std::size_t c = 0; c < tvl::kAgeClasses; ++c)
            row(QString::fromLatin1(tvl::AgeClassLabel(c)), s.ages[c], s.nFiles, bytes);
        row(QStringLiteral("not known"), s.agesUnknown, s.nFiles, bytes);
    }

private:
    const tvl::FileTypeStats* m_pStats = nullptr;
};

// One computation on the worker: the statistics of a folder.
struct CFileTypesView::Job {
    std::shared_ptr<const tvl::FileTypeIndex> index;
    int nFolder = -1;
    std::uint64_t nGeneration = 0;
    std::shared_ptr<std::atomic<bool>> cancel;
    tvl::FileTypeOptions options;
    tvl::FileTypeStats stats;
};

CFileTypesView::CFileTypesView(QWidget* parent) : CView(parent), m_pool(std::make_unique<QThreadPool>())
{
    setObjectName(QStringLiteral("fileTypes"));
    m_pool->setMaxThreadCount(1);
    m_stack = new QStackedWidget(this);
    m_message = new QLabel(m_stack);
    m_message->setObjectName(QStringLiteral("fileTypesMessage"));
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_message->setContentsMargins(8, 8, 8, 8);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_tabs = new QTabWidget(m_stack);
    m_tabs->setObjectName(QStringLiteral("fileTypesTabs"));
    m_tabs->setDocumentMode(true);
    m_heading = new QLabel(m_tabs);
    m_heading->setObjectName(QStringLiteral("fileTypesHeading"));
    m_heading->setContentsMargins(4, 0, 4, 0);
    m_heading->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_tabs->setCornerWidget(m_heading, Qt::TopRightCorner);

    m_model = new QStandardItemModel(0, ColCount, this);
    m_model->setHorizontalHeaderLabels({QString(), QStringLiteral("Type"), QStringLiteral("Files"),
                                        QStringLiteral("Bytes"), QStringLiteral("Share"),
                                        QStringLiteral("Newest change"), QStringLiteral("Description")});
    m_model->setSortRole(kSortRole);
    for (int c : {ColFiles, ColBytes, ColShare})
        m_model->horizontalHeaderItem(c)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_types = new QTreeView(m_tabs);
    m_types->setObjectName(QStringLiteral("fileTypeList"));
    m_types->setModel(m_model);
    m_types->setRootIsDecorated(false);
    m_types->setUniformRowHeights(true);
    m_types->setAllColumnsShowFocus(true);
    m_types->setSortingEnabled(true);
    m_types->setSelectionMode(QAbstractItemView::SingleSelection);
    m_types->setItemDelegateForColumn(ColShare, new ShareDelegate(m_types));
    m_types->header()->setSectionResizeMode(ColSwatch, QHeaderView::Fixed);
    m_types->header()->resizeSection(ColSwatch, fontMetrics().height() + 8);
    m_types->header()->setStretchLastSection(true);
    m_types->sortByColumn(ColBytes, Qt::DescendingOrder);
    m_types->setColumnHidden(ColNewest, true);
    connect(m_types->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &CFileTypesView::OnTypeChanged);
    connect(m_types, &QTreeView::activated, this, [this] {
        if (m_chosen)
            m_tabs->setCurrentWidget(m_files);
    });

    m_files = new QTreeWidget(m_tabs);
    m_files->setObjectName(QStringLiteral("filesOfType"));
    m_files->setRootIsDecorated(false);
    m_files->setUniformRowHeights(true);
    m_files->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Size"), QStringLiteral("Location")});
    m_files->headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    connect(m_files, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        const QList<QVariant> key = item->data(0, Qt::UserRole).toList();
        if (key.size() == 3)
            emit fileChosen(key[0].toChar().toLatin1(), key[1].toInt(), key[2].toInt());
    });
    m_tabs->addTab(m_types, QStringLiteral("Types"));
    m_tabs->addTab(m_files, QStringLiteral("Files of this type"));

    auto* scroll = new QScrollArea(m_tabs);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    m_histograms = new CTypeHistogramWidget(scroll);
    scroll->setWidget(m_histograms);
    m_tabs->addTab(scroll, QStringLiteral("Sizes and ages"));

    m_stack->addWidget(m_message);
    m_stack->addWidget(m_tabs);
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->addWidget(m_stack);
    ShowMessage(QString());
}

CFileTypesView::~CFileTypesView()
{
    if (m_pCancel)
        m_pCancel->store(true);
    m_pool->waitForDone();
}

void CFileTypesView::SetTreemap(CTreemapView* pTreemap)
{
    m_pTreemap = pTreemap;
    if (pTreemap)
        connect(pTreemap, &CTreemapView::pictureChanged, this, &CFileTypesView::RefreshColours);
}

QString CFileTypesView::MessageText() const { return m_stack->currentWidget() == m_message ? m_message->text() : QString(); }

void CFileTypesView::ShowMessage(const QString& text)
{
    m_message->setText(text);
    m_stack->setCurrentWidget(text.isEmpty() ? static_cast<QWidget*>(m_tabs) : m_message);
}

const tvl::DriveReport* CFileTypesView::ShownReport() const
{
    const CTovalineDoc* doc = GetDocument();
    if (!doc || doc->IsBusy() || m_nDrive < 0 || m_nDrive >= static_cast<int>(doc->m_pDriveReports.size()))
        return nullptr;
    return doc->m_pDriveReports[static_cast<std::size_t>(m_nDrive)].get();
}

void CFileTypesView::OnUpdate(CView*, int lHint)
{
    if (lHint == kHintMeasure) {
        // The same report in the other measure: the copy is made again in it.
        m_pIndex.reset();
        Recompute();
        return;
    }
    if (lHint != 0 && lHint != 1)
        return;
    const CTovalineDoc* doc = GetDocument();
    if (lHint == 0) {
        m_pIndex.reset();
        m_nDrive = -1;
        m_stats = tvl::FileTypeStats();
        m_bReady = false;
        bool bNames = false;
        if (doc && !doc->IsBusy())
            for (const auto& d : doc->m_pDriveReports)
                bNames = bNames || (d && d->bStoreFileNames);
        if (int(bNames) != m_nKnownNames) {
            m_nKnownNames = bNames;
            emit namesChanged(bNames);
        }
    }
    Recompute();
}

void CFileTypesView::showEvent(QShowEvent* event)
{
    CView::showEvent(event);
    if (!m_bReady)
        Recompute();
}

void CFileTypesView::resizeEvent(QResizeEvent* event)
{
    CView::resizeEvent(event);
    ShowHeading();
}

void CFileTypesView::ShowHeading()
{
    // The room right of the tabs; the folder's path is shortened in the middle, the
    // totals stay whole.
    const int room = std::max(0, width() - m_tabs->tabBar()->sizeHint().width() - 12);
    const QFontMetrics fm = m_heading->fontMetrics();
    const QString totals = fm.horizontalAdvance(m_strHeadTotals) + 8 <= room ? m_strHeadTotals : QString();
    const int pathRoom = room - 8 - (totals.isEmpty() ? 0 : fm.horizontalAdvance(totals + QStringLiteral("  ")));
    QString path = fm.elidedText(m_strHeadPath, Qt::ElideMiddle, std::max(0, pathRoom));
    if (path == QStringLiteral("\u2026") || path.size() <= 1)
        path.clear();
    m_heading->setText(path.isEmpty() ? totals : totals.isEmpty() ? path : path + QStringLiteral("  ") + totals);
    m_heading->setToolTip(m_strHeadPath + QStringLiteral("  ") + m_strHeadTotals);
    m_heading->setFixedWidth(room);
}

void CFileTypesView::hideEvent(QHideEvent* event)
{
    CView::hideEvent(event);
    if (m_pTreemap)
        m_pTreemap->HighlightType(std::nullopt);
}

void CFileTypesView::Recompute()
{
    ++m_nGeneration;
    if (m_pCancel)
        m_pCancel->store(true);
    m_pCancel.reset();
    m_bReady = false;
    const CTovalineDoc* doc = GetDocument();
    if (!doc || doc->IsBusy() || !isVisible())
        return;
    // The selected folder, or the first drive's root.
    int nDrive = -1, nPos = -1;
    for (std::size_t d = 0; d < doc->m_pDriveReports.size(); ++d) {
        const tvl::DriveReport* r = doc->m_pDriveReports[d].get();
        if (!r || r->nFolders == 0)
            continue;
        if (nDrive < 0)
            nDrive = int(d), nPos = 0;
        const auto& list = r->Folders();
        const auto it = doc->m_pSelectedFolder ? std::find(list.begin(), list.end(), doc->m_pSelectedFolder) : list.end();
        if (it != list.end()) {
            nDrive = int(d), nPos = int(it - list.begin());
            break;
        }
    }
    if (nDrive != m_nDrive)
        m_pIndex.reset();
    m_nDrive = nDrive;
    m_nFolder = nPos;
    const tvl::DriveReport* report = ShownReport();
    if (!report) {
        ShowMessage(QStringLiteral("No report."));
        return;
    }
    if (!report->bStoreFileNames) {
        ShowMessage(QStringLiteral(
            "File types need a report with file names: create one with \"Store filenames in database\" ticked in the "
            "\"Create report\" dialog (or with tovaline-cli scan -f)."));
        return;
    }
    ShowMessage(QString());
    if (!m_pIndex)
        m_pIndex = std::make_shared<const tvl::FileTypeIndex>(*report, tvl::ShownKind(*report, doc->WantedKind()));
    auto job = std::make_shared<Job>();
    job->index = m_pIndex;
    job->nFolder = m_nFolder;
    job->nGeneration = m_nGeneration;
    job->cancel = m_pCancel = std::make_shared<std::atomic<bool>>(false);
    job->options.pCancel = job->cancel.get();
    job->options.nNow = static_cast<std::int64_t>(std::time(nullptr));
    m_strHeadPath.clear();
    m_strHeadTotals = QStringLiteral("Counting ...");
    ShowHeading();
    QPointer<CFileTypesView> self(this);
    m_pool->start([job, self] {
        job->stats = tvl::ComputeFileTypes(*job->index, job->nFolder, job->options);
        if (job->stats.bCancelled)
            return;
        QMetaObject::invokeMethod(
            self.data(), [job, self] { if (self) self->OnStatisticsDone(job); }, Qt::QueuedConnection);
    });
}

void CFileTypesView::OnStatisticsDone(std::shared_ptr<Job> job)
{
    if (job->nGeneration != m_nGeneration || !ShownReport())
        return;
    m_pCancel.reset();
    m_stats = std::move(job->stats);
    m_bReady = true;
    const tvl::FolderRecord* f = ShownReport()->GetFolder(m_nFolder);
    m_strHeadPath = Local(f ? f->strPath : std::string());
    m_strHeadTotals = Text(tvl::FormatSize(m_stats.nFiles)) + QStringLiteral(" files, ") +
                      Text(tvl::FormatSize(m_stats.nTotalBytes)) + QStringLiteral(" bytes");
    ShowHeading();
    m_histograms->SetStatistics(&m_stats);
    FillTypes();
}

void CFileTypesView::FillTypes()
{
    const std::optional<std::string> keep = m_chosen;
    const QSignalBlocker block(m_types->selectionModel());
    m_model->removeRows(0, m_model->rowCount());
    m_types->setColumnHidden(ColNewest, !m_stats.bTimesKnown);
    const std::uint8_t other = tvl::kColourOther;
    auto addRow = [&](const std::string& ext, const QString& label, const QString& description, std::int64_t files,
                      std::int64_t bytes, std::int64_t newest, bool bType) {
        const double share = m_stats.Share(bytes);
        QList<QStandardItem*> row;
        auto* swatch = Item(QString(), int(other));
        if (bType)
            swatch->setData(QVariant::fromValue(QColor(Swatch(other))), Qt::DecorationRole);
        row << swatch;
        auto* type = Item(label, label);
        type->setData(QByteArray::fromStdString(ext), kTypeRole);
        type->setData(bType, Qt::UserRole);
        row << type;
        row << Item(files >= 0 ? Text(tvl::FormatSize(files)) : QString(), qlonglong(files),
                    Qt::AlignRight | Qt::AlignVCenter);
        row << Item(Text(tvl::FormatSize(bytes)), qlonglong(bytes), Qt::AlignRight | Qt::AlignVCenter);
        auto* shareItem = Item(Text(tvl::FormatPercent(share)), share, Qt::AlignRight | Qt::AlignVCenter);
        shareItem->setData(tvl::PrintedPercent(share), kShareRole);
        row << shareItem;
        const bool bTime = newest != tvl::FileTypeIndex::kNoTime;
        row << Item(bTime ? QDateTime::fromSecsSinceEpoch(newest).toString(QStringLiteral("yyyy-MM-dd hh:mm"))
                          : QString(),
                    qlonglong(bTime ? newest : std::numeric_limits<qlonglong>::min()));
        row << Item(description, description);
        m_model->appendRow(row);
    };
    for (const tvl::FileTypeRow& t : m_stats.types)
        addRow(t.strExtension, Local(tvl::FileTypeLabel(t.strExtension)), Description(t.strExtension), t.nFiles,
               t.nBytes, t.nNewest, true);
    if (m_stats.nUnmatchedBytes != 0)
        addRow(std::string(), QStringLiteral("(not matched to names)"),
               QStringLiteral("Bytes of the folder that no file name stands for"), -1, m_stats.nUnmatchedBytes,
               tvl::FileTypeIndex::kNoTime, false);
    m_types->sortByColumn(m_types->header()->sortIndicatorSection(), m_types->header()->sortIndicatorOrder());
    for (int c : {ColType, ColFiles, ColBytes})
        m_types->resizeColumnToContents(c);
    // A long "extension" (a name with many dots) gives way to the numbers.
    const int typeRoom = fontMetrics().horizontalAdvance(QStringLiteral("(no extension)")) + 24;
    m_types->setColumnWidth(ColType, std::min(m_types->columnWidth(ColType), typeRoom));
    m_types->setColumnWidth(ColShare, ShareDelegate(nullptr).sizeHint(QStyleOptionViewItem(), QModelIndex()).width());
    RefreshColours();
    m_chosen.reset();
    if (!keep || !ChooseType(*keep)) {
        m_files->clear();
        if (m_pTreemap)
            m_pTreemap->HighlightType(std::nullopt);
    }
}

void CFileTypesView::RefreshColours()
{
    const tvl::TreemapLayout* layout = m_pTreemap && m_pTreemap->isVisible() ? &m_pTreemap->Layout() : nullptr;
    for (int r = 0; r < m_model->rowCount(); ++r) {
        QStandardItem* type = m_model->item(r, ColType);
        if (!type->data(Qt::UserRole).toBool())
            continue;
        const std::string ext = type->data(kTypeRole).toByteArray().toStdString();
        const std::uint8_t colour = layout ? tvl::TypeColour(*layout, ext) : tvl::kColourOther;
        QStandardItem* swatch = m_model->item(r, ColSwatch);
        swatch->setData(QVariant::fromValue(Swatch(colour)), Qt::DecorationRole);
        swatch->setData(int(colour), kSortRole);
    }
}

bool CFileTypesView::ChooseType(const std::string& strExtension)
{
    for (int r = 0; r < m_model->rowCount(); ++r) {
        QStandardItem* type = m_model->item(r, ColType);
        if (type->data(Qt::UserRole).toBool() && type->data(kTypeRole).toByteArray().toStdString() == strExtension) {
            m_types->setCurrentIndex(m_model->index(r, ColType));
            m_types->scrollTo(m_model->index(r, ColType));
            OnTypeChanged();
            return true;
        }
    }
    return false;
}

void CFileTypesView::OnTypeChanged()
{
    const QModelIndex current = m_types->currentIndex();
    QStandardItem* type = current.isValid() ? m_model->item(current.row(), ColType) : nullptr;
    std::optional<std::string> chosen;
    if (type && type->data(Qt::UserRole).toBool())
        chosen = type->data(kTypeRole).toByteArray().toStdString();
    if (chosen == m_chosen && m_files->topLevelItemCount() > 0)
        return;
    m_chosen = chosen;
    if (m_pTreemap)
        m_pTreemap->HighlightType(m_chosen);
    ListFiles();
}

void CFileTypesView::ListFiles()
{
    m_files->clear();
    if (!m_chosen || !m_pIndex || !m_bReady)
        return;
    const std::uint32_t id = m_pIndex->TypeId(*m_chosen);
    // A hundred files of one type are found in a few milliseconds even on a drive of
    // a million files; the list follows the choice at once.
    const std::vector<tvl::FileTypeFile> files = tvl::LargestFilesOfType(*m_pIndex, m_nFolder, id, kFilesListed);
    const tvl::DriveReport* report = ShownReport();
    if (!report)
        return;
    QList<QTreeWidgetItem*> items;
    for (const tvl::FileTypeFile& f : files) {
        const tvl::FolderRecord* folder = report->GetFolder(f.nFolder);
        if (!folder || f.nFile < 0 || std::size_t(f.nFile) >= folder->files.size())
            continue;
        auto* item = new QTreeWidgetItem;
        item->setText(0, Local(folder->files[std::size_t(f.nFile)].strName));
        item->setText(1, Text(tvl::FormatSize(f.nSize)));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(2, Local(folder->strPath));
        item->setData(0, Qt::UserRole,
                      QList<QVariant>{QChar::fromLatin1(report->cDrive), f.nFolder, f.nFile});
        items.push_back(item);
    }
    m_files->addTopLevelItems(items);
    m_files->resizeColumnToContents(0);
    m_files->resizeColumnToContents(1);
}
