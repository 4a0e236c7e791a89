#include "render/QPainterSurface.h"

#include <algorithm>
#include <string>

#include <QFont>
#include <QFontMetrics>
#include <QPaintDevice>
#include <QPen>
#include <QRect>
#include <QString>

namespace {

bool hasDirectPixels(const QImage& image)
{
    const QImage::Format format = image.format();
    return !image.isNull() && (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
                               format == QImage::Format_ARGB32_Premultiplied);
}

QRect toQRect(const SurfaceRect& r)
{
    return QRect(r.left, r.top, r.width(), r.height());
}

} // namespace

QPainterSurface::QPainterSurface(QPainter& painter)
    : m_painter(&painter), m_mapper(kRasterLimit, painter.device() ? painter.device()->width() : 0,
                                    painter.device() ? painter.device()->height() : 0)
{
    m_painter->setRenderHint(QPainter::Antialiasing, false);
    m_painter->setBrush(Qt::NoBrush);
    applyPen();
}

QPainterSurface::QPainterSurface(QImage& image)
    : m_image(&image), m_mapper(kRasterLimit, image.width(), image.height())
{
    if (hasDirectPixels(image)) {
        // bits() detaches now, so a painter opened later shares this one buffer.
        m_pixels.emplace(PixelBuffer{reinterpret_cast<std::uint32_t*>(image.bits()), image.width(),
                                     image.height(), image.bytesPerLine() / 4});
    } else {
        painter();
    }
}

QPainterSurface::~QPainterSurface()
{
    flush();
    if (m_ownPainter)
        m_ownPainter->end();
}

QPainter& QPainterSurface::painter()
{
    if (m_painter == nullptr) {
        m_ownPainter = std::make_unique<QPainter>(m_image);
        m_painter = m_ownPainter.get();
        m_painter->setRenderHint(QPainter::Antialiasing, false);
        m_painter->setBrush(Qt::NoBrush);
        applyPen();
    }
    return *m_painter;
}

QColor QPainterSurface::toQColor(ColorRef color)
{
    return QColor(redOf(color), greenOf(color), blueOf(color));
}

void QPainterSurface::applyPen()
{
    if (m_painter == nullptr)
        return;
    QPen qpen(toQColor(m_pen.color), 1.0);
    qpen.setCosmetic(true);
    qpen.setCapStyle(Qt::FlatCap);
    qpen.setJoinStyle(Qt::MiterJoin);
    if (m_pen.style == PenStyle::DashDotDot)
        qpen.setDashPattern({9, 3, 3, 3, 3, 3});
    m_painter->setPen(qpen);
}

Mapping QPainterSurface::mapping() const
{
    return m_pixels ? m_pixels->mapping() : m_mapper.mapping();
}

void QPainterSurface::setMapping(const Mapping& mapping)
{
    flush();
    if (m_pixels)
        m_pixels->setMapping(mapping);
    else
        m_mapper.setMapping(mapping);
}

void QPainterSurface::setPen(const Pen& pen)
{
    if (pen == m_pen)
        return;
    flush();
    m_pen = pen;
    if (m_pixels)
        m_pixels->setPen(pen);
    applyPen();
}

void QPainterSurface::drawDevice(std::span<const SurfacePoint> devicePoints)
{
    if (devicePoints.size() < 2)
        return;
    m_device.resize(devicePoints.size());
    for (std::size_t i = 0; i < devicePoints.size(); ++i)
        m_device[i] = QPoint(devicePoints[i].x, devicePoints[i].y);
    m_painter->drawPolyline(m_device.data(), int(m_device.size()));
}

void QPainterSurface::drawMapped(std::span<const SurfacePoint> points)
{
    m_mapped.resize(points.size());
    m_mapper.mapAll(points, m_mapped.data());
    drawDevice(m_mapped);
    if (!m_mapped.empty())
        m_position = m_mapped.back();
}

void QPainterSurface::polyline(std::span<const SurfacePoint> points)
{
    if (m_pixels) {
        m_pixels->polyline(points);
        return;
    }
    flush();
    drawMapped(points);
}

void QPainterSurface::moveTo(SurfacePoint to)
{
    if (m_pixels) {
        m_pixels->moveTo(to);
        return;
    }
    flush();
    m_position = m_mapper.map(to);
}

void QPainterSurface::lineTo(SurfacePoint to)
{
    if (m_pixels) {
        m_pixels->lineTo(to);
        return;
    }
    if (m_strip.empty())
        m_strip.push_back(m_position);
    m_position = m_mapper.map(to);
    m_strip.push_back(m_position);
}

void QPainterSurface::lineStrip(std::span<const SurfacePoint> points)
{
    if (m_pixels) {
        m_pixels->lineStrip(points);
        return;
    }
    flush();
    drawMapped(points);
}

void QPainterSurface::flush()
{
    if (m_pixels) {
        m_pixels->flush();
        return;
    }
    drawDevice(m_strip);
    m_strip.clear();
}

void QPainterSurface::rectangle(const SurfaceRect& rect, ColorRef fill)
{
    if (m_pixels) {
        m_pixels->rectangle(rect, fill);
        return;
    }
    flush();
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    fillRect(rect, fill);
    if (rect.width() == 1 || rect.height() == 1) {
        m_painter->fillRect(toQRect(rect), toQColor(m_pen.color));
        return;
    }
    // A cosmetic outline of QRect(x, y, w, h) covers w + 1 pixels, hence the one less.
    m_painter->drawRect(QRect(rect.left, rect.top, rect.width() - 1, rect.height() - 1));
}

void QPainterSurface::fillRect(const SurfaceRect& rect, ColorRef color)
{
    if (m_pixels) {
        m_pixels->fillRect(rect, color);
        return;
    }
    flush();
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    m_painter->fillRect(toQRect(rect), toQColor(color));
}

void QPainterSurface::drawText(const SurfaceRect& rect, std::string_view utf8,
                               const TextStyle& style)
{
    flush();
    QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    text.remove(QLatin1Char('\r'));

    // The height names the whole character cell, leading included, so the em size is scaled
    // to make one line exactly that tall.
    QFont font(QString::fromUtf8(style.family.data(), qsizetype(style.family.size())));
    font.setStyleHint(QFont::SansSerif);
    // Qt's weights use the same 100 to 900 scale as the style's.
    font.setWeight(QFont::Weight(std::clamp(style.weight, 100, 900)));
    const int cell = std::max(style.pixelHeight, 1);
    font.setPixelSize(cell);
    const int measured = QFontMetrics(font).height();
    if (measured > cell)
        font.setPixelSize(std::max(1, cell * cell / measured));

    QPainter& p = painter();
    p.save();
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setFont(font);
    p.setPen(toQColor(kBlack));
    p.drawText(QRect(rect.left, rect.top, std::max(rect.width(), 1), std::max(rect.height(), 1)),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
    p.restore();
}
