#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "design/Design.h"
#include "render/RecordingSurface.h"
#include "render/StitchRenderer.h"

namespace {

using Kind = RecordingSurface::Kind;
using Call = RecordingSurface::Call;

constexpr std::array<ColorRef, kRenderColorCount> kColors = {
    0x000001, 0x000002, 0x000003, 0x000004, 0x000005, 0x000006, 0x000007,
    0x000008, 0x000009, 0x00000A, 0x00000B, 0x00000C, 0x00000D, 0x00000E,
    0x00000F, 0x000010, 0x000011, 0x000012, 0x000013, 0x000014,
};

struct Rec
{
    StitchType type;
    double x = 0;
    double y = 0;
    std::int16_t color = 0;
};

// Records at x = 10, 20, 30, ... unless a record gives its own position.
StitchList makeList(std::initializer_list<Rec> recs)
{
    StitchList list;
    int i = 0;
    for (const Rec& r : recs) {
        ++i;
        const bool placed = r.x != 0 || r.y != 0;
        appendStitch(&list, Stitch{placed ? r.x : 10.0 * i, r.y, r.type, r.color});
    }
    return list;
}

SurfacePoint at(int i)
{
    return {10 * i, 0};
}

std::vector<SurfacePoint> pts(std::initializer_list<int> indices)
{
    std::vector<SurfacePoint> out;
    for (int i : indices)
        out.push_back(at(i));
    return out;
}

const DesignExtents kExtents{0, 100, 1000, -100};
const RenderTarget kTarget{405, 205};

std::vector<Call> polylines(StitchList list, RenderPass pass = RenderPass::Whole,
                            std::int32_t current = 0)
{
    RecordingSurface s;
    renderDesign(pass, s, kColors, list, kExtents, kTarget, current);
    return s.callsOf(Kind::Polyline);
}

} // namespace

TEST(StitchRenderer, LongStitchRunIsDrawnInUnbrokenPieces)
{
    StitchList list;
    for (int i = 0; i < 25000; ++i)
        appendStitch(&list, Stitch{double(i), 0, StitchType::Normal, 0});
    const auto lines = polylines(list);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].points.size(), 10000u);
    EXPECT_EQ(lines[1].points.size(), 10000u);
    EXPECT_EQ(lines[2].points.size(), 5002u);
    EXPECT_EQ(lines[1].points.front(), lines[0].points.back());
    EXPECT_EQ(lines[2].points.front(), lines[1].points.back());
    EXPECT_EQ(lines[2].points.back(), (SurfacePoint{24999, 0}));
}

TEST(StitchRenderer, LongJumpRunIsDrawnInUnbrokenPieces)
{
    StitchList list;
    appendStitch(&list, Stitch{0, 0, StitchType::Normal, 0});
    for (int i = 1; i <= 12000; ++i)
        appendStitch(&list, Stitch{double(i), 0, StitchType::Jump, 0});
    appendStitch(&list, Stitch{20000, 0, StitchType::Normal, 0});
    const auto lines = polylines(list);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].points.size(), 10000u);
    EXPECT_EQ(lines[1].points.size(), 12000u - 10000u + 1u + 1u + 1u);
    EXPECT_EQ(lines[1].points.front(), lines[0].points.back());
    EXPECT_EQ(lines[1].pen.style, PenStyle::DashDotDot);
}

