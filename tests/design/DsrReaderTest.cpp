#include <gtest/gtest.h>

#include "design/DsrReader.h"
#include "tests/design/DesignTestSupport.h"

namespace {

constexpr std::size_t kHeader = 256;

} // namespace

TEST(DsrReader, DecodesRecordsIntoExactTypesAndPositions)
{
    const std::vector<ReaderCase> cases = {
        {"too short for a record", fileWith(kHeader, {1, 2, 3}), {}, {}},
        {"first record never moves, then signs",
         fileWith(kHeader, {1, 0xC0, 5, 5, 1, 0xC0, 5, 5, 1, 0x00, 5, 5, 1, 0x80, 2, 3}),
         {{0, 0, 0, 0}, {50, 50, 0, 0}, {0, 0, 0, 0}, {20, -30, 0, 0}},
         {0, 50, 50, -30}},
        {"colour changes inserted on the switches",
         fileWith(kHeader, {1, 0, 0, 0, 6, 0, 0, 0, 6, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0}),
         {{0, 0, 0, 0},
          {0, 0, 23, 2},
          {0, 0, 0, 0},
          {0, 0, 0, 0},
          {0, 0, 1, 0},
          {0, 0, 23, 3},
          {0, 0, 0, 0}},
         {}},
        {"inserted change sits before the move and does not widen",
         fileWith(kHeader, {1, 0, 0, 0, 1, 0xC0, 1, 1, 6, 0x00, 9, 9, 10, 0xC0, 0, 0}),
         {{0, 0, 0, 0}, {10, 10, 0, 0}, {10, 10, 23, 2}, {-80, -80, 0, 0}, {-80, -80, 3, 0}},
         {-80, 10, 10, -80}},
    };
    expectDecodes(readDsr, cases);
}

TEST(DsrReader, RefusesAFileOfHeaderSizeAndTouchesNothing)
{
    StitchList list;
    DesignExtents extents{3, 4, 5, 6};
    const std::vector<std::uint8_t> bytes(kHeader, 6);
    EXPECT_FALSE(readDsr(bytes, &list, &extents));
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(extents, (DesignExtents{3, 4, 5, 6}));
}

TEST(DsrReader, InsertedChangesStopCleanlyWhenStorageIsFull)
{
    // Every record switches into or out of code 6, so each one brings an inserted change.
    std::vector<std::uint8_t> bytes(kHeader, 0);
    for (int i = 0; i < StitchList::kGrowStep; ++i)
        bytes.insert(bytes.end(), {std::uint8_t(i % 2 ? 1 : 6), 0, 0, 0});
    StitchList list;
    list.capacityLimit = StitchList::kGrowStep;
    EXPECT_TRUE(readDsr(bytes, &list, nullptr));
    EXPECT_EQ(list.count, StitchList::kGrowStep);
    EXPECT_EQ(list.records.back().type, StitchType::Normal);
}
