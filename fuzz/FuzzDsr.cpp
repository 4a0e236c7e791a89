#include <cstddef>
#include <cstdint>

#include "design/DsrReader.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzzReader(readDsr, data, size);
}
