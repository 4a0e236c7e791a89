#pragma once

#include <cstdint>
#include <span>

#include <QImage>

#include "design/Design.h"
#include "render/DrawingSurface.h"

struct DesignImageOptions
{
    std::int32_t width = 673;
    std::int32_t height = 451;
    // The machine's current stitch number; above 0 the main view's progress overlay shows.
    std::int32_t progress = 0;
    // Draw as the file preview does instead of as the main view.
    bool preview = false;
    // Add a band under the field with the summary line, placed as in the preview.
    bool summary = false;
    // Main view only: display colours of the colour blocks, index 0 = block 1.
    std::span<const ColorRef> blockColors;
};

// Height of the band that `summary` adds: a 10-pixel gap and the 32-pixel summary line.
inline constexpr std::int32_t kSummaryBandHeight = 42;

// The design field (white, black one-pixel border, the design) as an RGB32 image.
QImage renderDesignImage(const Design& design, const DesignImageOptions& options);
