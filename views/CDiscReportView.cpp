#include "CDiscReportView.h"

#include "CFolderListCtrl.h"
#include "ColumnFit.h"
#include "CTovalineDoc.h"
#include "FolderListModel.h"
#include "NumberFormat.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QResizeEvent>

#include <algorithm>

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
    // The columns follow the width the rows are shown in, which shrinks when the
    // vertical scroll bar appears, whatever its width under the current style.
    connect(m_list, &CFolderListCtrl::viewportResized, this, &CDiscReportView::LayoutColumns);
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
    // numbers show the overflow mark instead of being cut.
    std::int64_t lo = 0, hi = 0;
    if (const CTovalineDoc* doc = GetDocument())
        for (const auto& drive : doc->m_pDriveReports)
            if (const tvl::FolderRecord* root = drive ? drive->GetFolder(0) : nullptr)
                for (int c = 0; c < FolderListModel::ColCount; ++c)
                    if (const auto bytes = FolderListModel::ColumnAt(c).bytes) {
                        lo = std::min(lo, bytes(*root));
                        hi = std::max(hi, bytes(*root));
                    }
    const QFontMetrics fm = m_list->fontMetrics();
    m_nWidestSize = std::max(fm.horizontalAdvance(QString::fromStdString(tvl::FormatSize(lo))),
                             fm.horizontalAdvance(QString::fromStdString(tvl::FormatSize(hi))));
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
        }
    return widths;
}

void CDiscReportView::LayoutColumns(int width)
{
    int proposed[5];
    ColumnWidths(width, proposed);
    std::vector<int> widths =
        tvl::FitColumns(std::vector<int>(proposed, proposed + 5), MinimumColumnWidths(), FolderListModel::ColFolder);
    // The quarters are truncated; the pixels they leave go to "Folder", so the columns
    // end exactly at the right edge and no sideways scrolling appears for them.
    int sum = 0;
    for (int w : widths)
        sum += w;
    if (sum < width)
        widths[FolderListModel::ColFolder] += width - sum;
    for (int i = 0; i < 5; ++i)
        m_list->horizontalHeader()->resizeSection(i, widths[static_cast<std::size_t>(i)]);
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

void CDiscReportView::ColumnWidths(int width, int widths[5])
{
    const int w0 = width / 3;
    const int r = width - w0;
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
    // The columns are laid out when the list's viewport takes its new size.
}
