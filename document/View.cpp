#include "View.h"

#include "CTovalineDoc.h"

CView::~CView()
{
    if (m_pDocument)
        m_pDocument->RemoveView(this);
}

void CView::SetDocument(CTovalineDoc* pDoc)
{
    if (m_pDocument == pDoc)
        return;
    if (m_pDocument)
        m_pDocument->RemoveView(this);
    m_pDocument = pDoc;
    if (m_pDocument)
        m_pDocument->AddView(this);
}
