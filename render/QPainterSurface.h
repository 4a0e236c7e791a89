#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <QImage>
#include <QPainter>
#include <QPoint>

#include "render/DeviceMapper.h"
#include "render/DrawingSurface.h"
#include "render/LineRaster.h"

// Draws on a QPainter (a widget's or an image's) with the classic look: aliased one-pixel
// lines, jumps in a dash-dot-dot pattern of 9, 3, 3, 3, 3, 3 pixels. On a 32-bit image the
// lines go straight into its pixels (the painter only fills and writes text), which is what
// keeps a million-stitch design within a few frames' time.
class QPainterSurface final : public DrawingSurface
{
public:
    // Draws with a painter that the caller keeps active for the surface's lifetime.
    explicit QPainterSurface(QPainter& painter);
    // Opens its own painter on the image; the image must outlive the surface and must not be
    // copied or resized while the surface draws on it.
    explicit QPainterSurface(QImage& image);
    ~QPainterSurface() override;

    QPainterSurface(const QPainterSurface&) = delete;
    QPainterSurface& operator=(const QPainterSurface&) = delete;

    Mapping mapping() const override { return m_mapping; }
    void setMapping(const Mapping& mapping) override;
    Pen pen() const override { return m_pen; }
    void setPen(const Pen& pen) override;
    void polyline(std::span<const SurfacePoint> points) override;
    void moveTo(SurfacePoint to) override;
    void lineTo(SurfacePoint to) override;
    void lineStrip(std::span<const SurfacePoint> points) override;
    void rectangle(const SurfaceRect& rect, ColorRef fill) override;
    void fillRect(const SurfaceRect& rect, ColorRef color) override;
    void drawText(const SurfaceRect& rect, std::string_view utf8, const TextStyle& style) override;

    // Draws any pending run of lineTo calls; every other operation does this first as well.
    void flush();

    static QColor toQColor(ColorRef color);

private:
    void init();
    void applyPen();
    SurfacePoint toDevice(SurfacePoint p) const;
    void drawMapped(std::span<const SurfacePoint> points);
    void drawDevice(std::span<const SurfacePoint> devicePoints);

    std::unique_ptr<QPainter> m_ownPainter;
    QPainter* m_painter = nullptr;
    Mapping m_mapping;
    // Maps the lines' points under m_mapping; made on the first line after a mapping change.
    std::optional<DeviceMapper> m_mapper;
    Pen m_pen;
    // The image's pixels when lines can be drawn there directly; empty otherwise.
    PixelBuffer m_raster;
    std::uint32_t m_pixel = 0xFF000000;
    // Consecutive lineTo calls are drawn as one polyline, which keeps the dash pattern
    // running along the line just as a polyline would.
    std::vector<SurfacePoint> m_strip;
    SurfacePoint m_position;
};
