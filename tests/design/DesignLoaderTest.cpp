#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>
#include <map>
#include <random>
#include <string>

#include "design/DesignLoader.h"
#include "tests/design/DesignTestSupport.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

Stitch at(double x, double y, StitchType t = StitchType::Normal)
{
    return Stitch{x, y, t, 0};
}

std::vector<int> fieldsOf(const DesignSummary& s)
{
    return {s.stitchCount, s.colorCount, s.minX,   s.minY,   s.maxX,    s.maxY,
            s.countA,      s.countB,     s.countC, s.countD, s.countSeq};
}

// Random bytes in which control codes, sequin toggles and short moves are common, so that
// every reader folds ejects, opens and closes spans and changes colours.
std::vector<std::uint8_t> randomFile(std::mt19937& rng, std::size_t header)
{
    static constexpr std::uint8_t kBiased[] = {0x00, 0x01, 0x03, 0x43, 0x83, 0xC3, 0xF3,
                                               0x4D, 0x69, 0x89, 0x81, 0x86, 0x88, 0x90,
                                               0xD7, 0x98, 0x06, 0x02, 0x0A, 0x80};
    std::vector<std::uint8_t> bytes(header + rng() % 1500);
    for (std::uint8_t& b : bytes)
        b = rng() % 3 == 0 ? kBiased[rng() % std::size(kBiased)] : std::uint8_t(rng() % 6);
    return bytes;
}

} // namespace

TEST(DesignLoader, SuffixMatchesInAnyCaseOnlyAtTheEnd)
{
    struct Case
    {
        const char* path;
        const char* suffix;
        bool match;
    };
    for (const Case c :
         {Case{"a.dst", ".dst", true}, Case{"A.DST", ".dst", true}, Case{"a.DsT", ".dst", true},
          Case{".dst", ".dst", true}, Case{"a.dst ", ".dst", false},
          Case{"a.dst.bak", ".dst", false}, Case{"", ".dst", false}, Case{"dst", ".dst", false},
          Case{"a.dst", "", false}, Case{"a.d\xc3\xa9t", ".d\xc3\xa9t", true}}) {
        EXPECT_EQ(hasSuffixNoCase(c.path, c.suffix), c.match) << c.path << " / " << c.suffix;
    }
    EXPECT_EQ(designFormatForPath("x/Y.TBF"), DesignFormat::Tbf);
    EXPECT_EQ(designFormatForPath("x/y.Dsr"), DesignFormat::Dsr);
    EXPECT_EQ(designFormatForPath("x/y.dxf"), std::nullopt);
}

TEST(DesignLoader, ReadStopsWhenASourceRunsDry)
{
    // The source claims 100 bytes but delivers 30 in chunks of 7, then nothing: the loop
    // ends instead of spinning, and the buffer holds what arrived.
    int delivered = 0;
    const auto bytes = readAllBytes(100, [&](std::uint8_t* into, std::size_t size) -> std::int64_t {
        const int n = std::min<int>({7, int(size), 30 - delivered});
        for (int i = 0; i < n; ++i)
            into[i] = std::uint8_t(delivered + i);
        delivered += n;
        return n;
    });
    ASSERT_TRUE(bytes.has_value());
    ASSERT_EQ(bytes->size(), 30u);
    EXPECT_EQ((*bytes)[29], 29);
    EXPECT_FALSE(readAllBytes(10, [](std::uint8_t*, std::size_t) -> std::int64_t { return -1; }));
}

TEST(DesignLoader, LoadsByTheSuffixAndLeavesAnEmptyDesignOnFailure)
{
    TempFolder dir;
    std::vector<std::uint8_t> dst(512, 0);
    dst.insert(dst.end(), {0x01, 0x00, 0x03, 0x00, 0x00, 0xC3});
    // The DSB loader skips the 512-byte header: the same records decode differently.
    std::vector<std::uint8_t> dsb(512, 0xFF);
    dsb.insert(dsb.end(), {0x00, 0x00, 0x05});

    Design design;
    ASSERT_TRUE(loadDesign(dir.write("a.DST", dst), &design));
    EXPECT_EQ(recordsOf(design.stitches), (std::vector<Rec>{{10, 0, 0, 0}, {10, 0, 23, 2}}));
    EXPECT_EQ(design.summary.colorCount, 2);
    EXPECT_EQ(design.extents, (DesignExtents{0, 0, 10, 0}));

    ASSERT_TRUE(loadDesign(dir.write("b.dsb", dsb), &design));
    EXPECT_EQ(recordsOf(design.stitches), (std::vector<Rec>{{50, 0, 0, 0}}));

    // Unknown suffix and unreadable file: empty list, summary 0/1, extents of the last design.
    EXPECT_FALSE(loadDesign(dir.write("c.dxf", dst), &design));
    EXPECT_EQ(design.stitches.count, 0);
    EXPECT_EQ(design.summary.stitchCount, 0);
    EXPECT_EQ(design.summary.colorCount, 1);
    EXPECT_EQ(design.extents, (DesignExtents{0, 0, 50, 0}));
    EXPECT_TRUE(loadDesign((dir.path() / "missing.dst").string(), &design));
    EXPECT_EQ(design.stitches.count, 0);
    fs::create_directories(dir.path() / "folder.dst");
    EXPECT_FALSE(readWholeFile((dir.path() / "folder.dst").string()).has_value());
}

