#include "design/Design.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <stdexcept>

#include "design/RecordSink.h"

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

void RecordTally::count(StitchType type, bool firstRecord)
{
    const int c = code(type);
    if (c == code(StitchType::ColorChange)) {
        // The first record's colour change opens the first block, which is counted anyway.
        m_colourChanges += firstRecord ? 0 : 1;
    } else if (c >= 1 && c <= 3) {
        m_jumpsInSpan += m_span ? 1 : 0;
    } else if (c == code(StitchType::SequinOn)) {
        m_span = true;
    } else if (c == code(StitchType::SequinOff)) {
        m_span = false;
    } else if (c >= 5 && c <= 20) {
        ++m_ejects[c - 5];
    }
}

DesignSummary RecordTally::summary(std::int64_t stored) const
{
    const auto saturated = [](std::int64_t n) {
        return static_cast<std::int32_t>(std::min<std::int64_t>(n, INT32_MAX));
    };
    DesignSummary s;
    s.stitchCount = saturated(stored);
    s.colorCount = saturated(1 + m_colourChanges);
    std::int64_t a = 0, b = 0, c = 0, d = 0;
    for (int set = 1; set <= 15; ++set) {
        a += (set & 1) ? m_ejects[set] : 0;
        b += (set & 2) ? m_ejects[set] : 0;
        c += (set & 4) ? m_ejects[set] : 0;
        d += (set & 8) ? m_ejects[set] : 0;
    }
    s.countA = saturated(a);
    s.countB = saturated(b);
    s.countC = saturated(c);
    s.countD = saturated(d);
    s.countSeq = saturated(m_jumpsInSpan + m_ejects[0]);
    return s;
}
