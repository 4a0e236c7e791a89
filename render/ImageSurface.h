#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "render/DeviceMapper.h"
#include "render/DrawingSurface.h"
#include "render/LineRaster.h"

// The pixel a colour becomes in a PixelBuffer: 0xFFRRGGBB, the layout of 32-bit RGB images.
constexpr std::uint32_t pixelOf(ColorRef color)
{
    return 0xFF000000u | (std::uint32_t(redOf(color)) << 16) |
           (std::uint32_t(greenOf(color)) << 8) | std::uint32_t(blueOf(color));
}

// Draws into a 32-bit pixel buffer that the caller owns, without any toolkit: the classic look
// of aliased one-pixel lines, jumps dash-dot-dot in 9, 3, 3, 3, 3, 3 pixels. Lines are mapped
// by its DeviceMapper and set by rasterPolyline; rectangles are filled directly. It has no
// fonts: drawText draws nothing and is counted, so a caller can tell that text is missing (the
// QPainter backend puts text over the same pixels).
class ImageSurface final : public DrawingSurface
{
public:
    // The buffer must outlive the surface; lines reach it at the latest when the surface ends
    // or flush() is called.
    explicit ImageSurface(const PixelBuffer& target);
    ~ImageSurface() override;

    ImageSurface(const ImageSurface&) = delete;
    ImageSurface& operator=(const ImageSurface&) = delete;

    Mapping mapping() const override { return m_mapper.mapping(); }
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

    // How many drawText calls drew nothing.
    std::int32_t skippedTexts() const { return m_skippedTexts; }

private:
    void drawDevice(std::span<const SurfacePoint> devicePoints);

    PixelBuffer m_target;
    DeviceMapper m_mapper;
    Pen m_pen;
    std::uint32_t m_ink = pixelOf(kBlack);
    // Mapped points of the line being drawn; kept so a paint allocates them once.
    std::vector<SurfacePoint> m_device;
    // Consecutive lineTo calls are drawn as one polyline, which keeps the dash pattern
    // running along the line just as a polyline would.
    std::vector<SurfacePoint> m_strip;
    SurfacePoint m_position;
    std::int32_t m_skippedTexts = 0;
};
