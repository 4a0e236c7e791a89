#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>
#include <vector>

#include "render/DeviceMapper.h"
#include "render/LineRaster.h"
#include "render/StitchRenderer.h"

// The mapper must give Mapping::toDevice's value, pinned, for every point, whichever way it
// takes (arithmetic, table, outside the table), for the mappings the views make and for
// arbitrary ones.
namespace {

SurfacePoint expected(const Mapping& m, SurfacePoint p, std::int32_t limit)
{
    const SurfacePoint d = m.toDevice(p);
    return {std::clamp(d.x, -limit, limit), std::clamp(d.y, -limit, limit)};
}

std::vector<Mapping> mappings()
{
    std::vector<Mapping> out;
    std::mt19937 random(5);
    std::uniform_int_distribution<int> side(0, 200000);
    std::uniform_int_distribution<int> size(1, 1500);
    for (int i = 0; i < 40; ++i) {
        const int left = side(random) - 100000;
        const int bottom = side(random) - 100000;
        const DesignExtents e{left, bottom + side(random) / (1 + i % 7),
                              left + side(random) / (1 + i % 5), bottom};
        out.push_back(designMapping(e, {size(random), size(random)}));
    }
    out.push_back(designMapping({0, 0, 0, 0}, {673, 451}));
    out.push_back(designMapping({INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN}, {673, 451}));
    out.push_back(designMapping({-3, 2, 4, -1}, {673, 451})); // several pixels per unit
    Mapping odd; // negative viewport extents, zero window extent, large scale
    odd.windowOrigin = {17, -40};
    odd.windowExtent = {0, 7};
    odd.viewportOrigin = {300, 200};
    odd.viewportExtent = {-5, -(1 << 21)};
    out.push_back(odd);
    return out;
}

} // namespace

TEST(DeviceMapper, EveryWayGivesTheMappingsValue)
{
    std::mt19937 random(77);
    std::uniform_int_distribution<std::int32_t> anywhere(INT32_MIN, INT32_MAX);
    for (const Mapping& m : mappings()) {
        const int boxW = std::max(1, m.viewportOrigin.x * 2);
        const int boxH = std::max(1, m.viewportOrigin.y * 2);
        // Points across and just beyond the logical range that lands in the box.
        std::vector<SurfacePoint> points;
        const auto span = [](std::int32_t extent) {
            return std::clamp<std::int64_t>(std::abs(std::int64_t(extent)), 2, 1 << 20);
        };
        std::uniform_int_distribution<std::int64_t> nearX(-span(m.windowExtent.x),
                                                          span(m.windowExtent.x));
        std::uniform_int_distribution<std::int64_t> nearY(-span(m.windowExtent.y),
                                                          span(m.windowExtent.y));
        for (int i = 0; i < 30000; ++i) {
            const auto clamp32 = [](std::int64_t v) {
                return std::int32_t(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
            };
            if (i % 50 == 0)
                points.push_back({anywhere(random), anywhere(random)});
            else
                points.push_back({clamp32(m.windowOrigin.x + nearX(random)),
                                  clamp32(m.windowOrigin.y + nearY(random))});
        }
        points.push_back({INT32_MIN, INT32_MAX});
        points.push_back({INT32_MAX, INT32_MIN});
        // One mapper, as a surface keeps it: small batches first (by the rule), then the rest
        // (tables once they pay); then another mapping and back, after which the tables made
        // for the first must still give its values and none of the second's.
        DeviceMapper mapper(kRasterLimit, boxW, boxH);
        Mapping other = m;
        other.viewportExtent.x += 3;
        other.windowOrigin.y -= 1;
        for (const Mapping& now : {m, other, m}) {
            mapper.setMapping(now);
            std::vector<SurfacePoint> out(points.size());
            mapper.mapAll(std::span(points).first(10), out.data());
            mapper.mapAll(std::span(points).subspan(10), out.data() + 10);
            for (std::size_t i = 0; i < points.size(); ++i)
                ASSERT_EQ(out[i], expected(now, points[i], kRasterLimit))
                    << "point " << points[i].x << "," << points[i].y;
            ASSERT_EQ(mapper.map(points[5]), expected(now, points[5], kRasterLimit));
        }
    }
}

TEST(DeviceMapper, TablesStepExactlyThroughSignsAndRemainders)
{
    // Every logical value across the table and beyond it, mapped in one batch so that the
    // tables are built before any of them is looked up.
    struct Row
    {
        Mapping mapping;
        std::int32_t limit;
        std::int32_t box;
    };
    const std::vector<Row> rows = {
        {{{0, -50}, {20000, -15000}, {336, 225}, {668, 446}}, kRasterLimit, 673}, // the usual
        {{{5, 5}, {3, -3}, {10, 10}, {7, -7}}, kRasterLimit, 20}, // several pixels per unit
        {{{0, 0}, {-7, 7}, {0, 0}, {-1000, 1000}}, 50, 40},       // pinned to a small limit
        {{{1, -3}, {0, 0}, {1, 2}, {1, -1}}, kRasterLimit, 10},   // zero extent counts as one
        {{{-9, 4}, {-20011, 19997}, {331, 200}, {-667, 441}}, kRasterLimit, 673}, // odd, flipped
    };
    for (const Row& row : rows) {
        DeviceMapper mapper(row.limit, row.box, row.box);
        mapper.setMapping(row.mapping);
        std::vector<SurfacePoint> points;
        for (std::int32_t k = -70000; k <= 70000; ++k)
            points.push_back({row.mapping.windowOrigin.x + k, row.mapping.windowOrigin.y - k});
        std::vector<SurfacePoint> out(points.size());
        mapper.mapAll(points, out.data());
        for (std::size_t i = 0; i < points.size(); ++i)
            ASSERT_EQ(out[i], expected(row.mapping, points[i], row.limit))
                << points[i].x << "," << points[i].y;
    }
}
