// A column header whose headings elide at their end ("Space (with…") when the
// column is narrower than the heading. Qt's own header leaves a right-aligned
// heading cut at its start ("ace (with subs)"), which reads as another word.
#pragma once

#include <QHeaderView>

class ElidingHeaderView : public QHeaderView {
    Q_OBJECT
public:
    explicit ElidingHeaderView(QWidget* parent = nullptr);

protected:
    void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override;
};
