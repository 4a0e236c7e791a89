#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "render/LineRaster.h"

namespace {

struct Canvas
{
    Canvas(int w, int h) : pixels(std::size_t(w) * std::size_t(h), 0u), width(w), height(h) {}
    PixelBuffer buffer() { return {pixels.data(), width, height, width}; }
    std::uint32_t at(int x, int y) const
    {
        return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)];
    }
    std::vector<std::uint32_t> pixels;
    int width;
    int height;
};

constexpr std::uint32_t kInk = 0xFF123456;

} // namespace

TEST(LineRaster, SegmentsLeaveOutTheirLastPixel)
{
    Canvas c(8, 8);
    const std::vector<SurfacePoint> line = {{0, 0}, {5, 0}, {5, 4}};
    rasterPolyline(c.buffer(), line, kInk, false);
    for (int x = 0; x <= 5; ++x)
        EXPECT_EQ(c.at(x, 0), kInk) << x;
    EXPECT_EQ(c.at(5, 3), kInk);
    EXPECT_EQ(c.at(5, 4), 0u); // the end of the whole line
    EXPECT_EQ(c.at(6, 0), 0u);
}

TEST(LineRaster, DashDotDotPatternRunsOnAcrossCorners)
{
    Canvas c(40, 40);
    // 20 pixels right, then 28 down: one pattern of 24 pixels and a second begun.
    const std::vector<SurfacePoint> line = {{0, 0}, {20, 0}, {20, 28}};
    rasterPolyline(c.buffer(), line, kInk, true);
    const std::string pattern = "#########...###...###...";
    std::string drawn;
    for (int x = 0; x < 20; ++x)
        drawn += c.at(x, 0) == kInk ? '#' : '.';
    for (int y = 0; y < 28; ++y)
        drawn += c.at(20, y) == kInk ? '#' : '.';
    EXPECT_EQ(drawn, pattern + pattern.substr(0, 24));
}

TEST(LineRaster, ClippedLinesMatchTheSameLinesDrawnWhole)
{
    // Lines that leave a small image must set exactly the pixels that the same lines set
    // in that corner of a large image that holds them whole.
    std::mt19937 random(7);
    std::uniform_int_distribution<int> coord(-150, 250);
    for (int round = 0; round < 200; ++round) {
        std::vector<SurfacePoint> line;
        for (int i = 0; i < 6; ++i)
            line.push_back({coord(random), coord(random)});
        const bool dashed = round % 2 == 1;
        Canvas small(100, 80);
        rasterPolyline(small.buffer(), line, kInk, dashed);
        Canvas big(401, 401);
        std::vector<SurfacePoint> shifted = line;
        for (SurfacePoint& p : shifted) {
            p.x += 150;
            p.y += 150;
        }
        rasterPolyline(big.buffer(), shifted, kInk, dashed);
        for (int y = 0; y < small.height; ++y)
            for (int x = 0; x < small.width; ++x)
                ASSERT_EQ(small.at(x, y), big.at(x + 150, y + 150))
                    << "round " << round << " at " << x << "," << y;
    }
}

TEST(LineRaster, FarPointsAndEmptyTargetsAreHarmless)
{
    Canvas c(50, 50);
    const std::vector<SurfacePoint> far = {{-4000000, -4000000},
                                           {4000000, 4000000},
                                           {25, 25},
                                           {INT32_MIN, INT32_MAX},
                                           {INT32_MAX, INT32_MIN}};
    rasterPolyline(c.buffer(), far, kInk, true);
    EXPECT_EQ(c.at(10, 10), kInk); // the first diagonal crosses the whole image
    rasterPolyline(PixelBuffer{}, far, kInk, false);
    Canvas none(0, 0);
    rasterPolyline(none.buffer(), far, kInk, false);
}
