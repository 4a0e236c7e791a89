#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "control/FleetJson.h"
#include "control/FleetStore.h"
#include "app/Utf8.h"

namespace {

// True when the text is well-formed UTF-8 without raw control characters.
bool cleanText(std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8CharLength(text, at);
        if (length == 0 || (length == 1 && static_cast<unsigned char>(text[at]) < 0x20))
            return false;
        at += length;
    }
    return true;
}

} // namespace

// Whatever a fleet file holds: what is believed of it is written back and read again the
// same, every name in it is clean, and its JSON strings are valid single-line text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!cleanText(jsonString(text)))
        __builtin_trap();
    const auto designs = parseFleetFile(text);
    if (!designs)
        return 0;
    if (designs->size() > kMaxFleetEntries)
        __builtin_trap();
    for (const auto& [address, design] : *designs) {
        if (canonicalAddress(address) != address || !cleanText(design.name) ||
            design.name.size() > kMaxDesignNameBytes || design.stitches < 0)
            __builtin_trap();
    }
    const auto again = parseFleetFile(serializeFleetFile(*designs));
    if (!again || *again != *designs)
        __builtin_trap();
    return 0;
}
