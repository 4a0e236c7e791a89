#include <gtest/gtest.h>

#include "design/DsbReader.h"
#include "tests/design/DesignTestSupport.h"

TEST(DsbReader, DecodesRecordsIntoExactTypesAndPositions)
{
    const std::vector<ReaderCase> cases = {
        {"empty", {}, {}, {}},
        {"sign bits",
         {0x00, 0x00, 0x05, 0x20, 0x00, 0x05, 0x40, 0x07, 0x00},
         {{50, 0, 0, 0}, {0, 0, 0, 0}, {0, -70, 0, 0}},
         {0, 0, 50, -70}},
        {"sequin toggle moves, other functions do not",
         {0xD7, 0x00, 0x03, 0xD7, 0x04, 0x09, 0xD7, 0x09, 0x00, 0xD7, 0x00, 0x03},
         {{30, 0, 4, 0}, {30, 0, 62, 0}, {30, 0, 57, 0}, {60, 0, 21, 0}},
         {0, 0, 60, 0}},
        {"function numbers",
         {0xD7, 0x01, 0, 0xD7, 0x02, 0, 0xD7, 0x03, 0, 0xD7, 0x05, 0, 0xF7, 0xFF, 0xFF},
         {{0, 0, 57, 0}, {0, 0, 58, 0}, {0, 0, 59, 0}, {0, 0, 63, 0}, {0, 0, 57, 0}},
         {}},
        {"colour change outside and inside a span",
         {0x88, 0, 0, 0xF0, 0, 0, 0xD7, 0, 0, 0x88, 0, 0, 0xD7, 0, 0, 0xE8, 0, 0},
         {{0, 0, 23, 2}, {0, 0, 23, 3}, {0, 0, 4, 0}, {0, 0, 0, 0}, {0, 0, 21, 0}, {0, 0, 23, 4}},
         {}},
        {"end mark stops and widens",
         {0x00, 0x00, 0x01, 0x9F, 0x02, 0x00, 0x00, 0x00, 0x05},
         {{10, 0, 0, 0}},
         {0, 20, 10, 0}},
        {"end test keeps the sign bits",
         {0xF8, 0x00, 0x00, 0x00, 0x00, 0x01},
         {{0, 0, 0, 0}, {10, 0, 0, 0}},
         {0, 0, 10, 0}},
        {"jump outside, ejects inside a span",
         {0x81, 0x00, 0x02, 0xD7, 0, 0, 0x81, 0, 0, 0x81, 0x00, 0x01, 0x81, 0x00, 0x05},
         {{20, 0, 1, 0}, {20, 0, 4, 0}, {20, 0, 7, 0}, {80, 0, 6, 0}},
         {0, 0, 80, 0}},
        {"short eject after a stitch is stored as an eject",
         {0xD7, 0, 0, 0x00, 0, 0, 0x81, 0, 0},
         {{0, 0, 4, 0}, {0, 0, 0, 0}, {0, 0, 6, 0}},
         {}},
        {"trailing bytes ignored", {0x00, 0x00, 0x01, 0x00}, {{10, 0, 0, 0}}, {0, 0, 10, 0}},
    };
    expectDecodes(readDsb, cases);
}
