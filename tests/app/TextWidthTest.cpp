// Columns a text takes on a terminal, and padding to a column by them.
#include "app/TextWidth.h"

#include <gtest/gtest.h>

TEST(TextWidth, ColumnsAndPaddingOfEachKindOfText)
{
    struct Case
    {
        const char* what;
        std::string text;
        std::size_t width;
    };
    const Case cases[] = {
        {"empty", "", 0},
        {"ASCII", "Left 3", 6},
        {"Chinese", "左边机器", 8},
        {"mixed", "A号机-2", 7},
        {"fullwidth letters and punctuation", "\xEF\xBC\xA1\xEF\xBC\x8C", 4}, // Ａ，
        {"Hangul", "\xEA\xB0\x80", 2},
        {"precomposed accent", "caf\xC3\xA9", 4},                         // café
        {"combining accent", "cafe\xCC\x81", 4},                          // cafe + U+0301
        {"zero-width joiner", "a\xE2\x80\x8D" "b", 2},
        {"outside the basic plane", "\xF0\xA0\x80\x80" "x", 3},           // U+20000
        {"broken bytes count as U+FFFD each", "a\xE4\xB8" "b\xFF", 5},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(displayWidth(c.text), c.width) << c.what;
        const std::string padded = padToWidth(c.text, 10);
        EXPECT_EQ(displayWidth(padded), std::max<std::size_t>(10, c.width)) << c.what;
        EXPECT_EQ(padded.substr(0, c.text.size()), c.text) << c.what;
        EXPECT_EQ(padToWidth(c.text, c.width), c.text) << c.what << ": nothing added when full";
    }
}