TEST(DesignSummary, CountsExtremesAndSequinDevices)
{
    StitchList list;
    for (const Stitch& s :
         {at(-800, 100, StitchType::ColorChange), at(9990, -1500),
          at(0, 23470, StitchType::ColorChange), at(5, 5, StitchType::SequinOn),
          at(0, 0, StitchType(6)), at(0, 0, StitchType(7)), at(0, 0, StitchType(8)),
          at(0, 0, StitchType::Jump), at(0, 0, StitchType::SequinEject), at(0, 0, StitchType(20)),
          at(0, 0, StitchType::SequinOff), at(0, 0, StitchType::Jump3)})
        appendStitch(&list, s);
    DesignSummary s;
    EXPECT_TRUE(summarizeStitches(list, &s));
    EXPECT_EQ(s.stitchCount, 12);
    EXPECT_EQ(s.colorCount, 2); // the first record's colour change does not count
    EXPECT_EQ(std::vector<int>({s.minX, s.minY, s.maxX, s.maxY}),
              std::vector<int>({-800, -1500, 9990, 23470}));
    EXPECT_EQ(std::vector<int>({s.countA, s.countB, s.countC, s.countD, s.countSeq}),
              std::vector<int>({3, 3, 1, 1, 2}));
    EXPECT_EQ(summaryLine(s), "S:12  C:2  H:249  W:107  SEQ-2 A-3 B-3 C-1 D-1");

    DesignSummary empty{5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5};
    EXPECT_FALSE(summarizeStitches(StitchList{}, &empty));
    EXPECT_EQ(summaryLine(empty), "S:0  C:1  H:0  W:0  SEQ-0 A-0 B-0 C-0 D-0");
}

