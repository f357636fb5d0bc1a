#include "CDiscReportView.h"

#include "CFolderListCtrl.h"
#include "CTovalineDoc.h"
#include "FolderListModel.h"
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
    // While comparing, the change columns keep their width and the others share the rest.
    const int extra = ChangeColumnsWidth();
    int widths[5];
    ColumnWidths(cx - extra, widths);
    for (int i = 0; i < 5; ++i)
        m_list->horizontalHeader()->resizeSection(i, widths[i]);
    if (extra > 0) {
        const QFontMetrics fm = m_list->fontMetrics();
        m_list->horizontalHeader()->resizeSection(FolderListModel::ColChange,
                                                  fm.horizontalAdvance(QStringLiteral("+999.999.999.999")) + 10);
        m_list->horizontalHeader()->resizeSection(FolderListModel::ColChangePercent,
                                                  extra - m_list->horizontalHeader()->sectionSize(FolderListModel::ColChange));
    }
}

int CDiscReportView::ChangeColumnsWidth() const
{
    if (m_model->columnCount() <= FolderListModel::ColChange)
        return 0;
    // "Change" fits a change of a terabyte; "Change %" a four-digit percentage and a bar.
    const QFontMetrics fm = m_list->fontMetrics();
    const int change = fm.horizontalAdvance(QStringLiteral("+999.999.999.999")) + 10;
    const int percent = std::max(fm.horizontalAdvance(QStringLiteral("+1000.00")) + 50,
                                 m_list->horizontalHeader()->fontMetrics().horizontalAdvance(QStringLiteral("Change %")) + 16);
    return change + percent;
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
    return true;
}
