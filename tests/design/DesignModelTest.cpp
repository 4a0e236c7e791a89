#include <gtest/gtest.h>

#include "design/Design.h"

TEST(DesignModel, GrowthKeepsEarlierRecords)
{
    StitchList list;
    for (int i = 0; i < StitchList::kGrowStep + 1; ++i)
        ASSERT_TRUE(appendStitch(&list, Stitch{double(i) * 10, 0, StitchType::Normal, 0}));
    EXPECT_EQ(list.capacity, 2 * StitchList::kGrowStep);
    EXPECT_EQ(list.count, StitchList::kGrowStep + 1);
    EXPECT_EQ(list.records[0].x, 0.0);
    EXPECT_EQ(list.records[StitchList::kGrowStep].x, double(StitchList::kGrowStep) * 10);
    clearStitches(&list);
    EXPECT_EQ(list.capacity, 0);
    EXPECT_EQ(list.count, 0);
    EXPECT_TRUE(list.records.empty());
}

TEST(DesignModel, AListGrowsByItsOwnStep)
{
    // A list of millions of records also grows and keeps what it holds (large storage comes
    // from whole pages, small from the heap; growth crosses from one to the other).
    for (const std::int32_t step : {64, 3'000'000}) {
        StitchList list;
        list.growStep = step;
        for (std::int32_t i = 0; i <= step; ++i)
            ASSERT_TRUE(appendStitch(&list, Stitch{double(i) * 10, 0, StitchType::Jump, 0}));
        EXPECT_EQ(list.capacity, 2 * step);
        EXPECT_EQ(list.records[std::size_t(step)].x, double(step) * 10);
        EXPECT_EQ(list.records[std::size_t(step) - 1].type, StitchType::Jump);
        // The fresh part of the storage reads as default records.
        EXPECT_EQ(list.records[std::size_t(2 * step) - 1].type, StitchType::Normal);
        EXPECT_EQ(list.records[std::size_t(2 * step) - 1].x, 0.0);
    }
}

TEST(DesignModel, FollowUpEjectsFoldIntoDeviceSets)
{
    struct Case
    {
        int followUps;
        StitchType expected;
    };
    for (auto c :
         {Case{1, StitchType(7)}, Case{2, StitchType(8)}, Case{13, StitchType(19)},
          Case{14, StitchType(20)}, Case{15, StitchType(20)}, Case{16, StitchType::SequinEject}}) {
        StitchList list;
        appendStitch(&list, Stitch{0, 0, StitchType(6), 0});
        int counter = 0;
        for (int i = 0; i < c.followUps; ++i)
            ASSERT_TRUE(mergeSequinEject(&list, &counter));
        EXPECT_EQ(list.count, 1);
        EXPECT_EQ(list.records[0].type, c.expected) << c.followUps << " follow-ups";
    }
}

TEST(DesignModel, NoFoldAfterRecordThatIsNotAnEject)
{
    StitchList list;
    int counter = 0;
    EXPECT_FALSE(mergeSequinEject(&list, &counter));
    appendStitch(&list, Stitch{0, 0, StitchType::SequinOn, 0});
    EXPECT_FALSE(mergeSequinEject(&list, &counter));
    EXPECT_EQ(counter, 0);
}

TEST(DesignModel, ExtentsAlwaysHoldTheStartPoint)
{
    DesignExtents e;
    extendExtents(&e, Stitch{150, 230, StitchType::Normal, 0});
    extendExtents(&e, Stitch{40, -70.5, StitchType::Normal, 0});
    EXPECT_EQ(e.left, 0);
    EXPECT_EQ(e.right, 150);
    EXPECT_EQ(e.top, 230);
    EXPECT_EQ(e.bottom, -70);
}
