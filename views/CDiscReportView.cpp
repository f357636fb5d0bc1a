#include "CDiscReportView.h"

#include "CFolderListCtrl.h"
#include "CTovalineDoc.h"
#include "FolderListModel.h"
#include "GroupThousands.h"
#include "ReportCompare.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QResizeEvent>

CDiscReportView::CDiscReportView(QWidget* parent) : CView(parent)
{
    m_model = new FolderListModel(this);
    m_list = new CFolderListCtrl(this);
    m_list->setObjectName(QStringLiteral("folderList"));
    m_model->SetDocumentSource([this]() -> const tvl::ReportDocument* { return GetDocument(); });
    m_model->SetComparisonSource([this]() -> const tvl::ReportComparison* {
        return GetDocument() ? GetDocument()->Comparison() : nullptr;
    });
    m_list->setModel(m_model);
    m_list->setGeometry(0, 0, 1, 1);

    connect(m_list, &CFolderListCtrl::rowActivated, this, &CDiscReportView::OnItemActivate);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { OnItemChanged(); });
}

CDiscReportView::~CDiscReportView() = default;

void CDiscReportView::OnInitialUpdate()
{
    FillList();
    CView::OnInitialUpdate();
}

void CDiscReportView::OnUpdate(CView*, int lHint)
{
    if (lHint == 0 || lHint == kHintComparison) {
        m_model->UpdateComparisonColumns();
        LayoutColumns(width());
    }
    if (lHint == 0)
        FillList();
}

void CDiscReportView::FillList()
{
    m_model->Fill();
    OnItemChanged();
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
    doc->UpdateAllViews(nullptr, 1);
}

void CDiscReportView::ColumnWidths(int cx, int widths[5])
{
    const int w0 = (cx - 15) / 3;
    const int r = cx - 15 - w0;
    widths[0] = w0;
    widths[1] = widths[2] = widths[3] = r / 4;
    widths[4] = r - (3 * r) / 4;
    for (int i = 0; i < 5; ++i)
        widths[i] = std::max(0, widths[i]);
}

void CDiscReportView::resizeEvent(QResizeEvent* event)
{
    CView::resizeEvent(event);
    const int cx = event->size().width();
    const int cy = event->size().height();
    m_list->setGeometry(0, 0, cx, cy);
    LayoutColumns(cx);
}

void CDiscReportView::LayoutColumns(int cx)
{
    int widths[5];
    ColumnWidths(cx, widths);
    int change = 0, percent = 0;
    ChangeColumnWidths(change, percent);
    // While comparing, the change columns take their room from the others: from
    // "Folder" (down to kMinFolderWidth) and the number columns (down to what their
    // numbers need). What is still missing is reached by scrolling sideways; no number is
    // ever cut.
    int missing = change + percent;
    if (missing > 0) {
        const QFontMetrics fm = m_list->fontMetrics();
        std::int64_t largest = 0;
        if (const tvl::ReportDocument* doc = GetDocument())
            for (const auto& d : doc->m_pDriveReports)
                if (d && d->FirstFolder())
                    largest = std::max(largest, d->FirstFolder()->nSpaceWithSubs);
        const int sizeNeed = fm.horizontalAdvance(QString::fromStdString(tvl::FormatSize(largest))) + 10;
        const int shareNeed = FolderRowDelegate::NumberRoom(fm) + 4; // the number; the bar may go
        const int need[5] = {kMinFolderWidth, sizeNeed, shareNeed, shareNeed, sizeNeed};
        // Each column gives in proportion to what it has beyond its need.
        long long slack = 0;
        for (int i = 0; i < 5; ++i)
            slack += std::max(widths[i] - need[i], 0);
        const long long take = std::min<long long>(missing, slack);
        long long given = 0;
        for (int i = 0; i < 5 && slack > 0; ++i) {
            const long long part = std::max(widths[i] - need[i], 0) * take / slack;
            widths[i] -= static_cast<int>(part);
            given += part;
        }
        // Rounding leftovers come from the first column that can still give.
        for (int i = 0; i < 5 && given < take; ++i) {
            const int give = static_cast<int>(std::min<long long>(std::max(widths[i] - need[i], 0), take - given));
            widths[i] -= give;
            given += give;
        }
    }
    QHeaderView* header = m_list->horizontalHeader();
    for (int i = 0; i < 5; ++i)
        header->resizeSection(i, widths[i]);
    if (change > 0) {
        header->resizeSection(FolderListModel::ColChange, change);
        header->resizeSection(FolderListModel::ColChangePercent, percent);
    }
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
    change = std::max(fm.horizontalAdvance(QString::fromStdString(tvl::FormatSizeChange(largest))),
                      headerFm.horizontalAdvance(QStringLiteral("Change"))) + 14;
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
    const tvl::DriveReport& drive = *doc->m_pDriveReports[static_cast<std::size_t>(nDrive)];
    const tvl::FolderRecord* target = drive.GetFolder(nPos);
    if (!target)
        return false;
    // The ancestors are the nearest earlier folders of each smaller level (path order).
    std::vector<int> chain{nPos};
    for (int p = nPos - 1, level = target->nLevel; p >= 0 && level > 0; --p) {
        const int l = drive.GetFolder(p)->nLevel;
        if (l < level) {
            chain.push_back(p);
            level = l;
        }
    }
    // Open each ancestor from the top; each one is shown once its parent is open.
    for (std::size_t k = chain.size(); k-- > 1;) {
        const int row = m_model->RowOf({nDrive, chain[k]});
        if (row < 0)
            return false;
        if (!drive.GetFolder(chain[k])->bExpanded)
            OnItemActivate(row);
    }
    const int row = m_model->RowOf({nDrive, nPos});
    if (row < 0)
        return false;
    const QModelIndex index = m_model->index(row, 0);
    m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_list->scrollTo(index, QAbstractItemView::PositionAtCenter);
    // The selected row is drawn highlighted only while the list has the focus.
    m_list->setFocus(Qt::OtherFocusReason);
    return true;
}
