#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "design/Design.h"
#include "render/RecordingSurface.h"
#include "render/StitchRenderer.h"

// The walk's quick ways (runs of plain stitches, both coordinates rounded at once) must hand
// the surface exactly the points that rounding one record at a time gives.
TEST(RenderFastPath, RunsOfStitchesKeepEveryRecordsRoundedPoint)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::array<double, 22> values = {0.0,
                                           -0.0,
                                           0.5,
                                           -0.5,
                                           1.5,
                                           -1.5,
                                           2.4999999,
                                           -2.5000001,
                                           0.49999999999999994,
                                           -0.49999999999999994,
                                           2147483646.4,
                                           2147483646.5,
                                           2147483647.0,
                                           -2147483647.4,
                                           -2147483647.5,
                                           -2147483648.0,
                                           -2147483648.4,
                                           -2147483649.0,
                                           1e300,
                                           -1e300,
                                           inf,
                                           nan};
    StitchList list;
    for (double x : values)
        for (double y : {values[3], x, -x})
            appendStitch(&list, Stitch{x, y, StitchType::Normal, 0});
    // A jump in the middle sends records through the per-record step as well.
    list.records[30].type = StitchType::Jump;
    RecordingSurface s;
    renderDesign(RenderPass::Whole, s, {}, list, DesignExtents{-100, 100, 100, -100}, {673, 451},
                 0);
    std::vector<SurfacePoint> drawn;
    for (const auto& call : s.callsOf(RecordingSurface::Kind::Polyline))
        drawn.insert(drawn.end(), call.points.begin(), call.points.end());
    // The stitch line 0 to 29, the jump line 29, 30, 31, then the stitch line from 31 on.
    const auto point = [&](int i) { return stitchPoint(list.records[std::size_t(i)]); };
    std::vector<SurfacePoint> want;
    for (int i = 0; i <= 29; ++i)
        want.push_back(point(i));
    for (int i : {29, 30, 31})
        want.push_back(point(i));
    for (int i = 31; i < list.count; ++i)
        want.push_back(point(i));
    ASSERT_EQ(drawn.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i)
        EXPECT_EQ(drawn[i], want[i]) << i;
}
