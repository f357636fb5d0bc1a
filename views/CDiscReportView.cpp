#include "CDiscReportView.h"

#include "CFolderListCtrl.h"
#include "ColumnFit.h"
#include "CTovalineDoc.h"
#include "FolderListModel.h"
#include "NumberFormat.h"
#include "ReportCompare.h"
#include "DateText.h"
#include "SizeText.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QItemSelectionModel>
#include <QResizeEvent>
#include <QScrollBar>

#include <algorithm>
#include <vector>

CDiscReportView::CDiscReportView(QWidget* parent) : CView(parent)
{
    m_model = new FolderListModel(this);
    m_list = new CFolderListCtrl(this);
    m_list->setObjectName(QStringLiteral("folderList"));
    m_model->SetDocumentSource([this]() -> const tvl::ReportDocument* { return GetDocument(); });
    m_model->SetComparisonSource([this]() -> const tvl::ReportComparison* {
        return GetDocument() ? GetDocument()->Comparison() : nullptr;
    });
    m_model->SetWantedKindSource([this]() -> std::optional<tvl::SizeKind> {
        return GetDocument() ? GetDocument()->WantedKind() : std::nullopt;
    });
    m_list->setModel(m_model);
    m_list->setGeometry(0, 0, 1, 1);
    m_hidden.assign(FolderListModel::ColCount, false);
    // The heading's context menu hides and shows columns.
    m_list->horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list->horizontalHeader(), &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu* menu = MakeColumnMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(m_list->horizontalHeader()->mapToGlobal(at));
    });

    connect(m_list, &CFolderListCtrl::rowActivated, this, &CDiscReportView::OnItemActivate);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { OnItemChanged(); });
    // The columns follow the width the rows are shown in, which shrinks when the
    // vertical scroll bar appears, whatever its width under the current style.
    connect(m_list, &CFolderListCtrl::viewportResized, this, &CDiscReportView::LayoutColumns);
    connect(m_list->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        SetSort(m_model->Sort().Clicked(column, column == FolderListModel::ColFolder));
        emit sortChanged(m_model->Sort());
    });
    connect(&sizetext::Notifier(), &SizeTextNotifier::changed, this, [this] {
        MeasureNumbers();
        LayoutColumns(m_list->viewport()->width());
        m_list->viewport()->update();
    });
}

tvl::FolderSort CDiscReportView::Sort() const
{
    return m_model->Sort();
}

void CDiscReportView::SetSort(const tvl::FolderSort& sort)
{
    const CTovalineDoc* doc = GetDocument();
    const tvl::FolderRecord* selected = doc ? doc->m_pSelectedFolder : nullptr;
    m_model->SetSort(sort);
    ShowSortIndicator();
    // The selected folder stays selected wherever its row went.
    if (selected && doc->m_pSelectedFolder == selected)
        SelectFolder(selected);
}

void CDiscReportView::ShowSortIndicator()
{
    QHeaderView* header = m_list->horizontalHeader();
    const tvl::FolderSort sort = m_model->Sort();
    header->setSortIndicatorShown(!sort.IsPathOrder());
    if (!sort.IsPathOrder())
        header->setSortIndicator(sort.nColumn, sort.bDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

CDiscReportView::~CDiscReportView() = default;

void CDiscReportView::OnInitialUpdate()
{
    FillList();
    CView::OnInitialUpdate();
}

QStringList CDiscReportView::HiddenColumns() const
{
    QStringList keys;
    for (int c = 1; c < FolderListModel::ColCount; ++c)
        if (m_hidden[static_cast<std::size_t>(c)])
            keys << QString::fromLatin1(FolderListModel::ColumnAt(c).key);
    return keys;
}

void CDiscReportView::SetHiddenColumns(const QStringList& keys)
{
    for (int c = 1; c < FolderListModel::ColCount; ++c)
        m_hidden[static_cast<std::size_t>(c)] = keys.contains(QString::fromLatin1(FolderListModel::ColumnAt(c).key));
    ApplyHiddenColumns();
    LayoutColumns(m_list->viewport()->width());
}

bool CDiscReportView::IsColumnShown(int column) const
{
    if (column <= FolderListModel::ColFolder || column >= FolderListModel::ColCount)
        return column >= 0;
    if (m_hidden[static_cast<std::size_t>(column)])
        return false;
    const FolderListModel::Kind kind = FolderListModel::ColumnAt(column).kind;
    if (kind != FolderListModel::Kind::Count && kind != FolderListModel::Kind::Date)
        return true;
    // A report without folder facts would only show the columns empty.
    const CTovalineDoc* doc = GetDocument();
    if (doc)
        for (const auto& drive : doc->m_pDriveReports)
            if (drive && drive->bFolderFacts)
                return true;
    return false;
}

QMenu* CDiscReportView::MakeColumnMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("columnMenu"));
    for (int c = 1; c < FolderListModel::ColCount; ++c) {
        QAction* a = menu->addAction(QString::fromLatin1(FolderListModel::ColumnAt(c).heading));
        a->setCheckable(true);
        a->setChecked(!m_hidden[static_cast<std::size_t>(c)]);
        connect(a, &QAction::toggled, this, [this, c](bool bShown) {
            m_hidden[static_cast<std::size_t>(c)] = !bShown;
            ApplyHiddenColumns();
            LayoutColumns(m_list->viewport()->width());
            emit hiddenColumnsChanged(HiddenColumns());
        });
    }
    return menu;
}

