#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "control/FleetStore.h"

// What the fleet keeps of a design file sent to a machine: its name, and the stitch and colour
// counts of the loaded design (0 when the bytes are no design its suffix names).
SentDesign describeSentDesign(const std::string& path, const std::string& fileName,
                              std::int32_t designId, std::int64_t sentAt);

// Records in the fleet file beside `configPath` that `design` went to `address`. Call it only
// once the machine acknowledged every chunk. False when the address is malformed or the file
// may not be replaced or could not be written.
bool recordSentDesign(const std::string& configPath, const std::string& address,
                      const SentDesign& design);

// CRC-32 (the zlib polynomial) of a design file's bytes as 8 lowercase hex digits.
std::string designChecksum(std::span<const std::uint8_t> bytes);

// Seconds since 1970-01-01 UTC now.
std::int64_t wallClockSeconds();
