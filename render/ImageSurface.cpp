#include "render/ImageSurface.h"

#include <algorithm>

ImageSurface::ImageSurface(const PixelBuffer& target)
    : m_target(target),
      m_mapper(kRasterLimit, std::max(target.width, 0), std::max(target.height, 0))
{
    if (m_target.pixels == nullptr || m_target.width <= 0 || m_target.height <= 0)
        m_target = PixelBuffer{};
}

ImageSurface::~ImageSurface()
{
    flush();
}

void ImageSurface::setMapping(const Mapping& mapping)
{
    flush();
    m_mapper.setMapping(mapping);
}

void ImageSurface::setPen(const Pen& pen)
{
    if (pen == m_pen)
        return;
    flush();
    m_pen = pen;
    m_ink = pixelOf(pen.color);
}

void ImageSurface::drawDevice(std::span<const SurfacePoint> devicePoints)
{
    rasterPolyline(m_target, devicePoints, m_ink, m_pen.style == PenStyle::DashDotDot);
}

void ImageSurface::polyline(std::span<const SurfacePoint> points)
{
    flush();
    m_device.resize(points.size());
    m_mapper.mapAll(points, m_device.data());
    drawDevice(m_device);
}

void ImageSurface::moveTo(SurfacePoint to)
{
    flush();
    m_position = m_mapper.map(to);
}

void ImageSurface::lineTo(SurfacePoint to)
{
    if (m_strip.empty())
        m_strip.push_back(m_position);
    m_position = m_mapper.map(to);
    m_strip.push_back(m_position);
}

void ImageSurface::lineStrip(std::span<const SurfacePoint> points)
{
    if (points.empty())
        return;
    polyline(points);
    m_position = m_device.back();
}

void ImageSurface::flush()
{
    drawDevice(m_strip);
    m_strip.clear();
}

void ImageSurface::rectangle(const SurfaceRect& rect, ColorRef fill)
{
    flush();
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    fillRect(rect, fill);
    // The outline is a closed line through the corner pixels; each segment leaves out its last
    // pixel, which the next one sets. One pixel high or wide, it is all outline.
    const SurfacePoint corners[] = {{rect.left, rect.top},
                                    {rect.right - 1, rect.top},
                                    {rect.right - 1, rect.bottom - 1},
                                    {rect.left, rect.bottom - 1},
                                    {rect.left, rect.top}};
    if (rect.width() == 1 || rect.height() == 1)
        fillRect(rect, m_pen.color);
    else
        drawDevice(corners);
}

void ImageSurface::fillRect(const SurfaceRect& rect, ColorRef color)
{
    flush();
    if (m_target.pixels == nullptr)
        return;
    const std::int32_t left = std::max(rect.left, 0);
    const std::int32_t top = std::max(rect.top, 0);
    const std::int32_t right = std::min(rect.right, m_target.width);
    const std::int32_t bottom = std::min(rect.bottom, m_target.height);
    if (left >= right || top >= bottom)
        return;
    const std::uint32_t pixel = pixelOf(color);
    for (std::int32_t y = top; y < bottom; ++y) {
        std::uint32_t* row = m_target.pixels + std::ptrdiff_t(y) * m_target.stride;
        std::fill(row + left, row + right, pixel);
    }
}

void ImageSurface::drawText(const SurfaceRect&, std::string_view, const TextStyle&)
{
    flush();
    ++m_skippedTexts;
}
