#pragma once

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

#include "design/ZeroedMemory.h"

// Record type codes. Codes 6 to 20 are sequin ejects whose device set is (code - 5);
// they have no names of their own, so a type is stored as this enum but may hold them.
enum class StitchType : std::int8_t {
    Normal = 0,
    Jump = 1,
    Jump2 = 2,
    Jump3 = 3,
    SequinOn = 4,
    SequinEject = 5, // device set 0; 6..20 carry device sets 1..15
    SequinOff = 21,
    Trim = 22,
    ColorChange = 23,
    RepeatedColorChange = 24,
    End = 32,
    DsbFunction1 = 57,
    DsbFunction2 = 58,
    DsbFunction3 = 59,
    DsbFunction4 = 62,
    DsbFunction5 = 63,
};

constexpr std::int8_t code(StitchType t)
{
    return static_cast<std::int8_t>(t);
}
constexpr bool isJump(StitchType t)
{
    return code(t) >= 1 && code(t) <= 3;
}
constexpr bool isSequinEject(StitchType t)
{
    return code(t) >= 5 && code(t) <= 20;
}
// Device set of a sequin eject (0 for code 5, 1..15 for codes 6..20).
constexpr int deviceSet(StitchType t)
{
    return code(t) - 5;
}
constexpr StitchType sequinEjectWithSet(int set)
{
    return static_cast<StitchType>(5 + set);
}

// The type of a sequin eject after its n-th folded follow-up (n >= 1): device set n + 1,
// capped at 15; from 16 follow-ups on, device set 0.
constexpr StitchType foldedEjectType(int n)
{
    if (n <= 13)
        return sequinEjectWithSet(n + 1);
    return n <= 15 ? sequinEjectWithSet(15) : StitchType::SequinEject;
}

// One record: absolute position in 0.01 mm, y up.
struct Stitch
{
    double x = 0.0;
    double y = 0.0;
    StitchType type = StitchType::Normal;
    std::int16_t color = 0;
};

// Hands out storage that is already zero, so value-initialising records costs nothing: a
// large list's fresh pages are neither written twice nor touched before use, and come as huge
// pages where the system has them. The all-zero bit pattern is exactly a default `Stitch`.
template <class T> struct ZeroFilledAllocator
{
    using value_type = T;

    ZeroFilledAllocator() = default;
    template <class U> ZeroFilledAllocator(const ZeroFilledAllocator<U>&) noexcept {}

    T* allocate(std::size_t n)
    {
        if (n > SIZE_MAX / sizeof(T))
            throw std::bad_alloc();
        void* p = allocateZeroed(n * sizeof(T));
        if (p == nullptr)
            throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t n) noexcept { releaseZeroed(p, n * sizeof(T)); }

    // Value-initialisation: the slot is zero already (storage is never shrunk and reused).
    template <class U> void construct(U*) noexcept {}
    template <class U, class... Args> void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    template <class U> bool operator==(const ZeroFilledAllocator<U>&) const noexcept
    {
        return true;
    }
};

// Growable record array. Storage grows in steps of `growStep` zero-filled records;
// `records.size()` is the capacity and is 0 exactly when there is no storage.
static_assert(std::is_trivially_copyable_v<Stitch>);

struct StitchList
{
    static constexpr std::int32_t kGrowStep = 102400;
    // The largest capacity that keeps `capacity` and `count` inside int32.
    static constexpr std::int32_t kMaxCapacity = (INT32_MAX / kGrowStep) * kGrowStep;

    std::int32_t capacity = 0;
    std::int32_t count = 0;
    std::vector<Stitch, ZeroFilledAllocator<Stitch>> records;
    // Growth beyond this fails as if memory ran out; callers may lower it to bound memory.
    std::int32_t capacityLimit = kMaxCapacity;
    // Records added per growth; a harness that runs many tiny inputs lowers it.
    std::int32_t growStep = kGrowStep;

    std::span<const Stitch> view() const
    {
        return {records.data(), static_cast<std::size_t>(count)};
    }
};

// Bounding rectangle in 0.01 mm, y up; starts at (0,0,0,0) so it always holds the start point.
struct DesignExtents
{
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

struct DesignSummary
{
    std::int32_t stitchCount = 0;
    std::int32_t colorCount = 0;
    std::int32_t minX = 0;
    std::int32_t minY = 0;
    std::int32_t maxX = 0;
    std::int32_t maxY = 0;
    std::int32_t countA = 0;
    std::int32_t countB = 0;
    std::int32_t countC = 0;
    std::int32_t countD = 0;
    std::int32_t countSeq = 0;
};

struct Design
{
    StitchList stitches;
    DesignExtents extents;
    DesignSummary summary;
};

// Adds kGrowStep zero-filled slots; false (list unchanged) when storage cannot grow.
bool growStitches(StitchList* list);
// Makes room for `more` records beyond `count` in one step, so a reader that knows its
// record bound never reallocates. Best effort: on failure the list is unchanged.
void reserveStitches(StitchList* list, std::int64_t more);

// Copies the record into the next slot, growing storage as needed. Returns whether the
// record was stored; when storage cannot grow, nothing changes and the result is false.
inline bool appendStitch(StitchList* list, const Stitch& record)
{
    if (list == nullptr)
        return false;
    if (list->count >= list->capacity && !growStitches(list))
        return false;
    list->records[static_cast<std::size_t>(list->count)] = record;
    ++list->count;
    return true;
}

void clearStitches(StitchList* list);
// Folds a short sequin eject into the previous eject record; true when the caller must skip it.
bool mergeSequinEject(StitchList* list, int* followUpCount);
void extendExtents(DesignExtents* extents, const Stitch& record);
// A coordinate truncated toward zero, saturated to the int32 range (NaN gives 0), so that
// far-flung positions of hostile files never overflow a conversion.
std::int32_t truncateCoordinate(double value);
