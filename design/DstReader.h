#pragma once

#include <cstdint>
#include <span>

#include "design/Design.h"

// Decodes a whole DST file (512-byte header, then three-byte records). Either output may be
// null. Always true: a short or malformed file simply yields fewer records.
bool readDst(std::span<const std::uint8_t> bytes, StitchList* list, DesignExtents* extents);
// The same run, with the summary counted in the reading pass. With a summary but no list the
// records are counted as a list would hold them (sequin ejects folded alike).
bool readDst(std::span<const std::uint8_t> bytes, StitchList* list, DesignExtents* extents,
             DesignSummary* summary);
