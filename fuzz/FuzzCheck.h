#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "design/Design.h"
#include "design/DesignLoader.h"

// Invariants every reader run keeps, whatever the bytes: the list is consistent, and every
// stored position lies inside the extents (which hold the start point). A broken invariant
// stops the fuzzer like a crash.
inline void checkDesign(const StitchList& list, const DesignExtents& extents, bool extentsRead)
{
    if (list.count < 0 || list.count > list.capacity ||
        static_cast<std::int64_t>(list.records.size()) != list.capacity ||
        list.capacity % StitchList::kGrowStep != 0)
        __builtin_trap();
    if (extents.left > 0 || extents.right < 0 || extents.bottom > 0 || extents.top < 0)
        __builtin_trap();
    for (const Stitch& s : list.view()) {
        const std::int32_t x = truncateCoordinate(s.x);
        const std::int32_t y = truncateCoordinate(s.y);
        if (extentsRead &&
            (x < extents.left || x > extents.right || y < extents.bottom || y > extents.top))
            __builtin_trap();
        const bool saturated = x == INT32_MAX || x == INT32_MIN || y == INT32_MAX || y == INT32_MIN;
        if (!saturated && (x % 10 != 0 || y % 10 != 0))
            __builtin_trap();
    }
    DesignSummary summary;
    summarizeStitches(list, &summary);
    if (summary.stitchCount != list.count || summary.colorCount < 1)
        __builtin_trap();
    (void)summaryLine(summary);
}

using ReaderFn = bool (*)(std::span<const std::uint8_t>, StitchList*, DesignExtents*);

// One reader run on the fuzzer's bytes, checked as above; without a list the extents come out
// the same or wider (no ejects are folded away).
inline int fuzzReader(ReaderFn read, const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    StitchList list;
    DesignExtents extents;
    const bool readOk = read(bytes, &list, &extents);
    checkDesign(list, extents, readOk);
    DesignExtents alone;
    read(bytes, nullptr, &alone);
    if (readOk && (alone.left > extents.left || alone.right < extents.right ||
                   alone.bottom > extents.bottom || alone.top < extents.top))
        __builtin_trap();
    return 0;
}
