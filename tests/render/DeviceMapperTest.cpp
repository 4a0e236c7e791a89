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
        // Two mappers: the second starts from the table the first left behind.
        for (int round = 0; round < 2; ++round) {
            DeviceMapper mapper(m, kRasterLimit, boxW, boxH);
            std::vector<SurfacePoint> out(points.size());
            // Small batches first (arithmetic), then the rest (tables once they pay).
            mapper.mapAll(std::span(points).first(10), out.data());
            mapper.mapAll(std::span(points).subspan(10), out.data() + 10);
            for (std::size_t i = 0; i < points.size(); ++i)
                ASSERT_EQ(out[i], expected(m, points[i], kRasterLimit))
                    << "round " << round << " point " << points[i].x << "," << points[i].y;
        }
    }
}

TEST(DeviceMapper, TablesStepExactlyThroughSignsAndRemainders)
{
    struct Row
    {
        DeviceMapper::Axis axis;
        std::int64_t first;
        std::size_t count;
    };
    const std::vector<Row> rows = {
        {{0, 20000, 336, 668, kRasterLimit}, -12000, 24001},   // the usual: x
        {{-50, -15000, 225, 446, kRasterLimit}, -9000, 18001}, // y flipped
        {{5, 3, 10, 7, kRasterLimit}, -40, 81},                // several pixels per unit
        {{0, -7, 0, -1000, 50}, -20, 41},                      // pinned to a small limit
        {{INT32_MAX, INT32_MIN, 0, 1 << 20, kRasterLimit}, std::int64_t(INT32_MAX) - 5, 6},
        {{1, 0, 1, 1, kRasterLimit}, -10, 21}, // zero window extent counts as one
    };
    for (const Row& row : rows) {
        const DeviceMapper::AxisTable table = buildAxisTable(row.axis, row.first, row.count);
        ASSERT_EQ(table.device.size(), row.count);
        for (std::size_t k = 0; k < row.count; ++k) {
            const auto l = std::int32_t(row.first + std::int64_t(k));
            const std::int32_t want =
                std::clamp(Mapping::mapAxis(l, row.axis.windowOrigin, row.axis.windowExtent,
                                            row.axis.viewportOrigin, row.axis.viewportExtent),
                           -row.axis.limit, row.axis.limit);
            ASSERT_EQ(table.device[k], want) << l;
            ASSERT_EQ(mapAxisPinned(row.axis, l), want) << l;
        }
    }
}
