#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "design/DesignLoader.h"
#include "fuzz/FuzzCheck.h"

// The first byte picks the file name's suffix (some in upper case, one unknown); the rest is
// the file's content, dispatched the way loadDesign dispatches it. The list grows by the real
// step here, so the storage path of real loads is fuzzed too.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    static const char* const kNames[] = {"a.dst", "a.dsb", "a.tbf", "a.dsr", "A.DST",
                                         "A.Dsb", "a.TBF", "a.dsR", "a.dxf"};
    const std::string name = kNames[data[0] % (sizeof kNames / sizeof kNames[0])];
    const std::span<const std::uint8_t> file(data + 1, size - 1);
    Design design;
    const auto format = designFormatForPath(name);
    if (!format) {
        if (name != "a.dxf")
            __builtin_trap();
        return 0;
    }
    clearStitches(&design.stitches);
    const bool read =
        readDesignBytes(*format, file, &design.stitches, &design.extents, &design.summary);
    checkDesign(design.stitches, design.extents, read, design.summary);
    return 0;
}
