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

namespace {

// One axis of a Mapping for a whole line at a time. It gives exactly Mapping::toDevice's
// truncated quotient, but by a multiplication with the divisor's reciprocal and a one-step
// correction instead of a division per coordinate.
class AxisMap
{
public:
    AxisMap(std::int32_t windowOrigin, std::int32_t windowExtent, std::int32_t viewportOrigin,
            std::int32_t viewportExtent)
        : m_windowOrigin(windowOrigin), m_viewportOrigin(viewportOrigin),
          m_scale(windowExtent < 0 ? -std::int64_t(viewportExtent) : viewportExtent),
          m_divisor(windowExtent == 0 ? 1 : std::abs(std::int64_t(windowExtent))),
          m_reciprocal(1.0 / double(m_divisor))
    {
    }

    // The offset is below 2^32 and the extent at most 2^20, so the product stays below 2^52
    // and the estimated quotient is off by at most one.
    static bool suits(std::int32_t viewportExtent) { return std::abs(viewportExtent) <= 1 << 20; }

    std::int32_t map(std::int32_t logical) const
    {
        const std::int64_t num = (std::int64_t(logical) - m_windowOrigin) * m_scale;
        const std::int64_t magnitude = num < 0 ? -num : num;
        std::int64_t q = std::int64_t(double(magnitude) * m_reciprocal);
        const std::int64_t rest = magnitude - q * m_divisor;
        q += rest < 0 ? -1 : (rest >= m_divisor ? 1 : 0);
        const std::int64_t device = m_viewportOrigin + (num < 0 ? -q : q);
        return std::int32_t(std::clamp<std::int64_t>(device, -kDeviceLimit, kDeviceLimit));
    }

private:
    std::int64_t m_windowOrigin;
    std::int64_t m_viewportOrigin;
    std::int64_t m_scale;
    std::int64_t m_divisor;
    double m_reciprocal;
};

} // namespace

void QPainterSurface::drawMapped(std::span<const SurfacePoint> points)
{
    std::vector<SurfacePoint>& device = scratch<SurfacePoint>();
    device.resize(points.size());
    const Mapping& m = m_mapping;
    if (AxisMap::suits(m.viewportExtent.x) && AxisMap::suits(m.viewportExtent.y)) {
        const AxisMap xs(m.windowOrigin.x, m.windowExtent.x, m.viewportOrigin.x,
                         m.viewportExtent.x);
        const AxisMap ys(m.windowOrigin.y, m.windowExtent.y, m.viewportOrigin.y,
                         m.viewportExtent.y);
        for (std::size_t i = 0; i < points.size(); ++i)
            device[i] = {xs.map(points[i].x), ys.map(points[i].y)};
    } else {
        for (std::size_t i = 0; i < points.size(); ++i)
            device[i] = toDevice(points[i]);
    }
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
