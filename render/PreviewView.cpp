#include "render/PreviewView.h"

PreviewLayout previewLayout(std::int32_t panelWidth, std::int32_t panelHeight,
                            std::int32_t measureWidth)
{
    const std::int32_t left = panelWidth - measureWidth;
    return {{left, 35, panelWidth - 10, panelHeight - 42},
            {left, panelHeight - 32, panelWidth - 10, panelHeight}};
}

void paintPreviewArea(DrawingSurface& area, RenderTarget size, const Design& design)
{
    const Pen previous = area.pen();
    area.setPen({PenStyle::Solid, kBlack});
    area.rectangle({0, 0, size.width, size.height}, kWhite);
    area.setPen(previous);
    renderPreview(area, design.stitches, design.extents, size);
}