// Each case: records, then the expected lines as (dashed, colour index, record numbers).
TEST(StitchRenderer, RecordTypesBreakLinesWhereExpected)
{
    using T = StitchType;
    struct Line
    {
        bool dashed;
        int colorIndex;
        std::vector<SurfacePoint> points;
    };
    struct Case
    {
        const char* name;
        StitchList list;
        std::vector<Line> lines;
    };
    const std::vector<Case> cases = {
        {"jump sequence is one dashed line from stitch to stitch",
         makeList({{T::Normal}, {T::Normal}, {T::Jump}, {T::Jump}, {T::Normal}}),
         {{false, 0, pts({1, 2})}, {true, 0, pts({2, 3, 4, 5})}}},
        {"first colour change to number 1 is a plain point",
         makeList({{T::ColorChange, 0, 0, 1}, {T::Normal}, {T::Normal}}),
         {{false, 0, pts({1, 2, 3})}}},
        {"colour change after stitches: old colour closes, jump line in new colour",
         makeList({{T::Normal}, {T::Normal}, {T::ColorChange, 0, 0, 2}, {T::Normal}}),
         {{false, 0, pts({1, 2, 3})}, {true, 1, pts({3, 4})}}},
        {"colour change after jumps: the jump line closes in the old colour",
         makeList({{T::Normal}, {T::Normal}, {T::Jump}, {T::ColorChange, 0, 0, 3}, {T::Normal}}),
         {{false, 0, pts({1, 2})}, {true, 0, pts({2, 3, 4})}, {true, 2, pts({4, 5})}}},
        {"trim after stitches ends the line; later moves are a jump line",
         makeList({{T::Normal}, {T::Normal}, {T::Trim}, {T::Jump}, {T::Normal}}),
         {{false, 0, pts({1, 2, 3})}, {true, 0, pts({3, 4, 5})}}},
        {"sequin eject splits the stitch line, which stays joined",
         makeList({{T::SequinOn}, {T::Normal}, {T::Normal}, {T(6)}, {T::Normal}, {T::SequinOff}}),
         {{false, 0, pts({1, 2, 3})}, {false, 0, pts({3, 4, 5, 6})}}},
        {"a jump inside a sequin span is a sequin point",
         makeList({{T::SequinOn}, {T::Normal}, {T::Jump}, {T::Normal}}),
         {{false, 0, pts({1, 2})}, {false, 0, pts({2, 3, 4})}}},
        {"a sequin point closes a pending jump line",
         makeList({{T::Normal}, {T::Normal}, {T::Jump}, {T::Jump}, {T(5)}, {T::Normal}}),
         {{false, 0, pts({1, 2})},
          {true, 0, pts({2, 3, 4})},
          {true, 0, pts({4, 5})},
          {false, 0, pts({5, 6})}}},
        {"repeated colour change and machine functions are stitch points",
         makeList({{T::Normal}, {T::RepeatedColorChange}, {T::DsbFunction3}, {T::Normal}}),
         {{false, 0, pts({1, 2, 3, 4})}}},
        {"a lone trailing jump line of two points is drawn",
         makeList({{T::Jump}, {T::Jump}}),
         {{true, 0, pts({1, 2})}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto lines = polylines(c.list);
        ASSERT_EQ(lines.size(), c.lines.size());
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].pen.style,
                      c.lines[i].dashed ? PenStyle::DashDotDot : PenStyle::Solid)
                << "line " << i;
            EXPECT_EQ(lines[i].pen.color, kColors[std::size_t(c.lines[i].colorIndex)])
                << "line " << i;
            EXPECT_EQ(lines[i].points, c.lines[i].points) << "line " << i;
        }
    }
}

TEST(StitchRenderer, ColourBlocksFollowTheirNumbers)
{
    using T = StitchType;
    // Each block: a colour change and two stitches; the expected colour index of every
    // solid line in order.
    struct Case
    {
        const char* name;
        std::vector<std::int16_t> numbers;
        std::vector<int> indices;
    };
    const std::vector<Case> cases = {
        {"DST numbering 2, 3, ... uses indices 1, 2, ...", {2, 3, 4}, {0, 1, 2, 3}},
        {"numbers above 20 reuse the first twenty", {2, 21, 22, 41}, {0, 1, 0, 1, 0}},
        {"TBF numbering comes from the file", {5, 3, 25}, {0, 4, 2, 4}},
        {"numbers below 1 still land inside the colours", {0, -1, -20}, {0, 19, 18, 19}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StitchList list;
        double x = 0;
        auto add = [&](T type, std::int16_t color) {
            x += 10;
            appendStitch(&list, Stitch{x, 0, type, color});
        };
        add(T::Normal, 0);
        add(T::Normal, 0);
        for (std::int16_t n : c.numbers) {
            add(T::ColorChange, n);
            add(T::Normal, 0);
            add(T::Normal, 0);
        }
        std::vector<ColorRef> solid;
        for (const Call& line : polylines(list))
            if (line.pen.style == PenStyle::Solid)
                solid.push_back(line.pen.color);
        std::vector<ColorRef> expected;
        for (int i : c.indices)
            expected.push_back(kColors[std::size_t(i)]);
        EXPECT_EQ(solid, expected);
    }
}

TEST(StitchRenderer, ShortColourSourceFallsBackInsteadOfReadingPastIt)
{
    const StitchList list =
        makeList({{StitchType::Normal}, {StitchType::ColorChange, 0, 0, 7}, {StitchType::Normal}});
    const std::array<ColorRef, 2> two = {0x111111, 0x222222};
    RecordingSurface s;
    renderDesign(RenderPass::Whole, s, two, list, kExtents, kTarget, 0);
    const auto lines = s.callsOf(Kind::Polyline);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].pen.color, 0x111111u);
    EXPECT_EQ(lines[1].pen.color, kUnsetBlockColor);
}

