#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <vector>

#include <QImage>

#include "design/Design.h"
#include "design/DesignLoader.h"
#include "render/DesignImage.h"
#include "render/LineRaster.h"
#include "render/QPainterSurface.h"

namespace {

const std::array<ColorRef, 20> kBlockColors = {0x00FF00, 0xFF0000};

QRgb rgbOf(ColorRef c)
{
    return qRgb(redOf(c), greenOf(c), blueOf(c));
}

// A 105 x 105 field: extents of 2,000 map onto 100 pixels around the centre (52, 52).
Design lineDesign(StitchType middle)
{
    Design d;
    appendStitch(&d.stitches, Stitch{-1000, 0, StitchType::Normal, 0});
    appendStitch(&d.stitches, Stitch{-900, 0, StitchType::Normal, 0});
    appendStitch(&d.stitches, Stitch{900, 0, middle, 0});
    appendStitch(&d.stitches, Stitch{1000, 0, StitchType::Normal, 0});
    d.extents = {-1000, 1000, 1000, -1000};
    return d;
}

int countOnRow(const QImage& image, int y, int fromX, int toX, QRgb color)
{
    int n = 0;
    for (int x = fromX; x < toX; ++x)
        n += image.pixel(x, y) == color ? 1 : 0;
    return n;
}

} // namespace

TEST(QPainterSurface, FieldBorderAndStitchColours)
{
    const Design design = lineDesign(StitchType::Normal);
    DesignImageOptions options;
    options.width = 105;
    options.height = 105;
    options.blockColors = kBlockColors;
    const QImage image = renderDesignImage(design, options);
    ASSERT_EQ(image.size(), QSize(105, 105));
    const QRgb black = qRgb(0, 0, 0);
    EXPECT_EQ(image.pixel(0, 0), black);
    EXPECT_EQ(image.pixel(104, 104), black);
    EXPECT_EQ(image.pixel(104, 30), black);
    EXPECT_EQ(image.pixel(30, 104), black);
    EXPECT_EQ(image.pixel(1, 1), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(52, 10), qRgb(255, 255, 255));
    // One aliased pixel row at the centre, in block 1's colour.
    EXPECT_EQ(image.pixel(52, 52), rgbOf(kBlockColors[0]));
    EXPECT_EQ(image.pixel(52, 51), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(52, 53), qRgb(255, 255, 255));
}

TEST(QPainterSurface, JumpLineIsDashedNotSolid)
{
    const Design design = lineDesign(StitchType::Jump);
    DesignImageOptions options;
    options.width = 105;
    options.height = 105;
    options.blockColors = kBlockColors;
    const QImage image = renderDesignImage(design, options);
    // The jump runs from x = 7 to x = 97 along row 52.
    const int inked = countOnRow(image, 52, 10, 95, rgbOf(kBlockColors[0]));
    const int white = countOnRow(image, 52, 10, 95, qRgb(255, 255, 255));
    EXPECT_GT(inked, 30);
    EXPECT_GT(white, 15);
    EXPECT_EQ(inked + white, 85);
}

TEST(QPainterSurface, ProgressGreysTheRestAndColoursTheSewnPart)
{
    const Design design = lineDesign(StitchType::Normal);
    DesignImageOptions options;
    options.width = 105;
    options.height = 105;
    options.blockColors = kBlockColors;
    options.progress = 2; // the move and the first line: x from 2 to 7
    const QImage image = renderDesignImage(design, options);
    EXPECT_EQ(image.pixel(4, 52), rgbOf(kBlockColors[0]));
    EXPECT_EQ(image.pixel(52, 52), rgbOf(0xBEBEBE));
}

TEST(QPainterSurface, LineToRunsDrawLikeOnePolyline)
{
    // Steps of pass 1 may reach the surface as moves and lines or as one strip; both must
    // leave the same pixels, dash pattern included.
    const std::vector<SurfacePoint> points = {{3, 3}, {60, 9}, {20, 50}, {61, 61}, {5, 40}};
    auto draw = [&](bool oneCall) {
        QImage image(64, 64, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainterSurface surface(image);
        surface.setPen({PenStyle::DashDotDot, 0x0000FF});
        if (oneCall) {
            surface.lineStrip(points);
        } else {
            surface.moveTo(points[0]);
            for (std::size_t i = 1; i < points.size(); ++i)
                surface.lineTo(points[i]);
        }
        surface.flush();
        return image;
    };
    const QImage strip = draw(true);
    EXPECT_EQ(strip, draw(false));
    EXPECT_NE(strip.pixel(3, 3), qRgb(255, 255, 255));
}

TEST(QPainterSurface, PreviewStartsInItsFirstBlockColour)
{
    const Design design = lineDesign(StitchType::Normal);
    DesignImageOptions options;
    options.width = 105;
    options.height = 105;
    options.preview = true;
    const QImage image = renderDesignImage(design, options);
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(52, 52), rgbOf(0x3300FF));
}

