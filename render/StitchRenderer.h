#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "design/Design.h"
#include "render/DrawingSurface.h"

// Pass 0 draws the whole design (grey while there is progress to show); pass 1 draws over it,
// in colour, as far as the machine's current stitch number reaches.
enum class RenderPass : int { Whole = 0, Progress = 1 };

// Only the size of the target rectangle matters: the surface's origin is its top-left corner.
struct RenderTarget
{
    std::int32_t width = 0;
    std::int32_t height = 0;
};

inline constexpr std::int32_t kPathCapacity = 10000;
inline constexpr int kRenderColorCount = 20;
inline constexpr ColorRef kProgressGrey = 0xBEBEBE;
// Colour of a block whose index the colour source does not cover; the sequence's own
// start-up colour, so a short source looks like an untouched sequence.
inline constexpr ColorRef kUnsetBlockColor = 0x0000FF;
inline constexpr ColorRef kPreviewFirstColor = 0x3300FF;

// Working state of one drawing walk over a stitch list.
struct RenderCursor
{
    std::int32_t stitchPoints = 0;
    std::int32_t jumpPoints = 0;
    std::int32_t colorIndex = 0;
    ColorRef penColor = 0;
    std::int32_t recordIndex = 0;
    bool sequinSpan = false;
    std::int32_t state = 2;
    // Fixed buffers in the walk's own stack frame: no allocation and no fresh pages per call.
    std::array<SurfacePoint, kPathCapacity> stitchPath;
    std::array<SurfacePoint, kPathCapacity> jumpPath;
    const Stitch* current = nullptr;
};

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
              bool dashed);

// The mapping that fits `extents` (0.01 mm, y up) into the target: centred, y flipped, the
// larger side of the extents spanning the target's size less 5 pixels on each axis.
Mapping designMapping(const DesignExtents& extents, RenderTarget target);

// A record's position in whole 0.01 mm, rounded half away from zero.
SurfacePoint stitchPoint(const Stitch& record);

// Colour index of a colour block number: (number - 1) modulo 20, always 0 to 19.
int colorIndexOf(std::int32_t colorNumber);

// Draws the stitch list into the target on `surface`. `blockColors[k]` is the display colour
// of index k (0 to 19). The surface's mapping is restored afterwards. Returns the number of
// moves and lines that pass 1 drew (0 for pass 0).
std::int32_t renderDesign(RenderPass pass, DrawingSurface& surface,
                          std::span<const ColorRef> blockColors, const StitchList& list,
                          const DesignExtents& extents, RenderTarget target,
                          std::int32_t currentStitch);

// The file preview's drawing: one plain pass in the preview colours, the first block 0x3300FF.
void renderPreview(DrawingSurface& surface, const StitchList& list, const DesignExtents& extents,
                   RenderTarget target);

// The preview's fixed colours for indices 0 to 19.
std::span<const ColorRef, kRenderColorCount> previewPalette();
