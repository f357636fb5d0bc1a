#include "CChangesView.h"

#include "CFolderListCtrl.h"
#include "CTovalineDoc.h"
#include "NumberFormat.h"
#include "SizeText.h"
#include "ReportCompare.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

QString ToQString(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Numbers are drawn whole or as the overflow mark, never cut or elided.
class NumberDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        if (index.column() != ChangesListModel::ColFolder) {
            opt.text = FolderRowDelegate::FittedNumber(opt.text, opt.fontMetrics, opt.rect.width() - 8);
            opt.textElideMode = Qt::ElideNone;
        } else {
            opt.textElideMode = Qt::ElideMiddle;
        }
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : nullptr;
        if (style)
            style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    }
};

} // namespace

ChangesListModel::ChangesListModel(QObject* parent) : QAbstractTableModel(parent) {}

void ChangesListModel::Refill()
{
    beginResetModel();
    m_rows.clear();
    if (const tvl::ReportComparison* rc = m_source ? m_source() : nullptr) {
        // Growth from the largest down, then shrinkage from the smallest to the largest,
        // so that the list runs by change from top to bottom.
        const auto all = std::numeric_limits<std::size_t>::max();
        const std::vector<tvl::FolderRef> grown = tvl::LargestChanges(*rc, all, true, 0);
        const std::vector<tvl::FolderRef> shrunk = tvl::LargestChanges(*rc, all, false, 0);
        m_rows.reserve(grown.size() + shrunk.size());
        for (const tvl::FolderRef& r : grown)
            m_rows.push_back({r.nDrive, r.nFolder});
        for (auto it = shrunk.rbegin(); it != shrunk.rend(); ++it)
            m_rows.push_back({it->nDrive, it->nFolder});
    }
    endResetModel();
}

int ChangesListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ChangesListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColCount;
}

bool ChangesListModel::RefAt(int row, std::uint32_t& nDrive, std::uint32_t& nFolder) const
{
    const tvl::ReportComparison* rc = m_source ? m_source() : nullptr;
    if (!rc || row < 0 || static_cast<std::size_t>(row) >= m_rows.size())
        return false;
    const Row& r = m_rows[static_cast<std::size_t>(row)];
    if (r.nDrive >= rc->drives.size() || r.nFolder >= rc->drives[r.nDrive].folders.size())
        return false;
    nDrive = r.nDrive;
    nFolder = r.nFolder;
    return true;
}

bool ChangesListModel::KnowsItems() const
{
    if (const tvl::ReportComparison* rc = m_source ? m_source() : nullptr)
        for (const tvl::DriveComparison& d : rc->drives)
            if (d.bItemsCompared)
                return true;
    return false;
}

QVariant ChangesListModel::data(const QModelIndex& index, int role) const
{
    std::uint32_t d = 0, f = 0;
    if (!index.isValid() || !RefAt(index.row(), d, f))
        return {};
    const tvl::DriveComparison& drive = m_source()->drives[d];
    const tvl::FolderChange& c = drive.folders[f];
    // The item change as text, empty where a side does not know its items.
    const QString items =
        drive.bItemsCompared ? QString::fromStdString(tvl::FormatSizeChange(c.ItemChange())) : QString();
    if (role == Qt::TextAlignmentRole)
        return index.column() == ColFolder ? int(Qt::AlignLeft | Qt::AlignVCenter)
                                           : int(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole) {
        QString tip = QStringLiteral("%1\nBefore: %2\nNow: %3")
                          .arg(ToQString(c.Path()), QString::fromStdString(tvl::FormatSize(c.OldWithSubs())),
                               QString::fromStdString(tvl::FormatSize(c.NewWithSubs())));
        if (!items.isEmpty())
            tip += QStringLiteral("\nItems: %1").arg(items);
        return tip;
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case ColFolder: return ToQString(c.Path());
    case ColChange: return sizetext::Change(c.Change());
    case ColChangePercent: {
        if (c.state == tvl::ChangeState::New || c.state == tvl::ChangeState::Removed)
            return QString::fromLatin1(tvl::ChangeStateName(c.state));
        const auto p = c.Percent();
        return p ? QString::fromStdString(tvl::FormatPercentChange(*p)) : QString();
    }
    case ColItems: return items;
    case ColBefore: return sizetext::Size(c.OldWithSubs());
    case ColNow: return sizetext::Size(c.NewWithSubs());
    default: return {};
    }
}

QVariant ChangesListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return section == ColFolder ? int(Qt::AlignLeft | Qt::AlignVCenter) : int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ColFolder: return QStringLiteral("Folder");
    case ColChange: return QStringLiteral("Change");
    case ColChangePercent: return QStringLiteral("Change %");
    case ColItems: return QStringLiteral("Item change");
    case ColBefore: return QStringLiteral("Before");
    case ColNow: return QStringLiteral("Now");
    default: return {};
    }
}

