// The base of the three views: a widget that belongs to the document and is told
// when the document changed, with one of the hints below.
#pragma once

#include <QWidget>

// Everything changed (the first update after New or Open).
inline constexpr int kHintAll = 0;
// The selected folder changed (the document's m_pSelectedFolder).
inline constexpr int kHintSelection = 1;
// A comparison with a baseline report started, ended or was replaced (the document's
// Comparison()).
inline constexpr int kHintComparison = 2;
// The size measure the views show changed (the document's WantedKind()): sizes, shares,
// bars and the treemap follow; nothing was scanned again.
inline constexpr int kHintMeasure = 3;

class CTovalineDoc;

class CView : public QWidget {
    Q_OBJECT
public:
    explicit CView(QWidget* parent = nullptr) : QWidget(parent) {}
    ~CView() override;

    CTovalineDoc* GetDocument() const { return m_pDocument; }
    // Attaches the view to the document (and detaches it from the previous one).
    void SetDocument(CTovalineDoc* pDoc);

    // The first update after New or Open; by default OnUpdate with kHintAll.
    virtual void OnInitialUpdate() { OnUpdate(nullptr, kHintAll); }
    virtual void OnUpdate(CView* pSender, int lHint) = 0;

private:
    CTovalineDoc* m_pDocument = nullptr;
};