TEST(DesignSummary, ReadingPassAgreesWithAWalkOverTheList)
{
    // The summary counted while reading must be the one a walk over the stored list gives,
    // and counting without keeping the records must fold ejects exactly as the list does.
    std::mt19937 rng(20261207);
    for (const DesignFormat format :
         {DesignFormat::Dst, DesignFormat::Dsb, DesignFormat::Tbf, DesignFormat::Dsr}) {
        for (int run = 0; run < 400; ++run) {
            const auto bytes = randomFile(rng, format == DesignFormat::Tbf ? 0x600 : 512);
            StitchList list;
            DesignExtents extents{7, 7, 7, 7};
            DesignSummary summary;
            const bool read = readDesignBytes(format, bytes, &list, &extents, &summary);
            DesignSummary walked;
            summarizeStitches(list, &walked);
            ASSERT_EQ(fieldsOf(summary), fieldsOf(walked)) << int(format) << " run " << run;

            DesignExtents alone{7, 7, 7, 7};
            DesignSummary counted{9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
            EXPECT_EQ(readDesignBytes(format, bytes, nullptr, &alone, &counted), read);
            ASSERT_EQ(fieldsOf(counted), fieldsOf(summary)) << int(format) << " run " << run;
            if (read) {
                ASSERT_EQ(alone, extents) << int(format) << " run " << run;
            }

            StitchList again;
            DesignExtents plain;
            readDesignBytes(format, bytes, &again, &plain);
            ASSERT_EQ(recordsOf(again), recordsOf(list));
            if (read) {
                ASSERT_EQ(plain, extents);
            }
        }
    }
}

TEST(DesignSummary, CountsFoldedEjectsWithoutAList)
{
    // Span on, an eject with two short follow-ups (one record of device set 3: A and B), a
    // long eject (device set 1: A), span off, a jump outside the span. Unfolded, the two
    // follow-ups would count as two more records under A.
    const auto bytes = fileWith(512, {0,    0,    0x43, 0,    0, 0x83, 1,    0, 0x83, 1,   0,
                                      0x83, 0x05, 0,    0x87, 0, 0,    0x43, 0, 0,    0x83});
    DesignSummary s;
    readDesignBytes(DesignFormat::Dst, bytes, nullptr, nullptr, &s);
    EXPECT_EQ(fieldsOf(s), (std::vector<int>{5, 1, 0, 0, 930, 0, 2, 1, 0, 0, 0}));
    DesignSummary withList;
    StitchList list;
    readDesignBytes(DesignFormat::Dst, bytes, &list, nullptr, &withList);
    EXPECT_EQ(fieldsOf(withList), fieldsOf(s));
}

TEST(DesignLoader, FilesOverTheLimitAreRefusedUnread)
{
    TempFolder dir;
    const auto sparse = [&](const std::string& name, std::int64_t size) {
        const std::string path = dir.write(name, {});
        std::error_code error;
        fs::resize_file(path, static_cast<std::uintmax_t>(size), error);
        EXPECT_FALSE(error) << error.message();
        return path;
    };
    const std::string atLimit = sparse("limit.dsb", std::int64_t(kMaxDesignFileBytes));
    const std::string over = sparse("over.dsb", std::int64_t(kMaxDesignFileBytes) + 1);
    const std::string huge = sparse("huge.dst", std::int64_t{2} << 30);
    const auto bytes = readWholeFile(atLimit);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(bytes->size(), kMaxDesignFileBytes);
    EXPECT_FALSE(isOversizedDesignFile(atLimit));
    EXPECT_FALSE(readWholeFile(over).has_value());
    EXPECT_TRUE(isOversizedDesignFile(over));
    EXPECT_FALSE(isOversizedDesignFile(dir.path().string()));

    // A huge file leaves an empty design at once, as an unreadable one does.
    Design design;
    design.extents = {-10, 10, 10, -10};
    ASSERT_TRUE(loadDesign(dir.write("a.dst", fileWith(512, {1, 0, 3})), &design));
    ASSERT_EQ(design.stitches.count, 1);
    EXPECT_TRUE(loadDesign(huge, &design));
    EXPECT_EQ(design.stitches.count, 0);
    EXPECT_EQ(fieldsOf(design.summary), (std::vector<int>{0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(design.extents, (DesignExtents{0, 0, 10, 0}));
}

TEST(DesignSummary, ExtremesStartFromTheFirstRecordAndDivisionsTruncate)
{
    StitchList list;
    appendStitch(&list, at(250, 40));
    appendStitch(&list, at(300, 139));
    DesignSummary s;
    summarizeStitches(list, &s);
    EXPECT_EQ(s.minX, 250); // not 0: the summary ignores the start point
    EXPECT_EQ(designHeightMm(s), 0);

    DesignSummary wide;
    wide.minX = INT32_MIN;
    wide.maxX = INT32_MAX;
    wide.minY = -199;
    wide.maxY = 0;
    EXPECT_EQ(designWidthMm(wide), 42949672);
    EXPECT_EQ(designHeightMm(wide), 1);
}

#ifdef HOOPWATCH_DESIGNS_DIR
TEST(DesignLoader, EveryRealWorldFileLoads)
{
    const fs::path root = HOOPWATCH_DESIGNS_DIR;
    if (!fs::is_directory(root))
        GTEST_SKIP() << "no design folder at " << root;
    // Stitch counts by a plain byte scan of the files; the DSB reader stores the 0xF8 end
    // record its writers emit as a stitch, since its end test keeps the sign bits.
    const std::map<std::string, int> expected = {
        {"abw_A002.dst", 33222},   {"jsc_01Peacock.dst", 45709},  {"iks_Hopea.DST", 4058},
        {"jsc_Cake-3.dst", 15143}, {"jsc_Cake-3.dsb", 15137 + 1}, {"jsc_rectangle.dsb", 32 + 1},
        {"jsc_Cake-3.tbf", 15133}, {"aie_logo@678e1b5d.tbf", 1},
    };
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file() || !designFormatForPath(entry.path().string()))
            continue;
        Design design;
        ASSERT_TRUE(loadDesign(entry.path().string(), &design)) << entry.path();
        EXPECT_GT(design.stitches.count, 0) << entry.path();
        const DesignExtents& e = design.extents;
        EXPECT_TRUE(e.left <= design.summary.minX && e.right >= design.summary.maxX &&
                    e.bottom <= design.summary.minY && e.top >= design.summary.maxY)
            << entry.path();
        if (auto it = expected.find(entry.path().filename().string()); it != expected.end()) {
            EXPECT_EQ(design.summary.stitchCount, it->second) << entry.path();
        }
        ++files;
    }
    EXPECT_GT(files, 0);
}
#endif
