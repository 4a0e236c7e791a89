#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "design/Design.h"
#include "design/DesignLoader.h"

// Records a harness's list grows by. Fuzz inputs are small, and growing by the real step would
// zero-fill 2.4 MB for every input; fuzz_loader keeps the real step and covers that path.
inline constexpr std::int32_t kFuzzGrowStep = 64;

inline bool sameSummary(const DesignSummary& a, const DesignSummary& b)
{
    return a.stitchCount == b.stitchCount && a.colorCount == b.colorCount && a.minX == b.minX &&
           a.minY == b.minY && a.maxX == b.maxX && a.maxY == b.maxY && a.countA == b.countA &&
           a.countB == b.countB && a.countC == b.countC && a.countD == b.countD &&
           a.countSeq == b.countSeq;
}

// Invariants every reader run keeps, whatever the bytes: the list is consistent, every stored
// position lies inside the extents (which hold the start point), and the summary counted in
// the reading pass is the one a walk over the list gives. A broken invariant stops the fuzzer
// like a crash.
inline void checkDesign(const StitchList& list, const DesignExtents& extents, bool extentsRead,
                        const DesignSummary& summary)
{
    if (list.count < 0 || list.count > list.capacity ||
        static_cast<std::int64_t>(list.records.size()) != list.capacity ||
        list.capacity % list.growStep != 0)
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
    DesignSummary walked;
    summarizeStitches(list, &walked);
    if (!sameSummary(walked, summary) || summary.colorCount < 1)
        __builtin_trap();
    (void)summaryLine(summary);
}

// One reader run on the fuzzer's bytes, checked as above. Counting without a list gives the
// same summary and extents; without a list or summary the extents come out the same or wider
// (no ejects are folded away).
using ReaderFn = bool (*)(std::span<const std::uint8_t>, StitchList*, DesignExtents*,
                          DesignSummary*);

inline int fuzzReader(ReaderFn read, const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    StitchList list;
    list.growStep = kFuzzGrowStep;
    DesignExtents extents;
    // A reader that refuses its bytes leaves the summary as it was: that of no records.
    DesignSummary summary;
    summarizeStitches(list, &summary);
    const bool readOk = read(bytes, &list, &extents, &summary);
    checkDesign(list, extents, readOk, summary);

    DesignExtents counted;
    DesignSummary countedSummary;
    summarizeStitches(StitchList{}, &countedSummary);
    read(bytes, nullptr, &counted, &countedSummary);
    if (!sameSummary(countedSummary, summary) ||
        (readOk && (counted.left != extents.left || counted.right != extents.right ||
                    counted.bottom != extents.bottom || counted.top != extents.top)))
        __builtin_trap();

    DesignExtents alone;
    read(bytes, nullptr, &alone, nullptr);
    if (readOk && (alone.left > extents.left || alone.right < extents.right ||
                   alone.bottom > extents.bottom || alone.top < extents.top))
        __builtin_trap();
    return 0;
}
