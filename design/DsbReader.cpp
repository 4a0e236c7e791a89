#include "design/DsbReader.h"

#include "design/RecordSink.h"

namespace {

constexpr std::size_t kRecordSize = 3;

struct DsbState
{
    std::int64_t x = 0;
    std::int64_t y = 0;
    bool sequinSpan = false;
    std::int16_t colour = 1;
    int followUpCount = 0;
};

StitchType functionType(std::uint8_t number)
{
    switch (number) {
    case 2:
        return StitchType::DsbFunction2;
    case 3:
        return StitchType::DsbFunction3;
    case 4:
        return StitchType::DsbFunction4;
    case 5:
        return StitchType::DsbFunction5;
    default:
        return StitchType::DsbFunction1;
    }
}

} // namespace

bool readDsb(std::span<const std::uint8_t> records, StitchList* list, DesignExtents* extents)
{
    return readDsb(records, list, extents, nullptr);
}

bool readDsb(std::span<const std::uint8_t> records, StitchList* list, DesignExtents* extents,
             DesignSummary* summary)
{
    const std::size_t n = records.size() / kRecordSize;
    RecordSink sink(list, extents, summary, static_cast<std::int64_t>(n));
    DsbState st;
    const std::uint8_t* p = records.data();
    for (std::size_t i = 0; i < n; ++i, p += kRecordSize) {
        const std::uint8_t b0 = p[0];
        const std::uint8_t b1 = p[1];
        const std::uint8_t b2 = p[2];
        int dx = (b0 & 0x20) ? -int{b2} : int{b2};
        int dy = (b0 & 0x40) ? -int{b1} : int{b1};
        const bool function = (b0 & 0xD7) == 0xD7;
        // A function record's second byte is its number, not a move; only the sequin
        // toggle (number 0) moves the needle.
        if (function && b1 != 0) {
            dx = 0;
            dy = 0;
        }
        const bool shortMove = dx > -5 && dx < 5 && dy > -5 && dy < 5;
        st.x += dx;
        st.y += dy;

        StitchType type = StitchType::Normal;
        std::int16_t colour = 0;
        const std::uint8_t kind = b0 & 0x98;
        if ((b0 & 0xF8) == 0x98) {
            sink.widen(st.x, st.y);
            break;
        } else if (function) {
            if (b1 == 0) {
                st.sequinSpan = !st.sequinSpan;
                type = st.sequinSpan ? StitchType::SequinOn : StitchType::SequinOff;
            } else {
                type = functionType(b1);
            }
        } else if (kind == 0x88 || kind == 0x90) {
            if (!st.sequinSpan) {
                if (st.colour < INT16_MAX)
                    ++st.colour;
                type = StitchType::ColorChange;
                colour = st.colour;
            }
        } else if ((b0 & 0x81) == 0x81) {
            if (!st.sequinSpan) {
                type = StitchType::Jump;
            } else {
                if (shortMove && sink.foldEject(&st.followUpCount))
                    continue;
                type = sequinEjectWithSet(1);
            }
        }
        if (!sink.store(st.x, st.y, type, colour))
            break;
        st.followUpCount = 0;
    }
    return true;
}
