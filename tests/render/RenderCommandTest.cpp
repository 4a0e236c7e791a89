#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QImage>
#include <QString>

#include "tests/support/ProcessRunner.h"

namespace fs = std::filesystem;

namespace {

int run(std::vector<std::string> arguments, const fs::path& workDir)
{
    arguments.insert(arguments.begin(), {binPath("hoopwatch-cli"), "render"});
    return runProcess(arguments, workDir.string()).exitCode;
}

class RenderCommand : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() /
                ("hoopwatch-render-" +
                 std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string path(const std::string& name) const { return (m_dir / name).string(); }

    fs::path m_dir;
};

} // namespace

TEST_F(RenderCommand, ExitCodesTellUsageFromUnreadable)
{
    std::ofstream(path("notes.txt")) << "not a design";
    struct Case
    {
        std::vector<std::string> args;
        int code;
    };
    const Case cases[] = {
        {{path("notes.txt"), "-o", path("a.png")}, 2},   // unknown suffix
        {{path("missing.dst"), "-o", path("a.png")}, 1}, // unreadable
        {{path("missing.dst")}, 2},                      // no output
        {{path("missing.dst"), "-o", "x.png", "--size", "12"}, 2},
        {{path("missing.dst"), "-o", "x.png", "--progress", "many"}, 2},
        {{path("missing.dst"), "-o", "x.png", "--colour"}, 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(run(c.args, m_dir), c.code) << ::testing::PrintToString(c.args);
    EXPECT_FALSE(fs::exists(path("a.png")));
}

TEST_F(RenderCommand, WritesTheFieldAtTheAskedSize)
{
    const fs::path design = fs::path(HOOPWATCH_DESIGNS_DIR) / "dst" / "jsc_Cake-3.dst";
    if (!fs::exists(design))
        GTEST_SKIP() << "no sample design";
    const std::string out = path("cake.png");
    ASSERT_EQ(run({design.string(), "-o", out, "--size", "200x150", "--progress", "100"}, m_dir),
              0);
    QImage image(QString::fromStdString(out));
    ASSERT_EQ(image.size(), QSize(200, 150));
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(199, 149), qRgb(0, 0, 0));

    ASSERT_EQ(run({design.string(), "-o", out, "--preview", "--summary"}, m_dir), 0);
    EXPECT_EQ(QImage(QString::fromStdString(out)).size(), QSize(673, 451 + 42));
}

TEST_F(RenderCommand, ReadsAndWritesNamesInChineseAndWithAccents)
{
    // A DST of one 8.1 mm square, in a folder and under names as operators give them.
    std::string dst(512, ' ');
    dst += std::string("\0\0\x07\0\0\x23\0\0\x0B\0\0\x13\0\0\xF3", 15);
    fs::create_directories(m_dir / "花样 Café");
    std::ofstream(m_dir / "花样 Café" / "玫瑰.dst", std::ios::binary) << dst;
    const std::string out = path("flowé 图.png");
    ASSERT_EQ(run({path("花样 Café/玫瑰.dst"), "-o", out, "--size", "64x48"}, m_dir), 0);
    EXPECT_EQ(QImage(QString::fromStdString(out)).size(), QSize(64, 48));
}
