#include "render/LineRaster.h"

#include <algorithm>
#include <array>

// The drawing rule of one segment from (x0, y0) to (x1, y1): n = max(|dx|, |dy|) steps along
// the major axis (x on ties); step i (0 <= i < n) sets the pixel at major0 + i in the segment's
// direction and at minor coordinate floor(minor0 + 1/2 + i * slope), where slope is
// dMinor / n in 32.32 fixed point, truncated toward zero. Only steps inside the image are set.
// Everything below computes exactly that; the speed comes from how, not from what.
namespace {

constexpr int kDashPeriod = 24;
constexpr std::array<bool, kDashPeriod> kDashMask = {
    true, true, true, true,  true,  true,  true, true, true, false, false, false,
    true, true, true, false, false, false, true, true, true, false, false, false,
};

constexpr int kFraction = 32;
constexpr std::int64_t kOne = std::int64_t(1) << kFraction;

// Keeps the step arithmetic of a segment well inside 64 bits: |i * slope| stays below 2^55.
std::int64_t pinned(std::int32_t v)
{
    return std::clamp<std::int64_t>(v, -kRasterLimit, kRasterLimit);
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) // b > 0
{
    const std::int64_t q = a / b;
    return q - (a % b < 0 ? 1 : 0);
}

// 1 / n as a 64-bit fraction, rounded up, for the short segments that nearly all lines are
// made of (entry 0 and 1 unused).
constexpr std::size_t kReciprocals = 1024;
constexpr std::array<std::uint64_t, kReciprocals + 1> kReciprocal = [] {
    std::array<std::uint64_t, kReciprocals + 1> r{};
    for (std::uint64_t n = 2; n <= kReciprocals; ++n)
        r[n] = ~std::uint64_t(0) / n + 1; // ceil(2^64 / n), for powers of two as well
    return r;
}();

// The steps of a segment that land on a pixel, and where the first of them lands.
struct StepRun
{
    std::uint32_t* pixel = nullptr; // the first step's pixel
    std::ptrdiff_t majorStep = 0;   // from one step's pixel to the next along the major axis
    std::ptrdiff_t minorUnit = 0;   // one whole unit along the minor axis
    std::int64_t fraction = 0;      // the first step's fixed-point minor offset within its pixel
    std::int64_t slope = 0;
    std::int64_t count = 0;
    int style = 0; // position of the first step in the dash pattern
};

// Sets the run's pixels. The minor offset is tracked from the first step's pixel, so it starts
// in [0, 1) and only an addition links one step to the next.
template <bool Dashed> inline void setSteps(const StepRun& run, std::uint32_t ink)
{
    std::uint32_t* line = run.pixel;
    std::int64_t acc = run.fraction;
    if constexpr (Dashed) {
        int s = run.style;
        for (std::int64_t i = 0; i < run.count; ++i) {
            if (kDashMask[std::size_t(s)])
                line[std::ptrdiff_t(acc >> kFraction) * run.minorUnit] = ink;
            s = s + 1 == kDashPeriod ? 0 : s + 1;
            acc += run.slope;
            line += run.majorStep;
        }
    } else if (run.count > 0) {
        // Two steps per round. Step 0 is set first; an even count then walks from step 0
        // again, an odd one from step 1, so both end on the last step. Setting step 0 twice
        // in a row to the same colour changes nothing.
        *line = ink;
        const std::int64_t odd = -(run.count & 1);
        acc += run.slope & odd;
        line += run.majorStep & odd;
        const std::int64_t slope2 = 2 * run.slope;
        const std::ptrdiff_t majorStep2 = 2 * run.majorStep;
        for (std::int64_t k = run.count >> 1; k > 0; --k) {
            line[std::ptrdiff_t(acc >> kFraction) * run.minorUnit] = ink;
            line[run.majorStep + std::ptrdiff_t((acc + run.slope) >> kFraction) * run.minorUnit] =
                ink;
            acc += slope2;
            line += majorStep2;
        }
    }
}

// Narrows [first, last] to the steps whose minor coordinate lies in [0, limit): those whose
// fixed-point value start + i * slope lies in [0, limit * 2^32).
void clipMinor(std::int64_t start, std::int64_t slope, std::int64_t limit, std::int64_t& first,
               std::int64_t& last)
{
    const std::int64_t end = limit * kOne; // limit is at most 2^23
    if (slope == 0) {
        if (start < 0 || start >= end)
            last = first - 1;
        return;
    }
    if (slope > 0) {
        first = std::max(first, -floorDiv(start, slope));
        last = std::min(last, floorDiv(end - 1 - start, slope));
    } else {
        first = std::max(first, floorDiv(start - end, -slope) + 1);
        last = std::min(last, floorDiv(start, -slope));
    }
}

// One segment. `inside` says both ends lie in the image, and so every step between them.
// x or y as the major axis follows the data and would be mispredicted often, so the choice
// is made with masks: `m` is all ones when x is the major axis.
template <bool Dashed>
inline void drawSegment(const PixelBuffer& t, SurfacePoint from, SurfacePoint to, bool inside,
                        std::uint32_t ink, int& style)
{
    // Points inside lie within the raster limit, so pinning leaves them alone.
    const std::int64_t x0 = inside ? from.x : pinned(from.x);
    const std::int64_t y0 = inside ? from.y : pinned(from.y);
    const std::int64_t dx = (inside ? to.x : pinned(to.x)) - x0;
    const std::int64_t dy = (inside ? to.y : pinned(to.y)) - y0;
    const std::int64_t adx = dx < 0 ? -dx : dx;
    const std::int64_t ady = dy < 0 ? -dy : dy;
    const std::int64_t m = -std::int64_t(adx >= ady);
    const auto pick = [m](std::int64_t ifX, std::int64_t ifY) { return (ifX & m) | (ifY & ~m); };
    const std::int64_t n = pick(adx, ady);
    if (n == 0)
        return;
    const std::int64_t dMinor = pick(dy, dx);
    const std::int64_t slope = segmentSlope(dMinor, n);
    // +1 or -1 without a branch: the direction is as unpredictable as the axis.
    const std::int64_t back = pick(dx, dy) >> 63;
    const std::ptrdiff_t stride = t.stride;
    StepRun run;
    run.majorStep = pick(back | 1, (stride ^ back) - back);
    run.minorUnit = pick(stride, 1);
    run.slope = slope;
    if (inside) {
        // Every step is inside, the first one on the segment's first point, half a pixel in.
        // Nothing here waits for the slope, so the pixels start early.
        run.pixel = t.pixels + y0 * stride + x0;
        run.fraction = kOne / 2;
        run.count = n;
        run.style = style;
    } else {
        const std::int64_t major0 = pick(x0, y0);
        const std::int64_t minor0 = pick(y0, x0);
        const std::int64_t start = minor0 * kOne + kOne / 2;
        std::int64_t first = 0;
        std::int64_t last = n - 1;
        const std::int64_t majorLimit = pick(t.width, t.height);
        if (back == 0) {
            first = std::max(first, -major0);
            last = std::min(last, majorLimit - 1 - major0);
        } else {
            first = std::max(first, major0 - (majorLimit - 1));
            last = std::min(last, major0);
        }
        clipMinor(start, slope, std::min<std::int64_t>(pick(t.height, t.width), 2 * kRasterLimit),
                  first, last);
        if (first <= last) {
            const std::int64_t acc = start + first * slope;
            const std::int64_t minor = acc >> kFraction;
            const std::int64_t major = back == 0 ? major0 + first : major0 - first;
            run.pixel = t.pixels + pick(minor, major) * stride + pick(major, minor);
            run.fraction = acc - minor * kOne;
            run.count = last - first + 1;
            run.style = int((style + first) % kDashPeriod);
        }
    }
    setSteps<Dashed>(run, ink);
    if constexpr (Dashed)
        style = int((style + n) % kDashPeriod);
}

template <bool Dashed>
void drawPolyline(const PixelBuffer& t, std::span<const SurfacePoint> points, std::uint32_t ink)
{
    const std::int32_t width = std::min(t.width, kRasterLimit);
    const std::int32_t height = std::min(t.height, kRasterLimit);
    const auto isInside = [width, height](SurfacePoint p) {
        return p.x >= 0 && p.y >= 0 && p.x < width && p.y < height;
    };
    int style = 0;
    bool fromInside = isInside(points[0]);
    for (std::size_t k = 1; k < points.size(); ++k) {
        const bool toInside = isInside(points[k]);
        drawSegment<Dashed>(t, points[k - 1], points[k], fromInside && toInside, ink, style);
        fromInside = toInside;
    }
}

} // namespace

