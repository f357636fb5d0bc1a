#include "CFolderListCtrl.h"

#include "ElidingHeaderView.h"
#include "FolderImages.h"
#include "FolderListModel.h"
#include "ReportCompare.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <cmath>

const QString FolderRowDelegate::kOverflowMark = QStringLiteral("###");

QString FolderRowDelegate::FittedNumber(const QString& text, const QFontMetrics& fm, int width)
{
    if (fm.horizontalAdvance(text) <= width)
        return text;
    return fm.horizontalAdvance(kOverflowMark) <= width ? kOverflowMark : QString();
}

FolderRowDelegate::FolderRowDelegate(CFolderListCtrl* list) : QAbstractItemDelegate(list), m_list(list) {}

QSize FolderRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return QSize(100, std::max(18, option.fontMetrics.height() + 4));
}

int FolderRowDelegate::NumberRoom(const QFontMetrics& fm)
{
    return std::max(kNumberRoom, fm.horizontalAdvance(QStringLiteral("100.00")) + 4);
}

FolderRowDelegate::Bar FolderRowDelegate::BarGeometry(const QRect& textCell, double v, int numberRoom)
{
    // Frame: the cell less the number's room on the right and 2 above and below (right and
    // bottom exclusive). Coloured part: (frame width - 3) * v / 100 pixels, truncated,
    // from the left inner edge; grey rest after it up to the right inner edge.
    Bar bar;
    const int left = textCell.left();
    const int right = textCell.left() + textCell.width() - numberRoom; // exclusive
    const int top = textCell.top() + 2;
    const int bottom = textCell.top() + textCell.height() - 2; // exclusive
    if (right - left < 3 || bottom - top < 3)
        return bar;
    bar.frame = QRect(left, top, right - left, bottom - top);
    // A damaged report may hold shares above 100 (or infinite ones): the bar stays
    // inside its frame instead of running over the number and the next column.
    v = std::min(v, 100.0);
    const int n = static_cast<int>((right - left - 3) * v * 0.01);
    if (v < 100)
        bar.rest = QRect(QPoint(left + n + 1, top + 1), QPoint(right - 2, bottom - 2));
    if (n > 0)
        bar.filled = QRect(left + 1, top + 1, n, bottom - top - 2);
    return bar;
}

void FolderRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QRect cell = option.rect;
    const int column = index.column();
    const int level = index.data(FolderListModel::LevelRole).toInt();
    const bool highlighted = (option.state & QStyle::State_Selected) && m_list->ShowsSelection();
    const QPalette& pal = option.palette;

    // The paint area begins 2 pixels before the name; indentation and image stay
    // on the plain window background.
    QRect area = cell;
    const int x0 = cell.left() + TextStart(level);
    if (FolderListModel::ColumnAt(column).kind == FolderListModel::Kind::Name)
        area.setLeft(x0 - 2);
    painter->fillRect(cell, pal.color(QPalette::Base));
    const QPalette::ColorGroup group = m_list->HighlightGroup();
    if (highlighted)
        painter->fillRect(area, pal.color(group, QPalette::Highlight));
    painter->setPen(highlighted ? pal.color(group, QPalette::HighlightedText) : pal.color(QPalette::Text));

    const QString text = index.data(Qt::DisplayRole).toString();
    if (column >= FolderListModel::ColCount) {
        PaintChangeCell(painter, option, index, text);
        return;
    }
    switch (FolderListModel::ColumnAt(column).kind) {
    case FolderListModel::Kind::Name: {
        const int image = index.data(FolderListModel::ImageRole).toInt();
        PaintBranches(painter, option, index, level, image);
        const int imageTop = cell.top() + (cell.height() - 16) / 2;
        painter->drawPixmap(x0 - 17, imageTop, FolderImage(image));
        const QPixmap& mark = FolderMarkImage(index.data(FolderListModel::MarkRole).toInt());
        if (!mark.isNull())
            painter->drawPixmap(x0 - 17 + 7, imageTop + 7, mark);
        const QRect textRect(x0, cell.top(), std::max(0, cell.right() + 1 - x0), cell.height());
        painter->save();
        painter->setClipRect(textRect);
        // A name wider than its column ends in an ellipsis, so that it reads as cut.
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          option.fontMetrics.elidedText(text, Qt::ElideRight, textRect.width()));
        painter->restore();
        break;
    }
    case FolderListModel::Kind::Bytes:
    case FolderListModel::Kind::Count:
    case FolderListModel::Kind::Date: {
        const QRect textRect(cell.left() + 2, cell.top(), cell.width() - kTextMargins, cell.height());
        painter->drawText(textRect, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                          FittedNumber(text, option.fontMetrics, textRect.width()));
        break;
    }
    case FolderListModel::Kind::Share: {
        const QVariant value = index.data(FolderListModel::PercentRole);
        if (!value.isValid())
            break;
        const double v = value.toDouble();
        if (!(v >= 0))
            break; // no value (or not a number at all): neither number nor bar
        const QRect textRect(cell.left() + 2, cell.top(), cell.width() - kTextMargins, cell.height());
        const QString shown = FittedNumber(text, option.fontMetrics, textRect.width());
        painter->drawText(textRect, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, shown);
        if (shown != text)
            break; // no room for the number: no room for its bar either
        // Bright bars on even levels, dark ones on odd levels; the grey rest is the
        // lighter the darker the bar.
        const int s = level % 2 == 0 ? 255 : 128;
        const QColor barColour = column == FolderListModel::ColPercentOfParent ? QColor(0, 0, s) : QColor(s, 0, 0);
        const int g = 235 - (s - 128) / 6;
        const Bar bar = BarGeometry(textRect, v, NumberRoom(option.fontMetrics));
        if (bar.frame.isEmpty())
            break;
        painter->save();
        painter->setPen(QColor(128, 128, 128));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(bar.frame.adjusted(0, 0, -1, -1));
        if (!bar.rest.isEmpty())
            painter->fillRect(bar.rest, QColor(g, g, g));
        if (!bar.filled.isEmpty())
            painter->fillRect(bar.filled, barColour);
        painter->restore();
        break;
    }
    }
}

