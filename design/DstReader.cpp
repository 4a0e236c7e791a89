#include "design/DstReader.h"

#include <array>

#include "design/RecordSink.h"

namespace {

constexpr std::size_t kHeaderSize = 512;
constexpr std::size_t kRecordSize = 3;

// Unit displacement of one byte's bits: bits 0..3 move x (+1, -1, +9, -9), bits 7..4 move y
// (+1, -1, +9, -9). The second byte counts three times, the third nine times (its bits 2..5).
struct UnitTables
{
    std::array<std::int8_t, 256> dx{};
    std::array<std::int8_t, 256> dy{};
};

constexpr UnitTables makeUnitTables()
{
    UnitTables t;
    for (int b = 0; b < 256; ++b) {
        int x = 0;
        int y = 0;
        if (b & 0x01)
            x += 1;
        if (b & 0x02)
            x -= 1;
        if (b & 0x04)
            x += 9;
        if (b & 0x08)
            x -= 9;
        if (b & 0x80)
            y += 1;
        if (b & 0x40)
            y -= 1;
        if (b & 0x20)
            y += 9;
        if (b & 0x10)
            y -= 9;
        t.dx[static_cast<std::size_t>(b)] = static_cast<std::int8_t>(x);
        t.dy[static_cast<std::size_t>(b)] = static_cast<std::int8_t>(y);
    }
    return t;
}

constexpr UnitTables kUnits = makeUnitTables();

struct DstState
{
    std::int64_t x = 0;
    std::int64_t y = 0;
    bool sequinSpan = false;
    std::int16_t colour = 1;
    int followUpCount = 0;
    std::uint8_t lastClass = 0;
};

} // namespace

bool readDst(std::span<const std::uint8_t> bytes, StitchList* list, DesignExtents* extents)
{
    return readDst(bytes, list, extents, nullptr);
}

bool readDst(std::span<const std::uint8_t> bytes, StitchList* list, DesignExtents* extents,
             DesignSummary* summary)
{
    const std::span<const std::uint8_t> records = bytesAfterHeader(bytes, kHeaderSize);
    const std::size_t n = records.size() / kRecordSize;
    RecordSink sink(list, extents, summary, static_cast<std::int64_t>(n));
    DstState st;
    const std::uint8_t* p = records.data();
    for (std::size_t i = 0; i < n; ++i, p += kRecordSize) {
        const std::uint8_t b0 = p[0];
        const std::uint8_t b1 = p[1];
        const std::uint8_t b2 = p[2];
        const std::uint8_t b2Move = b2 & 0x3C;
        const int dx = kUnits.dx[b0] + 3 * kUnits.dx[b1] + 9 * kUnits.dx[b2Move];
        const int dy = kUnits.dy[b0] + 3 * kUnits.dy[b1] + 9 * kUnits.dy[b2Move];
        st.x += dx;
        st.y += dy;
        const std::uint8_t cls = b2 & 0xC3;

        StitchType type = StitchType::Normal;
        std::int16_t colour = 0;
        if (cls == 0x43) {
            st.sequinSpan = !st.sequinSpan;
            type = st.sequinSpan ? StitchType::SequinOn : StitchType::SequinOff;
        } else if (cls == 0x83) {
            if (!st.sequinSpan) {
                type = StitchType::Jump;
            } else {
                const bool shortMove = dx > -5 && dx < 5 && dy > -5 && dy < 5;
                if (shortMove && sink.foldEject(&st.followUpCount))
                    continue;
                type = sequinEjectWithSet(1);
            }
        } else if (cls == 0xC3) {
            if ((b2 & 0xF3) == 0xF3) {
                sink.widen(st.x, st.y);
                break;
            }
            if (st.lastClass == 0xC3) {
                type = StitchType::RepeatedColorChange;
            } else {
                // The counter saturates instead of wrapping past the int16 range.
                if (st.colour < INT16_MAX)
                    ++st.colour;
                type = StitchType::ColorChange;
                colour = st.colour;
            }
        }
        if (!sink.store(st.x, st.y, type, colour))
            break;
        st.followUpCount = 0;
        st.lastClass = cls;
    }
    return true;
}
