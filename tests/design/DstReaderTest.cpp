#include <gtest/gtest.h>

#include "design/DstReader.h"
#include "tests/design/DesignTestSupport.h"

namespace {

constexpr std::size_t kHeader = 512;

} // namespace

TEST(DstReader, DecodesRecordsIntoExactTypesAndPositions)
{
    const std::vector<ReaderCase> cases = {
        {"header only", fileWith(kHeader, {}), {}, {}},
        {"end mark first", fileWith(kHeader, {0x00, 0x00, 0xF3, 0x01, 0x00, 0x03}), {}, {}},
        {"one unit right", fileWith(kHeader, {0x01, 0x00, 0x03}), {{10, 0, 0, 0}}, {0, 0, 10, 0}},
        {"every weight of x and y",
         fileWith(kHeader, {0x05, 0x03, 0x07, 0xA0, 0x80, 0x23}),
         // x: 05 gives +1 +9, 03 gives +3 -3, 07 gives +81; y: A0 gives +1 +9, 80 gives +3,
         // 23 gives +81
         {{910, 0, 0, 0}, {910, 940, 0, 0}},
         {0, 940, 910, 0}},
        {"colour change run",
         fileWith(kHeader, {0, 0, 0xC3, 0, 0, 0xC3, 0, 0, 0xC3, 0, 0, 0x03, 0, 0, 0xC3}),
         {{0, 0, 23, 2}, {0, 0, 24, 0}, {0, 0, 24, 0}, {0, 0, 0, 0}, {0, 0, 23, 3}},
         {}},
        {"jump outside a span",
         fileWith(kHeader, {0x02, 0x00, 0x83}),
         {{-10, 0, 1, 0}},
         {-10, 0, 0, 0}},
        {"sequin ejects fold",
         fileWith(kHeader, {0, 0, 0x43, 0, 0, 0x83, 0, 0, 0x83, 0, 0, 0x83, 0, 0, 0x43}),
         {{0, 0, 4, 0}, {0, 0, 8, 0}, {0, 0, 21, 0}},
         {}},
        {"long eject is never folded",
         fileWith(kHeader, {0, 0, 0x43, 0, 0, 0x83, 0, 0, 0x87}),
         {{0, 0, 4, 0}, {0, 0, 6, 0}, {810, 0, 6, 0}},
         {0, 0, 810, 0}},
        {"folded eject still moves later records",
         fileWith(kHeader, {0, 0, 0x43, 0, 0, 0x83, 0x01, 0, 0x83, 0x01, 0, 0x03}),
         {{0, 0, 4, 0}, {0, 0, 7, 0}, {20, 0, 0, 0}},
         {0, 0, 20, 0}},
        {"end widens extents by its own position",
         fileWith(kHeader, {0x01, 0x00, 0x03, 0x01, 0x00, 0xF3, 0x01, 0x00, 0x03}),
         {{10, 0, 0, 0}},
         {0, 0, 20, 0}},
        {"trailing partial record ignored",
         fileWith(kHeader, {0x01, 0x00, 0x03, 0x01, 0x00}),
         {{10, 0, 0, 0}},
         {0, 0, 10, 0}},
        {"other control classes are stitches",
         fileWith(kHeader, {0x00, 0x00, 0x80, 0x00, 0x00, 0xC2}),
         {{0, 0, 0, 0}, {0, 0, 0, 0}},
         {}},
    };
    expectDecodes(readDst, cases);
}

TEST(DstReader, FileShorterThanHeaderYieldsNothingButZeroExtents)
{
    StitchList list;
    DesignExtents extents{5, 5, 5, 5};
    const std::vector<std::uint8_t> bytes(100, 0x03);
    EXPECT_TRUE(readDst(bytes, &list, &extents));
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(extents, DesignExtents{});
}

TEST(DstReader, WithoutListEjectsAreNeverFoldedAndExtentsStillGrow)
{
    const auto bytes = fileWith(kHeader, {0, 0, 0x43, 0, 0, 0x83, 0x01, 0, 0x83});
    DesignExtents extents;
    EXPECT_TRUE(readDst(bytes, nullptr, &extents));
    EXPECT_EQ(extents, (DesignExtents{0, 0, 10, 0}));
    StitchList list;
    EXPECT_TRUE(readDst(bytes, &list, nullptr));
    EXPECT_EQ(list.count, 2);
}

TEST(DstReader, StopsWhenStorageCannotGrowAndKeepsTheListConsistent)
{
    std::vector<std::uint8_t> bytes(kHeader, 0);
    for (int i = 0; i < StitchList::kGrowStep + 10; ++i)
        bytes.insert(bytes.end(), {0x01, 0x00, 0x03});
    StitchList list;
    list.capacityLimit = StitchList::kGrowStep;
    DesignExtents extents;
    EXPECT_TRUE(readDst(bytes, &list, &extents));
    EXPECT_EQ(list.count, StitchList::kGrowStep);
    EXPECT_EQ(list.capacity, StitchList::kGrowStep);
    EXPECT_EQ(list.records.size(), std::size_t(StitchList::kGrowStep));
    EXPECT_EQ(list.records.back().x, 10.0 * StitchList::kGrowStep);
    EXPECT_EQ(extents.right, 10 * StitchList::kGrowStep);
}

TEST(DstReader, FarFlungPositionsSaturateInsteadOfOverflowing)
{
    // 121 units right per record: 18 million records pass the int32 range of file units.
    const std::size_t n = 18'000'000;
    std::vector<std::uint8_t> bytes(kHeader + 3 * n);
    for (std::size_t i = 0; i < n; ++i) {
        bytes[kHeader + 3 * i] = 0x05;     // +1 +9
        bytes[kHeader + 3 * i + 1] = 0x05; // +3 +27
        bytes[kHeader + 3 * i + 2] = 0x07; // +81, Normal
    }
    DesignExtents extents;
    readDst(bytes, nullptr, &extents);
    EXPECT_EQ(extents.right, INT32_MAX);
    EXPECT_EQ(extents.left, 0);

    // Stored positions beyond the int32 range of 0.01 mm stay exact.
    bytes.resize(kHeader + 3 * 2'000'000);
    StitchList list;
    readDst(bytes, &list, nullptr);
    ASSERT_EQ(list.count, 2'000'000);
    EXPECT_EQ(list.records[1'999'999].x, 1210.0 * 2'000'000);
}

TEST(DstReader, ColourNumbersSaturateInsteadOfWrappingNegative)
{
    std::vector<std::uint8_t> bytes(kHeader, 0);
    for (int i = 0; i < 40'000; ++i)
        bytes.insert(bytes.end(), {0x00, 0x00, 0xC3, 0x00, 0x00, 0x03});
    StitchList list;
    readDst(bytes, &list, nullptr);
    ASSERT_EQ(list.count, 80'000);
    EXPECT_EQ(list.records[2 * 32'765].color, 32'767);
    EXPECT_EQ(list.records[2 * 39'999].color, 32'767);
    EXPECT_EQ(list.records[2 * 39'999].type, StitchType::ColorChange);
}
