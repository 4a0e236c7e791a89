#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "render/LineRaster.h"

// The pixels (0xFFRRGGBB) as an 8-bit RGB PNG file in memory; nullopt when the buffer is empty
// or too large to compress.
std::optional<std::string> encodePng(const PixelBuffer& pixels, int level = 4);
