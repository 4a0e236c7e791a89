#include "render/MainView.h"

#include <array>
#include <limits>

namespace {

constexpr std::int32_t kAreaLeft = 170;
constexpr std::int32_t kAreaTop = 30;

SurfaceRect shifted(SurfaceRect r, std::int32_t dx, std::int32_t dy)
{
    return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

} // namespace

MainViewLayout mainViewLayout(std::int32_t w, std::int32_t h)
{
    return {{kAreaLeft, kAreaTop, w + kAreaLeft, h - 29},
            {kAreaLeft, h - 19, w + kAreaLeft, h + 11}};
}

bool hasDesignToShow(const MainViewState& state)
{
    return state.design != nullptr && state.design->stitches.count > 0 &&
           !state.design->stitches.records.empty();
}

std::int32_t progressSteps(const Design& design, std::int32_t currentStitch)
{
    // The stitches a machine counts: the summary's, or the records when there is no summary.
    const std::int32_t stitches =
        design.summary.stitchCount > 0 ? design.summary.stitchCount : design.stitches.count;
    if (currentStitch > 0 && stitches > 0 && currentStitch >= stitches)
        return std::numeric_limits<std::int32_t>::max();
    return currentStitch;
}

bool paintDesignArea(DrawingSurface& area, RenderTarget size, const MainViewState& state)
{
    if (!hasDesignToShow(state))
        return false;
    const Pen previous = area.pen();
    area.setPen({PenStyle::Solid, kBlack});
    area.rectangle({0, 0, size.width, size.height}, kWhite);
    area.setPen(previous);

    const Design& design = *state.design;
    const std::int32_t steps = progressSteps(design, state.currentStitch);
    renderDesign(RenderPass::Whole, area, state.blockColors, design.stitches, design.extents, size,
                 steps);
    if (steps > 0)
        renderDesign(RenderPass::Progress, area, state.blockColors, design.stitches, design.extents,
                     size, steps);
    return true;
}

bool paintInfoStrip(DrawingSurface& window, const SurfaceRect& strip, const MainViewState& state)
{
    if (!hasDesignToShow(state))
        return false;
    const TextStyle style;
    window.fillRect(strip, kWhite);
    window.drawText(strip, formatDesignLine(state.designInfoTemplate, state.design->summary),
                    style);
    SurfaceRect r = shifted(strip, 105, 15);
    window.drawText(r, state.embStateText, style);
    r = shifted(r, 160, 0);
    window.drawText(r, state.stitchNumberText, style);
    return true;
}

std::string formatDesignLine(std::string_view designInfoTemplate, const DesignSummary& summary)
{
    const std::array<long long, 4> values = {
        summary.stitchCount,
        summary.colorCount,
        (static_cast<long long>(summary.maxY) - summary.minY) / 100,
        (static_cast<long long>(summary.maxX) - summary.minX) / 100,
    };
    std::string out;
    out.reserve(designInfoTemplate.size() + 40);
    std::size_t next = 0;
    for (std::size_t i = 0; i < designInfoTemplate.size(); ++i) {
        if (next < values.size() && designInfoTemplate[i] == '%' &&
            i + 1 < designInfoTemplate.size() && designInfoTemplate[i + 1] == 'd') {
            out += std::to_string(values[next++]);
            ++i;
        } else {
            out += designInfoTemplate[i];
        }
    }
    return out;
}
