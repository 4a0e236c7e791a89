#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "render/LineRaster.h"

// The line drawing against a plain, slow statement of its rule: each segment steps along its
// major axis; the minor coordinate of step i is floor(minor0 + 1/2 + i * slope) in 32.32 fixed
// point, the slope being dMinor * 2^32 / steps truncated toward zero; only steps inside the
// image are set; the dash pattern runs on over the segments of one line.
namespace {

void referencePolyline(std::vector<std::uint32_t>& pixels, int width, int height,
                       const std::vector<SurfacePoint>& points, std::uint32_t ink, bool dashed)
{
    constexpr std::array<int, 24> mask = {1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0,
                                          1, 1, 1, 0, 0, 0, 1, 1, 1, 0, 0, 0};
    const auto pin = [](std::int32_t v) {
        return std::clamp<std::int64_t>(v, -kRasterLimit, kRasterLimit);
    };
    std::int64_t style = 0;
    for (std::size_t k = 1; k < points.size(); ++k) {
        const std::int64_t x0 = pin(points[k - 1].x);
        const std::int64_t y0 = pin(points[k - 1].y);
        const std::int64_t dx = pin(points[k].x) - x0;
        const std::int64_t dy = pin(points[k].y) - y0;
        const bool xMajor = std::abs(dx) >= std::abs(dy);
        const std::int64_t n = xMajor ? std::abs(dx) : std::abs(dy);
        if (n == 0)
            continue;
        const std::int64_t dMinor = xMajor ? dy : dx;
        const std::int64_t minor0 = xMajor ? y0 : x0;
        const std::int64_t slope =
            std::int64_t(double(dMinor) * 4294967296.0 / double(n)); // truncates toward zero
        for (std::int64_t i = 0; i < n; ++i) {
            const std::int64_t minor = ((minor0 << 32) + (std::int64_t(1) << 31) + i * slope) >> 32;
            const std::int64_t major =
                (xMajor ? x0 : y0) + (xMajor ? (dx < 0 ? -i : i) : (dy < 0 ? -i : i));
            const std::int64_t x = xMajor ? major : minor;
            const std::int64_t y = xMajor ? minor : major;
            if (x >= 0 && y >= 0 && x < width && y < height && (!dashed || mask[(style + i) % 24]))
                pixels[std::size_t(y * width + x)] = ink;
        }
        style += n;
    }
}

struct Canvas
{
    Canvas(int w, int h) : pixels(std::size_t(w) * std::size_t(h), 0u), width(w), height(h) {}
    PixelBuffer buffer() { return {pixels.data(), width, height, width}; }
    std::vector<std::uint32_t> pixels;
    int width;
    int height;
};

} // namespace

TEST(LineRasterReference, RandomLinesSetExactlyTheReferencePixels)
{
    struct Range
    {
        const char* name;
        int low;
        int high;
        int rounds; // the reference walks every step, so far lines get few rounds
    };
    // Inside only; around the edges; far out (long clipped lines); beyond the raster limit.
    const std::array<Range, 4> ranges = {{{"inside", 0, 96, 400},
                                          {"edges", -40, 140, 400},
                                          {"far", -30000, 30000, 60},
                                          {"huge", -2000000000, 2000000000, 4}}};
    std::mt19937 random(12345);
    for (const Range& range : ranges) {
        std::uniform_int_distribution<int> coord(range.low, range.high);
        std::uniform_int_distribution<int> length(2, 40);
        std::uniform_int_distribution<int> near(-3, 3);
        for (int round = 0; round < range.rounds; ++round) {
            std::vector<SurfacePoint> line;
            const int count = length(random);
            for (int i = 0; i < count; ++i) {
                // Repeated points, short steps and exact diagonals as well as free points.
                if (!line.empty() && i % 5 == 1)
                    line.push_back(line.back());
                else if (!line.empty() && i % 5 == 2)
                    line.push_back({line.back().x + near(random), line.back().y + near(random)});
                else if (!line.empty() && i % 7 == 3)
                    line.push_back({line.back().x + 9, line.back().y - 9});
                else
                    line.push_back({coord(random), coord(random)});
            }
            const bool dashed = round % 2 == 1;
            Canvas got(97, 61);
            rasterPolyline(got.buffer(), line, 0xFF00FF00u, dashed);
            std::vector<std::uint32_t> want(got.pixels.size(), 0u);
            referencePolyline(want, got.width, got.height, line, 0xFF00FF00u, dashed);
            ASSERT_EQ(got.pixels, want) << range.name << " round " << round;
        }
    }
}

TEST(LineRasterReference, RowsFollowTheStrideNotTheWidth)
{
    // A buffer wider than the image: the pixels beyond the width belong to nobody.
    const int width = 50, height = 40, stride = 64;
    std::vector<std::uint32_t> pixels(std::size_t(stride) * height, 0u);
    const std::vector<SurfacePoint> line = {{-10, -5}, {49, 39}, {0, 39}, {49, 0}, {60, 20}};
    rasterPolyline({pixels.data(), width, height, stride}, line, 7u, false);
    std::vector<std::uint32_t> want(std::size_t(width) * height, 0u);
    referencePolyline(want, width, height, line, 7u, false);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < stride; ++x) {
            const std::uint32_t expected = x < width ? want[std::size_t(y * width + x)] : 0u;
            ASSERT_EQ(pixels[std::size_t(y * stride + x)], expected) << x << "," << y;
        }
    }
}

TEST(LineRasterReference, SlopesAreTheTruncatedDoubleQuotient)
{
    // Every short segment (where the slope is computed without a division) and a few long ones.
    const auto reference = [](std::int64_t dMinor, std::int64_t n) {
        return std::int64_t(double(dMinor) * 4294967296.0 / double(n));
    };
    for (std::int64_t n = 1; n <= 1100; ++n)
        for (std::int64_t d = -n; d <= n; ++d)
            ASSERT_EQ(segmentSlope(d, n), reference(d, n)) << d << "/" << n;
    for (std::int64_t n : {1025, 65535, 65536, 1048575, 1048576, 8388607, 8388608})
        for (std::int64_t d : {-n, -n + 1, -n / 3, std::int64_t(-1), std::int64_t(0),
                               std::int64_t(1), n / 7, n - 1, n})
            ASSERT_EQ(segmentSlope(d, n), reference(d, n)) << d << "/" << n;
}