std::int64_t segmentSlope(std::int64_t dMinor, std::int64_t n)
{
    if (n > std::int64_t(kReciprocals) || n < 2)
        return std::int64_t(double(dMinor) * double(kOne) / double(n));
    // Short segments divide by multiplying: with c = ceil(2^64 / n) = (2^64 + e) / n, 0 <= e < n,
    // and a = |dMinor| * 2^32 <= n * 2^32, a * c / 2^64 = a / n + a * e / (n * 2^64), and
    // a * e < n^2 * 2^32 <= 2^64 keeps the added part below 1/n: its floor is the exact quotient.
    // The double quotient above truncates to the same number for n up to 2^20: its rounding
    // error (at most 2^-21) cannot carry it across a whole number, from which a quotient that
    // is not whole lies at least 1/n.
    __extension__ typedef unsigned __int128 Wide;
    const std::uint64_t a = std::uint64_t(dMinor < 0 ? -dMinor : dMinor) << kFraction;
    const auto q = std::int64_t((Wide(a) * kReciprocal[std::size_t(n)]) >> 64);
    return dMinor < 0 ? -q : q;
}

void rasterPolyline(const PixelBuffer& target, std::span<const SurfacePoint> points,
                    std::uint32_t pixel, bool dashed)
{
    if (target.pixels == nullptr || target.width <= 0 || target.height <= 0 || points.size() < 2)
        return;
    // A copy: the pixel stores cannot then be taken to change the buffer's sizes.
    const PixelBuffer t = target;
    if (dashed)
        drawPolyline<true>(t, points, pixel);
    else
        drawPolyline<false>(t, points, pixel);
}
