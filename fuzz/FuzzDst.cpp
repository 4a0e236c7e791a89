#include <cstddef>
#include <cstdint>

#include "design/DstReader.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzzReader(readDst, data, size);
}
