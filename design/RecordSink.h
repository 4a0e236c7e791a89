#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "design/Design.h"

// The summary's counts by record type, in file order.
class RecordTally
{
public:
    // Counts one record by its final type.
    void count(StitchType type, bool firstRecord);
    // The summary of `stored` records, extremes left at 0.
    DesignSummary summary(std::int64_t stored) const;

private:
    std::int64_t m_colourChanges = 0;
    std::int64_t m_jumpsInSpan = 0;
    std::int64_t m_ejects[16] = {};
    bool m_span = false;
};

// What every reader does with a decoded record: store it in the list (if any), widen the
// extents (if any) and count it into the summary (if any), all in the reading pass. Positions
// arrive in file units as int64, so no file, however long, can overflow the running sum; the
// extents and the summary are written once, when the run finishes.
//
// With a summary but no list the records are counted as a list would hold them: sequin ejects
// fold alike, so the summary is the same whether or not the records are kept. With neither,
// no eject is ever folded (there is no previous record to fold into).
class RecordSink
{
public:
    // `recordBound` is the most records this run can store; the list reserves it up front.
    RecordSink(StitchList* list, DesignExtents* extents, DesignSummary* summary,
               std::int64_t recordBound)
        : m_list(list), m_extents(extents), m_summary(summary),
          m_folds(list != nullptr || summary != nullptr)
    {
        if (m_extents != nullptr)
            *m_extents = DesignExtents{};
        if (m_list != nullptr) {
            m_first = std::max(m_list->count, 0);
            reserveStitches(m_list, recordBound);
            load();
        }
    }

    RecordSink(const RecordSink&) = delete;
    RecordSink& operator=(const RecordSink&) = delete;

    ~RecordSink() { finish(); }

    // Appends the record and widens the extents by it; false when the list is full, and the
    // reader then stops.
    bool store(std::int64_t x, std::int64_t y, StitchType type, std::int16_t color)
    {
        return append(x, y, type, color);
    }

    // Appends a record that lies where an earlier one (or the start point) already lies, so
    // the extents hold it anyway.
    bool append(std::int64_t x, std::int64_t y, StitchType type, std::int16_t color)
    {
        if (m_list != nullptr) {
            if (m_stored >= m_room && !grow())
                return false;
            Stitch& s = m_base[m_stored];
            s.x = 10.0 * static_cast<double>(x);
            s.y = 10.0 * static_cast<double>(y);
            s.type = type;
            s.color = color;
        }
        // The previous record's type is final once another one follows it.
        if (m_lastType != StitchType::Normal)
            m_tally->count(m_lastType, m_stored == 1);
        m_lastType = type;
        ++m_stored;
        m_minX = std::min(m_minX, x);
        m_maxX = std::max(m_maxX, x);
        m_minY = std::min(m_minY, y);
        m_maxY = std::max(m_maxY, y);
        return true;
    }

    // Widens the extents by a position that is not stored (the end mark).
    void widen(std::int64_t x, std::int64_t y)
    {
        m_endMinX = std::min(m_endMinX, x);
        m_endMaxX = std::max(m_endMaxX, x);
        m_endMinY = std::min(m_endMinY, y);
        m_endMaxY = std::max(m_endMaxY, y);
    }

    // mergeSequinEject on the last stored record: true when a short eject was folded into it
    // and the caller must skip it.
    bool foldEject(int* followUpCount)
    {
        if (!m_folds || m_stored == 0 || !isSequinEject(m_lastType))
            return false;
        if (*followUpCount < 16)
            ++*followUpCount;
        m_lastType = foldedEjectType(*followUpCount);
        if (m_list != nullptr)
            m_base[m_stored - 1].type = m_lastType;
        return true;
    }

    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        if (m_list != nullptr)
            m_list->count = static_cast<std::int32_t>(m_first + m_stored);
        if (m_stored > 0 && m_lastType != StitchType::Normal)
            m_tally->count(m_lastType, m_stored == 1);
        if (m_extents != nullptr) {
            // The extents hold the start point, every stored record and the end mark.
            const std::int64_t minX = m_stored > 0 ? std::min(m_minX, m_endMinX) : m_endMinX;
            const std::int64_t maxX = m_stored > 0 ? std::max(m_maxX, m_endMaxX) : m_endMaxX;
            const std::int64_t minY = m_stored > 0 ? std::min(m_minY, m_endMinY) : m_endMinY;
            const std::int64_t maxY = m_stored > 0 ? std::max(m_maxY, m_endMaxY) : m_endMaxY;
            m_extents->left = scaled(minX);
            m_extents->top = scaled(maxY);
            m_extents->right = scaled(maxX);
            m_extents->bottom = scaled(minY);
        }
        if (m_summary != nullptr) {
            *m_summary = m_tally->summary(m_stored);
            if (m_stored > 0) {
                m_summary->minX = scaled(m_minX);
                m_summary->maxX = scaled(m_maxX);
                m_summary->minY = scaled(m_minY);
                m_summary->maxY = scaled(m_maxY);
            }
        }
    }

private:
    static std::int32_t scaled(std::int64_t fileUnits)
    {
        return truncateCoordinate(10.0 * static_cast<double>(fileUnits));
    }

    // The list's storage as local copies: the reader's stores cannot then be taken to change
    // the list's own fields, which would reload them for every record. Records of this run go
    // to m_base[0 .. m_room).
    void load()
    {
        const std::int64_t count = std::max(m_list->count, 0);
        m_base = m_list->records.data() + (count - m_stored);
        m_room = static_cast<std::int64_t>(m_list->records.size()) - (count - m_stored);
    }

    bool grow()
    {
        m_list->count = static_cast<std::int32_t>(m_first + m_stored);
        const bool grown = growStitches(m_list);
        load();
        return grown;
    }

    StitchList* m_list;
    DesignExtents* m_extents;
    DesignSummary* m_summary;
    bool m_folds;
    bool m_finished = false;

    // Where this run's records go, and how many fit there before the list must grow.
    Stitch* m_base = nullptr;
    std::int64_t m_room = 0;
    std::int64_t m_first = 0; // records the list held before this run

    // Records stored so far and the type of the last one, not yet counted.
    std::int64_t m_stored = 0;
    StitchType m_lastType = StitchType::Normal;
    // Extremes of the stored records (the summary's) and of the end mark with the start point
    // (the extents add these).
    std::int64_t m_minX = INT64_MAX;
    std::int64_t m_maxX = INT64_MIN;
    std::int64_t m_minY = INT64_MAX;
    std::int64_t m_maxY = INT64_MIN;
    std::int64_t m_endMinX = 0;
    std::int64_t m_endMaxX = 0;
    std::int64_t m_endMinY = 0;
    std::int64_t m_endMaxY = 0;

    // The rarely touched counters live apart, so that no pointer to the sink itself ever
    // leaves the reader and its hot fields can stay in registers for the whole loop.
    std::unique_ptr<RecordTally> m_tally = std::make_unique<RecordTally>();
};

// The bytes after a file's header; none when the file is no longer than its header.
inline std::span<const std::uint8_t> bytesAfterHeader(std::span<const std::uint8_t> file,
                                                      std::size_t headerSize)
{
    return file.size() > headerSize ? file.subspan(headerSize) : std::span<const std::uint8_t>{};
}