TEST(StitchRenderer, ProgressPassStopsAtTheCurrentStitchNumber)
{
    using T = StitchType;
    const StitchList five =
        makeList({{T::Normal}, {T::Normal}, {T::Normal}, {T::Normal}, {T::Normal}});
    RecordingSurface s;
    EXPECT_EQ(renderDesign(RenderPass::Progress, s, kColors, five, kExtents, kTarget, 3), 3);
    std::vector<Kind> kinds;
    for (const Call& c : s.calls())
        if (c.kind != Kind::SetMapping)
            kinds.push_back(c.kind);
    EXPECT_EQ(kinds, (std::vector<Kind>{Kind::MoveTo, Kind::LineTo, Kind::LineTo}));
    EXPECT_EQ(s.callsOf(Kind::LineTo).back().points.front(), at(3));
    EXPECT_EQ(s.callsOf(Kind::MoveTo).front().pen.color, kColors[0]);

    // Steps run on across lines, the repeated first point of a line counting again:
    // solid 1-2 (move, line), dashed 2-3-4 (move, line, line).
    const StitchList jumped = makeList({{T::Normal}, {T::Normal}, {T::Jump}, {T::Normal}});
    struct Case
    {
        std::int32_t current;
        std::int32_t drawn;
        std::size_t moves;
        std::size_t lines;
    };
    for (Case c : {Case{0, 0, 0, 0}, Case{-5, 0, 0, 0}, Case{2, 2, 1, 1}, Case{3, 3, 2, 1},
                   Case{4, 4, 2, 2}, Case{100, 5, 2, 3}}) {
        RecordingSurface r;
        EXPECT_EQ(
            renderDesign(RenderPass::Progress, r, kColors, jumped, kExtents, kTarget, c.current),
            c.drawn)
            << c.current;
        EXPECT_EQ(r.callsOf(Kind::MoveTo).size(), c.moves) << c.current;
        EXPECT_EQ(r.callsOf(Kind::LineTo).size(), c.lines) << c.current;
    }
}

TEST(StitchRenderer, WholePassIsGreyOnlyWhileThereIsProgress)
{
    using T = StitchType;
    const StitchList list = makeList(
        {{T::Normal}, {T::Normal}, {T::Jump}, {T::Normal}, {T::ColorChange, 0, 0, 2}, {T::Normal}});
    for (std::int32_t current : {0, 1, 1000}) {
        const auto lines = polylines(list, RenderPass::Whole, current);
        ASSERT_EQ(lines.size(), 4u);
        bool sawDashed = false;
        for (const Call& line : lines) {
            sawDashed |= line.pen.style == PenStyle::DashDotDot;
            if (current > 0)
                EXPECT_EQ(line.pen.color, kProgressGrey);
            else
                EXPECT_NE(line.pen.color, kProgressGrey);
        }
        EXPECT_TRUE(sawDashed);
    }
}

TEST(StitchRenderer, MappingFitsTheLargerSideCentredWithYFlipped)
{
    const StitchList list =
        makeList({{StitchType::Normal, 1000, 500}, {StitchType::Normal, 5000, 1500}});
    const DesignExtents extents{1000, 1500, 5000, 500}; // 4,000 wide, 1,000 high
    RecordingSurface s;
    const Mapping before = s.mapping();
    renderDesign(RenderPass::Whole, s, kColors, list, extents, {405, 205}, 0);
    const auto line = s.callsOf(Kind::Polyline).at(0);
    const Mapping& m = line.mapping;
    EXPECT_EQ(m.viewportOrigin, (SurfacePoint{202, 102}));
    EXPECT_EQ(m.windowOrigin, (SurfacePoint{3000, 1000}));
    EXPECT_EQ(m.viewportExtent, (SurfacePoint{400, 200}));
    EXPECT_EQ(m.windowExtent, (SurfacePoint{4000, -4000}));
    // Width onto 400 pixels, height onto 1,000 x 200 / 4,000 = 50 pixels, top up.
    const SurfacePoint topRight = m.toDevice({5000, 1500});
    const SurfacePoint bottomLeft = m.toDevice({1000, 500});
    EXPECT_EQ(topRight.x - bottomLeft.x, 400);
    EXPECT_EQ(bottomLeft.y - topRight.y, 50);
    EXPECT_EQ(topRight, (SurfacePoint{402, 77}));
    // The surface gets its own mapping back.
    EXPECT_EQ(s.mapping(), before);
}

