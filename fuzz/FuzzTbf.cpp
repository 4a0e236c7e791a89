#include <cstddef>
#include <cstdint>
#include <span>

#include "design/TbfReader.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    StitchList list;
    DesignExtents extents;
    const bool read = readTbf(bytes, &list, &extents);
    checkDesign(list, extents, read);
    // Without a list the extents come out the same or wider (no ejects are folded away).
    DesignExtents alone;
    readTbf(bytes, nullptr, &alone);
    if (read && (alone.left > extents.left || alone.right < extents.right ||
                 alone.bottom > extents.bottom || alone.top < extents.top))
        __builtin_trap();
    return 0;
}
