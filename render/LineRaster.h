#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "render/DrawingSurface.h"

// A 32-bit pixel image in memory, one std::uint32_t per pixel, rows `stride` pixels apart.
struct PixelBuffer
{
    std::uint32_t* pixels = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::ptrdiff_t stride = 0;
};

inline constexpr std::int32_t kRasterLimit = 1 << 22;

// The fixed-point slope of a segment of n >= 1 steps whose minor coordinate changes by dMinor
// (|dMinor| <= n): dMinor * 2^32 / n in double precision, truncated toward zero.
std::int64_t segmentSlope(std::int64_t dMinor, std::int64_t n);

// Draws an aliased one-pixel line through device points straight into the pixels: each
// segment from its first pixel up to, not including, its last (the next segment starts
// there), so the line's final point stays unset as with classic one-pixel lines. A dashed
// line repeats 9 on, 3 off, 3 on, 3 off, 3 on, 3 off pixels, running on across the segments.
// Work per segment is bounded by the image size, wherever the points lie; coordinates beyond
// kRasterLimit, far outside any image, are pinned to it.
void rasterPolyline(const PixelBuffer& target, std::span<const SurfacePoint> points,
                    std::uint32_t pixel, bool dashed);
