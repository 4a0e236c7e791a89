#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "render/DrawingSurface.h"

// Maps logical points to device pixels: Mapping::toDevice, pinned to [-limit, limit]. That rule
// costs a 64-bit division per coordinate and a paint maps millions of them, so each axis keeps
// a table of the rule's results for the logical values that land in or near the device box.
// The table is a cache: it is built (by stepping, without divisions) once as many coordinates
// have gone through the rule as would pay for it, serves every later point of the same axis,
// survives a change of mapping that leaves its axis alone (pass 0 and pass 1 of one paint), and
// hands anything outside it back to the rule.
class DeviceMapper
{
public:
    // `boxWidth` and `boxHeight` are the device area the tables cover (the image size).
    DeviceMapper(std::int32_t limit, std::int32_t boxWidth, std::int32_t boxHeight);

    void setMapping(const Mapping& mapping);
    const Mapping& mapping() const { return m_mapping; }

    SurfacePoint map(SurfacePoint logical) const;
    // out must hold points.size() points.
    void mapAll(std::span<const SurfacePoint> points, SurfacePoint* out);

    // Largest table per axis; a mapping that would need more maps by the rule alone.
    static constexpr std::size_t kMaxTableSize = std::size_t(1) << 16;

private:
    class Axis
    {
    public:
        void set(std::int32_t windowOrigin, std::int32_t windowExtent, std::int32_t viewportOrigin,
                 std::int32_t viewportExtent, std::int32_t limit, std::int32_t box);
        std::int32_t byRule(std::int32_t logical) const;
        std::int32_t map(std::int32_t logical) const
        {
            const std::uint64_t at = std::uint64_t(std::int64_t(logical) - m_first);
            if (at < m_device.size()) [[likely]]
                return m_device[std::size_t(at)];
            return byRule(logical);
        }
        bool hasTable() const { return !m_device.empty(); }
        std::size_t wantedSize() const { return m_size; }
        void buildTable();

    private:
        std::int32_t m_windowOrigin = 0;
        std::int32_t m_windowExtent = 1;
        std::int32_t m_viewportOrigin = 0;
        std::int32_t m_viewportExtent = 1;
        std::int32_t m_limit = 0;
        // The logical values the table covers: m_first .. m_first + m_size - 1.
        std::int64_t m_first = 0;
        std::size_t m_size = 0; // 0: this axis maps by the rule alone
        std::vector<std::int32_t> m_device;
    };

    Mapping m_mapping;
    std::int32_t m_limit;
    std::int32_t m_boxWidth;
    std::int32_t m_boxHeight;
    Axis m_x;
    Axis m_y;
    std::size_t m_mappedByRule = 0;
};
