#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <QImage>
#include <QPainter>
#include <QPoint>

#include "render/DeviceMapper.h"
#include "render/DrawingSurface.h"
#include "render/ImageSurface.h"

// The Qt backend. Over a 32-bit image, lines and rectangles go straight into its pixels through
// an ImageSurface, which is what keeps a million-stitch design within a few frames' time, and
// a painter is opened only for text. Over any other painter (a widget's) everything is drawn
// through Qt in the same classic look: aliased one-pixel lines, jumps dash-dot-dot.
class QPainterSurface final : public DrawingSurface
{
public:
    // Draws with a painter that the caller keeps active for the surface's lifetime.
    explicit QPainterSurface(QPainter& painter);
    // Draws on the image; the image must outlive the surface and must not be copied or
    // resized while the surface draws on it.
    explicit QPainterSurface(QImage& image);
    ~QPainterSurface() override;

    QPainterSurface(const QPainterSurface&) = delete;
    QPainterSurface& operator=(const QPainterSurface&) = delete;

    Mapping mapping() const override;
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
    QPainter& painter();
    void applyPen();
    void drawMapped(std::span<const SurfacePoint> points);
    void drawDevice(std::span<const SurfacePoint> devicePoints);

    // Set when the surface draws into an image's pixels itself.
    std::optional<ImageSurface> m_pixels;
    QImage* m_image = nullptr;
    std::unique_ptr<QPainter> m_ownPainter;
    QPainter* m_painter = nullptr;
    Pen m_pen;
    // Painter drawing: the mapping of the lines' points, the mapped points, and the pending
    // run of lineTo calls (drawn as one polyline so the dash pattern runs on along it).
    DeviceMapper m_mapper;
    std::vector<SurfacePoint> m_mapped;
    std::vector<QPoint> m_device;
    std::vector<SurfacePoint> m_strip;
    SurfacePoint m_position;
};
