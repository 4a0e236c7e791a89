#include "design/TbfReader.h"

#include "design/RecordSink.h"

namespace {

constexpr std::size_t kHeaderSize = 0x600;
constexpr std::size_t kColourTable = 0x10A;
constexpr std::size_t kRecordSize = 3;

struct TbfState
{
    std::int64_t x = 0;
    std::int64_t y = 0;
    bool sequinSpan = false;
    int followUpCount = 0;
    std::size_t block = 0;
    std::int16_t colour = 1;
};

// The colour table has no fixed length: block k reads the byte at 0x10A + k wherever that
// lies. A byte beyond the end of the file counts as 0, so the previous number stays.
std::uint8_t colourTableEntry(std::span<const std::uint8_t> bytes, std::size_t block)
{
    if (block >= bytes.size() || kColourTable >= bytes.size() - block)
        return 0;
    return bytes[kColourTable + block];
}

} // namespace

bool readTbf(std::span<const std::uint8_t> bytes, StitchList* list, DesignExtents* extents)
{
    return readTbf(bytes, list, extents, nullptr);
}

bool readTbf(std::span<const std::uint8_t> bytes, StitchList* list, DesignExtents* extents,
             DesignSummary* summary)
{
    const std::span<const std::uint8_t> records = bytesAfterHeader(bytes, kHeaderSize);
    const std::size_t n = records.size() / kRecordSize;
    RecordSink sink(list, extents, summary, static_cast<std::int64_t>(n));
    TbfState st;
    if (const std::uint8_t first = colourTableEntry(bytes, 0); first != 0)
        st.colour = first;
    const std::uint8_t* p = records.data();
    for (std::size_t i = 0; i < n; ++i, p += kRecordSize) {
        const int dx = static_cast<std::int8_t>(p[0]);
        const int dy = static_cast<std::int8_t>(p[1]);
        const std::uint8_t b2 = p[2];
        const bool shortMove = dx > -5 && dx < 5 && dy > -5 && dy < 5;
        st.x += dx;
        st.y += dy;

        StitchType type = StitchType::Normal;
        std::int16_t colour = i == 0 ? st.colour : std::int16_t{0};
        switch (b2) {
        case 0x4D:
            st.sequinSpan = true;
            type = StitchType::SequinOn;
            break;
        case 0x69:
        case 0x89:
            // Either eject opens a span by itself, and a short one folds into the eject
            // before it whatever its own device.
            st.sequinSpan = true;
            if (shortMove && sink.foldEject(&st.followUpCount))
                continue;
            type = sequinEjectWithSet(b2 == 0x69 ? 2 : 1);
            break;
        case 0x81:
            if (!st.sequinSpan) {
                ++st.block;
                if (const std::uint8_t entry = colourTableEntry(bytes, st.block); entry != 0)
                    st.colour = entry;
                type = StitchType::ColorChange;
                colour = st.colour;
            }
            break;
        case 0x86:
            type = StitchType::Trim;
            break;
        case 0x88:
            st.sequinSpan = false;
            type = StitchType::SequinOff;
            break;
        case 0x8F:
            sink.widen(st.x, st.y);
            return true;
        case 0x90:
            type = StitchType::Jump;
            break;
        default:
            break;
        }
        if (!sink.store(st.x, st.y, type, colour))
            break;
        st.followUpCount = 0;
    }
    return true;
}
