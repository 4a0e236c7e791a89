#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// A display colour as the rest of the system keeps it: 32 bits, 0x00BBGGRR, red in the low byte.
using ColorRef = std::uint32_t;

constexpr ColorRef rgbColor(int red, int green, int blue)
{
    return ColorRef(red & 0xFF) | (ColorRef(green & 0xFF) << 8) | (ColorRef(blue & 0xFF) << 16);
}
constexpr int redOf(ColorRef c)
{
    return int(c & 0xFF);
}
constexpr int greenOf(ColorRef c)
{
    return int((c >> 8) & 0xFF);
}
constexpr int blueOf(ColorRef c)
{
    return int((c >> 16) & 0xFF);
}

inline constexpr ColorRef kBlack = 0x000000;
inline constexpr ColorRef kWhite = 0xFFFFFF;

// A point in logical units (whatever the current mapping says they are).
struct SurfacePoint
{
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const SurfacePoint&, const SurfacePoint&) = default;
};

// Left, top inclusive; right, bottom exclusive.
struct SurfaceRect
{
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
    friend bool operator==(const SurfaceRect&, const SurfaceRect&) = default;
};

enum class PenStyle : std::uint8_t { Solid, DashDotDot };

// Always one pixel wide.
struct Pen
{
    PenStyle style = PenStyle::Solid;
    ColorRef color = kBlack;
    friend bool operator==(const Pen&, const Pen&) = default;
};

struct TextStyle
{
    std::string_view family = "Arial";
    std::int32_t pixelHeight = 15;
    std::int32_t weight = 400;
};

// Anisotropic logical-to-device mapping: each axis scales by viewport extent / window extent,
// independently, so a negative extent flips that axis.
struct Mapping
{
    SurfacePoint windowOrigin;
    SurfacePoint windowExtent{1, 1};
    SurfacePoint viewportOrigin;
    SurfacePoint viewportExtent{1, 1};

    // device = viewportOrigin + (logical - windowOrigin) * viewportExtent / windowExtent, in
    // 64-bit arithmetic with the division truncating toward zero. A zero window extent counts
    // as 1, and results outside the 32-bit range are clamped, so no input can trap.
    SurfacePoint toDevice(SurfacePoint logical) const
    {
        return {
            mapAxis(logical.x, windowOrigin.x, windowExtent.x, viewportOrigin.x, viewportExtent.x),
            mapAxis(logical.y, windowOrigin.y, windowExtent.y, viewportOrigin.y, viewportExtent.y)};
    }

    static std::int32_t mapAxis(std::int32_t l, std::int32_t wo, std::int32_t we, std::int32_t vo,
                                std::int32_t ve)
    {
        const std::int64_t den = we == 0 ? 1 : we;
        const std::int64_t d = std::int64_t(vo) + (std::int64_t(l) - wo) * ve / den;
        if (d > INT32_MAX)
            return INT32_MAX;
        if (d < INT32_MIN)
            return INT32_MIN;
        return std::int32_t(d);
    }

    friend bool operator==(const Mapping&, const Mapping&) = default;
};

// The few drawing operations the design views need. Line operations take logical points and
// go through the current mapping; rectangles and text are in device pixels.
class DrawingSurface
{
public:
    virtual ~DrawingSurface() = default;

    virtual Mapping mapping() const = 0;
    virtual void setMapping(const Mapping& mapping) = 0;

    // The pen that line operations and rectangle outlines use; solid black at first.
    virtual Pen pen() const = 0;
    virtual void setPen(const Pen& pen) = 0;

    // One connected line through all points; fewer than two points draw nothing.
    virtual void polyline(std::span<const SurfacePoint> points) = 0;
    virtual void moveTo(SurfacePoint to) = 0;
    virtual void lineTo(SurfacePoint to) = 0;
    // Move to the first point, then a line to each further one. Surfaces that can draw the
    // run in one call override this; the result must equal the moveTo/lineTo sequence.
    virtual void lineStrip(std::span<const SurfacePoint> points);

    // Outline in the current pen, inside filled with `fill`; the outline covers the pixels
    // from left to right - 1 and from top to bottom - 1.
    virtual void rectangle(const SurfaceRect& rect, ColorRef fill) = 0;
    virtual void fillRect(const SurfaceRect& rect, ColorRef color) = 0;
    // Black text from the rectangle's top left, lines split at "\n" (a "\r" before it is
    // dropped); nothing is clipped to the rectangle.
    virtual void drawText(const SurfaceRect& rect, std::string_view utf8,
                          const TextStyle& style) = 0;
};
