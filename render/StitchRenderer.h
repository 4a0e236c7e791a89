#pragma once

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

// Points a pending line holds; a longer line is drawn in pieces that join up.
inline constexpr std::int32_t kPathCapacity = 10000;
inline constexpr int kRenderColorCount = 20;
inline constexpr ColorRef kProgressGrey = 0xBEBEBE;
// Colour of a block whose index the colour source does not cover; the sequence's own
// start-up colour, so a short source looks like an untouched sequence.
inline constexpr ColorRef kUnsetBlockColor = 0x0000FF;
inline constexpr ColorRef kPreviewFirstColor = 0x3300FF;

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
