// The list of the folder view: a flat table over FolderListModel whose rows are drawn
// by FolderRowDelegate (indentation, folder image, share bars). Fixed row height, one
// selected row at a time, whole rows selected.
#pragma once

#include <QAbstractItemDelegate>
#include <QTableView>

class CFolderListCtrl;

// Draws one cell of a folder row.
class FolderRowDelegate : public QAbstractItemDelegate {
    Q_OBJECT
public:
    explicit FolderRowDelegate(CFolderListCtrl* list);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Geometry of the drawing, relative to the row's left edge and the cell.
    static constexpr int kIconRight = 18;  // right edge of the image column of level 0
    static constexpr int kIndent = 16;     // per level
    static constexpr int kNumberRoom = 35; // kept free right of a bar for the number
    static constexpr int kTextMargins = 5; // a number's cell: 2 pixels left, 3 right
    // The room actually kept: at least kNumberRoom, more when "100.00" is wider in the
    // list's font, so a full bar never covers its number.
    static int NumberRoom(const QFontMetrics& fm);
    // Start of the folder name in a row of the given level.
    static int TextStart(int level) { return kIconRight + 2 + kIndent * level; }

    // The bar of a share cell: the frame, the coloured part and the grey rest, for a
    // cell rectangle and the printed value v (>= 0; above 100 draws a full bar). Empty
    // rectangles are not drawn.
    struct Bar {
        QRect frame, filled, rest;
    };
    static Bar BarGeometry(const QRect& textCell, double v, int numberRoom = kNumberRoom);

    // The colours of the change bars: growth and shrinkage.
    static QColor GrowthColour() { return QColor(230, 120, 0); }
    static QColor ShrinkColour() { return QColor(0, 150, 60); }
    // What a number's cell shows: the number when it fits the width, otherwise the
    // overflow mark. A number is never drawn cut, since a number missing its leading
    // digits reads as another number.
    static QString FittedNumber(const QString& text, const QFontMetrics& fm, int width);
    static const QString kOverflowMark;

private:
    // The tree lines left of a row's image, and the arrow of a folder with sub-folders
    // (image 1 closed, 2 open) where its branch meets its parent's line.
    void PaintBranches(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index, int level,
                       int image) const;
    // "Change" and "Change %" while a comparison runs: the signed number, and in
    // "Change %" a bar of the change's size (up to 100 %) in the growth or shrinkage
    // colour; a new folder gets a full growth bar.
    void PaintChangeCell(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index,
                         const QString& text) const;

    CFolderListCtrl* m_list;
};

class CFolderListCtrl : public QTableView {
    Q_OBJECT
public:
    explicit CFolderListCtrl(QWidget* parent = nullptr);

    // The selected row is always drawn highlighted, so that a folder chosen in another
    // pane (the treemap, Find, Changes) shows; while another pane has the keyboard the
    // highlight takes the inactive colours.
    bool ShowsSelection() const { return true; }
    QPalette::ColorGroup HighlightGroup() const { return hasFocus() ? QPalette::Active : QPalette::Inactive; }

signals:
    // A row was double-clicked with the left button or Enter was pressed on the
    // current row. A single click never activates, whatever the desktop's style says.
    void rowActivated(int row);
    // The area the rows are shown in changed its width (the list was resized, or the
    // vertical scroll bar came or went).
    void viewportResized(int width);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    // The highlight of the selected row comes and goes with the focus.
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};
