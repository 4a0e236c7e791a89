#pragma once

#include <cstdint>
#include <span>

#include "design/Design.h"

// Decodes a whole TBF file (1,536-byte header with the colour table at 0x10A, then
// three-byte records). Either output may be null. Always true.
bool readTbf(std::span<const std::uint8_t> bytes, StitchList* list, DesignExtents* extents);
// The same run, with the summary counted in the reading pass. With a summary but no list the
// records are counted as a list would hold them (sequin ejects folded alike).
bool readTbf(std::span<const std::uint8_t> bytes, StitchList* list, DesignExtents* extents,
             DesignSummary* summary);
