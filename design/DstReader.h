#pragma once

#include <cstdint>
#include <span>

#include "design/Design.h"

// Decodes a whole DST file (512-byte header, then three-byte records). Either output may be
// null. Always true: a short or malformed file simply yields fewer records.
bool readDst(std::span<const std::uint8_t> bytes, StitchList* list, DesignExtents* extents);
