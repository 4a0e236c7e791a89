#include <gtest/gtest.h>

#include "design/TbfReader.h"
#include "tests/design/DesignTestSupport.h"

namespace {

constexpr std::size_t kHeader = 0x600;
constexpr std::size_t kTable = 0x10A;

std::vector<std::uint8_t> tbf(std::initializer_list<std::uint8_t> table,
                              std::initializer_list<std::uint8_t> records)
{
    auto bytes = fileWith(kHeader, records);
    std::size_t at = kTable;
    for (std::uint8_t b : table)
        bytes[at++] = b;
    return bytes;
}

} // namespace

TEST(TbfReader, DecodesRecordsIntoExactTypesAndPositions)
{
    const std::vector<ReaderCase> cases = {
        {"header only", tbf({}, {}), {}, {}},
        {"table 5 then 0 keeps 5",
         tbf({5, 0}, {0, 0, 0x80, 0, 0, 0x81}),
         {{0, 0, 0, 5}, {0, 0, 23, 5}},
         {}},
        {"table 0 then 3",
         tbf({0, 3}, {0, 0, 0x80, 0, 0, 0x81}),
         {{0, 0, 0, 1}, {0, 0, 23, 3}},
         {}},
        {"colour change as first record",
         tbf({4, 9}, {0, 0, 0x81, 0, 0, 0x80}),
         {{0, 0, 23, 9}, {0, 0, 0, 0}},
         {}},
        {"signed displacements", tbf({}, {0xFF, 0x01, 0x80}), {{-10, 10, 0, 1}}, {-10, 10, 0, 0}},
        {"ejects open a span and fold",
         tbf({}, {0, 0, 0x89, 0x01, 0, 0x89, 0, 0x01, 0x69, 0, 0, 0x88}),
         {{0, 0, 8, 1}, {10, 10, 21, 0}},
         {0, 10, 10, 0}},
        {"fold runs", tbf({}, {0, 0, 0x89, 0x01, 0, 0x89}), {{0, 0, 7, 1}}, {}},
        {"B eject is code 7",
         tbf({}, {0, 0, 0x80, 0, 0, 0x69, 0x05, 0, 0x69}),
         {{0, 0, 0, 1}, {0, 0, 7, 0}, {50, 0, 7, 0}},
         {0, 0, 50, 0}},
        {"colour change in a span is a stitch and keeps the table index",
         tbf({1, 6, 7}, {0, 0, 0x4D, 0, 0, 0x81, 0, 0, 0x90, 0, 0, 0x88, 0, 0, 0x81}),
         {{0, 0, 4, 1}, {0, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 21, 0}, {0, 0, 23, 6}},
         {}},
        {"trim and jump",
         tbf({}, {0x02, 0, 0x86, 0, 0xFE, 0x90}),
         {{20, 0, 22, 1}, {20, -20, 1, 0}},
         {0, 0, 20, -20}},
        {"end stops reading",
         tbf({}, {0x01, 0, 0x80, 0, 0x03, 0x8F, 0x01, 0, 0x80}),
         {{10, 0, 0, 1}},
         {0, 30, 10, 0}},
    };
    expectDecodes(readTbf, cases);
}

TEST(TbfReader, ColourTableRunsOnIntoTheRecords)
{
    // The table has no fixed length: block indexes past the header read the record bytes.
    std::vector<std::uint8_t> bytes(kHeader, 0);
    bytes[kTable] = 4;
    const std::size_t changes = kHeader - kTable + 3;
    for (std::size_t i = 0; i < changes; ++i)
        bytes.insert(bytes.end(), {0x00, 0x00, 0x81});
    StitchList list;
    readTbf(bytes, &list, nullptr);
    ASSERT_EQ(list.count, std::int32_t(changes));
    EXPECT_EQ(list.records[kHeader - kTable].color, 4);
    // Block kHeader - kTable + 2 reads the third byte of the first record, 0x81.
    EXPECT_EQ(list.records[kHeader - kTable + 1].color, 129);
}

TEST(TbfReader, ShortFilesYieldNothingAndStayInsideTheBuffer)
{
    // The colour number at 0x10A is read before any record; a file too short to hold it
    // reads it as 0 instead of reading past its end.
    for (const std::size_t size : {std::size_t{0}, std::size_t{10}, kTable, kTable + 1, kHeader}) {
        const std::vector<std::uint8_t> bytes(size, 7);
        StitchList list;
        DesignExtents extents{1, 1, 1, 1};
        EXPECT_TRUE(readTbf(bytes, &list, &extents)) << size;
        EXPECT_EQ(list.count, 0) << size;
        EXPECT_EQ(extents, DesignExtents{}) << size;
    }
}
