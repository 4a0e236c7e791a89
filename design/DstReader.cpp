#include "design/DstReader.h"

#include <array>

#include "design/RecordSink.h"

namespace {

constexpr std::size_t kHeaderSize = 512;
constexpr std::size_t kRecordSize = 3;

// The move of each byte value, packed as dy * 2^32 + dx in file units: bits 0..3 move x
// (+1, -1, +9, -9), bits 7..4 move y (+1, -1, +9, -9). The second byte counts three times, the
// third nine times (its bits 2..5). Three lookups and two additions give a record's move; the
// halves cannot carry into each other since no move reaches 2^31.
struct MoveTables
{
    std::array<std::int64_t, 256> byte0{};
    std::array<std::int64_t, 256> byte1{};
    std::array<std::int64_t, 256> byte2{};
};

constexpr std::int64_t packedMove(int x, int y)
{
    return y * (std::int64_t{1} << 32) + x;
}

constexpr MoveTables makeMoveTables()
{
    MoveTables t;
    for (int b = 0; b < 256; ++b) {
        const int x =
            (b & 0x01 ? 1 : 0) - (b & 0x02 ? 1 : 0) + (b & 0x04 ? 9 : 0) - (b & 0x08 ? 9 : 0);
        const int y =
            (b & 0x80 ? 1 : 0) - (b & 0x40 ? 1 : 0) + (b & 0x20 ? 9 : 0) - (b & 0x10 ? 9 : 0);
        const auto i = static_cast<std::size_t>(b);
        t.byte0[i] = packedMove(x, y);
        t.byte1[i] = packedMove(3 * x, 3 * y);
        // Looked up with the third byte's control bits masked off.
        t.byte2[i] = packedMove(9 * x, 9 * y);
    }
    return t;
}

constexpr MoveTables kMoves = makeMoveTables();

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
        const std::int64_t move = kMoves.byte0[b0] + kMoves.byte1[b1] + kMoves.byte2[b2 & 0x3C];
        const auto dx = static_cast<std::int32_t>(static_cast<std::uint32_t>(move));
        const std::int64_t dy = (move - dx) >> 32;
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
