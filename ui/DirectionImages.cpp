#include "ui/DirectionImages.h"

#include <QPainter>
#include <QPainterPath>
#include <QTransform>

namespace {

constexpr int kSize = 32;

// The upright letter, drawn from shapes rather than a font so every platform shows the
// same orientation: a stem on the left and a closed bowl at its upper right.
QImage uprightLetter()
{
    QImage image(kSize, kSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    // Stem.
    painter.drawRect(9, 5, 4, 23);
    // Bowl: an outer rounded shape minus its inner counter.
    QPainterPath bowl;
    bowl.setFillRule(Qt::OddEvenFill);
    bowl.addRoundedRect(QRectF(9, 5, 15, 13), 6, 6);
    bowl.addRoundedRect(QRectF(13, 9, 7, 5), 2, 2);
    painter.drawPath(bowl);
    return image;
}

} // namespace

QImage directionImage(int direction)
{
    const int d = ((direction % 8) + 8) % 8;
    QImage image = uprightLetter();
    if (d >= 4) {
        image = image.mirrored(true, false);
    }
    const int quarterTurns = d % 4;
    if (quarterTurns != 0) {
        // Qt's y axis points down, so a negative angle turns anticlockwise on screen.
        image = image.transformed(QTransform().rotate(-90.0 * quarterTurns));
    }
    return image;
}
