#pragma once

#include <cstdint>
#include <span>

#include "design/Design.h"

// Decodes a whole TBF file (1,536-byte header with the colour table at 0x10A, then
// three-byte records). Either output may be null. Always true.
bool readTbf(std::span<const std::uint8_t> bytes, StitchList* list, DesignExtents* extents);