void CDiscReportView::ApplyHiddenColumns()
{
    for (int c = 1; c < FolderListModel::ColCount; ++c)
        m_list->setColumnHidden(c, !IsColumnShown(c));
}

void CDiscReportView::OnUpdate(CView*, int lHint)
{
    if (lHint == kHintMeasure) {
        // Both measures were measured for the widths; only the numbers change, and the
        // order when the rows are sorted by one of them: the selected folder stays
        // selected wherever its row went.
        m_model->MeasureChanged();
        const CTovalineDoc* doc = GetDocument();
        if (!m_model->Sort().IsPathOrder() && doc && doc->m_pSelectedFolder)
            SelectFolder(doc->m_pSelectedFolder);
        return;
    }
    if (lHint == kHintAll || lHint == kHintComparison) {
        m_model->UpdateComparisonColumns();
        ShowSortIndicator(); // a sort by a change column ends with the comparison
        LayoutColumns(m_list->viewport()->width());
    }
    if (lHint == kHintAll)
        FillList();
}

void CDiscReportView::FillList()
{
    MeasureNumbers();
    m_model->Fill();
    LayoutColumns(m_list->viewport()->width());
    OnItemChanged();
}

void CDiscReportView::MeasureNumbers()
{
    // In a sound report no count exceeds its drive's root (a folder's sums are part of
    // its parent's), so the roots hold the widest numbers; visiting every folder would
    // cost a pass over millions of records. A damaged report's wider or negative
    // numbers show the overflow mark instead of being cut. Both measures are measured,
    // so that switching between them keeps the columns as they are.
    std::int64_t lo = 0, hi = 0, files = 0;
    if (const CTovalineDoc* doc = GetDocument())
        for (const auto& drive : doc->m_pDriveReports) {
            const tvl::FolderRecord* root = drive ? drive->GetFolder(0) : nullptr;
            if (!root)
                continue;
            for (const tvl::SizeKind kind : {tvl::SizeKind::Length, tvl::SizeKind::DiscUsage}) {
                if (!tvl::CanShow(*drive, kind))
                    continue;
                const tvl::FolderSizes sizes = tvl::SizesOf(*drive, *root, kind);
                for (int c = 0; c < FolderListModel::ColCount; ++c)
                    if (FolderListModel::ColumnAt(c).kind == FolderListModel::Kind::Bytes) {
                        const std::int64_t n = FolderListModel::ColumnAt(c).number(sizes, *root);
                        lo = std::min(lo, n);
                        hi = std::max(hi, n);
                    }
            }
            if (drive->bFolderFacts)
                files = std::max(files, root->FilesWithSubs());
        }
    const QFontMetrics fm = m_list->fontMetrics();
    m_nWidestSize = sizetext::WidestSize(fm, lo, hi);
    m_nWidestCount = fm.horizontalAdvance(QString::fromStdString(tvl::FormatSize(files)));
}

