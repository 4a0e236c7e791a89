#include "design/DsrReader.h"

#include "design/RecordSink.h"

namespace {

constexpr std::size_t kHeaderSize = 256;
constexpr std::size_t kRecordSize = 4;
constexpr std::uint8_t kColourCode = 6;

struct DsrState
{
    std::int64_t x = 0;
    std::int64_t y = 0;
    std::int16_t colour = 1;
    bool changing = false;
};

// How many colour changes the reader will insert, so the list is reserved exactly once.
std::size_t insertedChanges(std::span<const std::uint8_t> records, std::size_t n)
{
    std::size_t changes = 0;
    bool changing = false;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b0 = records[kRecordSize * i];
        if ((!changing && b0 == kColourCode) || (changing && b0 == 1)) {
            changing = !changing;
            ++changes;
        }
    }
    return changes;
}

} // namespace

bool readDsr(std::span<const std::uint8_t> bytes, StitchList* list, DesignExtents* extents)
{
    return readDsr(bytes, list, extents, nullptr);
}

bool readDsr(std::span<const std::uint8_t> bytes, StitchList* list, DesignExtents* extents,
             DesignSummary* summary)
{
    const std::span<const std::uint8_t> records = bytesAfterHeader(bytes, kHeaderSize);
    if (records.empty())
        return false;
    const std::size_t n = records.size() / kRecordSize;
    const std::size_t bound = list != nullptr ? n + insertedChanges(records, n) : 0;
    RecordSink sink(list, extents, summary, static_cast<std::int64_t>(bound));
    DsrState st;
    const std::uint8_t* p = records.data();
    for (std::size_t i = 0; i < n; ++i, p += kRecordSize) {
        const std::uint8_t b0 = p[0];
        const std::uint8_t b1 = p[1];
        // The first record never moves.
        const int mx = i == 0 ? 0 : p[2];
        const int my = i == 0 ? 0 : p[3];
        // The file has no colour-change records: entering the colour-change code and the
        // return to code 1 each start a new block, at the position before the move.
        if ((!st.changing && b0 == kColourCode) || (st.changing && b0 == 1)) {
            st.changing = !st.changing;
            if (st.colour < INT16_MAX)
                ++st.colour;
            if (!sink.append(st.x, st.y, StitchType::ColorChange, st.colour))
                break;
        }
        st.x += (b1 & 0x80) ? mx : -mx;
        st.y += (b1 & 0x40) ? my : -my;
        StitchType type = StitchType::Normal;
        if (b0 == 2)
            type = StitchType::Jump;
        else if (b0 == 10)
            type = StitchType::Jump3;
        if (!sink.store(st.x, st.y, type, 0))
            break;
    }
    return true;
}
