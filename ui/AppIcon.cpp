#include "ui/AppIcon.h"

#include <QPainter>
#include <QPainterPath>

QPixmap appIconPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    // Rounded tile.
    QLinearGradient tile(0, 0, 0, 64);
    tile.setColorAt(0, QColor(0x2f, 0x6f, 0xb5));
    tile.setColorAt(1, QColor(0x1c, 0x44, 0x7a));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

    // Fabric inside the hoop.
    p.setBrush(QColor(0xfa, 0xf6, 0xec));
    p.drawEllipse(QPointF(32, 33), 21, 21);

    // Stitch path: a red running stitch forming a wave, with a dashed jump.
    QPen stitch(QColor(0xd6, 0x2a, 0x2a), 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(stitch);
    QPainterPath wave;
    wave.moveTo(16, 38);
    wave.cubicTo(22, 24, 28, 24, 32, 33);
    wave.cubicTo(36, 42, 42, 42, 48, 28);
    p.drawPath(wave);
    QPen green(QColor(0x1f, 0x9d, 0x55), 2.4, Qt::SolidLine, Qt::RoundCap);
    p.setPen(green);
    p.drawLine(QPointF(20, 45), QPointF(26, 47));
    p.drawLine(QPointF(29, 48), QPointF(35, 48));
    p.drawLine(QPointF(38, 47), QPointF(44, 45));

    // Wooden hoop ring with its clamp.
    QPen ring(QColor(0xc8, 0x8a, 0x3e), 4.5);
    p.setPen(ring);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(32, 33), 22, 22);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x8a, 0x5a, 0x22));
    p.drawRoundedRect(QRectF(28, 7, 8, 7), 2, 2);

    // Needle across the hoop.
    QPen needle(QColor(0xe8, 0xe8, 0xf0), 2.2, Qt::SolidLine, Qt::RoundCap);
    p.setPen(needle);
    p.drawLine(QPointF(40, 14), QPointF(54, 52));
    p.setPen(QPen(QColor(0x30, 0x30, 0x40), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(41.2, 17.5), 0.9, 1.8);
    return pixmap;
}

QIcon appIcon()
{
    static const QIcon icon = [] {
        QIcon result;
        for (int size : {16, 24, 32, 48, 64, 128, 256})
            result.addPixmap(appIconPixmap(size));
        return result;
    }();
    return icon;
}
