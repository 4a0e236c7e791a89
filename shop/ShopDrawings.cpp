#include "shop/ShopDrawings.h"

#include <algorithm>

#include "design/DesignLoader.h"
#include "render/ImageSurface.h"
#include "render/MainView.h"
#include "render/StitchRenderer.h"
#include "shop/PngWriter.h"

namespace {

// A missing file is looked for again after this long, so a folder filled later is seen.
constexpr std::chrono::seconds kRetryMissing{30};
// The picture is redrawn when the progress has moved by a 200th of the design; finer steps
// would not show at this size and would only cost drawing time.
constexpr std::int32_t kProgressSteps = 200;
// Colour blocks are cycled through the renderer's fixed colours.
constexpr std::size_t kBlockColors = 980;

// Recorded names come from a file anyone with access may edit: a name that could leave the
// folder is not looked for.
bool plainFileName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\:") == std::string::npos && name.front() != '.';
}

std::vector<ColorRef> blockColors()
{
    const auto palette = previewPalette();
    std::vector<ColorRef> colors(kBlockColors);
    for (std::size_t i = 0; i < colors.size(); ++i)
        colors[i] = palette[i % palette.size()];
    return colors;
}

} // namespace

ShopDrawings::ShopDrawings(std::vector<std::string> folders) : m_folders(std::move(folders)) {}

std::shared_ptr<const Design> ShopDrawings::find(const SentDesign& sent) const
{
    if (!plainFileName(sent.name))
        return nullptr;
    for (const std::string& folder : m_folders) {
        const std::string path = folder + "/" + sent.name;
        if (!designFormatForPath(path) || isOversizedDesignFile(path))
            continue;
        auto design = std::make_shared<Design>();
        if (!loadDesign(path, design.get()))
            continue;
        // The count a machine goes by is the summary's, or the records' when it has none.
        const bool stitchesMatch = design->summary.stitchCount == sent.stitches ||
                                   (design->summary.stitchCount == 0 &&
                                    design->stitches.count == sent.stitches);
        if (stitchesMatch && design->summary.colorCount == sent.colors &&
            design->stitches.count > 0)
            return design;
    }
    return nullptr;
}

std::optional<std::string> ShopDrawings::png(const FleetMachine& machine)
{
    if (!machine.design)
        return std::nullopt;
    const SentDesign& sent = *machine.design;
    const auto now = std::chrono::steady_clock::now();

    std::unique_lock lock(m_mutex);
    Entry& entry = m_entries[machine.address];
    const bool same = entry.name == sent.name && entry.sentAt == sent.sentAt;
    if (!same || (!entry.design && now - entry.lookedUp >= kRetryMissing)) {
        entry = Entry{sent.name, sent.sentAt, nullptr, now, -1, {}};
        // Loading may take a while; other machines' pictures wait for it, which is rare.
        entry.design = find(sent);
    }
    if (!entry.design)
        return std::nullopt;

    // Progress counts only while the machine still reports the design sent to it.
    const std::int32_t stitches = std::max(1, sent.stitches);
    const std::int32_t current = machine.percent ? std::clamp(machine.stitch, 0, stitches) : 0;
    const auto step = static_cast<std::int32_t>(std::int64_t(current) * kProgressSteps / stitches);
    if (step == entry.drawnStep && !entry.png.empty())
        return entry.png;

    std::vector<std::uint32_t> pixels(std::size_t(kWidth) * kHeight, pixelOf(kWhite));
    const PixelBuffer buffer{pixels.data(), kWidth, kHeight, kWidth};
    {
        ImageSurface surface(buffer);
        const std::vector<ColorRef> colors = blockColors();
        MainViewState state;
        state.design = entry.design.get();
        state.blockColors = colors;
        // The drawn stitch is the step's first, so one picture serves the whole step.
        state.currentStitch =
            step == 0 ? 0 : std::max<std::int32_t>(1, std::int32_t(std::int64_t(step) * stitches /
                                                                   kProgressSteps));
        if (current >= stitches)
            state.currentStitch = stitches;
        paintDesignArea(surface, {kWidth, kHeight}, state);
    }
    auto encoded = encodePng(buffer);
    if (!encoded)
        return std::nullopt;
    entry.drawnStep = step;
    entry.png = std::move(*encoded);
    return entry.png;
}
