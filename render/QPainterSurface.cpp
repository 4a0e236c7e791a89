#include "render/QPainterSurface.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include <QFont>
#include <QFontMetrics>
#include <QPen>
#include <QRect>
#include <QString>

namespace {

// Far beyond any image, yet small enough for the rasterisers' step arithmetic.
constexpr std::int32_t kDeviceLimit = kRasterLimit;

// Point buffers shared by every surface of the thread: a surface lives for one paint, and
// buffers of its own would be allocated, and their pages touched afresh, on every paint.
template <typename Point> std::vector<Point>& scratch()
{
    thread_local std::vector<Point> buffer;
    return buffer;
}

} // namespace

QPainterSurface::QPainterSurface(QPainter& painter) : m_painter(&painter)
{
    init();
}

QPainterSurface::QPainterSurface(QImage& image)
{
    const QImage::Format format = image.format();
    if (!image.isNull() && (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
                            format == QImage::Format_ARGB32_Premultiplied)) {
        // Detach before the painter starts, so painter and pixels share one buffer.
        m_raster.pixels = reinterpret_cast<std::uint32_t*>(image.bits());
        m_raster.width = image.width();
        m_raster.height = image.height();
        m_raster.stride = image.bytesPerLine() / 4;
    }
    m_ownPainter = std::make_unique<QPainter>(&image);
    m_painter = m_ownPainter.get();
    init();
}

QPainterSurface::~QPainterSurface()
{
    flush();
    if (m_ownPainter)
        m_ownPainter->end();
}

void QPainterSurface::init()
{
    m_painter->setRenderHint(QPainter::Antialiasing, false);
    m_painter->setRenderHint(QPainter::TextAntialiasing, true);
    m_painter->setBrush(Qt::NoBrush);
    applyPen();
}

QColor QPainterSurface::toQColor(ColorRef color)
{
    return QColor(redOf(color), greenOf(color), blueOf(color));
}

void QPainterSurface::applyPen()
{
    m_pixel = 0xFF000000u | (std::uint32_t(redOf(m_pen.color)) << 16) |
              (std::uint32_t(greenOf(m_pen.color)) << 8) | std::uint32_t(blueOf(m_pen.color));
    QPen qpen(toQColor(m_pen.color), 1.0);
    qpen.setCosmetic(true);
    qpen.setCapStyle(Qt::FlatCap);
    qpen.setJoinStyle(Qt::MiterJoin);
    if (m_pen.style == PenStyle::DashDotDot)
        qpen.setDashPattern({9, 3, 3, 3, 3, 3});
    m_painter->setPen(qpen);
}

void QPainterSurface::setMapping(const Mapping& mapping)
{
    flush();
    m_mapping = mapping;
    m_mapper.reset();
}

void QPainterSurface::setPen(const Pen& pen)
{
    if (pen == m_pen)
        return;
    flush();
    m_pen = pen;
    applyPen();
}

SurfacePoint QPainterSurface::toDevice(SurfacePoint p) const
{
    const SurfacePoint d = m_mapping.toDevice(p);
    return {std::clamp(d.x, -kDeviceLimit, kDeviceLimit),
            std::clamp(d.y, -kDeviceLimit, kDeviceLimit)};
}

void QPainterSurface::drawDevice(std::span<const SurfacePoint> devicePoints)
{
    if (devicePoints.size() < 2)
        return;
    if (m_raster.pixels != nullptr) {
        rasterPolyline(m_raster, devicePoints, m_pixel, m_pen.style == PenStyle::DashDotDot);
        return;
    }
    std::vector<QPoint>& qpoints = scratch<QPoint>();
    qpoints.resize(devicePoints.size());
    for (std::size_t i = 0; i < devicePoints.size(); ++i)
        qpoints[i] = QPoint(devicePoints[i].x, devicePoints[i].y);
    m_painter->drawPolyline(qpoints.data(), int(qpoints.size()));
}

void QPainterSurface::drawMapped(std::span<const SurfacePoint> points)
{
    std::vector<SurfacePoint>& device = scratch<SurfacePoint>();
    device.resize(points.size());
    if (!m_mapper)
        m_mapper.emplace(m_mapping, kDeviceLimit, m_raster.width, m_raster.height);
    m_mapper->mapAll(points, device.data());
    drawDevice(device);
}

void QPainterSurface::polyline(std::span<const SurfacePoint> points)
{
    flush();
    drawMapped(points);
}

void QPainterSurface::moveTo(SurfacePoint to)
{
    flush();
    m_position = toDevice(to);
}

void QPainterSurface::lineTo(SurfacePoint to)
{
    if (m_strip.empty())
        m_strip.push_back(m_position);
    m_position = toDevice(to);
    m_strip.push_back(m_position);
}

void QPainterSurface::lineStrip(std::span<const SurfacePoint> points)
{
    if (points.empty())
        return;
    flush();
    drawMapped(points);
    m_position = scratch<SurfacePoint>().back();
}

void QPainterSurface::flush()
{
    drawDevice(m_strip);
    m_strip.clear();
}

void QPainterSurface::rectangle(const SurfaceRect& rect, ColorRef fill)
{
    flush();
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    fillRect(rect, fill);
    if (rect.width() == 1 || rect.height() == 1) {
        m_painter->fillRect(QRect(rect.left, rect.top, rect.width(), rect.height()),
                            toQColor(m_pen.color));
        return;
    }
    // A cosmetic outline of QRect(x, y, w, h) covers w + 1 pixels, hence the one less.
    m_painter->drawRect(QRect(rect.left, rect.top, rect.width() - 1, rect.height() - 1));
}

void QPainterSurface::fillRect(const SurfaceRect& rect, ColorRef color)
{
    flush();
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    m_painter->fillRect(QRect(rect.left, rect.top, rect.width(), rect.height()), toQColor(color));
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

    m_painter->save();
    m_painter->setFont(font);
    m_painter->setPen(toQColor(kBlack));
    m_painter->drawText(
        QRect(rect.left, rect.top, std::max(rect.width(), 1), std::max(rect.height(), 1)),
        Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
    m_painter->restore();
}
