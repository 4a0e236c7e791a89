#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "design/Design.h"

enum class DesignFormat { Dst, Dsb, Tbf, Dsr };

// The largest design file the loader reads: the most any machine takes. Anything larger could
// never be sewn, and is refused before a byte of it is read.
inline constexpr std::uint64_t kMaxDesignFileBytes = 40'960'000;

// Storage that is left uninitialised when it grows: file bytes are overwritten by the read
// anyway, so zero-filling them first would touch every page twice.
template <class T> struct UninitializedAllocator : std::allocator<T>
{
    using value_type = T;
    UninitializedAllocator() = default;
    template <class U> UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
    template <class U> struct rebind
    {
        using other = UninitializedAllocator<U>;
    };
    template <class U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <class U, class... Args> void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

using FileBytes = std::vector<std::uint8_t, UninitializedAllocator<std::uint8_t>>;

// True when `path` ends in `suffix`, ASCII letters compared without case. An empty suffix
// or a path shorter than the suffix never matches.
bool hasSuffixNoCase(std::string_view path, std::string_view suffix);

// The reader for a path, from the suffixes ".dst", ".dsb", ".tbf" and ".dsr" (any case).
std::optional<DesignFormat> designFormatForPath(std::string_view path);

// One read of up to `size` bytes into `into`: the count read, 0 at the end, negative on error.
using ReadSomeFn = std::function<std::int64_t(std::uint8_t* into, std::size_t size)>;

// Reads `length` bytes through `readSome` into a buffer. A read that returns no bytes ends the
// loop early (the source shrank) and the buffer keeps what arrived; an error gives nothing.
std::optional<FileBytes> readAllBytes(std::size_t length, const ReadSomeFn& readSome);

// The whole content of a regular file, or nothing when it cannot be opened or read, is a
// folder, FIFO or device, or is larger than kMaxDesignFileBytes (refused before reading).
std::optional<FileBytes> readWholeFile(const std::string& path);

// True when `path` is a regular file larger than kMaxDesignFileBytes, so that a caller can
// tell a refused file from an unreadable one.
bool isOversizedDesignFile(const std::string& path);

// Runs the reader of `format` on a whole file's bytes; the reader's own result.
bool readDesignBytes(DesignFormat format, std::span<const std::uint8_t> file, StitchList* list,
                     DesignExtents* extents);
// The same, with the summary counted in the reading pass; without a list only the summary and
// the extents come out, exactly as they would with one. The summary is written even when the
// reader refuses the bytes (then empty).
bool readDesignBytes(DesignFormat format, std::span<const std::uint8_t> file, StitchList* list,
                     DesignExtents* extents, DesignSummary* summary);

// Clears the design, reads the file with the reader its suffix names and summarises it in the
// same pass. False only for an unknown suffix. An unreadable or refused file leaves an empty
// design; in both cases the extents keep their previous values.
bool loadDesign(const std::string& path, Design* design);

// Recomputes the summary from the stitch list; true when the list holds a record.
bool summarizeDesign(Design* design);
bool summarizeStitches(const StitchList& list, DesignSummary* summary);

// "S:%d  C:%d  H:%d  W:%d  SEQ-%d A-%d B-%d C-%d D-%d", heights and widths in whole mm.
std::string summaryLine(const DesignSummary& summary);
// Whole millimetres between the summary's extremes, truncated toward zero.
std::int32_t designHeightMm(const DesignSummary& summary);
std::int32_t designWidthMm(const DesignSummary& summary);
