#include "render/StitchRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::array<ColorRef, kRenderColorCount> kPreviewPalette = {
    0x0000FF, 0x00FFFF, 0x3300FF, 0x00FF66, 0x0099FF, 0x000099, 0x0033FF,
    0x000033, 0x00FFFF, 0x0000FF, 0x3300FF, 0x6600CC, 0x0000FF, 0x0000FF,
    0x0000FF, 0x0000FF, 0x0000FF, 0x0000FF, 0x0000FF, 0x0000FF,
};

std::int32_t clampToInt32(std::int64_t v)
{
    return std::int32_t(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

std::int32_t roundCoordinate(double v)
{
    // Rounds half away from zero; values no 32-bit point can hold are pinned to its range.
    if (v > -2147483648.0 && v < 2147483647.0) [[likely]]
        return std::int32_t(v + std::copysign(0.5, v)); // no branch on the sign
    if (std::isnan(v))
        return 0;
    return v > 0 ? INT32_MAX : INT32_MIN;
}

// stitchPoint for both coordinates at once: the same sum x + copysign(0.5, x) and the same
// truncation, two lanes wide. The conversion gives INT32_MIN for anything it cannot hold (and
// for NaN); such records, and a true INT32_MIN, take the scalar way with its pinning.
inline SurfacePoint roundedPoint(const Stitch& record)
{
#if defined(__SSE2__)
    static_assert(offsetof(Stitch, y) == offsetof(Stitch, x) + sizeof(double));
    const __m128d v = _mm_loadu_pd(&record.x);
    const __m128d half = _mm_or_pd(_mm_and_pd(v, _mm_set1_pd(-0.0)), _mm_set1_pd(0.5));
    const __m128i q = _mm_cvttpd_epi32(_mm_add_pd(v, half));
    // The two results sit in the low 64 bits; the high lanes are zero.
    if ((_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(q, _mm_set1_epi32(INT32_MIN)))) & 3) == 0)
        [[likely]] {
        SurfacePoint p;
        static_assert(sizeof(SurfacePoint) == 8);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(&p), q);
        return p;
    }
#endif
    return stitchPoint(record);
}

ColorRef colorOf(std::span<const ColorRef> colors, int index)
{
    return index >= 0 && std::size_t(index) < colors.size() ? colors[std::size_t(index)]
                                                            : kUnsetBlockColor;
}

// The walk over the records: states and moves exactly as the drawing is defined, so that
// stitch lines, jump lines and colour blocks break where the operator is used to seeing them.
class Walk
{
public:
    Walk(RenderContext& context, std::span<const ColorRef> colors, ColorRef firstColor)
        : m_context(context), m_colors(colors)
    {
        m_cursor.penColor = firstColor;
    }

