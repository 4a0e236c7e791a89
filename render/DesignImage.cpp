#include "render/DesignImage.h"

#include <algorithm>

#include "render/MainView.h"
#include "render/PreviewView.h"
#include "render/QPainterSurface.h"
#include "render/StitchRenderer.h"
#include "render/SummaryLine.h"

QImage renderDesignImage(const Design& design, const DesignImageOptions& options)
{
    const std::int32_t width = std::max(options.width, 1);
    const std::int32_t height = std::max(options.height, 1);
    const std::int32_t band = options.summary ? kSummaryBandHeight : 0;
    QImage image(width, height + band, QImage::Format_RGB32);
    image.fill(Qt::white);

    QPainterSurface surface(image);
    const RenderTarget target{width, height};
    MainViewState state;
    state.design = &design;
    state.blockColors = options.blockColors;
    state.currentStitch = options.progress;
    if (options.preview) {
        paintPreviewArea(surface, target, design);
    } else if (!paintDesignArea(surface, target, state)) {
        surface.setPen({PenStyle::Solid, kBlack});
        surface.rectangle({0, 0, width, height}, kWhite);
    }
    if (options.summary && hasDesignToShow(state))
        drawSummaryLine(surface, design.summary, {0, height + 10, width - 10, height + band});
    surface.flush();
    return image;
}
