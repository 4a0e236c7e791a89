#pragma once

#include <string>
#include <string_view>

#include "control/TransferAcks.h"
#include "control/ViewProgress.h"
#include "design/Design.h"
#include "link/CommandPacket.h"

// Where the strip's state texts stand, relative to the strip's rectangle: the embroidery
// state is shifted right and down, the stitch number further right on the same line.
inline constexpr int kStripStateShiftX = 105;
inline constexpr int kStripStateShiftY = 15;
inline constexpr int kStripStitchShiftX = 160;

// The texts of the information strip under the design view.
struct StateStripTexts
{
    std::string design;     // two lines: design figures, then the machine state heading
    std::string embroidery; // "Emb State:..." at the first shift
    std::string stitch;     // "Current number of needle:%d" at the second shift
};

// Design line: stitch count, colour count, height and width in whole millimetres (truncated
// toward zero), in the strip's fixed template.
std::string designInfoText(const DesignSummary& summary, int language);
// "Emb State:Emb Confirm" only for an embroidery state of exactly 1.
std::string embroideryStateText(const MachineStatus& status, int language);
std::string currentStitchText(const MachineStatus& status, int language);
// What follows the stitch number while the machine works at a known speed: the share sewn and
// the time left in whole minutes, rounded up ("  58 %  about 2 min left"); empty otherwise.
std::string progressText(const ProgressShown& progress, int language);
// "Acknowledged by the machine: k of n" for a transfer's count.
std::string transferAckText(const AckCount& count, int language);
StateStripTexts stateStripTexts(const DesignSummary& summary, const MachineStatus& status,
                                int language);

// Button 1006 names the machine's current embroidery state: "Emb Confirm" for any non-zero
// state, so a press sends the opposite command.
std::string_view embroideryButtonLabel(const MachineStatus& status, int language);
// Button 1004 names the action a press asks for: "Start Work" while the machine is idle.
std::string_view leverButtonLabel(const MachineStatus& status, int language);