    void run(std::span<const Stitch> records)
    {
        RenderCursor& c = m_cursor;
        const std::int32_t count = std::int32_t(records.size());
        SurfacePoint point;
        StitchType type = StitchType::Normal;
        for (;;) {
            switch (c.state) {
            case 2: // fetch
                if (c.jumpPoints < 1)
                    addStitchRun(records);
                if (c.recordIndex < count) {
                    c.current = &records[std::size_t(c.recordIndex)];
                    point = roundedPoint(*c.current);
                    type = c.current->type;
                    c.state = 3;
                } else {
                    c.state = 49;
                }
                break;
            case 3: // dispatch
                c.state = type == StitchType::Normal ? 4 : 10;
                break;
            case 4: // stitch point
                c.state = c.jumpPoints < 1 ? 7 : 5;
                break;
            case 5: // close jump
                c.jumpPath[std::size_t(c.jumpPoints)] = point;
                flushJumps(c.jumpPoints + 1);
                c.jumpPoints = 0;
                c.state = 7;
                break;
            case 7: // add stitch
                c.stitchPath[std::size_t(c.stitchPoints++)] = point;
                if (c.stitchPoints == kPathCapacity) {
                    flushStitches(kPathCapacity);
                    c.stitchPath[0] = point;
                    c.stitchPoints = 1;
                }
                ++c.recordIndex;
                c.state = 2;
                break;
            case 10: // classify
                if (type == StitchType::ColorChange) {
                    classifyColorChange(colorIndexOf(c.current->color));
                } else if (type == StitchType::SequinOn) {
                    c.sequinSpan = true;
                    c.state = 4;
                } else if (type == StitchType::SequinOff) {
                    c.sequinSpan = false;
                    c.state = 4;
                } else {
                    c.state = 27;
                }
                break;
            case 13: // add jump
                c.jumpPath[std::size_t(c.jumpPoints++)] = point;
                if (c.jumpPoints == kPathCapacity) {
                    flushJumps(kPathCapacity);
                    c.jumpPath[0] = point;
                    c.jumpPoints = 1;
                }
                ++c.recordIndex;
                c.state = 2;
                break;
            case 18: // colour after jumps: the old colour closes the jump line
                c.jumpPath[std::size_t(c.jumpPoints)] = point;
                flushJumps(c.jumpPoints + 1);
                c.jumpPath[0] = point;
                c.jumpPoints = 1;
                takeColor(m_pendingIndex);
                ++c.recordIndex;
                c.state = 2;
                break;
            case 21: // colour after stitches: the way on is a jump line in the new colour
                c.stitchPath[std::size_t(c.stitchPoints)] = point;
                flushStitches(c.stitchPoints + 1);
                c.stitchPoints = 0;
                c.jumpPath[0] = point;
                c.jumpPoints = 1;
                takeColor(m_pendingIndex);
                ++c.recordIndex;
                c.state = 2;
                break;
            case 27: // special
                if (type == StitchType::Trim) {
                    if (c.jumpPoints < 1 && c.stitchPoints >= 1) {
                        c.stitchPath[std::size_t(c.stitchPoints)] = point;
                        flushStitches(c.stitchPoints + 1);
                        c.stitchPoints = 0;
                        c.jumpPath[0] = point;
                        c.jumpPoints = 1;
                        ++c.recordIndex;
                        c.state = 2;
                    } else {
                        c.state = 13;
                    }
                } else if (isSequinEject(type)) {
                    c.state = 33;
                } else {
                    c.state = 43;
                }
                break;
            case 33: // sequin point
                if (c.jumpPoints < 1) {
                    c.state = 38;
                    break;
                }
                if (c.jumpPoints >= 2) {
                    flushJumps(c.jumpPoints);
                    c.jumpPath[0] = c.jumpPath[std::size_t(c.jumpPoints - 1)];
                    c.jumpPoints = 1;
                }
                c.state = 5;
                break;
            case 38: // break stitches: the sequin point starts a new piece of the line
                if (c.stitchPoints >= 2) {
                    flushStitches(c.stitchPoints);
                    c.stitchPath[0] = c.stitchPath[std::size_t(c.stitchPoints - 1)];
                    c.stitchPoints = 1;
                }
                c.state = 7;
                break;
            case 43: // jump or other
                if (isJump(type)) {
                    if (c.sequinSpan) {
                        c.state = 33;
                        break;
                    }
                    if (c.stitchPoints >= 1) {
                        if (c.stitchPoints >= 2)
                            flushStitches(c.stitchPoints);
                        c.jumpPath[0] = c.stitchPath[std::size_t(c.stitchPoints - 1)];
                        c.stitchPoints = 0;
                        c.jumpPoints = 1;
                    }
                    c.state = 13;
                } else {
                    c.state = 4;
                }
                break;
            case 49: // finish
                if (c.stitchPoints >= 2)
                    flushStitches(c.stitchPoints);
                else if (c.jumpPoints >= 2)
                    flushJumps(c.jumpPoints);
                return;
            default:
                return;
            }
        }
    }

private:
    // States 2, 3, 4 and 7 for a run of Normal records while no jump line is pending: each
    // point goes straight onto the stitch line. This is where nearly all records pass, so it
    // keeps the counters in registers instead of going round the state loop per record.
    void addStitchRun(std::span<const Stitch> records)
    {
        RenderCursor& c = m_cursor;
        const std::size_t count = records.size();
        std::size_t index = std::size_t(c.recordIndex);
        std::int32_t points = c.stitchPoints;
        SurfacePoint* path = c.stitchPath.data();
        while (index < count && records[index].type == StitchType::Normal) {
            // Large designs stream from memory; ask for the records a little ahead.
            __builtin_prefetch(records.data() + std::min(index + 64, count - 1));
            const SurfacePoint point = roundedPoint(records[index]);
            path[points++] = point;
            ++index;
            if (points == kPathCapacity) {
                c.stitchPoints = points;
                flushStitches(kPathCapacity);
                path[0] = point;
                points = 1;
            }
        }
        c.stitchPoints = points;
        c.recordIndex = std::int32_t(index);
    }

    void classifyColorChange(int index)
    {
        RenderCursor& c = m_cursor;
        m_pendingIndex = index;
        if (index == c.colorIndex) {
            c.state = c.jumpPoints < 1 ? 7 : 13;
        } else if (c.stitchPoints >= 1) {
            c.state = 21;
        } else if (c.jumpPoints >= 1) {
            c.state = 18;
        } else {
            takeColor(index);
            c.state = 7;
        }
    }

    void takeColor(int index)
    {
        m_cursor.colorIndex = index;
        m_cursor.penColor = colorOf(m_colors, index);
    }

