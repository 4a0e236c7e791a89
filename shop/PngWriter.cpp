#include "shop/PngWriter.h"

#include <vector>

#include <zlib.h>

namespace {

void putU32be(std::string& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

void chunk(std::string& out, const char type[4], const std::string& data)
{
    putU32be(out, static_cast<std::uint32_t>(data.size()));
    const std::string typed = std::string(type, 4) + data;
    out += typed;
    const auto crc = crc32(0L, reinterpret_cast<const Bytef*>(typed.data()),
                           static_cast<uInt>(typed.size()));
    putU32be(out, static_cast<std::uint32_t>(crc));
}

} // namespace

std::optional<std::string> encodePng(const PixelBuffer& pixels, int level)
{
    constexpr std::int32_t kMaxSide = 4096;
    if (pixels.pixels == nullptr || pixels.width <= 0 || pixels.height <= 0 ||
        pixels.width > kMaxSide || pixels.height > kMaxSide || pixels.stride < pixels.width)
        return std::nullopt;
    const auto width = static_cast<std::size_t>(pixels.width);
    const auto height = static_cast<std::size_t>(pixels.height);
    // Each row: filter byte 0 (none), then R, G, B.
    std::vector<Bytef> raw;
    raw.reserve(height * (1 + 3 * width));
    for (std::size_t y = 0; y < height; ++y) {
        raw.push_back(0);
        const std::uint32_t* row = pixels.pixels + static_cast<std::ptrdiff_t>(y) * pixels.stride;
        for (std::size_t x = 0; x < width; ++x) {
            raw.push_back(static_cast<Bytef>((row[x] >> 16) & 0xFF));
            raw.push_back(static_cast<Bytef>((row[x] >> 8) & 0xFF));
            raw.push_back(static_cast<Bytef>(row[x] & 0xFF));
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, raw.data(),
                  static_cast<uLong>(raw.size()), level) != Z_OK)
        return std::nullopt;
    packed.resize(packedSize);

    std::string header;
    putU32be(header, static_cast<std::uint32_t>(width));
    putU32be(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, no filter, no interlace

    std::string out("\x89PNG\r\n\x1a\n", 8);
    chunk(out, "IHDR", header);
    chunk(out, "IDAT", packed);
    chunk(out, "IEND", {});
    return out;
}
