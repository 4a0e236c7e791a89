#include "render/DeviceMapper.h"

#include <algorithm>
#include <cstdlib>

namespace {

std::int32_t pinned(std::int64_t v, std::int32_t limit)
{
    return std::int32_t(std::clamp<std::int64_t>(v, -std::int64_t(limit), limit));
}

// One axis by a multiplication with the divisor's reciprocal and a one-step correction, which
// gives exactly the truncated quotient: the offset is below 2^32 and the extent at most 2^20,
// so the product stays below 2^52 and the estimate is off by at most one.
class ReciprocalAxis
{
public:
    explicit ReciprocalAxis(const DeviceMapper::Axis& a)
        : m_windowOrigin(a.windowOrigin), m_viewportOrigin(a.viewportOrigin),
          m_scale(a.windowExtent < 0 ? -std::int64_t(a.viewportExtent) : a.viewportExtent),
          m_divisor(a.windowExtent == 0 ? 1 : std::abs(std::int64_t(a.windowExtent))),
          m_reciprocal(1.0 / double(m_divisor)), m_limit(a.limit)
    {
    }

    static bool suits(const DeviceMapper::Axis& a) { return std::abs(a.viewportExtent) <= 1 << 20; }

    std::int32_t map(std::int32_t logical) const
    {
        const std::int64_t num = (std::int64_t(logical) - m_windowOrigin) * m_scale;
        const std::int64_t magnitude = num < 0 ? -num : num;
        std::int64_t q = std::int64_t(double(magnitude) * m_reciprocal);
        const std::int64_t rest = magnitude - q * m_divisor;
        q += rest < 0 ? -1 : (rest >= m_divisor ? 1 : 0);
        return pinned(m_viewportOrigin + (num < 0 ? -q : q), m_limit);
    }

private:
    std::int64_t m_windowOrigin;
    std::int64_t m_viewportOrigin;
    std::int64_t m_scale;
    std::int64_t m_divisor;
    double m_reciprocal;
    std::int32_t m_limit;
};

// The last tables built on this thread, one per axis, for the mappers that follow.
struct CachedTable
{
    DeviceMapper::Axis axis;
    std::int64_t first = 0;
    std::size_t size = 0;
    std::shared_ptr<const DeviceMapper::AxisTable> table;
};

CachedTable& cachedTable(int which)
{
    thread_local CachedTable cache[2];
    return cache[which];
}

} // namespace

std::int32_t mapAxisPinned(const DeviceMapper::Axis& axis, std::int32_t logical)
{
    if (ReciprocalAxis::suits(axis))
        return ReciprocalAxis(axis).map(logical);
    return pinned(Mapping::mapAxis(logical, axis.windowOrigin, axis.windowExtent,
                                   axis.viewportOrigin, axis.viewportExtent),
                  axis.limit);
}

DeviceMapper::AxisTable buildAxisTable(const DeviceMapper::Axis& axis, std::int64_t first,
                                       std::size_t count)
{
    // device(l) = viewportOrigin + trunc((l - windowOrigin) * scale / divisor). Keep
    // num = (l - windowOrigin) * scale as floor quotient f and remainder r in [0, divisor);
    // each step adds scale's own floor quotient and remainder, carrying one when r overflows.
    // Truncation differs from the floor only for a negative num with a remainder.
    const std::int64_t scale =
        axis.windowExtent < 0 ? -std::int64_t(axis.viewportExtent) : axis.viewportExtent;
    const std::int64_t d = axis.windowExtent == 0 ? 1 : std::abs(std::int64_t(axis.windowExtent));
    const auto floorDiv = [d](std::int64_t n, std::int64_t& rest) {
        std::int64_t q = n / d;
        rest = n % d;
        if (rest < 0) {
            rest += d;
            --q;
        }
        return q;
    };
    DeviceMapper::AxisTable table;
    table.first = first;
    table.device.resize(count);
    std::int64_t num = (first - axis.windowOrigin) * scale;
    std::int64_t r = 0;
    std::int64_t f = floorDiv(num, r);
    std::int64_t stepRest = 0;
    const std::int64_t stepQuotient = floorDiv(scale, stepRest);
    for (std::size_t k = 0; k < count; ++k) {
        const std::int64_t t = f + (num < 0 && r != 0 ? 1 : 0);
        table.device[k] = pinned(axis.viewportOrigin + t, axis.limit);
        num += scale;
        f += stepQuotient;
        r += stepRest;
        if (r >= d) {
            r -= d;
            ++f;
        }
    }
    return table;
}