TEST(QPainterSurface, MappedLinesLandWhereTheMappingSays)
{
    // The surface maps whole lines at once; every point must land where Mapping::toDevice
    // puts it, uneven divisions and flipped axes included.
    const std::vector<Mapping> mappings = {
        {{3000, 1000}, {4000, -4000}, {202, 102}, {400, 200}},
        {{-7, 13}, {333, -97}, {50, 40}, {91, 77}},
        {{0, 0}, {1, -1}, {60, 40}, {-3, 2}},
        {{INT32_MIN, INT32_MAX}, {INT32_MAX, INT32_MIN}, {60, 45}, {115, 85}},
        {{5, -5}, {0, 0}, {60, 45}, {1 << 20, -(1 << 20)}},
    };
    std::vector<SurfacePoint> points;
    for (int i = 0; i < 60; ++i)
        points.push_back({(i * 7919) % 4001 - 2000, (i * 104729) % 3001 - 1500});
    for (SurfacePoint far : {SurfacePoint{INT32_MIN, INT32_MAX}, SurfacePoint{2000000000, -7},
                             SurfacePoint{-1999999999, 1999999999}, SurfacePoint{3, 4}})
        points.push_back(far);
    for (const Mapping& m : mappings) {
        QImage viaSurface(120, 90, QImage::Format_RGB32);
        viaSurface.fill(Qt::white);
        {
            QPainterSurface surface(viaSurface);
            surface.setMapping(m);
            surface.setPen({PenStyle::DashDotDot, 0x0000FF});
            surface.polyline(points);
        }
        QImage direct(120, 90, QImage::Format_RGB32);
        direct.fill(Qt::white);
        std::vector<SurfacePoint> device;
        for (const SurfacePoint& p : points)
            device.push_back(m.toDevice(p));
        rasterPolyline(
            {reinterpret_cast<std::uint32_t*>(direct.bits()), 120, 90, direct.bytesPerLine() / 4},
            device, 0xFFFF0000, true);
        EXPECT_EQ(viaSurface, direct);
    }
}

TEST(QPainterSurface, RealDesignsDrawInsideTheirField)
{
    const std::filesystem::path root(HOOPWATCH_DESIGNS_DIR);
    if (!std::filesystem::is_directory(root))
        GTEST_SKIP() << "no design folder";
    int drawn = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file())
            continue;
        Design design;
        if (!loadDesign(entry.path().string(), &design) || design.stitches.count < 2)
            continue;
        SCOPED_TRACE(entry.path().string());
        DesignImageOptions options;
        options.blockColors = kBlockColors;
        options.progress = design.stitches.count / 2;
        const QImage image = renderDesignImage(design, options);
        // The border stays whole: the design is fitted 2 pixels inside it.
        for (int x = 0; x < image.width(); x += 7) {
            ASSERT_EQ(image.pixel(x, 0), qRgb(0, 0, 0));
            ASSERT_EQ(image.pixel(x, image.height() - 1), qRgb(0, 0, 0));
        }
        int inked = 0;
        for (int y = 1; y < image.height() - 1; ++y)
            for (int x = 1; x < image.width() - 1; ++x)
                inked += image.pixel(x, y) != qRgb(255, 255, 255) ? 1 : 0;
        EXPECT_GT(inked, 0);
        ++drawn;
    }
    EXPECT_GT(drawn, 0);
}

TEST(QPainterSurface, PainterAndImageSurfacesAgreeOnStraightLines)
{
    // A surface over a plain painter (a widget's) draws through Qt; one over an image draws
    // the pixels itself. Straight lines, dashes included, must come out the same, but for
    // the line's very last pixel, which Qt sets and classic one-pixel lines leave out.
    const std::vector<SurfacePoint> points = {{2, 5}, {50, 5}, {50, 40}, {10, 40}};
    for (PenStyle style : {PenStyle::Solid, PenStyle::DashDotDot}) {
        QImage viaImage(64, 64, QImage::Format_RGB32);
        viaImage.fill(Qt::white);
        {
            QPainterSurface surface(viaImage);
            surface.setPen({style, 0x0000FF});
            surface.polyline(points);
        }
        QImage viaPainter(64, 64, QImage::Format_RGB32);
        viaPainter.fill(Qt::white);
        {
            QPainter painter(&viaPainter);
            QPainterSurface surface(painter);
            surface.setPen({style, 0x0000FF});
            surface.polyline(points);
        }
        EXPECT_EQ(viaImage.pixel(10, 40), qRgb(255, 255, 255));
        viaPainter.setPixel(10, 40, qRgb(255, 255, 255));
        EXPECT_EQ(viaImage, viaPainter) << int(style);
    }
}
