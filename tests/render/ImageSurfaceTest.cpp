#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "design/Design.h"
#include "render/ImageSurface.h"
#include "render/MainView.h"
#include "render/PreviewView.h"
#include "tests/render/IdentityDesign.h"

namespace {

struct Canvas
{
    Canvas(int w, int h) : pixels(std::size_t(w) * std::size_t(h), pixelOf(kWhite)), width(w) {}
    PixelBuffer buffer() { return {pixels.data(), width, int(pixels.size()) / width, width}; }
    // One character per pixel: '.' white, '#' black, 'o' any other colour.
    std::string art() const
    {
        std::string out;
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            out += pixels[i] == pixelOf(kWhite) ? '.' : pixels[i] == pixelOf(kBlack) ? '#' : 'o';
            if ((i + 1) % std::size_t(width) == 0)
                out += '\n';
        }
        return out;
    }
    std::vector<std::uint32_t> pixels;
    int width;
};

} // namespace

// Without Qt the field must come out pixel for pixel as through the QPainter backend.
TEST(ImageSurface, GeneratedDesignDrawsTheSamePixelsWithoutQt)
{
    static const Design design = identity::identityDesign();
    for (const identity::Case& c : identity::kCases) {
        Canvas canvas(c.width, c.height);
        {
            ImageSurface surface(canvas.buffer());
            MainViewState state;
            state.design = &design;
            state.blockColors = identity::kColors;
            state.currentStitch = c.progress;
            if (c.preview)
                paintPreviewArea(surface, {c.width, c.height}, design);
            else
                paintDesignArea(surface, {c.width, c.height}, state);
        }
        const std::uint64_t got =
            identity::fingerprint(canvas.pixels.data(), c.width, c.height, c.width);
        EXPECT_EQ(got, c.expected) << c.name << ": 0x" << std::hex << std::uppercase << got;
    }
}

TEST(ImageSurface, RectanglesOutlineInThePenAndClipToTheBuffer)
{
    struct Case
    {
        const char* name;
        SurfaceRect rect;
        std::string art;
    };
    const std::vector<Case> cases = {
        {"inside",
         {1, 1, 6, 5},
         "......\n"
         ".#####\n"
         ".#ooo#\n"
         ".#ooo#\n"
         ".#####\n"},
        {"over the top left corner",
         {-2, -2, 3, 3},
         "oo#...\n"
         "oo#...\n"
         "###...\n"
         "......\n"
         "......\n"},
        // The buffer is wider than tall: the fill reaches to its right edge.
        {"over the right edge",
         {1, 1, 9, 4},
         "......\n"
         ".#####\n"
         ".#oooo\n"
         ".#####\n"
         "......\n"},
        {"one pixel high is all outline",
         {1, 2, 5, 3},
         "......\n"
         "......\n"
         ".####.\n"
         "......\n"
         "......\n"},
        {"empty",
         {3, 3, 3, 5},
         "......\n"
         "......\n"
         "......\n"
         "......\n"
         "......\n"},
        {"wholly outside",
         {7, -9, 20, 0},
         "......\n"
         "......\n"
         "......\n"
         "......\n"
         "......\n"},
    };
    for (const Case& c : cases) {
        Canvas canvas(6, 5);
        ImageSurface surface(canvas.buffer());
        surface.rectangle(c.rect, 0x123456);
        EXPECT_EQ(canvas.art(), c.art) << c.name;
    }
}

TEST(ImageSurface, LineToRunsDrawLikeOnePolylineAndReachThePixelsOnFlush)
{
    const std::vector<SurfacePoint> points = {{1, 1}, {30, 4}, {10, 25}, {31, 31}, {2, 20}};
    Canvas strip(32, 32);
    Canvas steps(32, 32);
    ImageSurface a(strip.buffer());
    ImageSurface b(steps.buffer());
    for (ImageSurface* s : {&a, &b})
        s->setPen({PenStyle::DashDotDot, 0x0000FF});
    a.lineStrip(points);
    b.moveTo(points[0]);
    for (std::size_t i = 1; i < points.size(); ++i)
        b.lineTo(points[i]);
    EXPECT_EQ(steps.art(), Canvas(32, 32).art()); // still pending
    b.flush();
    EXPECT_EQ(steps.pixels, strip.pixels);
    EXPECT_EQ(strip.pixels[1 * 32 + 1], pixelOf(0x0000FF));
}

TEST(ImageSurface, TextIsCountedAsSkippedAndEmptyBuffersAreHarmless)
{
    Canvas canvas(8, 8);
    ImageSurface surface(canvas.buffer());
    surface.drawText({0, 0, 8, 8}, "S:1", TextStyle{});
    surface.drawText({0, 0, 8, 8}, "", TextStyle{});
    EXPECT_EQ(surface.skippedTexts(), 2);
    EXPECT_EQ(canvas.art(), Canvas(8, 8).art());

    for (const PixelBuffer& none : {PixelBuffer{}, PixelBuffer{canvas.pixels.data(), 0, 8, 8},
                                    PixelBuffer{canvas.pixels.data(), 8, -3, 8}}) {
        ImageSurface empty(none);
        const std::vector<SurfacePoint> line = {{0, 0}, {7, 7}};
        empty.polyline(line);
        empty.moveTo({1, 1});
        empty.lineTo({5, 5});
        empty.rectangle({0, 0, 8, 8}, kBlack);
        empty.fillRect({0, 0, 8, 8}, kBlack);
    }
    EXPECT_EQ(canvas.art(), Canvas(8, 8).art());
}
