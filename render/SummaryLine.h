#pragma once

#include "design/Design.h"
#include "render/DrawingSurface.h"

// Draws the one-line design summary ("S:…  C:…  H:…  W:…  SEQ-… A-… B-… C-… D-…") from the
// rectangle's top left in 15-pixel Arial, without clipping.
void drawSummaryLine(DrawingSurface& surface, const DesignSummary& summary,
                     const SurfaceRect& rect);
