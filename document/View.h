// The base of the three views: a widget that belongs to the document and is told
// when the document changed. Hint 0: everything changed (after New or Open);
// hint 1: the selected folder changed; hint 2 (kHintComparison): a comparison with a
// baseline report started, ended or was replaced (the document's Comparison()).
#pragma once

#include <QWidget>

inline constexpr int kHintComparison = 2;

class CTovalineDoc;

class CView : public QWidget {
    Q_OBJECT
public:
    explicit CView(QWidget* parent = nullptr) : QWidget(parent) {}
    ~CView() override;

    CTovalineDoc* GetDocument() const { return m_pDocument; }
    // Attaches the view to the document (and detaches it from the previous one).
    void SetDocument(CTovalineDoc* pDoc);

    // The first update after New or Open; by default OnUpdate with hint 0.
    virtual void OnInitialUpdate() { OnUpdate(nullptr, 0); }
    virtual void OnUpdate(CView* pSender, int lHint) = 0;

private:
    CTovalineDoc* m_pDocument = nullptr;
};
