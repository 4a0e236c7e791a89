#pragma once

#include <cstdint>
#include <span>

#include <QRect>

#include "control/ViewProgress.h"
#include "design/Design.h"
#include "link/CommandPacket.h"

class QPainter;

// Paints the main window's design area and information strip from the window's state. The
// design goes to an off-screen image that reaches the window in one copy.
struct MainViewPainter
{
    const Design& design;
    std::span<const std::uint32_t> blockColors; // the colour-change sequence's display colours
    const MachineStatus& status;
    int language;
    // Whether the machine sews this design, and how far it has come.
    ProgressShown progress;

    // White field with a one-pixel black border, the whole design (pass 0) and, while the
    // machine sewing this design reports progress, the sewn part over it (pass 1).
    void paintDesign(QPainter& painter, const QRect& area) const;
    // The two lines of design information and machine state, with the share sewn and the time
    // left once they are known.
    void paintStrip(QPainter& painter, const QRect& area) const;
};
