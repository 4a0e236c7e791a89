#pragma once

#include <span>
#include <string>
#include <string_view>

#include "control/FleetMonitor.h"
#include "control/JsonText.h"

// One machine as one JSON object on one line (no line end): address, name (null when the
// machine has none), online, work, embroidery, designId, stitch, design (name, stitches, colors,
// sentAt, or null), percent, stitchesPerMinute, secondsLeft, secondsSinceAnswer. Unknown values are
// null.
std::string fleetJsonLine(const FleetMachine& machine);

// One machine on one line of plain text, for logs and pipes.
std::string fleetTextLine(const FleetMachine& machine);

// A table with a heading line, one line per machine, every line ending in '\n'.
std::string fleetTable(std::span<const FleetMachine> machines);

// Whole seconds as "H:MM:SS".
std::string formatDuration(std::int64_t seconds);
