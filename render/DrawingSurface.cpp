#include "render/DrawingSurface.h"

void DrawingSurface::lineStrip(std::span<const SurfacePoint> points)
{
    if (points.empty())
        return;
    moveTo(points.front());
    for (const SurfacePoint& p : points.subspan(1))
        lineTo(p);
}
