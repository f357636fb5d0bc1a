#include "ElidingHeaderView.h"

#include <QStyle>
#include <QStyleOptionHeader>

#include <algorithm>

ElidingHeaderView::ElidingHeaderView(QWidget* parent) : QHeaderView(Qt::Horizontal, parent)
{
    // As the lists' own headers: headings on the left unless the model says otherwise.
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void ElidingHeaderView::initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const
{
    QHeaderView::initStyleOptionForIndex(option, logicalIndex);
    // The room the style leaves for the text: the section less its margins and, on
    // the sorted column, the sort arrow.
    const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, option, this);
    int room = sectionSize(logicalIndex) - 2 * margin;
    if (option->sortIndicator != QStyleOptionHeader::None)
        room -= style()->pixelMetric(QStyle::PM_HeaderMarkSize, option, this) + margin;
    option->text = option->fontMetrics.elidedText(option->text, Qt::ElideRight, std::max(room, 0));
}