TEST(StitchRenderer, ExtremeInputsMapWithoutOverflow)
{
    // Extents of no size: every point is the centre, nothing divides by zero.
    {
        StitchList list;
        appendStitch(&list, Stitch{0, 0, StitchType::Normal, 0});
        appendStitch(&list, Stitch{0, 0, StitchType::Normal, 0});
        RecordingSurface s;
        renderDesign(RenderPass::Whole, s, kColors, list, DesignExtents{}, {673, 451}, 0);
        const auto line = s.callsOf(Kind::Polyline).at(0);
        EXPECT_EQ(line.mapping.windowExtent, (SurfacePoint{1, -1}));
        EXPECT_EQ(line.mapping.toDevice(line.points[0]), (SurfacePoint{336, 225}));
    }
    // Bounds at the ends of the 32-bit range and points far outside them.
    {
        const StitchList list = makeList({{StitchType::Normal, -3e12, 1e300},
                                          {StitchType::Normal, 2147483000.0, -2147483000.0},
                                          {StitchType::Normal, -14.5, 14.5}});
        const DesignExtents extents{INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN};
        RecordingSurface s;
        renderDesign(RenderPass::Whole, s, kColors, list, extents, {673, 451}, 0);
        const auto line = s.callsOf(Kind::Polyline).at(0);
        EXPECT_EQ(line.points[0], (SurfacePoint{INT32_MIN, INT32_MAX}));
        EXPECT_EQ(line.points[2], (SurfacePoint{-15, 15})); // half away from zero
        EXPECT_EQ(line.mapping.toDevice(line.points[2]), (SurfacePoint{336, 225}));
        const SurfacePoint far = line.mapping.toDevice(line.points[0]);
        EXPECT_LE(far.x, 4);
        EXPECT_LE(far.y, 4);
    }
    // A target smaller than the margin.
    {
        const StitchList list = makeList({{StitchType::Normal}, {StitchType::Normal}});
        RecordingSurface s;
        renderDesign(RenderPass::Whole, s, kColors, list, kExtents, {0, 3}, 0);
        EXPECT_EQ(s.callsOf(Kind::Polyline).size(), 1u);
    }
}

TEST(StitchRenderer, EmptyOrInconsistentListsDrawNothingOutsideTheirStorage)
{
    RecordingSurface s;
    renderDesign(RenderPass::Whole, s, kColors, StitchList{}, kExtents, kTarget, 0);
    renderPreview(s, StitchList{}, kExtents, kTarget);
    EXPECT_TRUE(s.calls().empty());

    StitchList list = makeList({{StitchType::Normal}, {StitchType::Normal}});
    list.count = list.capacity + 5; // a count beyond the storage is not trusted
    renderDesign(RenderPass::Whole, s, kColors, list, kExtents, kTarget, 0);
    const auto lines = s.callsOf(Kind::Polyline);
    std::size_t drawn = 1;
    for (const Call& line : lines)
        drawn += line.points.size() - 1;
    EXPECT_EQ(drawn, std::size_t(list.capacity));
}

TEST(StitchRenderer, PreviewDrawsPlainlyInItsOwnColours)
{
    using T = StitchType;
    // A DST design: block 1 implicit, then blocks 2, 3, ..., 22.
    StitchList list;
    double x = 0;
    auto add = [&](T type, std::int16_t color) {
        x += 10;
        appendStitch(&list, Stitch{x, 0, type, color});
    };
    add(T::Normal, 0);
    add(T::Normal, 0);
    for (std::int16_t block = 2; block <= 22; ++block) {
        add(T::ColorChange, block);
        add(T::Normal, 0);
        add(T::Normal, 0);
    }
    RecordingSurface s;
    renderPreview(s, list, kExtents, kTarget);
    EXPECT_TRUE(s.callsOf(Kind::MoveTo).empty());
    std::vector<ColorRef> solid;
    for (const Call& line : s.callsOf(Kind::Polyline))
        if (line.pen.style == PenStyle::Solid)
            solid.push_back(line.pen.color);
    ASSERT_EQ(solid.size(), 22u);
    EXPECT_EQ(solid[0], 0x3300FFu); // block 1: not entry 0
    EXPECT_EQ(solid[1], 0x00FFFFu); // block 2
    EXPECT_EQ(solid[2], 0x3300FFu); // block 3
    for (std::size_t b = 13; b <= 20; ++b)
        EXPECT_EQ(solid[b - 1], 0x0000FFu) << "block " << b;
    EXPECT_EQ(solid[21], 0x00FFFFu); // block 22
}