CChangesView::CChangesView(QWidget* parent) : CView(parent)
{
    setObjectName(QStringLiteral("CChangesView"));
    m_heading = new QLabel(this);
    m_heading->setObjectName(QStringLiteral("changesHeading"));
    m_heading->setContentsMargins(4, 2, 4, 2);
    m_model = new ChangesListModel(this);
    m_model->SetComparisonSource(
        [this]() -> const tvl::ReportComparison* { return GetDocument() ? GetDocument()->Comparison() : nullptr; });
    m_list = new QTableView(this);
    m_list->setObjectName(QStringLiteral("changesList"));
    m_list->setModel(m_model);
    m_list->setItemDelegate(new NumberDelegate(m_list));
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setShowGrid(false);
    m_list->setWordWrap(false);
    m_list->setTextElideMode(Qt::ElideMiddle);
    m_list->setTabKeyNavigation(false);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->verticalHeader()->setDefaultSectionSize(std::max(18, fontMetrics().height() + 4));
    m_list->horizontalHeader()->setHighlightSections(false);
    m_list->horizontalHeader()->setSectionsClickable(false);
    m_list->horizontalHeader()->setStretchLastSection(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_heading);
    layout->addWidget(m_list, 1);

    connect(m_list, &QAbstractItemView::clicked, this, [this](const QModelIndex& i) { ChooseRow(i.row()); });
    connect(m_list, &QAbstractItemView::activated, this, [this](const QModelIndex& i) { ChooseRow(i.row()); });
    connect(&sizetext::Notifier(), &SizeTextNotifier::changed, this, [this] {
        LayoutColumns();
        m_list->viewport()->update();
    });
    LayoutColumns();
}

void CChangesView::OnUpdate(CView*, int lHint)
{
    if (lHint != kHintAll && lHint != kHintComparison)
        return;
    m_model->Refill();
    CTovalineDoc* doc = GetDocument();
    const tvl::ReportComparison* rc = doc ? doc->Comparison() : nullptr;
    m_heading->setText(rc ? QStringLiteral("Changes since %1: %2 folders")
                                .arg(QFileInfo(doc->BaselinePathName()).fileName())
                                .arg(QString::fromStdString(tvl::FormatSize(m_model->rowCount())))
                          : QString());
    LayoutColumns();
}

void CChangesView::ChooseRow(int row)
{
    std::uint32_t d = 0, f = 0;
    CTovalineDoc* doc = GetDocument();
    if (!doc || !m_model->RefAt(row, d, f))
        return;
    const tvl::DriveComparison& drive = doc->Comparison()->drives[d];
    const std::int64_t shown = tvl::NearestCurrentFolder(drive, f);
    if (shown < 0 || !drive.pNew)
        return;
    const tvl::FolderRecord* record = drive.folders[static_cast<std::size_t>(shown)].pNew;
    const auto& list = drive.pNew->Folders();
    const auto it = std::find(list.begin(), list.end(), record);
    if (it != list.end())
        emit folderChosen(drive.nNewIndex, static_cast<int>(it - list.begin()));
}

void CChangesView::resizeEvent(QResizeEvent* event)
{
    CView::resizeEvent(event);
    LayoutColumns();
}

void CChangesView::LayoutColumns()
{
    // Numbers get room for the largest the comparison can hold (no change and no size
    // exceeds the larger total of its drive), never less than their headings; the
    // folder takes the rest, at least 80 pixels.
    const QFontMetrics fm = m_list->fontMetrics();
    const QFontMetrics hfm = m_list->horizontalHeader()->fontMetrics();
    std::int64_t largest = 0, items = 0;
    if (const tvl::ReportComparison* rc = GetDocument() ? GetDocument()->Comparison() : nullptr)
        for (const tvl::DriveComparison& d : rc->drives) {
            largest = std::max({largest, d.nOldTotal, d.nNewTotal});
            // No folder's items change by more than the larger root holds.
            if (d.bItemsCompared)
                items = std::max({items, d.nOldItems, d.nNewItems});
        }
    auto fit = [&](int text, const char* heading) {
        return std::max(text, hfm.horizontalAdvance(QString::fromLatin1(heading)) + 12) + 12;
    };
    const int change = fit(fm.horizontalAdvance(QStringLiteral("+")) + sizetext::WidestSize(fm, -largest, largest), "Change");
    const int percent = fit(fm.horizontalAdvance(QStringLiteral("+100000.00")), "Change %");
    const int size = fit(sizetext::WidestSize(fm, 0, largest), "Before");
    const bool bItems = m_model->KnowsItems();
    const int itemChange =
        bItems ? fit(fm.horizontalAdvance(QString::fromStdString(tvl::FormatSizeChange(-items))), "Item change") : 0;
    QHeaderView* h = m_list->horizontalHeader();
    h->resizeSection(ChangesListModel::ColChange, change);
    h->resizeSection(ChangesListModel::ColChangePercent, percent);
    if (bItems)
        h->resizeSection(ChangesListModel::ColItems, itemChange);
    h->resizeSection(ChangesListModel::ColBefore, size);
    h->resizeSection(ChangesListModel::ColNow, size);
    const int scroll = m_list->verticalScrollBar() ? m_list->verticalScrollBar()->sizeHint().width() : 15;
    // The room the rows are shown in: the list without its frame and a vertical scroll
    // bar, so that no horizontal one appears while everything fits.
    const int room = width() - 2 * m_list->frameWidth() - scroll;
    // In a narrow pane "Before" and "Now" make way (the tool tip of a row has them), so
    // that no number stands half outside the pane.
    constexpr int kMinFolder = 80; // a path elides in the middle, keeping its last folder
    // The item change stays while the folder keeps its room beside it.
    const bool itemsFit = bItems && room - itemChange - change - percent >= kMinFolder;
    const int fixed = change + percent + (itemsFit ? itemChange : 0);
    const bool sizesFit = room - 2 * size - fixed >= kMinFolder;
    m_list->setColumnHidden(ChangesListModel::ColItems, !itemsFit);
    m_list->setColumnHidden(ChangesListModel::ColBefore, !sizesFit);
    m_list->setColumnHidden(ChangesListModel::ColNow, !sizesFit);
    const int rest = room - fixed - (sizesFit ? 2 * size : 0);
    h->resizeSection(ChangesListModel::ColFolder, std::max(rest, kMinFolder));
}
