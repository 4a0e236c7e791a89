#include "app/TextWidth.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "app/Utf8.h"

namespace {

struct Range
{
    char32_t first;
    char32_t last;
};

// Combining marks and zero-width characters, in order.
constexpr std::array<Range, 28> kZeroWidth = {{
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x05BF, 0x05BF},
    {0x05C1, 0x05C2}, {0x05C4, 0x05C5}, {0x05C7, 0x05C7}, {0x0610, 0x061A},
    {0x064B, 0x065F}, {0x0670, 0x0670}, {0x06D6, 0x06DC}, {0x06DF, 0x06E4},
    {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E}, {0x1160, 0x11FF},
    {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F}, {0x2060, 0x2064},
    {0x20D0, 0x20FF}, {0x302A, 0x302D}, {0x3099, 0x309A}, {0xFE00, 0xFE0F},
    {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0x1F3FB, 0x1F3FF}, {0xE0100, 0xE01EF},
}};

// East Asian wide and fullwidth characters (the emoji shown as pictures among them), in order.
constexpr std::array<Range, 23> kWide = {{
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x2614, 0x2615},   {0x2648, 0x2653},   {0x26AA, 0x26AB},   {0x2705, 0x2705},
    {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},
    {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD},
}};

template <std::size_t N> bool within(const std::array<Range, N>& ranges, char32_t c)
{
    const auto it = std::upper_bound(ranges.begin(), ranges.end(), c,
                                     [](char32_t value, const Range& r) { return value < r.first; });
    return it != ranges.begin() && c <= std::prev(it)->last;
}

} // namespace

int charColumns(char32_t c)
{
    if (within(kZeroWidth, c))
        return 0;
    return within(kWide, c) ? 2 : 1;
}

std::size_t displayWidth(std::string_view text)
{
    std::size_t width = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t length = utf8CharLength(text, at);
        if (length <= 1) {
            ++width; // ASCII, or a byte that shows as U+FFFD
            at += 1;
            continue;
        }
        // The lead byte keeps 7 - length bits; each continuation byte adds six.
        char32_t c = static_cast<std::uint8_t>(text[at]) & (0x7F >> length);
        for (std::size_t i = 1; i < length; ++i)
            c = (c << 6) | (static_cast<std::uint8_t>(text[at + i]) & 0x3F);
        width += std::size_t(charColumns(c));
        at += length;
    }
    return width;
}

std::string padToWidth(std::string text, std::size_t width)
{
    const std::size_t used = displayWidth(text);
    if (used < width)
        text.append(width - used, ' ');
    return text;
}
