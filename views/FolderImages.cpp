#include "FolderImages.h"

#include <QPainter>
#include <QPolygon>

#include <array>

namespace {

QPixmap DrawDrive()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    // Body of the drive: a flat grey box seen slightly from above.
    p.setPen(QColor(64, 64, 64));
    p.setBrush(QColor(192, 192, 192));
    p.drawRect(1, 6, 13, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(224, 224, 224));
    p.drawPolygon(QPolygon({QPoint(2, 6), QPoint(4, 3), QPoint(14, 3), QPoint(14, 6)}));
    p.setPen(QColor(64, 64, 64));
    p.drawLine(4, 3, 14, 3);
    p.drawLine(1, 6, 4, 3);
    p.drawLine(14, 3, 14, 6);
    // Slot and the green light.
    p.setPen(QColor(96, 96, 96));
    p.drawLine(3, 9, 8, 9);
    p.fillRect(11, 8, 2, 2, QColor(0, 200, 0));
    return pm;
}

QPixmap DrawFolder(bool open, const QColor& fill, const QColor& dark)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    const QColor outline(96, 80, 32);
    // Tab and back.
    p.setPen(fill == Qt::white ? QColor(96, 96, 96) : outline);
    p.setBrush(dark);
    p.drawPolygon(QPolygon({QPoint(1, 3), QPoint(6, 3), QPoint(7, 5), QPoint(14, 5), QPoint(14, 13), QPoint(1, 13)}));
    p.setBrush(fill);
    if (open) {
        // The front flap tilted open.
        p.drawPolygon(QPolygon({QPoint(3, 7), QPoint(15, 7), QPoint(13, 13), QPoint(1, 13)}));
    } else {
        p.drawRect(1, 6, 13, 7);
    }
    return pm;
}

QPixmap DrawMark(const QColor& fill, int shape)
{
    QPixmap pm(10, 10);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(fill);
    if (shape == 0) {
        // A stop sign: a disc with a white bar across.
        p.drawEllipse(QRectF(0.5, 0.5, 9, 9));
        p.fillRect(QRectF(2.5, 4, 5, 2), Qt::white);
    } else if (shape == 1) {
        // A square with an arrow pointing out of it, up and to the right.
        p.drawRect(QRectF(0.5, 0.5, 9, 9));
        p.setPen(QPen(Qt::white, 1.5));
        p.drawLine(QPointF(2.5, 7.5), QPointF(7, 3));
        p.drawLine(QPointF(4, 2.75), QPointF(7.25, 2.75));
        p.drawLine(QPointF(7.25, 2.75), QPointF(7.25, 6));
    } else {
        // A dash.
        p.drawRect(QRectF(0.5, 0.5, 9, 9));
        p.fillRect(QRectF(2.5, 4, 5, 2), Qt::white);
    }
    return pm;
}

} // namespace

const QPixmap& FolderMarkImage(int state)
{
    // In the order of tvl::FolderState.
    static const std::array<QPixmap, 6> marks = {
        QPixmap(),
        DrawMark(QColor(200, 30, 30), 0), // no access
        DrawMark(QColor(200, 30, 30), 0), // vanished
        DrawMark(QColor(200, 30, 30), 0), // read error
        DrawMark(QColor(30, 90, 200), 1), // other file system
        DrawMark(QColor(128, 128, 128), 2), // left out
    };
    return marks[static_cast<std::size_t>(state < 0 || state > 5 ? 0 : state)];
}

const QPixmap& FolderImage(int index)
{
    static const std::array<QPixmap, 4> images = {
        DrawDrive(),
        DrawFolder(false, QColor(255, 220, 80), QColor(220, 180, 40)),
        DrawFolder(true, QColor(255, 230, 120), QColor(220, 180, 40)),
        DrawFolder(false, Qt::white, QColor(224, 224, 224)),
    };
    return images[static_cast<std::size_t>(index < 0 || index > 3 ? 3 : index)];
}
