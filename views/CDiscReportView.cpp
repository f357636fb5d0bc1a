#include "CDiscReportView.h"

CDiscReportView::CDiscReportView(QWidget* parent) : CView(parent) {}
CDiscReportView::~CDiscReportView() = default;
void CDiscReportView::OnInitialUpdate() { FillList(); }
void CDiscReportView::OnUpdate(CView*, int lHint) { if (lHint == 0) FillList(); }
void CDiscReportView::FillList() {}
