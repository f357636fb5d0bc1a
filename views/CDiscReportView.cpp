#include "CDiscReportView.h"

#include "CFolderListCtrl.h"
#include "CTovalineDoc.h"
#include "FolderListModel.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QResizeEvent>

#include <algorithm>
#include <vector>

CDiscReportView::CDiscReportView(QWidget* parent) : CView(parent)
{
    m_model = new FolderListModel(this);
    m_list = new CFolderListCtrl(this);
    m_list->setObjectName(QStringLiteral("folderList"));
    m_model->SetDocumentSource([this]() -> const tvl::ReportDocument* { return GetDocument(); });
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

bool CDiscReportView::SelectFolder(const tvl::FolderRecord* pFolder)
{
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
    int widths[5];
    ColumnWidths(cx, widths);
    for (int i = 0; i < 5; ++i)
        m_list->horizontalHeader()->resizeSection(i, widths[i]);
}
