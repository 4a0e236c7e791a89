#include <gtest/gtest.h>

#include <array>
#include <string>

#include "design/Design.h"
#include "render/MainView.h"
#include "render/RecordingSurface.h"

namespace {

using Kind = RecordingSurface::Kind;

Design threeStitchDesign()
{
    Design d;
    appendStitch(&d.stitches, Stitch{0, 0, StitchType::Normal, 0});
    appendStitch(&d.stitches, Stitch{100, 0, StitchType::Normal, 0});
    appendStitch(&d.stitches, Stitch{200, 100, StitchType::Normal, 0});
    d.extents = {0, 100, 200, 0};
    d.summary.stitchCount = 3;
    d.summary.colorCount = 1;
    return d;
}

const std::array<ColorRef, 20> kBlockColors = {0x400000, 0xFF0000};

} // namespace

TEST(MainView, NothingIsDrawnWithoutStitchRecords)
{
    Design empty;
    MainViewState state;
    RecordingSurface s;
    EXPECT_FALSE(paintDesignArea(s, {673, 451}, state));
    state.design = &empty;
    EXPECT_FALSE(paintDesignArea(s, {673, 451}, state));
    EXPECT_FALSE(paintInfoStrip(s, {170, 400, 843, 430}, state));
    EXPECT_TRUE(s.calls().empty());
}

TEST(MainView, FieldThenWholePassThenProgressOverlay)
{
    const Design design = threeStitchDesign();
    MainViewState state;
    state.design = &design;
    state.blockColors = kBlockColors;

    for (std::int32_t current : {0, 2}) {
        SCOPED_TRACE(current);
        state.currentStitch = current;
        RecordingSurface s;
        ASSERT_TRUE(paintDesignArea(s, {673, 451}, state));
        const auto& calls = s.calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls[0].kind, Kind::Rectangle);
        EXPECT_EQ(calls[0].rect, (SurfaceRect{0, 0, 673, 451}));
        EXPECT_EQ(calls[0].fill, kWhite);
        EXPECT_EQ(calls[0].pen, (Pen{PenStyle::Solid, kBlack}));

        const auto lines = s.callsOf(Kind::Polyline);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].pen.color, current > 0 ? kProgressGrey : kBlockColors[0]);
        EXPECT_EQ(s.callsOf(Kind::MoveTo).size(), current > 0 ? 1u : 0u);
        EXPECT_EQ(s.callsOf(Kind::LineTo).size(), current > 0 ? 1u : 0u);
        if (current > 0) {
            EXPECT_EQ(s.callsOf(Kind::LineTo)[0].pen.color, kBlockColors[0]);
        }
    }
}

TEST(MainView, FinishedDesignIsColouredToItsLastPoint)
{
    // A jump breaks the stitch line, so the renderer counts more steps than there are stitches.
    Design design = threeStitchDesign();
    appendStitch(&design.stitches, Stitch{300, 100, StitchType::Jump, 0});
    appendStitch(&design.stitches, Stitch{400, 0, StitchType::Normal, 0});
    appendStitch(&design.stitches, Stitch{500, 100, StitchType::Normal, 0});
    design.extents = {0, 100, 500, 0};
    design.summary.stitchCount = design.stitches.count;
    MainViewState state;
    state.design = &design;
    state.blockColors = kBlockColors;
    const struct
    {
        std::int32_t stitch;
        bool lastPointColoured;
    } cases[] = {{design.stitches.count - 1, false},
                 {design.stitches.count, true},
                 {design.stitches.count + 5, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stitch);
        state.currentStitch = c.stitch;
        RecordingSurface s;
        ASSERT_TRUE(paintDesignArea(s, {673, 451}, state));
        const auto lines = s.callsOf(Kind::LineTo);
        ASSERT_FALSE(lines.empty());
        const SurfacePoint last =
            stitchPoint(design.stitches.records[std::size_t(design.stitches.count - 1)]);
        EXPECT_EQ(lines.back().points.at(0) == last, c.lastPointColoured);
    }
}

TEST(MainView, StripShowsDesignLineAndMachineState)
{
    Design design = threeStitchDesign();
    design.summary = {1234, 4, -800, -1500, 9990, 23470, 0, 0, 0, 0, 0};
    MainViewState state;
    state.design = &design;
    state.designInfoTemplate = "Info  Needle Count:%d  Color Count  :%d  Hight:%d mm  "
                               "Width:%d mm\r\nMachine State：      ";
    state.embStateText = "Emb State:Emb Release";
    state.stitchNumberText = "Current number of needle:250";
    RecordingSurface s;
    const SurfaceRect strip{170, 400, 843, 430};
    ASSERT_TRUE(paintInfoStrip(s, strip, state));
    const auto& calls = s.calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].kind, Kind::FillRect);
    EXPECT_EQ(calls[0].rect, strip);
    EXPECT_EQ(calls[0].fill, kWhite);
    EXPECT_EQ(calls[1].text, "Info  Needle Count:1234  Color Count  :4  Hight:249 mm  "
                             "Width:107 mm\r\nMachine State：      ");
    EXPECT_EQ(calls[1].rect, strip);
    EXPECT_EQ(calls[2].text, state.embStateText);
    EXPECT_EQ(calls[2].rect, (SurfaceRect{275, 415, 948, 445}));
    EXPECT_EQ(calls[3].text, state.stitchNumberText);
    EXPECT_EQ(calls[3].rect, (SurfaceRect{435, 415, 1108, 445}));
}

TEST(MainView, DesignLineTruncatesMillimetresAndLeavesExtraFieldsAlone)
{
    struct Case
    {
        DesignSummary summary;
        std::string templ;
        std::string expected;
    };
    const Case cases[] = {
        {{5, 1, 0, 0, 0, 99, 0, 0, 0, 0, 0}, "%d %d %d %d", "5 1 0 0"},
        {{5, 1, 0, -150, 12345, 0, 0, 0, 0, 0, 0}, "H:%d W:%d", "H:5 W:1"},
        {{5, 2, 0, 0, 12345, 0, 0, 0, 0, 0, 0}, "%d %d %d %d %d %", "5 2 0 123 %d %"},
        {{0, 1, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, 0, 0, 0, 0, 0},
         "%d %d %d %d",
         "0 1 42949672 42949672"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatDesignLine(c.templ, c.summary), c.expected) << c.templ;
}
