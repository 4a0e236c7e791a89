#include "render/SummaryLine.h"

#include "design/DesignLoader.h"

void drawSummaryLine(DrawingSurface& surface, const DesignSummary& summary, const SurfaceRect& rect)
{
    surface.drawText(rect, summaryLine(summary), TextStyle{});
}
