#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "render/DrawingSurface.h"

// Maps logical points to device pixels with exactly Mapping::toDevice's results, pinned to
// [-limit, limit]. A paint maps hundreds of thousands of coordinates through one mapping, each
// needing a division or its equivalent; so once enough of them have gone through, each axis
// gets a table of the device coordinate of every logical value that lands in or near the
// device box, and those values are looked up instead. Tables are built by stepping quotient
// and remainder (whole numbers only) and are kept for the thread's next mapper with the same
// axis (the next pass, or the next paint of the same view).
class DeviceMapper
{
public:
    DeviceMapper(const Mapping& mapping, std::int32_t limit, std::int32_t boxWidth,
                 std::int32_t boxHeight);

    // out must hold points.size() points.
    void mapAll(std::span<const SurfacePoint> points, SurfacePoint* out);
    SurfacePoint map(SurfacePoint logical) const;

    // Device values of the logical values first .. first + device.size() - 1 of one axis.
    struct AxisTable
    {
        std::int64_t first = 0;
        std::vector<std::int32_t> device;
    };

    // Largest table per axis; a mapping that would need more maps by arithmetic alone.
    static constexpr std::size_t kMaxTableSize = std::size_t(1) << 16;

    struct Axis
    {
        std::int32_t windowOrigin = 0;
        std::int32_t windowExtent = 1;
        std::int32_t viewportOrigin = 0;
        std::int32_t viewportExtent = 1;
        std::int32_t limit = 0;
        friend bool operator==(const Axis&, const Axis&) = default;
    };

private:
    struct AxisState
    {
        Axis axis;
        std::int64_t tableFirst = 0;
        std::size_t tableSize = 0; // 0: this axis maps by arithmetic alone
        std::shared_ptr<const AxisTable> table;
    };

    static AxisState stateOf(const Axis& axis, std::int32_t box);
    static std::int32_t lookUp(const AxisState& s, std::int32_t logical);
    void buildTables();

    AxisState m_x;
    AxisState m_y;
    std::size_t m_mappedByArithmetic = 0;
    bool m_tablesTried = false;
};

// One axis of Mapping::toDevice, pinned to [-limit, limit], by arithmetic.
std::int32_t mapAxisPinned(const DeviceMapper::Axis& axis, std::int32_t logical);

// The table DeviceMapper builds for an axis: the mapped values of `count` logical values
// from `first` on.
DeviceMapper::AxisTable buildAxisTable(const DeviceMapper::Axis& axis, std::int64_t first,
                                       std::size_t count);
