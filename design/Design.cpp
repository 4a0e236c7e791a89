#include "design/Design.h"

#include <cmath>
#include <new>
#include <stdexcept>

namespace {

std::int64_t growStepOf(const StitchList& list)
{
    return list.growStep > 0 ? list.growStep : StitchList::kGrowStep;
}

bool resizeStorage(StitchList* list, std::int64_t newCapacity)
{
    if (newCapacity > list->capacityLimit || newCapacity > StitchList::kMaxCapacity ||
        newCapacity <= 0)
        return false;
    try {
        // An exact reserve keeps memory at the list's own size instead of the vector's
        // geometric growth; resize() keeps the stored records and zero-fills the new tail.
        list->records.reserve(static_cast<std::size_t>(newCapacity));
        list->records.resize(static_cast<std::size_t>(newCapacity));
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    list->capacity = static_cast<std::int32_t>(newCapacity);
    return true;
}

} // namespace

bool growStitches(StitchList* list)
{
    if (list == nullptr)
        return false;
    return resizeStorage(list, std::int64_t{list->capacity} + growStepOf(*list));
}

void reserveStitches(StitchList* list, std::int64_t more)
{
    if (list == nullptr || more <= 0)
        return;
    const std::int64_t step = growStepOf(*list);
    std::int64_t wanted = (std::int64_t{list->count} + more + step - 1) / step * step;
    if (wanted > list->capacityLimit)
        wanted = list->capacityLimit / step * step;
    if (wanted > list->capacity)
        resizeStorage(list, wanted);
}

void clearStitches(StitchList* list)
{
    if (list == nullptr)
        return;
    decltype(list->records)().swap(list->records);
    list->capacity = 0;
    list->count = 0;
}

bool mergeSequinEject(StitchList* list, int* followUpCount)
{
    if (list == nullptr || list->count == 0)
        return false;
    Stitch& last = list->records[static_cast<std::size_t>(list->count - 1)];
    if (!isSequinEject(last.type))
        return false;
    // Saturates so that an endless run of follow-ups cannot overflow the counter.
    if (*followUpCount < 16)
        ++*followUpCount;
    last.type = foldedEjectType(*followUpCount);
    return true;
}

std::int32_t truncateCoordinate(double value)
{
    if (!(value == value))
        return 0;
    if (value >= 2147483647.0)
        return INT32_MAX;
    if (value <= -2147483648.0)
        return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

void extendExtents(DesignExtents* extents, const Stitch& record)
{
    if (extents == nullptr)
        return;
    if (extents->left > record.x)
        extents->left = truncateCoordinate(record.x);
    else if (extents->right < record.x)
        extents->right = truncateCoordinate(record.x);
    if (extents->bottom > record.y)
        extents->bottom = truncateCoordinate(record.y);
    else if (extents->top < record.y)
        extents->top = truncateCoordinate(record.y);
}
