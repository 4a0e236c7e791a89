#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "design/Design.h"

// What every reader does with a decoded record: store it in the list (if any) and widen
// the extents (if any). Positions arrive in file units as int64, so no file, however long,
// can overflow the running sum; the extents are written once, when the run finishes.
class RecordSink
{
public:
    // `recordBound` is the most records this run can store; the list reserves it up front.
    RecordSink(StitchList* list, DesignExtents* extents, std::int64_t recordBound)
        : m_list(list), m_extents(extents)
    {
        if (m_extents != nullptr)
            *m_extents = DesignExtents{};
        reserveStitches(m_list, recordBound);
    }

    RecordSink(const RecordSink&) = delete;
    RecordSink& operator=(const RecordSink&) = delete;

    ~RecordSink() { finish(); }

    bool hasList() const { return m_list != nullptr; }
    StitchList* list() const { return m_list; }

    // Appends the record; false when the list is full, and the reader then stops.
    bool store(std::int64_t x, std::int64_t y, StitchType type, std::int16_t color)
    {
        if (!append(x, y, type, color))
            return false;
        widen(x, y);
        return true;
    }

    // Appends without widening the extents.
    bool append(std::int64_t x, std::int64_t y, StitchType type, std::int16_t color)
    {
        if (m_list == nullptr)
            return true;
        StitchList& l = *m_list;
        if (l.count >= l.capacity && !growStitches(&l))
            return false;
        Stitch& s = l.records[static_cast<std::size_t>(l.count)];
        s.x = 10.0 * static_cast<double>(x);
        s.y = 10.0 * static_cast<double>(y);
        s.type = type;
        s.color = color;
        ++l.count;
        return true;
    }

    void widen(std::int64_t x, std::int64_t y)
    {
        m_minX = std::min(m_minX, x);
        m_maxX = std::max(m_maxX, x);
        m_minY = std::min(m_minY, y);
        m_maxY = std::max(m_maxY, y);
    }

    void finish()
    {
        if (m_extents == nullptr)
            return;
        m_extents->left = truncateCoordinate(10.0 * static_cast<double>(m_minX));
        m_extents->top = truncateCoordinate(10.0 * static_cast<double>(m_maxY));
        m_extents->right = truncateCoordinate(10.0 * static_cast<double>(m_maxX));
        m_extents->bottom = truncateCoordinate(10.0 * static_cast<double>(m_minY));
    }

private:
    StitchList* m_list;
    DesignExtents* m_extents;
    // The extents start at the start point (0, 0).
    std::int64_t m_minX = 0;
    std::int64_t m_maxX = 0;
    std::int64_t m_minY = 0;
    std::int64_t m_maxY = 0;
};

// The bytes after a file's header; none when the file is no longer than its header.
inline std::span<const std::uint8_t> bytesAfterHeader(std::span<const std::uint8_t> file,
                                                      std::size_t headerSize)
{
    return file.size() > headerSize ? file.subspan(headerSize) : std::span<const std::uint8_t>{};
}
