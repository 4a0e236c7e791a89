#include "render/DeviceMapper.h"

#include <algorithm>
#include <cstdlib>

DeviceMapper::DeviceMapper(std::int32_t limit, std::int32_t boxWidth, std::int32_t boxHeight)
    : m_limit(limit), m_boxWidth(boxWidth), m_boxHeight(boxHeight)
{
    setMapping(m_mapping);
}

void DeviceMapper::setMapping(const Mapping& mapping)
{
    m_mapping = mapping;
    m_x.set(mapping.windowOrigin.x, mapping.windowExtent.x, mapping.viewportOrigin.x,
            mapping.viewportExtent.x, m_limit, m_boxWidth);
    m_y.set(mapping.windowOrigin.y, mapping.windowExtent.y, mapping.viewportOrigin.y,
            mapping.viewportExtent.y, m_limit, m_boxHeight);
}

SurfacePoint DeviceMapper::map(SurfacePoint logical) const
{
    return {m_x.map(logical.x), m_y.map(logical.y)};
}

void DeviceMapper::mapAll(std::span<const SurfacePoint> points, SurfacePoint* out)
{
    // A table pays off once about a quarter as many coordinates have been mapped as it holds.
    if (!(m_x.hasTable() && m_y.hasTable()) &&
        m_mappedByRule + points.size() >= (m_x.wantedSize() + m_y.wantedSize()) / 4) {
        m_x.buildTable();
        m_y.buildTable();
    }
    if (!m_x.hasTable() || !m_y.hasTable())
        m_mappedByRule += points.size();
    for (std::size_t i = 0; i < points.size(); ++i)
        out[i] = {m_x.map(points[i].x), m_y.map(points[i].y)};
}

void DeviceMapper::Axis::set(std::int32_t windowOrigin, std::int32_t windowExtent,
                             std::int32_t viewportOrigin, std::int32_t viewportExtent,
                             std::int32_t limit, std::int32_t box)
{
    if (windowOrigin == m_windowOrigin && windowExtent == m_windowExtent &&
        viewportOrigin == m_viewportOrigin && viewportExtent == m_viewportExtent &&
        limit == m_limit && m_size > 0)
        return; // the table, if built, still holds
    m_windowOrigin = windowOrigin;
    m_windowExtent = windowExtent;
    m_viewportOrigin = viewportOrigin;
    m_viewportExtent = viewportExtent;
    m_limit = limit;
    m_first = 0;
    m_size = 0;
    m_device.clear();

    // The logical values whose device value lies within `reach` of the viewport origin:
    // |l - windowOrigin| * |viewportExtent| / |windowExtent| <= reach holds for
    // |l - windowOrigin| up to (reach + 1) * |windowExtent| / |viewportExtent|. The box and one
    // pixel round it are enough.
    const std::int64_t scale = std::abs(std::int64_t(viewportExtent));
    if (scale == 0 || box <= 0)
        return;
    const std::int64_t d = windowExtent == 0 ? 1 : std::abs(std::int64_t(windowExtent));
    const std::int64_t reach = std::max<std::int64_t>(std::int64_t(viewportOrigin) + 1,
                                                      std::int64_t(box) - viewportOrigin) +
                               1;
    if (reach <= 0)
        return;
    const std::int64_t half = (reach + 1) * d / scale + 1;
    if (half > std::int64_t(kMaxTableSize / 2))
        return;
    m_first = std::int64_t(windowOrigin) - half;
    m_size = std::size_t(2 * half + 1);
}

std::int32_t DeviceMapper::Axis::byRule(std::int32_t logical) const
{
    return std::clamp(Mapping::mapAxis(logical, m_windowOrigin, m_windowExtent, m_viewportOrigin,
                                       m_viewportExtent),
                      -m_limit, m_limit);
}

void DeviceMapper::Axis::buildTable()
{
    if (m_size == 0 || !m_device.empty())
        return;
    // The rule is viewportOrigin + trunc(num / d) with num = (l - windowOrigin) * scale, where
    // scale and d carry the signs of both extents so that d is positive. Keep num as floor
    // quotient f and remainder r in [0, d); each step adds scale's own floor quotient and
    // remainder, carrying one when r overflows. Truncation differs from the floor only for a
    // negative num with a remainder.
    const std::int64_t scale =
        m_windowExtent < 0 ? -std::int64_t(m_viewportExtent) : m_viewportExtent;
    const std::int64_t d = m_windowExtent == 0 ? 1 : std::abs(std::int64_t(m_windowExtent));
    const auto floorDiv = [d](std::int64_t n, std::int64_t& rest) {
        std::int64_t q = n / d;
        rest = n % d;
        if (rest < 0) {
            rest += d;
            --q;
        }
        return q;
    };
    m_device.resize(m_size);
    std::int64_t num = (m_first - m_windowOrigin) * scale;
    std::int64_t r = 0;
    std::int64_t f = floorDiv(num, r);
    std::int64_t stepRest = 0;
    const std::int64_t stepQuotient = floorDiv(scale, stepRest);
    for (std::size_t k = 0; k < m_size; ++k) {
        const std::int64_t t = f + (num < 0 && r != 0 ? 1 : 0);
        m_device[k] =
            std::int32_t(std::clamp<std::int64_t>(m_viewportOrigin + t, -m_limit, m_limit));
        num += scale;
        f += stepQuotient;
        r += stepRest;
        if (r >= d) {
            r -= d;
            ++f;
        }
    }
}
