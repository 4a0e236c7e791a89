#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "design/Design.h"

enum class DesignFormat { Dst, Dsb, Tbf, Dsr };

// True when `path` ends in `suffix`, ASCII letters compared without case. An empty suffix
// or a path shorter than the suffix never matches.
bool hasSuffixNoCase(std::string_view path, std::string_view suffix);

// The reader for a path, from the suffixes ".dst", ".dsb", ".tbf" and ".dsr" (any case).
std::optional<DesignFormat> designFormatForPath(std::string_view path);

// One read of up to `size` bytes into `into`: the count read, 0 at the end, negative on error.
using ReadSomeFn = std::function<std::int64_t(std::uint8_t* into, std::size_t size)>;

// Reads `length` bytes through `readSome` into a zero-filled buffer. A read that returns no
// bytes ends the loop early (the source shrank) and the buffer keeps what arrived; an error
// gives nothing.
std::optional<std::vector<std::uint8_t>> readAllBytes(std::size_t length,
                                                      const ReadSomeFn& readSome);

// The whole content of a regular file, or nothing when it cannot be opened or read, or is a
// folder, FIFO or device.
std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path);

// Runs the reader of `format` on a whole file's bytes; the reader's own result.
bool readDesignBytes(DesignFormat format, std::span<const std::uint8_t> file, StitchList* list,
                     DesignExtents* extents);

// Clears the design, reads the file with the reader its suffix names and summarises it.
// False only for an unknown suffix. An unreadable file leaves an empty design; in both cases
// the extents keep their previous values.
bool loadDesign(const std::string& path, Design* design);

// Recomputes the summary from the stitch list; true when the list holds a record.
bool summarizeDesign(Design* design);
bool summarizeStitches(const StitchList& list, DesignSummary* summary);

// "S:%d  C:%d  H:%d  W:%d  SEQ-%d A-%d B-%d C-%d D-%d", heights and widths in whole mm.
std::string summaryLine(const DesignSummary& summary);
// Whole millimetres between the summary's extremes, truncated toward zero.
std::int32_t designHeightMm(const DesignSummary& summary);
std::int32_t designWidthMm(const DesignSummary& summary);
