#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/FleetJson.h"

namespace {

FleetMachine sewing()
{
    FleetMachine m;
    m.address = "127.0.0.7";
    m.name = "Left";
    m.online = true;
    m.answered = true;
    m.work = 1;
    m.embroidery = 1;
    m.designId = 4;
    m.stitch = 1500;
    m.secondsSinceAnswer = 0.44;
    m.design = SentDesign{"rose.dst", 6000, 5, 4, 1700000000};
    m.percent = 25.0;
    m.stitchesPerMinute = 599.96;
    m.secondsLeft = 450;
    return m;
}

FleetMachine silent()
{
    FleetMachine m;
    m.address = "127.0.0.8";
    return m;
}

} // namespace

TEST(FleetJson, EscapesEveryString)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"rose.dst", "\"rose.dst\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"a\nb\rc\td", "\"a\\nb\\rc\\td\""},
        {std::string("a\0b", 3), "\"a\\u0000b\""},
        {"\x01\x1f\x7f", "\"\\u0001\\u001f\\u007f\""},
        {"玫瑰 ä", "\"玫瑰 ä\""},
        {"a\xff\xC3", "\"a\\ufffd\\ufffd\""},
        {"</script>", "\"</script>\""},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(jsonString(text), expected) << text;
}

TEST(FleetJson, OneObjectPerMachine)
{
    EXPECT_EQ(
        fleetJsonLine(sewing()),
        "{\"address\":\"127.0.0.7\",\"name\":\"Left\",\"online\":true,\"work\":1,\"embroidery\":1,"
        "\"designId\":4,\"stitch\":1500,\"design\":{\"name\":\"rose.dst\",\"stitches\":6000,"
        "\"colors\":5,\"sentAt\":1700000000},\"percent\":25.0,\"stitchesPerMinute\":600.0,"
        "\"secondsLeft\":450,\"secondsSinceAnswer\":0.4}");
    // Nothing is claimed for a machine that never answered.
    EXPECT_EQ(fleetJsonLine(silent()),
              "{\"address\":\"127.0.0.8\",\"name\":null,\"online\":false,\"work\":null,"
              "\"embroidery\":null,"
              "\"designId\":null,\"stitch\":null,\"design\":null,\"percent\":null,"
              "\"stitchesPerMinute\":null,\"secondsLeft\":null,\"secondsSinceAnswer\":null}");

    FleetMachine odd = sewing();
    odd.design->name = "say \"hi\"\n.dst";
    odd.percent = 100.0 / 3.0;
    odd.secondsLeft.reset();
    const std::string line = fleetJsonLine(odd);
    EXPECT_NE(line.find("\"name\":\"say \\\"hi\\\"\\n.dst\""), std::string::npos) << line;
    EXPECT_NE(line.find("\"percent\":33.3,"), std::string::npos) << line;
    odd.percent = 99.96; // not finished yet, so not shown as 100
    EXPECT_NE(fleetJsonLine(odd).find("\"percent\":99.9,"), std::string::npos);
    EXPECT_NE(fleetTextLine(odd).find(" 99.9% "), std::string::npos);
    odd.percent = 100.0 * 174 / 300; // 58 % computed in floating point
    EXPECT_NE(fleetJsonLine(odd).find("\"percent\":58.0,"), std::string::npos);
    EXPECT_NE(line.find("\"secondsLeft\":null,"), std::string::npos) << line;
    EXPECT_EQ(line.find('\n'), std::string::npos);
}

TEST(FleetJson, PlainLineAndTable)
{
    FleetMachine offline = sewing();
    offline.address = "127.0.0.9";
    offline.online = false;
    offline.work = 0;
    offline.embroidery = 2;
    offline.design->name = "evil\x1b]0;x\x07.dst";
    offline.name = "b\x1b[2J"; // a name edited into the file by hand
    offline.percent.reset();
    offline.stitchesPerMinute.reset();
    offline.secondsLeft.reset();

    EXPECT_EQ(fleetTextLine(sewing()),
              "127.0.0.7 \"Left\" online working confirmed stitch 1500/6000 25.0% "
              "600/min left 0:07:30 design rose.dst");
    EXPECT_EQ(fleetTextLine(silent()), "127.0.0.8 no answer");
    EXPECT_EQ(fleetTextLine(offline),
              "127.0.0.9 \"b?[2J\" offline standing released stitch 1500 design evil?]0;x?.dst");

    // Chinese names take two columns a character: the next column stays in line, and a name
    // too wide for its column still leaves a gap.
    FleetMachine named = silent();
    named.address = "127.0.0.10";
    named.name = "左边机器";
    FleetMachine longName = named;
    longName.address = "127.0.0.11";
    longName.name = "车间左边靠窗的那台绣花机";
    const std::vector<FleetMachine> machines = {sewing(), silent(), offline, named, longName};
    EXPECT_EQ(
        fleetTable(machines),
        "ADDRESS         NAME             STATE     WORK     EMB       STITCH          DONE   "
        "PER MIN  LEFT     DESIGN\n"
        "127.0.0.7       Left             online    working  confirmed 1500/6000       25.0%  "
        "600/min  0:07:30  rose.dst\n"
        "127.0.0.8       -                no answer -        -         -               -      "
        "-        -        -\n"
        "127.0.0.9       b?[2J            offline   standing released  1500            -      "
        "-        -        evil?]0;x?.dst\n"
        "127.0.0.10      左边机器         no answer -        -         -               -      "
        "-        -        -\n"
        "127.0.0.11      车间左边靠窗的那台绣花机 no answer -        -         -               -      "
        "-        -        -\n");
}

TEST(FleetJson, Durations)
{
    const std::vector<std::pair<std::int64_t, std::string>> cases = {
        {0, "0:00:00"},    {59, "0:00:59"},       {61, "0:01:01"},
        {3600, "1:00:00"}, {360000, "100:00:00"}, {-5, "0:00:00"},
    };
    for (const auto& [seconds, expected] : cases)
        EXPECT_EQ(formatDuration(seconds), expected) << seconds;
}
