#include "render/LineRaster.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

constexpr int kDashPeriod = 24;
constexpr std::array<bool, kDashPeriod> kDashMask = {
    true, true, true, true,  true,  true,  true, true, true, false, false, false,
    true, true, true, false, false, false, true, true, true, false, false, false,
};

// One segment, stepping along its major axis. `major`/`minor` select the axes so the same
// code serves steep and shallow lines; the minor coordinate of step i is
// round-half-up(i * dMinor / dMajor), kept incrementally as quotient and remainder.
template <bool Dashed>
void segment(const PixelBuffer& t, std::int64_t major0, std::int64_t minor0, std::int64_t dMajor,
             std::int64_t dMinor, bool xMajor, std::uint32_t pixel, int& style)
{
    const std::int64_t n = std::abs(dMajor);
    const std::int64_t sMajor = dMajor < 0 ? -1 : 1;
    const std::int64_t sMinor = dMinor < 0 ? -1 : 1;
    const std::int64_t aMinor = std::abs(dMinor);
    const std::int64_t majorLimit = xMajor ? t.width : t.height;
    const std::int64_t minorLimit = xMajor ? t.height : t.width;

    // Steps whose major coordinate lies inside the image: [first, last].
    std::int64_t first = 0;
    std::int64_t last = n - 1;
    if (sMajor > 0) {
        first = std::max<std::int64_t>(first, -major0);
        last = std::min<std::int64_t>(last, majorLimit - 1 - major0);
    } else {
        first = std::max<std::int64_t>(first, major0 - (majorLimit - 1));
        last = std::min<std::int64_t>(last, major0);
    }
    if (first > last) {
        style = int((style + n) % kDashPeriod);
        return;
    }

    const std::int64_t twoN = 2 * n;
    const std::int64_t start = 2 * first * aMinor + n;
    std::int64_t minor = minor0 + sMinor * (start / twoN);
    std::int64_t rem = start % twoN;
    std::int64_t major = major0 + sMajor * first;
    int s = int((style + first) % kDashPeriod);

    const std::int64_t majorStep = xMajor ? sMajor : sMajor * std::int64_t(t.stride);
    const std::int64_t minorStep = xMajor ? sMinor * std::int64_t(t.stride) : sMinor;
    const std::int64_t x = xMajor ? major : minor;
    const std::int64_t y = xMajor ? minor : major;
    // An offset rather than a pointer: it may point outside the image while the minor
    // coordinate is still off it, and is only used once it is inside.
    std::int64_t at = y * std::int64_t(t.stride) + x;
    const std::int64_t twoMinor = 2 * aMinor;

    for (std::int64_t i = first; i <= last; ++i) {
        if (minor >= 0 && minor < minorLimit) {
            if (!Dashed || kDashMask[std::size_t(s)])
                t.pixels[at] = pixel;
        } else if ((sMinor > 0) == (minor >= minorLimit)) {
            break; // moving away from the image: nothing more to draw
        }
        if constexpr (Dashed) {
            if (++s == kDashPeriod)
                s = 0;
        }
        at += majorStep;
        rem += twoMinor;
        if (rem >= twoN) {
            rem -= twoN;
            minor += sMinor;
            at += minorStep;
        }
    }
    style = int((style + n) % kDashPeriod);
}