DeviceMapper::DeviceMapper(const Mapping& mapping, std::int32_t limit, std::int32_t boxWidth,
                           std::int32_t boxHeight)
    : m_x(stateOf({mapping.windowOrigin.x, mapping.windowExtent.x, mapping.viewportOrigin.x,
                   mapping.viewportExtent.x, limit},
                  boxWidth)),
      m_y(stateOf({mapping.windowOrigin.y, mapping.windowExtent.y, mapping.viewportOrigin.y,
                   mapping.viewportExtent.y, limit},
                  boxHeight))
{
    // A table left by the previous mapper of this thread serves at once.
    for (AxisState* s : {&m_x, &m_y}) {
        const CachedTable& c = cachedTable(s == &m_x ? 0 : 1);
        if (s->tableSize > 0 && c.table && c.axis == s->axis && c.first == s->tableFirst &&
            c.size == s->tableSize)
            s->table = c.table;
    }
}

DeviceMapper::AxisState DeviceMapper::stateOf(const Axis& axis, std::int32_t box)
{
    AxisState s;
    s.axis = axis;
    // Logical values whose device value lies within `reach` of the viewport origin: |l -
    // windowOrigin| * |scale| / divisor <= reach holds for |l - windowOrigin| up to
    // (reach + 1) * divisor / |scale|. The box and one pixel round it are enough.
    const std::int64_t scale = std::abs(std::int64_t(axis.viewportExtent));
    if (scale == 0 || box <= 0)
        return s;
    const std::int64_t d = axis.windowExtent == 0 ? 1 : std::abs(std::int64_t(axis.windowExtent));
    const std::int64_t reach = std::max<std::int64_t>(std::int64_t(axis.viewportOrigin) + 1,
                                                      std::int64_t(box) - axis.viewportOrigin) +
                               1;
    if (reach <= 0)
        return s;
    const std::int64_t half = (reach + 1) * d / scale + 1;
    if (half > std::int64_t(kMaxTableSize / 2))
        return s;
    s.tableFirst = std::int64_t(axis.windowOrigin) - half;
    s.tableSize = std::size_t(2 * half + 1);
    return s;
}

std::int32_t DeviceMapper::lookUp(const AxisState& s, std::int32_t logical)
{
    const std::uint64_t at = std::uint64_t(std::int64_t(logical) - s.tableFirst);
    if (at < s.tableSize) [[likely]]
        return s.table->device[std::size_t(at)];
    return mapAxisPinned(s.axis, logical);
}

void DeviceMapper::buildTables()
{
    m_tablesTried = true;
    for (AxisState* s : {&m_x, &m_y}) {
        if (s->table || s->tableSize == 0)
            continue;
        auto table =
            std::make_shared<const AxisTable>(buildAxisTable(s->axis, s->tableFirst, s->tableSize));
        s->table = table;
        CachedTable& c = cachedTable(s == &m_x ? 0 : 1);
        c = {s->axis, s->tableFirst, s->tableSize, std::move(table)};
    }
}

SurfacePoint DeviceMapper::map(SurfacePoint logical) const
{
    return {m_x.table ? lookUp(m_x, logical.x) : mapAxisPinned(m_x.axis, logical.x),
            m_y.table ? lookUp(m_y, logical.y) : mapAxisPinned(m_y.axis, logical.y)};
}

void DeviceMapper::mapAll(std::span<const SurfacePoint> points, SurfacePoint* out)
{
    // Tables pay off once about as many coordinates have been mapped as they hold.
    if (!m_tablesTried && (m_x.tableSize > 0 || m_y.tableSize > 0) &&
        m_mappedByArithmetic + points.size() >= (m_x.tableSize + m_y.tableSize) / 4)
        buildTables();
    if (m_x.table && m_y.table) {
        for (std::size_t i = 0; i < points.size(); ++i)
            out[i] = {lookUp(m_x, points[i].x), lookUp(m_y, points[i].y)};
        return;
    }
    m_mappedByArithmetic += points.size();
    if (!m_x.table && !m_y.table && ReciprocalAxis::suits(m_x.axis) &&
        ReciprocalAxis::suits(m_y.axis)) {
        const ReciprocalAxis xs(m_x.axis);
        const ReciprocalAxis ys(m_y.axis);
        for (std::size_t i = 0; i < points.size(); ++i)
            out[i] = {xs.map(points[i].x), ys.map(points[i].y)};
        return;
    }
    for (std::size_t i = 0; i < points.size(); ++i)
        out[i] = map(points[i]);
}
