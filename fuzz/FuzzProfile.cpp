#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/ProfileDocument.h"

namespace {

std::size_t utf8Chars(std::string_view text)
{
    std::size_t n = 0;
    for (const char c : text)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return n;
}

} // namespace

// The configuration-file parser on arbitrary bytes: UTF-8 files come back byte for byte, any
// document is written back the way it reads, every value a reader sees keeps to its length,
// and a value set reads back while the rest of the file stays.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ProfileDocument doc = ProfileDocument::parse(bytes);
    const std::string written = doc.serialize();
    // A UTF-16 file is decoded to text and encoded again, so odd bytes in it (an unpaired
    // surrogate, a cut last unit) may come back otherwise; it must still read the same.
    const bool utf16 = doc.encoding() == ProfileDocument::Encoding::Utf16Le ||
                       doc.encoding() == ProfileDocument::Encoding::Utf16Be;
    if (!utf16 && written != bytes)
        __builtin_trap();
    if (ProfileDocument::parse(written).serialize() != written)
        __builtin_trap();

    for (const std::string& section : doc.sectionNames()) {
        for (const std::string_view key : {"Language", "IsChoose", "IP", ""}) {
            const auto value = doc.value(section, key);
            if (value && utf8Chars(*value) > ProfileDocument::kMaxValueChars)
                __builtin_trap();
        }
    }

    doc.set("FuzzSection", "FuzzKey", "value 1");
    const auto back = doc.value("fuzzsection", "FUZZKEY");
    if (!back || *back != "value 1")
        __builtin_trap();
    const std::string changed = doc.serialize();
    if (ProfileDocument::parse(changed).value("FuzzSection", "FuzzKey") != back)
        __builtin_trap();
    return 0;
}
