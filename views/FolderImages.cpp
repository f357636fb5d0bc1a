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

} // namespace

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
