#pragma once

#include <cstdint>
#include <span>

#include "design/Design.h"

// Decodes a whole DSR file (256-byte header, then four-byte records). A file of 256 bytes
// or less is refused: false, and neither output is touched. Either output may be null.
bool readDsr(std::span<const std::uint8_t> bytes, StitchList* list, DesignExtents* extents);
// The same run, with the summary counted in the reading pass. With a summary but no list the
// records are counted as a list would hold them (sequin ejects folded alike).
bool readDsr(std::span<const std::uint8_t> bytes, StitchList* list, DesignExtents* extents,
             DesignSummary* summary);