std::vector<int> CDiscReportView::MinimumColumnWidths() const
{
    const QFontMetrics fm = m_list->fontMetrics();
    std::vector<int> widths;
    for (int c = 0; c < FolderListModel::ColCount; ++c)
        switch (FolderListModel::ColumnAt(c).kind) {
        case FolderListModel::Kind::Name:
            widths.push_back(FolderRowDelegate::TextStart(1) + fm.horizontalAdvance(QStringLiteral("WWWWW")));
            break;
        case FolderListModel::Kind::Bytes:
            widths.push_back(m_nWidestSize + FolderRowDelegate::kTextMargins + 2);
            break;
        case FolderListModel::Kind::Share:
            widths.push_back(FolderRowDelegate::NumberRoom(fm) + FolderRowDelegate::kTextMargins + 16);
            break;
        case FolderListModel::Kind::Count:
            widths.push_back(m_nWidestCount + FolderRowDelegate::kTextMargins + 2);
            break;
        case FolderListModel::Kind::Date:
            widths.push_back(datetext::WidestDate(fm) + FolderRowDelegate::kTextMargins + 2);
            break;
        }
    return widths;
}

int CDiscReportView::RequiredWidth() const
{
    int change = 0, percent = 0;
    ChangeColumnWidths(change, percent);
    int sum = change + percent;
    const std::vector<int> minimums = MinimumColumnWidths();
    for (int c = 0; c < FolderListModel::ColCount; ++c)
        if (IsColumnShown(c))
            sum += minimums[static_cast<std::size_t>(c)];
    const int scroll = m_list->verticalScrollBar()->sizeHint().width();
    return sum + scroll + 2 * m_list->frameWidth();
}

void CDiscReportView::LayoutColumns(int width)
{
    // While comparing, "Change" and "Change %" take their room first; the report's
    // shown columns share the rest, each still wide enough for its numbers (the list
    // scrolls sideways rather than cut one).
    ApplyHiddenColumns();
    int change = 0, percent = 0;
    ChangeColumnWidths(change, percent);
    const int rest = std::max(0, width - change - percent);
    std::vector<int> shown;
    std::vector<int> minimums;
    const std::vector<int> allMinimums = MinimumColumnWidths();
    for (int c = 0; c < FolderListModel::ColCount; ++c)
        if (IsColumnShown(c)) {
            shown.push_back(c);
            minimums.push_back(allMinimums[static_cast<std::size_t>(c)]);
        }
    std::vector<int> widths =
        tvl::FitColumns(ColumnWidths(rest, static_cast<int>(shown.size())), minimums, FolderListModel::ColFolder);
    // "Folder" alone may not have had enough to give: the others' surplus over their
    // own minimums makes up the rest, from the right, so that the columns end at the
    // right edge whenever their minimums fit.
    int sum = 0;
    for (int w : widths)
        sum += w;
    for (std::size_t i = widths.size(); i-- > 1 && sum > rest;) {
        const int take = std::min(sum - rest, std::max(0, widths[i] - minimums[i]));
        widths[i] -= take;
        sum -= take;
    }
    // The parts are truncated; the pixels they leave go to "Folder", so the columns
    // end exactly at the right edge and no sideways scrolling appears for them.
    if (sum < rest)
        widths[FolderListModel::ColFolder] += rest - sum;
    QHeaderView* header = m_list->horizontalHeader();
    for (std::size_t i = 0; i < shown.size(); ++i)
        header->resizeSection(shown[i], widths[i]);
    if (change > 0) {
        header->resizeSection(FolderListModel::ColChange, change);
        header->resizeSection(FolderListModel::ColChangePercent, percent);
    }
}

void CDiscReportView::OnItemActivate(int row)
{
    if (m_model->Activate(row))
        OnItemChanged();
}

void CDiscReportView::OnItemChanged()
{
    CTovalineDoc* doc = GetDocument();
    if (!doc)
        return;
    const QModelIndexList selected = m_list->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    int row = selected.front().row();
    for (const QModelIndex& i : selected)
        row = std::min(row, i.row());
    tvl::FolderRecord* folder = m_model->FolderAt(row);
    if (!folder)
        return;
    if (folder->strPath == doc->m_strSelectedPath)
        return;
    doc->m_pSelectedFolder = folder;
    doc->m_strSelectedPath = folder->strPath;
    const tvl::DriveReport* drive = m_model->DriveAt(row);
    emit folderMarkChanged(drive && drive->bFolderFacts ? QString::fromLatin1(tvl::FolderStateText(folder->state))
                                                        : QString());
    doc->UpdateAllViews(nullptr, kHintSelection);
}

