#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "tests/support/ProcessRunner.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

// A DST file: a zero header, the record bytes, and the end mark.
std::vector<std::uint8_t> dstFile(std::initializer_list<std::uint8_t> records)
{
    std::vector<std::uint8_t> bytes(512, 0);
    bytes.insert(bytes.end(), records.begin(), records.end());
    bytes.insert(bytes.end(), {0x00, 0x00, 0xF3});
    return bytes;
}

// A file of `size` bytes that takes no room on the disk.
std::string sparseFile(const TempFolder& dir, const std::string& name, std::int64_t size)
{
    const std::string path = dir.write(name, {});
    EXPECT_EQ(::truncate(path.c_str(), size), 0);
    return path;
}

ProcessResult cli(const TempFolder& dir, std::vector<std::string> args)
{
    args.insert(args.begin(), binPath("hoopwatch-cli"));
    return runProcess(args, dir.path().string());
}

} // namespace

TEST(DesignCli, FilesOverTheLimitAreRefusedBeforeReading)
{
    TempFolder dir;
    // A sparse file of 2 GiB used to be read whole (a minute and 19 GB); now the size alone
    // refuses it. The limit itself is still read.
    const std::string huge = sparseFile(dir, "huge.dst", std::int64_t{2} << 30);
    const std::string over = sparseFile(dir, "over.dsb", 40'960'001);
    for (const std::string command : {"info", "dump", "render"}) {
        for (const std::string& path : {huge, over}) {
            std::vector<std::string> args{command, path};
            if (command == "render")
                args.insert(args.end(), {"-o", dir.file("out.png")});
            const ProcessResult r = cli(dir, args);
            EXPECT_EQ(r.exitCode, 1) << command << " " << path;
            EXPECT_NE(r.err.find("refused: larger than 40960000 bytes"), std::string::npos)
                << r.err;
            EXPECT_EQ(r.out, "") << command;
        }
    }
    EXPECT_FALSE(fs::exists(dir.file("out.png")));
    const ProcessResult atLimit = cli(dir, {"info", sparseFile(dir, "limit.dsb", 40'960'000)});
    EXPECT_EQ(atLimit.exitCode, 0) << atLimit.err;
}

TEST(DesignCli, JsonStaysValidForAnyFileName)
{
    TempFolder dir;
    const auto bytes = dstFile({0x01, 0x00, 0x03});
    struct Case
    {
        std::string name;
        std::string jsonName; // as it must appear between the quotes
    };
    const std::vector<Case> cases = {
        {"plain.dst", "plain.dst"},
        {"caf\xc3\xa9.dst", "caf\xc3\xa9.dst"},                  // well-formed UTF-8 stays
        {"bad\xff\xfe.dst", "bad\\ufffd\\ufffd.dst"},            // stray bytes
        {"half\xe4\xb8.dst", "half\\ufffd\\ufffd.dst"},          // a cut-off sequence
        {"over\xc0\xaf.dst", "over\\ufffd\\ufffd.dst"},          // an overlong '/'
        {"sur\xed\xa0\x80.dst", "sur\\ufffd\\ufffd\\ufffd.dst"}, // a UTF-16 surrogate
        {"tab\t\x01\x7f.dst", "tab\\t\\u0001\\u007f.dst"},
        {"q\"b\\.dst", "q\\\"b\\\\.dst"},
    };
    for (const Case& c : cases) {
        const std::string path = dir.write(c.name, bytes);
        const ProcessResult r = cli(dir, {"info", path, "--json"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string expected =
            "{\"file\": \"" + dir.path().string() + "/" + c.jsonName + "\"";
        EXPECT_EQ(r.out.substr(0, expected.size()), expected) << r.out;
        EXPECT_NE(r.out.find("\"stitchCount\": 1,"), std::string::npos) << r.out;
    }
}

TEST(DesignCli, InfoSummarisesWithoutKeepingRecordsAsDumpDoes)
{
    TempFolder dir;
    // A sequin span whose eject takes two short follow-ups: one record of device set 3.
    const std::string path = dir.write(
        "seq.dst", dstFile({0x00, 0x00, 0x43, 0x00, 0x00, 0x83, 0x01, 0x00, 0x83, 0x01, 0x00,
                            0x83, 0x00, 0x00, 0x43, 0x00, 0x00, 0xC3, 0x05, 0x00, 0x03}));
    const ProcessResult info = cli(dir, {"info", path});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_EQ(info.out, "S:5  C:2  H:0  W:1  SEQ-0 A-1 B-1 C-0 D-0\n");
    const ProcessResult dump = cli(dir, {"dump", path});
    EXPECT_EQ(dump.out, "0 0 4 0\n0 0 8 0\n20 0 21 0\n20 0 23 2\n120 0 0 0\nextents 0 0 120 0\n");
}

TEST(DesignCli, OnlyRenderLoadsQt)
{
    TempFolder dir;
    const std::string design = dir.write("a.dst", dstFile({0x01, 0x00, 0x03, 0x05, 0x05, 0x03}));
    for (const std::vector<std::string>& args : {std::vector<std::string>{"info", design},
                                                 {"dump", design},
                                                 {"info", "--help"},
                                                 {"status", "--help"},
                                                 {"search", "--help"}}) {
        std::vector<std::string> traced{"/usr/bin/env", "LD_DEBUG=libs", binPath("hoopwatch-cli")};
        traced.insert(traced.end(), args.begin(), args.end());
        const ProcessResult r = runProcess(traced, dir.path().string());
        EXPECT_NE(r.err.find("calling init"), std::string::npos) << "no library trace";
        EXPECT_EQ(r.err.find("libQt"), std::string::npos) << args.front() << "\n" << r.err;
    }

    const std::string png = dir.file("a.png");
    const ProcessResult r = cli(dir, {"render", design, "-o", png, "--size", "64x48"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, png + ": 64x48\n");
    EXPECT_EQ(readBytes(png).substr(0, 8), "\x89PNG\r\n\x1a\n");
    // The hand-over keeps the render command's own exit codes.
    EXPECT_EQ(cli(dir, {"render", dir.file("missing.dst"), "-o", png}).exitCode, 1);
    EXPECT_EQ(cli(dir, {"render", design}).exitCode, 2);
    EXPECT_EQ(cli(dir, {"render", "--help"}).exitCode, 0);

    // A tool without hoopwatch-render beside it says so instead of failing silently.
    const std::string alone = dir.file("hoopwatch-cli");
    fs::copy_file(binPath("hoopwatch-cli"), alone);
    const ProcessResult missing =
        runProcess({alone, "render", design, "-o", png}, dir.path().string());
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("cannot start " + dir.file("hoopwatch-render")), std::string::npos)
        << missing.err;
}