    void flushStitches(std::int32_t n)
    {
        drawPath(m_context, {m_cursor.stitchPath.data(), std::size_t(n)}, m_cursor.penColor, false);
    }

    void flushJumps(std::int32_t n)
    {
        drawPath(m_context, {m_cursor.jumpPath.data(), std::size_t(n)}, m_cursor.penColor, true);
    }

    RenderContext& m_context;
    std::span<const ColorRef> m_colors;
    RenderCursor m_cursor;
    int m_pendingIndex = 0;
};

std::span<const Stitch> storedRecords(const StitchList& list)
{
    // Never trust the count beyond the storage that backs it.
    const std::size_t count =
        std::min(std::size_t(std::max<std::int32_t>(list.count, 0)), list.records.size());
    return {list.records.data(), count};
}

void walkDesign(RenderContext& context, std::span<const ColorRef> colors, ColorRef firstColor,
                const StitchList& list, const DesignExtents& extents, RenderTarget target)
{
    const std::span<const Stitch> records = storedRecords(list);
    if (records.empty())
        return;
    DrawingSurface& surface = *context.surface;
    const Mapping saved = surface.mapping();
    surface.setMapping(designMapping(extents, target));
    Walk(context, colors, firstColor).run(records);
    surface.setMapping(saved);
}

} // namespace

void drawPath(RenderContext& context, std::span<const SurfacePoint> points, ColorRef color,
              bool dashed)
{
    DrawingSurface& surface = *context.surface;
    if (!context.plain && context.pass == RenderPass::Whole && context.currentStitch > 0)
        color = kProgressGrey;
    const Pen previous = surface.pen();
    surface.setPen({dashed ? PenStyle::DashDotDot : PenStyle::Solid, color});
    if (context.plain || context.pass == RenderPass::Whole) {
        surface.polyline(points);
    } else {
        // Every move and line counts one step; once the steps reach the stitch number the
        // rest is skipped, so what is drawn is always a leading part of the line.
        const std::int64_t room = std::int64_t(context.currentStitch) - context.drawnSteps;
        const std::size_t n =
            room <= 0 ? 0 : std::min(points.size(), std::size_t(std::uint64_t(room)));
        if (n > 0)
            surface.lineStrip(points.first(n));
        context.drawnSteps += std::int32_t(n);
    }
    surface.setPen(previous);
}

Mapping designMapping(const DesignExtents& extents, RenderTarget target)
{
    const std::int64_t width = std::abs(std::int64_t(extents.right) - extents.left);
    const std::int64_t height = std::abs(std::int64_t(extents.bottom) - extents.top);
    // A design whose points all coincide has no size; scale 1 keeps the division defined.
    std::int64_t side = std::max(width, height);
    if (side == 0)
        side = 1;
    side = std::min<std::int64_t>(side, INT32_MAX);

    Mapping m;
    m.viewportOrigin = {target.width / 2, target.height / 2};
    m.windowOrigin = {clampToInt32((std::int64_t(extents.left) + extents.right) / 2),
                      clampToInt32((std::int64_t(extents.top) + extents.bottom) / 2)};
    m.viewportExtent = {clampToInt32(std::int64_t(target.width) - 5),
                        clampToInt32(std::int64_t(target.height) - 5)};
    m.windowExtent = {std::int32_t(side), std::int32_t(-side)};
    return m;
}

SurfacePoint stitchPoint(const Stitch& record)
{
    return {roundCoordinate(record.x), roundCoordinate(record.y)};
}

int colorIndexOf(std::int32_t colorNumber)
{
    // A plain remainder would go negative for numbers below 1 and index outside the colours.
    const int r = int((std::int64_t(colorNumber) - 1) % kRenderColorCount);
    return r < 0 ? r + kRenderColorCount : r;
}

std::int32_t renderDesign(RenderPass pass, DrawingSurface& surface,
                          std::span<const ColorRef> blockColors, const StitchList& list,
                          const DesignExtents& extents, RenderTarget target,
                          std::int32_t currentStitch)
{
    RenderContext context;
    context.surface = &surface;
    context.pass = pass;
    context.currentStitch = currentStitch;
    walkDesign(context, blockColors, colorOf(blockColors, 0), list, extents, target);
    return context.drawnSteps;
}

void renderPreview(DrawingSurface& surface, const StitchList& list, const DesignExtents& extents,
                   RenderTarget target)
{
    RenderContext context;
    context.surface = &surface;
    context.plain = true;
    walkDesign(context, kPreviewPalette, kPreviewFirstColor, list, extents, target);
}

std::span<const ColorRef, kRenderColorCount> previewPalette()
{
    return kPreviewPalette;
}
