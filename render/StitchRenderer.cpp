#include "render/StitchRenderer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// How a design becomes pixels
//
// 1. Records. renderDesign takes the stored records of the StitchList in order. Each becomes a
//    point: its position rounded to whole 0.01 mm (stitchPoint), y up.
// 2. Walk. Walk::step looks at one record and puts its point on one of two pending lines: the
//    stitch line (solid) or the jump line (dash-dot-dot). A line goes to drawPath when its
//    kind or colour changes, at a sequin point, at the end, and in pieces of kPathCapacity
//    points when it is longer. Walk::addStitchRun is step() for the one case nearly every
//    record takes, a plain stitch while no jump line is pending, in a loop of its own.
// 3. drawPath chooses the pen (grey in pass 0 while there is progress to show) and hands the
//    surface the whole line as one polyline (pass 0), or as a line strip cut off where the
//    machine's current stitch number is reached (pass 1).
// 4. Mapping. designMapping fits the extents into the target: centred, y flipped, each axis
//    scaled by itself. The surface maps every logical point by Mapping::toDevice; an
//    ImageSurface does it through its DeviceMapper, which caches the results per axis.
// 5. Raster. rasterPolyline sets the pixels of each segment of the mapped line: one pixel per
//    step along the major axis, the last pixel left for the next segment, dashes running on.
// 6. Surface. ImageSurface writes into a plain pixel buffer; QPainterSurface puts one over a
//    QImage and adds text; RecordingSurface keeps the calls so that tests can read them.
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

// How the lines of one call are drawn.
struct RenderContext
{
    DrawingSurface* surface = nullptr;
    RenderPass pass = RenderPass::Whole;
    // The machine's current stitch number; 0 or less means no progress to show.
    std::int32_t currentStitch = 0;
    // The preview's way: every line one plain polyline in its own colour, no progress.
    bool plain = false;
    // Moves and lines made so far by pass 1 of this call.
    std::int32_t drawnSteps = 0;
};

// Draws one line through `points`, dash-dot-dot when `dashed`, solid otherwise.
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

// A line waiting to be drawn: its points so far, in a buffer of fixed size.
struct PendingLine
{
    std::array<SurfacePoint, kPathCapacity> path;
    std::int32_t points = 0;

    SurfacePoint last() const { return path[std::size_t(points - 1)]; }
};

// The working state of one walk. Both lines live in the walk's own stack frame: no allocation
// and no fresh pages per call.
struct RenderCursor
{
    PendingLine stitch; // solid
    PendingLine jump;   // dash-dot-dot
    std::int32_t colorIndex = 0;
    ColorRef penColor = 0;
    bool sequinSpan = false;
};

// The walk over the records. Each record moves its point onto a line by the rule of its type,
// so that stitch lines, jump lines and colour blocks break where the operator is used to
// seeing them. At most one of the two lines has points at any time.
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
        std::size_t recordIndex = 0;
        while (recordIndex < records.size()) {
            if (m_cursor.jump.points == 0 && records[recordIndex].type == StitchType::Normal) {
                recordIndex = addStitchRun(records, recordIndex);
            } else {
                step(records[recordIndex]);
                ++recordIndex;
            }
        }
        finish();
    }

