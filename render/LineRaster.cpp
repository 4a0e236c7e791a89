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

// The minor coordinate of step i is floor(start + i * slope) in 32.32 fixed point, with
// start = minor0 + 1/2, so each step lands on the nearest pixel of the ideal line. Only an
// addition links one step to the next, which keeps the loop fast; clipped and unclipped
// segments use these same numbers and so set the same pixels.
constexpr int kFraction = 32;

struct Steps
{
    std::int64_t start = 0;
    std::int64_t slope = 0;
};

Steps stepsOf(std::int64_t minor0, std::int64_t dMinor, std::int64_t n)
{
    return {(minor0 << kFraction) + (std::int64_t(1) << (kFraction - 1)),
            std::int64_t(double(dMinor) * double(std::int64_t(1) << kFraction) / double(n))};
}

// A segment with a step outside the image: only the steps whose major coordinate lies inside
// are walked, and the walk stops once the minor coordinate has left for good.
template <bool Dashed>
void clippedSegment(const PixelBuffer& t, std::int64_t major0, std::int64_t minor0,
                    std::int64_t dMajor, std::int64_t dMinor, bool xMajor, std::uint32_t pixel,
                    int& style)
{
    const std::int64_t n = std::abs(dMajor);
    const std::int64_t sMajor = dMajor < 0 ? -1 : 1;
    const std::int64_t majorLimit = xMajor ? t.width : t.height;
    const std::int64_t minorLimit = xMajor ? t.height : t.width;

    std::int64_t first = 0;
    std::int64_t last = n - 1;
    if (sMajor > 0) {
        first = std::max<std::int64_t>(first, -major0);
        last = std::min<std::int64_t>(last, majorLimit - 1 - major0);
    } else {
        first = std::max<std::int64_t>(first, major0 - (majorLimit - 1));
        last = std::min<std::int64_t>(last, major0);
    }
    const int endStyle = int((style + n) % kDashPeriod);
    if (first > last) {
        style = endStyle;
        return;
    }

    const Steps steps = stepsOf(minor0, dMinor, n);
    std::int64_t acc = steps.start + first * steps.slope;
    std::int64_t major = major0 + sMajor * first;
    int s = int((style + first) % kDashPeriod);
    const std::int64_t stride = t.stride;
    for (std::int64_t i = first; i <= last; ++i) {
        const std::int64_t minor = acc >> kFraction;
        if (minor >= 0 && minor < minorLimit) {
            if (!Dashed || kDashMask[std::size_t(s)])
                t.pixels[xMajor ? minor * stride + major : major * stride + minor] = pixel;
        } else if ((steps.slope > 0 && minor >= minorLimit) || (steps.slope < 0 && minor < 0) ||
                   steps.slope == 0) {
            break; // moving away from the image, or along a line outside it
        }
        if constexpr (Dashed)
            s = s + 1 == kDashPeriod ? 0 : s + 1;
        acc += steps.slope;
        major += sMajor;
    }
    style = endStyle;
}

// A segment with both ends inside the image: every step is inside too, so no checks. Whether
// x or y is the major axis follows the data and would be mispredicted often, so the set-up
// selects with masks instead of branching, and one loop walks both kinds: the major axis by
// `majorStep`, the minor one by `minorUnit` per whole step of the fixed-point value. That
// value starts at one half rather than at minor0 + 1/2: minor0 is whole, so the floor moves
// by exactly minor0 and every step lands on the same pixel.
template <bool Dashed>
inline void insideSegment(const PixelBuffer& t, SurfacePoint from, SurfacePoint to,
                          std::uint32_t pixel, int& style)
{
    const std::int64_t dx = std::int64_t(to.x) - from.x;
    const std::int64_t dy = std::int64_t(to.y) - from.y;
    const std::int64_t adx = dx < 0 ? -dx : dx;
    const std::int64_t ady = dy < 0 ? -dy : dy;
    // All ones for an x-major segment (ties included), else zero.
    const std::int64_t xMajor = -std::int64_t(adx >= ady);
    const std::int64_t n = (adx & xMajor) | (ady & ~xMajor);
    const std::ptrdiff_t stride = t.stride;
    const std::ptrdiff_t xStep = dx < 0 ? -1 : 1;
    const std::ptrdiff_t yStep = dy < 0 ? -stride : stride;
    const std::ptrdiff_t majorStep = (xStep & xMajor) | (yStep & ~xMajor);
    const std::ptrdiff_t minorUnit = (stride & xMajor) | (1 & ~xMajor);
    const std::int64_t dMinor = (dy & xMajor) | (dx & ~xMajor);
    // A repeated point has no steps; the divisor 1 only keeps the division defined.
    const std::int64_t slope = stepsOf(0, dMinor, n | (n == 0)).slope;
    std::uint32_t* line = t.pixels + std::ptrdiff_t(from.y) * stride + from.x;
    std::int64_t acc = std::int64_t(1) << (kFraction - 1);
    if constexpr (Dashed) {
        int s = style;
        for (std::int64_t i = 0; i < n; ++i) {
            if (kDashMask[std::size_t(s)])
                line[std::ptrdiff_t(acc >> kFraction) * minorUnit] = pixel;
            s = s + 1 == kDashPeriod ? 0 : s + 1;
            acc += slope;
            line += majorStep;
        }
        style = s;
    } else if (n > 0) {
        // Two steps per round. Step 0 is set first; an even count then walks from step 0
        // again, an odd one from step 1, so both end on step n - 1. Setting step 0 twice in a
        // row to the same colour changes nothing.
        *line = pixel;
        const std::int64_t odd = -(n & 1);
        acc += slope & odd;
        line += majorStep & odd;
        const std::int64_t slope2 = 2 * slope;
        const std::ptrdiff_t majorStep2 = 2 * majorStep;
        for (std::int64_t k = n >> 1; k > 0; --k) {
            line[std::ptrdiff_t(acc >> kFraction) * minorUnit] = pixel;
            line[majorStep + std::ptrdiff_t((acc + slope) >> kFraction) * minorUnit] = pixel;
            acc += slope2;
            line += majorStep2;
        }
    }
}

template <bool Dashed>
void insidePolyline(const PixelBuffer& t, std::span<const SurfacePoint> points, std::uint32_t pixel)
{
    int style = 0;
    for (std::size_t k = 1; k < points.size(); ++k)
        insideSegment<Dashed>(t, points[k - 1], points[k], pixel, style);
}

// Keeps the step arithmetic of a segment well inside 64 bits.
std::int64_t pinned(std::int32_t v)
{
    return std::clamp<std::int64_t>(v, -kRasterLimit, kRasterLimit);
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
        const bool xMajor = std::abs(dx) >= std::abs(dy);
        if (dashed) {
            if (xMajor)
                clippedSegment<true>(target, x0, y0, dx, dy, true, pixel, style);
            else
                clippedSegment<true>(target, y0, x0, dy, dx, false, pixel, style);
        } else {
            if (xMajor)
                clippedSegment<false>(target, x0, y0, dx, dy, true, pixel, style);
            else
                clippedSegment<false>(target, y0, x0, dy, dx, false, pixel, style);
        }
    }
}