void FolderRowDelegate::PaintChangeCell(QPainter* painter, const QStyleOptionViewItem& option,
                                        const QModelIndex& index, const QString& text) const
{
    const QRect cell = option.rect;
    const QRect textRect(cell.left() + 2, cell.top(), cell.width() - 5, cell.height());
    const QFontMetrics& fm = option.fontMetrics;
    const QString shown = FittedNumber(text, fm, textRect.width());
    painter->drawText(textRect, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    if (index.column() != FolderListModel::ColChangePercent)
        return;
    const auto state = static_cast<tvl::ChangeState>(index.data(FolderListModel::ChangeStateRole).toInt());
    const QVariant percent = index.data(FolderListModel::ChangePercentRole);
    double v = 0;
    if (state == tvl::ChangeState::New)
        v = 100;
    else if (percent.isValid())
        v = std::fabs(percent.toDouble());
    else
        return;
    // The bar takes what the widest usual number leaves; it is left out when the cell
    // is too narrow for both.
    const int room = std::max(fm.horizontalAdvance(QStringLiteral("+1000.00")), fm.horizontalAdvance(shown)) + 6;
    const Bar bar = BarGeometry(textRect, v, room);
    if (bar.frame.isEmpty() || bar.frame.width() < 12)
        return;
    const bool grown = state == tvl::ChangeState::New || state == tvl::ChangeState::Grown;
    painter->save();
    painter->setPen(QColor(128, 128, 128));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(bar.frame.adjusted(0, 0, -1, -1));
    if (!bar.rest.isEmpty())
        painter->fillRect(bar.rest, QColor(235, 235, 235));
    if (!bar.filled.isEmpty())
        painter->fillRect(bar.filled, grown ? GrowthColour() : ShrinkColour());
    painter->restore();
}

void FolderRowDelegate::PaintBranches(QPainter* painter, const QStyleOptionViewItem& option,
                                      const QModelIndex& index, int level, int image) const
{
    if (level <= 0)
        return;
    const quint64 bits = index.data(FolderListModel::BranchRole).toULongLong();
    const QRect cell = option.rect;
    const int cy = cell.top() + cell.height() / 2;
    // The line of depth d runs below the middle of the image of level d.
    auto lineX = [&](int d) { return cell.left() + TextStart(d) - 17 + 8; };
    painter->save();
    painter->setPen(QPen(option.palette.color(QPalette::Mid), 1, Qt::DotLine));
    for (int d = 0; d < level && d < FolderListModel::kLastChildBit; ++d) {
        const bool goesOn = bits & (quint64{1} << d);
        const int x = lineX(d);
        if (d + 1 < level) {
            if (goesOn)
                painter->drawLine(x, cell.top(), x, cell.bottom());
            continue;
        }
        // The row's own branch: down to its middle (and on, when a sibling follows),
        // then across to its image.
        painter->drawLine(x, cell.top(), x, goesOn ? cell.bottom() : cy);
        painter->drawLine(x, cy, cell.left() + TextStart(level) - 18, cy);
    }
    // A folder with sub-folders shows an arrow on its branch: right when closed, down
    // when open.
    if (image == 1 || image == 2) {
        const int x = lineX(level - 1);
        const QRect box(x - 4, cy - 4, 9, 9);
        painter->setPen(QPen(option.palette.color(QPalette::Mid), 1));
        painter->setBrush(option.palette.color(QPalette::Base));
        painter->drawRect(box.adjusted(0, 0, -1, -1));
        painter->setPen(Qt::NoPen);
        painter->setBrush(option.palette.color(QPalette::Text));
        QPolygon arrow;
        if (image == 2)
            arrow << QPoint(x - 2, cy - 1) << QPoint(x + 3, cy - 1) << QPoint(x, cy + 2);
        else
            arrow << QPoint(x - 1, cy - 3) << QPoint(x - 1, cy + 3) << QPoint(x + 2, cy);
        painter->drawPolygon(arrow);
    }
    painter->restore();
}

CFolderListCtrl::CFolderListCtrl(QWidget* parent) : QTableView(parent)
{
    setHorizontalHeader(new ElidingHeaderView(this));
    setItemDelegate(new FolderRowDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShape(QFrame::NoFrame);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(std::max(18, fontMetrics().height() + 4));
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    // A click on a heading sorts (the view decides how); the arrow shows the order.
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setDefaultSectionSize(100);
}

void CFolderListCtrl::paintEvent(QPaintEvent* event)
{
    QTableView::paintEvent(event);
    // The focus rectangle goes around the whole paint area of the current row.
    const QModelIndex current = currentIndex();
    if (!hasFocus() || !current.isValid() || !model())
        return;
    const int row = current.row();
    const QModelIndex first = model()->index(row, 0);
    const QModelIndex last = model()->index(row, model()->columnCount() - 1);
    QRect r = visualRect(first).united(visualRect(last));
    if (!r.isValid())
        return;
    r.setLeft(visualRect(first).left() + FolderRowDelegate::TextStart(first.data(FolderListModel::LevelRole).toInt()) - 2);
    QPainter painter(viewport());
    QStyleOptionFocusRect opt;
    opt.initFrom(this);
    opt.rect = r;
    opt.backgroundColor = palette().color(selectionModel()->isRowSelected(row, QModelIndex()) ? QPalette::Highlight
                                                                                               : QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &painter, this);
}

bool CFolderListCtrl::viewportEvent(QEvent* event)
{
    const bool result = QTableView::viewportEvent(event);
    if (event->type() == QEvent::Resize)
        emit viewportResized(viewport()->width());
    return result;
}

void CFolderListCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && index.isValid())
        emit rowActivated(index.row());
}

void CFolderListCtrl::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentIndex().isValid()) {
        emit rowActivated(currentIndex().row());
        event->accept();
        return;
    }
    // Home and End go to the first and the last folder (a table would only move to
    // the first or last column of the row).
    if ((event->key() == Qt::Key_Home || event->key() == Qt::Key_End) &&
        !(event->modifiers() & ~Qt::KeypadModifier) && model() && model()->rowCount() > 0) {
        const int row = event->key() == Qt::Key_Home ? 0 : model()->rowCount() - 1;
        const QModelIndex index = model()->index(row, 0);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(index);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void CFolderListCtrl::focusInEvent(QFocusEvent* event)
{
    QTableView::focusInEvent(event);
    viewport()->update();
}

void CFolderListCtrl::focusOutEvent(QFocusEvent* event)
{
    QTableView::focusOutEvent(event);
    viewport()->update();
}