private:
    // One record: its point goes onto the stitch or the jump line by the rule of its type.
    void step(const Stitch& record)
    {
        const SurfacePoint point = roundedPoint(record);
        switch (record.type) {
        case StitchType::Normal:
            stitchPoint(point);
            return;
        case StitchType::ColorChange:
            colorChange(colorIndexOf(record.color), point);
            return;
        case StitchType::SequinOn:
            m_cursor.sequinSpan = true;
            stitchPoint(point);
            return;
        case StitchType::SequinOff:
            m_cursor.sequinSpan = false;
            stitchPoint(point);
            return;
        case StitchType::Trim:
            trim(point);
            return;
        default:
            break;
        }
        if (isSequinEject(record.type) || (isJump(record.type) && m_cursor.sequinSpan))
            sequinPoint(point);
        else if (isJump(record.type))
            jump(point);
        else
            stitchPoint(point); // repeated colour changes, machine functions, any other code
    }

    // step() for plain stitches while no jump line is pending: each point goes straight onto
    // the stitch line, as many at a time as the line has room for (a full line is drawn and
    // goes on from its last point, as append does). Returns the index of the first record it
    // leaves alone.
    std::size_t addStitchRun(std::span<const Stitch> records, std::size_t index)
    {
        PendingLine& line = m_cursor.stitch;
        for (;;) {
            SurfacePoint* out = line.path.data() + line.points;
            const std::size_t room =
                std::min(std::size_t(kPathCapacity - line.points), records.size() - index);
            std::size_t k = 0;
            while (k < room && records[index + k].type == StitchType::Normal) {
                out[k] = roundedPoint(records[index + k]);
                ++k;
            }
            index += k;
            line.points += std::int32_t(k);
            if (line.points < kPathCapacity)
                return index;
            draw(line, false, kPathCapacity);
            startAt(line, line.last());
        }
    }

    // A stitch point: a pending jump line ends here, then the stitch line goes on.
    void stitchPoint(SurfacePoint point)
    {
        if (m_cursor.jump.points >= 1)
            closeAt(m_cursor.jump, true, point);
        append(m_cursor.stitch, false, point);
    }

    // A jump outside a sequin span: the jump line starts at the last stitch point.
    void jump(SurfacePoint point)
    {
        PendingLine& stitch = m_cursor.stitch;
        if (stitch.points >= 1) {
            if (stitch.points >= 2)
                draw(stitch, false, stitch.points);
            startAt(m_cursor.jump, stitch.last());
            stitch.points = 0;
        }
        append(m_cursor.jump, true, point);
    }

    // A sequin point cuts the pending line; the point then joins it as a stitch point, so a
    // solid line runs to it from the previous point.
    void sequinPoint(SurfacePoint point)
    {
        if (m_cursor.jump.points >= 1)
            breakLine(m_cursor.jump, true);
        else
            breakLine(m_cursor.stitch, false);
        stitchPoint(point);
    }

    // A trim after stitches ends the stitch line; the moves up to the next stitch are a jump
    // line. Any other trim is a jump point.
    void trim(SurfacePoint point)
    {
        if (m_cursor.jump.points < 1 && m_cursor.stitch.points >= 1) {
            closeAt(m_cursor.stitch, false, point);
            startAt(m_cursor.jump, point);
        } else {
            append(m_cursor.jump, true, point);
        }
    }

    // A change to the colour in use is a plain point. A new colour closes the pending line in
    // the old colour; the way from here to the next stitch is a jump line in the new one.
    void colorChange(int index, SurfacePoint point)
    {
        RenderCursor& c = m_cursor;
        if (index == c.colorIndex) {
            if (c.jump.points < 1)
                append(c.stitch, false, point);
            else
                append(c.jump, true, point);
            return;
        }
        if (c.stitch.points >= 1) {
            closeAt(c.stitch, false, point);
            startAt(c.jump, point);
        } else if (c.jump.points >= 1) {
            closeAt(c.jump, true, point);
            startAt(c.jump, point);
        } else {
            append(c.stitch, false, point);
        }
        c.colorIndex = index;
        c.penColor = colorOf(m_colors, index);
    }

    // What is left is drawn when it makes a line; a stitch line before a jump line.
    void finish()
    {
        if (m_cursor.stitch.points >= 2)
            draw(m_cursor.stitch, false, m_cursor.stitch.points);
        else if (m_cursor.jump.points >= 2)
            draw(m_cursor.jump, true, m_cursor.jump.points);
    }

    // Adds a point; a full line is drawn and goes on from that point as a new piece.
    void append(PendingLine& line, bool dashed, SurfacePoint point)
    {
        line.path[std::size_t(line.points++)] = point;
        if (line.points == kPathCapacity) [[unlikely]] {
            draw(line, dashed, kPathCapacity);
            startAt(line, point);
        }
    }

    // Ends the line at the point and draws it; nothing of it stays pending. There is always
    // room for the point: append starts a new piece as soon as a line is full.
    void closeAt(PendingLine& line, bool dashed, SurfacePoint point)
    {
        line.path[std::size_t(line.points)] = point;
        draw(line, dashed, line.points + 1);
        line.points = 0;
    }

    // Draws what the line has so far; its last point starts the next piece.
    void breakLine(PendingLine& line, bool dashed)
    {
        if (line.points >= 2) {
            draw(line, dashed, line.points);
            startAt(line, line.last());
        }
    }

    static void startAt(PendingLine& line, SurfacePoint point)
    {
        line.path[0] = point;
        line.points = 1;
    }

    void draw(const PendingLine& line, bool dashed, std::int32_t points)
    {
        drawPath(m_context, {line.path.data(), std::size_t(points)}, m_cursor.penColor, dashed);
    }

    RenderContext& m_context;
    std::span<const ColorRef> m_colors;
    RenderCursor m_cursor;
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