bool CDiscReportView::SelectFolder(const tvl::FolderRecord* pFolder)
{
    if (!pFolder)
        return false;
    std::vector<const tvl::FolderRecord*> chain;
    for (const tvl::FolderRecord* f = pFolder; f; f = f->pParent)
        chain.push_back(f);
    std::reverse(chain.begin(), chain.end());
    // Each folder's row follows its parent's, so every search starts there.
    int row = 0;
    for (std::size_t i = 0; i < chain.size(); ++i) {
        while (row < m_model->rowCount() && m_model->FolderAt(row) != chain[i])
            ++row;
        if (row >= m_model->rowCount())
            return false;
        if (i + 1 < chain.size() && !chain[i]->bExpanded)
            m_model->Activate(row);
    }
    const QModelIndex index = m_model->index(row, 0);
    m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_list->scrollTo(index);
    OnItemChanged();
    return true;
}

std::vector<int> CDiscReportView::ColumnWidths(int width, int nColumns)
{
    std::vector<int> widths(static_cast<std::size_t>(std::max(nColumns, 1)), 0);
    width = std::max(width, 0);
    widths[0] = nColumns > 1 ? width / 3 : width;
    if (nColumns <= 1)
        return widths;
    const int r = width - widths[0];
    const int others = nColumns - 1;
    for (int i = 1; i < nColumns; ++i)
        widths[static_cast<std::size_t>(i)] = r / others;
    widths.back() = r - (others - 1) * (r / others);
    return widths;
}

void CDiscReportView::resizeEvent(QResizeEvent* event)
{
    CView::resizeEvent(event);
    const int cx = event->size().width();
    const int cy = event->size().height();
    m_list->setGeometry(0, 0, cx, cy);
    // The columns are laid out when the list's viewport takes its new size.
}

void CDiscReportView::ChangeColumnWidths(int& change, int& percent) const
{
    change = percent = 0;
    const CTovalineDoc* doc = GetDocument();
    const tvl::ReportComparison* rc = doc ? doc->Comparison() : nullptr;
    if (!rc || m_model->columnCount() <= FolderListModel::ColChangePercent)
        return;
    // No change of a folder is larger than the larger total of its drive.
    std::int64_t largest = 0;
    for (const tvl::DriveComparison& d : rc->drives)
        largest = std::max({largest, d.nOldTotal, d.nNewTotal});
    const QFontMetrics fm = m_list->fontMetrics();
    const QFontMetrics headerFm = m_list->horizontalHeader()->fontMetrics();
    const int widestChange = sizetext::Units()
                                 ? fm.horizontalAdvance(QStringLiteral("+")) + sizetext::WidestSize(fm, -largest, largest)
                                 : fm.horizontalAdvance(sizetext::Change(largest));
    change = std::max(widestChange, headerFm.horizontalAdvance(QStringLiteral("Change"))) + 14;
    // A four-digit percentage and a short bar beside it.
    percent = std::max(fm.horizontalAdvance(QStringLiteral("+1000.00")) + 6 + 30,
                       headerFm.horizontalAdvance(QStringLiteral("Change %")) + 14);
}

bool CDiscReportView::ShowFolder(int nDrive, int nPos)
{
    const tvl::ReportDocument* doc = GetDocument();
    if (!doc || nDrive < 0 || static_cast<std::size_t>(nDrive) >= doc->m_pDriveReports.size() ||
        !doc->m_pDriveReports[static_cast<std::size_t>(nDrive)])
        return false;
    if (!SelectFolder(doc->m_pDriveReports[static_cast<std::size_t>(nDrive)]->GetFolder(nPos)))
        return false;
    // The selected row is drawn highlighted only while the list has the focus.
    m_list->setFocus(Qt::OtherFocusReason);
    return true;
}
