#pragma once

#include <cstdint>
#include <span>

#include "design/Design.h"

// Decodes the record part of a DSB file (the file without its 512-byte header). Either
// output may be null. Always true.
bool readDsb(std::span<const std::uint8_t> records, StitchList* list, DesignExtents* extents);
// The same run, with the summary counted in the reading pass. With a summary but no list the
// records are counted as a list would hold them (sequin ejects folded alike).
bool readDsb(std::span<const std::uint8_t> records, StitchList* list, DesignExtents* extents,
             DesignSummary* summary);
