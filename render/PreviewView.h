#pragma once

#include <cstdint>

#include "design/Design.h"
#include "render/DrawingSurface.h"
#include "render/StitchRenderer.h"

// Where the file dialog's panel shows the preview and its summary line, in the panel's client
// pixels, from the panel's client size and the client width of its hidden measuring frame.
struct PreviewLayout
{
    SurfaceRect preview; // (W - P, 35) to (W - 10, H - 42)
    SurfaceRect summary; // (W - P, H - 32) to (W - 10, H)
};

PreviewLayout previewLayout(std::int32_t panelWidth, std::int32_t panelHeight,
                            std::int32_t measureWidth);

// Draws the preview field on a surface whose origin is the field's top-left corner: white,
// black one-pixel border, and the design (if it has records) in the preview's colours. The
// summary line goes on the panel itself: drawSummaryLine into PreviewLayout::summary, only
// for a design with records.
void paintPreviewArea(DrawingSurface& area, RenderTarget size, const Design& design);
