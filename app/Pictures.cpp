#include "Pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace pictures {
namespace {

const QColor kNavy(18, 40, 84);
const QColor kTeal(26, 120, 140);
const QColor kOrange(244, 151, 38);
const QColor kPaper(250, 250, 246);

// The pie of the program icon: a disc with one slice taken out and lifted.
void DrawPie(QPainter& p, const QRectF& r)
{
    p.setPen(QPen(kNavy.darker(130), r.width() / 40.0));
    p.setBrush(kPaper);
    p.drawPie(r, 90 * 16, 200 * 16);
    p.setBrush(QColor(120, 190, 210));
    p.drawPie(r, 290 * 16, 70 * 16);
    const QRectF lifted = r.translated(r.width() * 0.06, -r.height() * 0.06);
    p.setBrush(kOrange);
    p.drawPie(lifted, 0, 90 * 16);
}

} // namespace

QPixmap ProgramIconPixmap(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QLinearGradient bg(0, 0, 0, s);
    bg.setColorAt(0, kTeal);
    bg.setColorAt(1, kNavy);
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(0, 0, s, s), s * 0.18, s * 0.18);
    DrawPie(p, QRectF(s * 0.14, s * 0.18, s * 0.70, s * 0.70));
    return pm;
}

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(ProgramIconPixmap(size));
    return icon;
}

QPixmap Splash()
{
    const int w = 417, h = 266;
    QPixmap pm(w, h);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 0, h);
    bg.setColorAt(0.0, QColor(10, 24, 56));
    bg.setColorAt(0.45, QColor(24, 86, 120));
    bg.setColorAt(0.75, QColor(20, 60, 96));
    bg.setColorAt(1.0, QColor(8, 18, 44));
    p.fillRect(0, 0, w, h, bg);

    // A row of folder bars of falling height, like a report sorted by size.
    const int base = 205;
    const int heights[] = {120, 96, 78, 60, 47, 36, 27, 20, 14, 9};
    for (int i = 0; i < 10; ++i) {
        const QRectF bar(170 + i * 23, base - heights[i], 17, heights[i]);
        QLinearGradient g(bar.topLeft(), bar.topRight());
        const QColor c = i == 0 ? kOrange : QColor(110, 190, 215).darker(100 + i * 6);
        g.setColorAt(0, c.lighter(125));
        g.setColorAt(1, c.darker(115));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRect(bar);
    }
    p.setPen(QPen(QColor(200, 220, 235, 160), 1));
    p.drawLine(160, base, 405, base);

    // A large pie at the lower left, half hidden.
    QRadialGradient glow(QPointF(90, 150), 80);
    glow.setColorAt(0, QColor(255, 255, 255, 40));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(glow);
    p.drawEllipse(QPointF(90, 150), 80, 80);
    p.save();
    p.setOpacity(0.85);
    DrawPie(p, QRectF(40, 95, 105, 105));
    p.restore();
    return pm;
}

QPixmap AboutPicture()
{
    QPixmap pm(70, 70);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 0, 70);
    bg.setColorAt(0, kTeal);
    bg.setColorAt(1, kNavy);
    p.fillRect(0, 0, 70, 70, bg);
    DrawPie(p, QRectF(9, 11, 52, 52));
    return pm;
}

QIcon ToolIcon(ToolButton button)
{
    QIcon icon;
    for (int size : {16, 24, 32}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        const QPen outline(QColor(40, 40, 40), 1.0);
        switch (button) {
        case ToolButton::New: {
            QPainterPath page;
            page.moveTo(3.5, 1.5);
            page.lineTo(9.5, 1.5);
            page.lineTo(12.5, 4.5);
            page.lineTo(12.5, 14.5);
            page.lineTo(3.5, 14.5);
            page.closeSubpath();
            p.setPen(outline);
            p.setBrush(Qt::white);
            p.drawPath(page);
            p.setBrush(QColor(210, 210, 210));
            QPainterPath corner;
            corner.moveTo(9.5, 1.5);
            corner.lineTo(9.5, 4.5);
            corner.lineTo(12.5, 4.5);
            corner.closeSubpath();
            p.drawPath(corner);
            p.setPen(QPen(QColor(120, 150, 190), 1.0));
            for (double y : {7.5, 9.5, 11.5})
                p.drawLine(QPointF(5, y), QPointF(11, y));
            break;
        }
        case ToolButton::Open: {
            p.setPen(outline);
            p.setBrush(QColor(230, 190, 80));
            QPainterPath back;
            back.moveTo(1.5, 3.5);
            back.lineTo(5.5, 3.5);
            back.lineTo(7, 5);
            back.lineTo(12.5, 5);
            back.lineTo(12.5, 13.5);
            back.lineTo(1.5, 13.5);
            back.closeSubpath();
            p.drawPath(back);
            p.setBrush(QColor(250, 215, 110));
            QPainterPath front;
            front.moveTo(1.5, 13.5);
            front.lineTo(4, 7.5);
            front.lineTo(15, 7.5);
            front.lineTo(12.5, 13.5);
            front.closeSubpath();
            p.drawPath(front);
            break;
        }
        case ToolButton::Save: {
            p.setPen(outline);
            p.setBrush(QColor(50, 80, 150));
            p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 1, 1);
            p.setBrush(Qt::white);
            p.drawRect(QRectF(4, 1.5, 8, 5.5));
            p.setBrush(QColor(190, 190, 200));
            p.drawRect(QRectF(4.5, 9.5, 7, 5));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(50, 80, 150));
            p.drawRect(QRectF(9, 2.5, 2, 3.5));
            break;
        }
        case ToolButton::About: {
            p.setPen(QPen(QColor(20, 60, 130), 1.0));
            p.setBrush(QColor(70, 130, 210));
            p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            p.drawEllipse(QRectF(7, 3.6, 2.2, 2.2));
            p.drawRect(QRectF(7, 6.8, 2.2, 5.6));
            p.drawRect(QRectF(6, 11.4, 4.2, 1.2));
            p.drawRect(QRectF(6, 6.8, 1.2, 1.2));
            break;
        }
        }
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace pictures
