#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "design/Design.h"
#include "render/DrawingSurface.h"
#include "render/StitchRenderer.h"

// Where the main window paints the design and the information strip, in client pixels, from
// the client size (w, h) of the hidden measuring control.
struct MainViewLayout
{
    SurfaceRect designArea; // (170, 30) to (w + 170, h - 29)
    SurfaceRect infoStrip;  // (170, h - 19) to (w + 170, h + 11)
};

MainViewLayout mainViewLayout(std::int32_t w, std::int32_t h);

// Everything one paint of the main view shows; the window fills it from its own state.
struct MainViewState
{
    const Design* design = nullptr;
    // Display colours of the colour blocks (the colour-change sequence), index 0 = block 1.
    std::span<const ColorRef> blockColors;
    // The machine's current stitch number; above 0 the design is greyed and the sewn part
    // drawn over it in colour.
    std::int32_t currentStitch = 0;
    // The strip's design text in the chosen language: a template with four "%d" (stitches,
    // colours, height mm, width mm) whose "\r\n" starts the second line.
    std::string_view designInfoTemplate;
    // The machine-state texts of the strip's second line, ready to draw.
    std::string_view embStateText;
    std::string_view stitchNumberText;
};

// Whether the design area and the strip are drawn at all: only for a design with records.
bool hasDesignToShow(const MainViewState& state);

// The progress the renderer is given for a machine at `currentStitch`. The renderer counts a
// step for every move and for the point repeated where a line breaks, more steps than the
// design has stitches; a machine at (or past) the design's last stitch has sewn it all, so the
// whole design is coloured instead of leaving a grey tail.
std::int32_t progressSteps(const Design& design, std::int32_t currentStitch);

// Draws the design field on a surface whose origin is the field's top-left corner (the
// off-screen image that is then copied to designArea): white field, black one-pixel border,
// pass 0, and pass 1 when the current stitch number is above 0. Returns false, drawing
// nothing, when there is no design to show.
bool paintDesignArea(DrawingSurface& area, RenderTarget size, const MainViewState& state);

// Draws the information strip into `strip` on the window's surface: white, the two design
// lines, then the machine-state texts 105 pixels right and 15 down, and 160 further right.
// Returns false, drawing nothing, when there is no design to show.
bool paintInfoStrip(DrawingSurface& window, const SurfaceRect& strip, const MainViewState& state);

// The template with its four "%d" replaced by the summary's stitches, colours, height and
// width in whole millimetres; any further "%d" stays as it is.
std::string formatDesignLine(std::string_view designInfoTemplate, const DesignSummary& summary);
