#include "design/Design.h"

#include <cmath>
#include <new>
#include <stdexcept>

bool appendStitch(StitchList* list, const Stitch& record)
{
    if (list == nullptr)
        return false;
    if (list->count >= list->capacity) {
        try {
            // resize() keeps the stored records and zero-fills the new tail.
            list->records.resize(static_cast<std::size_t>(list->capacity) + StitchList::kGrowStep);
            list->capacity += StitchList::kGrowStep;
        } catch (const std::bad_alloc&) {
            return list->capacity > 0;
        } catch (const std::length_error&) {
            return list->capacity > 0;
        }
    }
    list->records[static_cast<std::size_t>(list->count)] = record;
    ++list->count;
    return true;
}

void clearStitches(StitchList* list)
{
    if (list == nullptr)
        return;
    std::vector<Stitch>().swap(list->records);
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
    const int n = ++*followUpCount;
    if (n <= 13)
        last.type = sequinEjectWithSet(n + 1);
    else if (n <= 15)
        last.type = sequinEjectWithSet(15);
    else
        last.type = StitchType::SequinEject;
    return true;
}

void extendExtents(DesignExtents* extents, const Stitch& record)
{
    if (extents == nullptr)
        return;
    // Positions are whole multiples of 10, well inside int32 for any file a reader accepts;
    // the conversion truncates toward zero.
    const auto x = static_cast<std::int32_t>(std::trunc(record.x));
    const auto y = static_cast<std::int32_t>(std::trunc(record.y));
    if (extents->left > record.x)
        extents->left = x;
    else if (extents->right < record.x)
        extents->right = x;
    if (extents->bottom > record.y)
        extents->bottom = y;
    else if (extents->top < record.y)
        extents->top = y;
}