// A segment with both ends inside the image: every step is inside too, so no checks.
template <bool Dashed>
inline void insideSegment(const PixelBuffer& t, std::int32_t x0, std::int32_t y0, std::int32_t dx,
                          std::int32_t dy, std::uint32_t pixel, int& style)
{
    const std::int32_t adx = dx < 0 ? -dx : dx;
    const std::int32_t ady = dy < 0 ? -dy : dy;
    const std::ptrdiff_t sx = dx < 0 ? -1 : 1;
    const std::ptrdiff_t sy = dy < 0 ? -t.stride : t.stride;
    const bool xMajor = adx >= ady;
    const std::int32_t n = xMajor ? adx : ady;
    const std::int32_t twoMinor = 2 * (xMajor ? ady : adx);
    const std::ptrdiff_t majorStep = xMajor ? sx : sy;
    const std::ptrdiff_t minorStep = xMajor ? sy : sx;
    const std::int32_t twoN = 2 * n;
    const std::ptrdiff_t diagonalStep = majorStep + minorStep;
    std::uint32_t* p = t.pixels + std::ptrdiff_t(y0) * t.stride + x0;
    std::int32_t rem = n;
    int s = style;
    // Written as selections, not a branch: the slope pattern is irregular, so a branch would
    // mispredict often.
    auto advance = [&] {
        rem += twoMinor;
        const bool carry = rem >= twoN;
        rem = carry ? rem - twoN : rem;
        p += carry ? diagonalStep : majorStep;
    };
    if constexpr (Dashed) {
        for (std::int32_t i = 0; i < n; ++i) {
            if (kDashMask[std::size_t(s)])
                *p = pixel;
            s = s + 1 == kDashPeriod ? 0 : s + 1;
            advance();
        }
        style = s;
    } else {
        std::int32_t i = n;
        for (; i >= 2; i -= 2) {
            *p = pixel;
            advance();
            *p = pixel;
            advance();
        }
        if (i == 1)
            *p = pixel;
    }
}

template <bool Dashed>
void insidePolyline(const PixelBuffer& t, std::span<const SurfacePoint> points, std::uint32_t pixel)
{
    int style = 0;
    for (std::size_t k = 1; k < points.size(); ++k)
        insideSegment<Dashed>(t, points[k - 1].x, points[k - 1].y, points[k].x - points[k - 1].x,
                              points[k].y - points[k - 1].y, pixel, style);
}

// Keeps the step arithmetic of a segment well inside 64 bits.
std::int64_t pinned(std::int32_t v)
{
    return std::clamp<std::int64_t>(v, -kRasterLimit, kRasterLimit);
}

bool inside(const PixelBuffer& t, std::int64_t x, std::int64_t y)
{
    return x >= 0 && y >= 0 && x < t.width && y < t.height;
}

} // namespace

void rasterPolyline(const PixelBuffer& target, std::span<const SurfacePoint> points,
                    std::uint32_t pixel, bool dashed)
{
    if (target.pixels == nullptr || target.width <= 0 || target.height <= 0 || points.size() < 2)
        return;
    // Most lines lie wholly inside the image; they take the path without any checks.
    bool allInside = true;
    for (const SurfacePoint& p : points)
        allInside &= p.x >= 0 && p.y >= 0 && p.x < target.width && p.y < target.height;
    if (allInside) {
        if (dashed)
            insidePolyline<true>(target, points, pixel);
        else
            insidePolyline<false>(target, points, pixel);
        return;
    }
    int style = 0;
    for (std::size_t k = 1; k < points.size(); ++k) {
        const std::int64_t x0 = pinned(points[k - 1].x);
        const std::int64_t y0 = pinned(points[k - 1].y);
        const std::int64_t dx = pinned(points[k].x) - x0;
        const std::int64_t dy = pinned(points[k].y) - y0;
        if (dx == 0 && dy == 0)
            continue;
        if (inside(target, x0, y0) && inside(target, x0 + dx, y0 + dy)) {
            if (dashed)
                insideSegment<true>(target, std::int32_t(x0), std::int32_t(y0), std::int32_t(dx),
                                    std::int32_t(dy), pixel, style);
            else
                insideSegment<false>(target, std::int32_t(x0), std::int32_t(y0), std::int32_t(dx),
                                     std::int32_t(dy), pixel, style);
            continue;
        }
        const bool xMajor = std::abs(dx) >= std::abs(dy);
        if (dashed) {
            if (xMajor)
                segment<true>(target, x0, y0, dx, dy, true, pixel, style);
            else
                segment<true>(target, y0, x0, dy, dx, false, pixel, style);
        } else {
            if (xMajor)
                segment<false>(target, x0, y0, dx, dy, true, pixel, style);
            else
                segment<false>(target, y0, x0, dy, dx, false, pixel, style);
        }
    }
}
