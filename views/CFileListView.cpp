#include "CFileListView.h"

#include "CTovalineDoc.h"
#include "DriveMap.h"
#include "ElidingHeaderView.h"
#include "NumberFormat.h"
#include "DateText.h"
#include "SizeMeasure.h"
#include "SizeText.h"

#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTreeView>

#include <algorithm>

int CFileListView::s_nSortDirection = 1;

const char* const kFileListFolderMessage =
    "View of files is deactivated because the folder is not available.\n\n"
    "Store the filenames in database when creating the report in order to make this view "
    "available offline.";

QString FileListDriveMessage(char cDrive)
{
    return QStringLiteral("View of files is deactivated because drive %1: is not available.\n\n"
                          "Store the filenames in database when creating the report in order to "
                          "make this view available in offline mode.")
        .arg(QChar(cDrive));
}

// ---------------------------------------------------------------------------------
// CFileListModel

int CFileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_order.size());
}

int CFileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColCount;
}

QVariant CFileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const tvl::FileEntry& e = EntryAt(index.row());
    if (role == Qt::DisplayRole)
        switch (index.column()) {
        case ColFile: return QFile::decodeName(e.strName.c_str());
        case ColSize: return sizetext::Size(e.nSize);
        case ColChange: return datetext::Date(e.nChange);
        default: return {};
        }
    if (role == Qt::ToolTipRole && index.column() == ColSize && sizetext::Units())
        return sizetext::ExactTip(e.nSize);
    if (role == Qt::ToolTipRole && index.column() == ColChange)
        return datetext::DateTime(e.nChange);
    if (role == Qt::TextAlignmentRole && index.column() != ColFile)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant CFileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        switch (section) {
        case ColFile: return QStringLiteral("File");
        case ColSize: return QStringLiteral("Size");
        case ColChange: return QStringLiteral("Last change");
        default: return {};
        }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue((section == ColFile ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
    return {};
}

void CFileListModel::SetFiles(std::vector<tvl::FileEntry> files)
{
    beginResetModel();
    m_files = std::move(files);
    // Every entry was inserted at the top, so the unsorted list shows the last first.
    m_order.resize(m_files.size());
    for (std::size_t i = 0; i < m_order.size(); ++i)
        m_order[i] = static_cast<int>(m_order.size() - 1 - i);
    endResetModel();
}

std::pair<std::int64_t, std::int64_t> CFileListModel::SizeRange() const
{
    std::int64_t lo = 0, hi = 0;
    for (const tvl::FileEntry& e : m_files) {
        lo = std::min(lo, e.nSize);
        hi = std::max(hi, e.nSize);
    }
    return {lo, hi};
}

void CFileListModel::Sort(int nColumn, int nDirection)
{
    emit layoutAboutToBeChanged();
    const auto& files = m_files;
    if (nColumn == 0) {
        std::stable_sort(m_order.begin(), m_order.end(), [&](int a, int b) {
            return CFileListView::CompareNames(files[a].strName, files[b].strName) * nDirection < 0;
        });
    } else {
        // kNoTime is the smallest time: unknown times sort first.
        auto key = [&](int i) { return nColumn == ColChange ? files[i].nChange : files[i].nSize; };
        std::stable_sort(m_order.begin(), m_order.end(), [&](int a, int b) {
            const int c = key(a) > key(b) ? 1 : (key(a) < key(b) ? -1 : 0);
            return c * nDirection < 0;
        });
    }
    emit layoutChanged();
}

// ---------------------------------------------------------------------------------
// CFileListView

int CFileListView::CompareNames(const std::string& a, const std::string& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char ca = tvl::FoldCase(static_cast<unsigned char>(a[i]));
        const unsigned char cb = tvl::FoldCase(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

CFileListView::CFileListView(QWidget* parent)
    : CView(parent)
    , m_list(new QTreeView(this))
    , m_staticMessage(new QLabel(this))
    , m_model(new CFileListModel(this))
{
    setObjectName(QStringLiteral("CFileListView"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);

    m_list->setObjectName(QStringLiteral("fileList"));
    m_list->setHeader(new ElidingHeaderView(m_list));
    m_list->setModel(m_model);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true); // a click selects the whole row
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSortingEnabled(false); // the view sorts by its own rules
    QHeaderView* header = m_list->header();
    // The columns are fitted to the rows' area whenever it changes width (see
    // LayoutColumns); a stretched last section could not shrink below its contents.
    header->setStretchLastSection(false);
    m_list->setTextElideMode(Qt::ElideMiddle); // a long name keeps its start and its end
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    header->resizeSection(CFileListModel::ColFile, 100);
    header->resizeSection(CFileListModel::ColSize, 100);
    header->resizeSection(CFileListModel::ColChange, 100);
    connect(header, &QHeaderView::sectionClicked, this, &CFileListView::OnColumnClick);
    connect(&sizetext::Notifier(), &SizeTextNotifier::changed, this, [this] {
        LayoutColumns();
        m_list->viewport()->update();
    });
    m_list->setGeometry(0, 0, 1, 1);
    m_list->viewport()->installEventFilter(this);
    m_list->hide();

    m_staticMessage->setObjectName(QStringLiteral("fileListMessage"));
    m_staticMessage->setWordWrap(true);
    m_staticMessage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_staticMessage->setGeometry(0, 0, 1, 1);
    m_staticMessage->hide();
}

void CFileListView::OnUpdate(CView*, int)
{
    FillFileList();
}

bool CFileListView::ReadFolder(const std::string& strPath, std::vector<tvl::FileEntry>& files) const
{
    const tvl::ScanEnvironment& env = GetDocument()->Environment();
    const std::optional<std::string> real = env.drives.RealPath(strPath);
    if (!real)
        return false;
    tvl::DirListing entries;
    if (!tvl::ListDirectory(env.fs, *real, entries))
        return false;
    // Sizes in the measure shown (the one the report counted unless the user switched;
    // its length when the report does not say).
    const tvl::DriveReport* d = GetDocument()->DriveOf(tvl::DriveOfPath(strPath));
    const bool bDiscUsage = d && tvl::ShownKind(*d, GetDocument()->WantedKind()) == tvl::SizeKind::DiscUsage;
    files.reserve(entries.items.size());
    for (const tvl::DirListing::Item& e : entries.items) {
        if (e.isDir)
            continue;
        const auto length = static_cast<std::int64_t>(e.size), space = static_cast<std::int64_t>(e.allocated);
        files.push_back({std::string(entries.Name(e)), bDiscUsage ? space : length, bDiscUsage ? length : space,
                         static_cast<std::int64_t>(e.mtime)});
    }
    return true;
}

void CFileListView::FillFileList()
{
    CTovalineDoc* pDoc = GetDocument();
    if (!pDoc)
        return;
    const std::string strPath = pDoc->m_strSelectedPath;
    QString strMessage;

    tvl::DriveReport* pDrive = pDoc->DriveOf(tvl::DriveOfPath(strPath));
    if (!pDrive) {
        // No folder selected: only the background shows; the rows stay hidden.
        m_list->hide();
        m_staticMessage->hide();
        return;
    }

    bool bShown = false;
    std::vector<tvl::FileEntry> files;
    if (pDrive->bStoreFileNames) {
        // Offline listing: the report's own entries, whether the drive is there or not,
        // with their sizes in the measure shown.
        bShown = true;
        m_bTimes = pDrive->bFolderFacts;
        const tvl::SizeKind kind = tvl::ShownKind(*pDrive, pDoc->WantedKind());
        if (pDoc->m_pSelectedFolder)
            files = pDoc->m_pSelectedFolder->files;
        if (kind != tvl::PrimaryKind(*pDrive))
            for (tvl::FileEntry& e : files)
                std::swap(e.nSize, e.nOtherSize);
    } else {
        m_bTimes = true;
        // Live listing. A drive found missing once stays unavailable for this report.
        if (pDrive->bAvailable && !pDoc->Environment().drives.IsAvailable(pDrive->cDrive))
            pDrive->bAvailable = false;
        if (!pDrive->bAvailable)
            strMessage = FileListDriveMessage(pDrive->cDrive);
        bShown = pDrive->bAvailable;
        if (bShown && !ReadFolder(strPath, files)) {
            files.clear();
            strMessage = QString::fromLatin1(kFileListFolderMessage);
            bShown = false;
        }
    }

    m_model->SetFiles(std::move(files));
    LayoutColumns();
    if (bShown)
        SortList();
    m_list->setVisible(bShown);
    m_staticMessage->setVisible(!bShown);
    m_staticMessage->setText(bShown ? QString() : strMessage);
    emit listed();
}

void CFileListView::SortList()
{
    m_model->Sort(m_nSortColumn, s_nSortDirection);
    m_list->header()->setSortIndicatorShown(true);
    m_list->header()->setSortIndicator(m_nSortColumn, s_nSortDirection > 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CFileListView::OnColumnClick(int n)
{
    if (n == m_nSortColumn)
        s_nSortDirection = -s_nSortDirection;
    else
        m_nSortColumn = n;
    SortList();
}

void CFileListView::resizeEvent(QResizeEvent* event)
{
    CView::resizeEvent(event);
    const int cx = event->size().width();
    const int cy = event->size().height();
    m_staticMessage->setGeometry(5, 5, std::max(cx - 10, 0), std::max(cy - 10, 0));
    m_list->setGeometry(0, 0, cx, cy);
    // The columns follow when the list's viewport takes its new size.
}

bool CFileListView::eventFilter(QObject* watched, QEvent* event)
{
    // The viewport also changes width when the vertical scroll bar comes or goes,
    // whatever width the style gives it.
    if (watched == m_list->viewport() && event->type() == QEvent::Resize)
        LayoutColumns();
    return CView::eventFilter(watched, event);
}

std::pair<int, int> CFileListView::ColumnWidths(int width, int sizeMinimum)
{
    width = std::max(width, 0);
    int name = 3 * width / 5;
    int size = width - name;
    if (size < sizeMinimum) {
        size = sizeMinimum;
        name = std::max(width - size, 0);
    }
    return {name, size};
}

int CFileListView::MinimumWidth() const
{
    if (m_list->isHidden() || m_model->rowCount() == 0)
        return 0; // a message or an empty list gives way first
    const int names = m_list->fontMetrics().horizontalAdvance(QStringLiteral("MMMM\u2026"));
    return SizeColumnMinimum() + names + m_list->verticalScrollBar()->sizeHint().width() + 2 * m_list->frameWidth();
}

int CFileListView::WantedWidth() const
{
    if (MinimumWidth() == 0 || ChangeColumnWidth() == 0)
        return MinimumWidth();
    return SizeColumnMinimum() + ChangeColumnWidth() + NamesBesideChanges() +
           m_list->verticalScrollBar()->sizeHint().width() + 2 * m_list->frameWidth();
}

int CFileListView::NamesBesideChanges() const
{
    // The names matter more than their dates: "Last change" is shown only while "File"
    // keeps about ten letters.
    return m_list->fontMetrics().horizontalAdvance(QStringLiteral("MMMMMMMMMM\u2026"));
}

int CFileListView::ChangeColumnWidth() const
{
    if (!m_bTimes)
        return 0;
    const int margins = 2 * (m_list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_list) + 1);
    return std::max(datetext::WidestDate(m_list->fontMetrics()) + margins + 2,
                    m_list->header()->sectionSizeHint(CFileListModel::ColChange));
}

int CFileListView::SizeColumnMinimum() const
{
    const QFontMetrics fm = m_list->fontMetrics();
    const auto [lo, hi] = m_model->SizeRange();
    const int widest = sizetext::WidestSize(fm, lo, hi);
    // The cell's text margins as the style draws them, on both sides.
    const int margins = 2 * (m_list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_list) + 1);
    return std::max(widest + margins + 2, m_list->header()->sectionSizeHint(1));
}

void CFileListView::LayoutColumns()
{
    // "Last change" is shown while "File" keeps its letters and "Size" its numbers
    // beside it; a narrower list leaves it out until it is wider again.
    int change = ChangeColumnWidth();
    if (m_list->viewport()->width() - change < SizeColumnMinimum() + NamesBesideChanges())
        change = 0;
    m_list->setColumnHidden(CFileListModel::ColChange, change == 0);
    const auto [name, size] = ColumnWidths(std::max(m_list->viewport()->width() - change, 0), SizeColumnMinimum());
    m_list->header()->resizeSection(CFileListModel::ColFile, name);
    m_list->header()->resizeSection(CFileListModel::ColSize, size);
    if (change > 0)
        m_list->header()->resizeSection(CFileListModel::ColChange, change);
}
