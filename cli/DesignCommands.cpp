#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Commands.h"
#include "cli/DesignFile.h"
#include "design/DesignLoader.h"

namespace {

const char* const kInfoUsage =
    "usage: hoopwatch-cli info FILE... [--json]\n"
    "  Prints each design's summary line; with several files, FILE<TAB>line.\n"
    "  --json   every summary field and the extents, as JSON\n"
    "Exit: 0 done, 1 a file could not be read or is larger than 40960000 bytes,\n"
    "      2 unknown suffix or bad arguments.\n";

const char* const kDumpUsage =
    "usage: hoopwatch-cli dump FILE...\n"
    "  Prints every stored record as 'X Y TYPE COLOR' (0.01 mm, y up), then\n"
    "  'extents LEFT TOP RIGHT BOTTOM'. With several files, each file's records follow\n"
    "  a line 'file PATH'.\n"
    "Exit: 0 done, 1 a file could not be read or is larger than 40960000 bytes,\n"
    "      2 unknown suffix or bad arguments.\n";

// Length of the well-formed UTF-8 sequence at the start of `text`, or 0 when it is not one
// (overlong forms, surrogates and values past U+10FFFF included).
std::size_t utf8SequenceLength(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        low = b0 == 0xE0 ? 0xA0 : 0x80;
        high = b0 == 0xED ? 0x9F : 0xBF;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        low = b0 == 0xF0 ? 0x90 : 0x80;
        high = b0 == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

// A JSON string literal that is valid whatever the bytes: control characters escaped, and
// every byte that is not part of well-formed UTF-8 (a path from a non-UTF-8 file system)
// replaced by U+FFFD.
std::string jsonString(std::string_view text)
{
    std::string out = "\"";
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if (const std::size_t n = utf8SequenceLength(text.substr(i)); n > 0) {
            out.append(text.substr(i, n));
            i += n;
        } else {
            out += "\\ufffd";
            ++i;
        }
    }
    return out + "\"";
}

std::string jsonSummary(const std::string& path, const Design& d)
{
    const DesignSummary& s = d.summary;
    const DesignExtents& e = d.extents;
    char buf[640];
    std::snprintf(buf, sizeof buf,
                  "\"stitchCount\": %d, \"colorCount\": %d, \"minX\": %d, \"minY\": %d, "
                  "\"maxX\": %d, \"maxY\": %d, \"countA\": %d, \"countB\": %d, \"countC\": %d, "
                  "\"countD\": %d, \"countSeq\": %d, \"heightMm\": %d, \"widthMm\": %d, "
                  "\"extents\": {\"left\": %d, \"top\": %d, \"right\": %d, \"bottom\": %d}",
                  s.stitchCount, s.colorCount, s.minX, s.minY, s.maxX, s.maxY, s.countA, s.countB,
                  s.countC, s.countD, s.countSeq, designHeightMm(s), designWidthMm(s), e.left,
                  e.top, e.right, e.bottom);
    return "{\"file\": " + jsonString(path) + ", " + buf +
           ", \"line\": " + jsonString(summaryLine(s)) + "}";
}

bool wantsHelp(const ArgList& args)
{
    for (const auto& a : args.rest())
        if (a == "--help" || a == "-h")
            return true;
    return false;
}

// Help, an unknown option or no file at all end a file command with this exit code; nothing
// when there are files to work on.
std::optional<int> endBeforeFiles(const char* name, const char* usage, const ArgList& args)
{
    if (wantsHelp(args)) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (const auto unknown = args.unknownOption()) {
        std::fprintf(stderr, "hoopwatch-cli %s: unknown option '%s'\n%s", name, unknown->c_str(),
                     usage);
        return kExitUsage;
    }
    if (args.rest().empty()) {
        std::fputs(usage, stderr);
        return kExitUsage;
    }
    return std::nullopt;
}

} // namespace

int cmdInfo(const GlobalOptions&, ArgList args)
{
    const bool json = args.takeFlag("--json");
    if (const auto end = endBeforeFiles("info", kInfoUsage, args))
        return *end;
    const std::vector<std::string>& files = args.rest();
    int worst = 0;
    std::vector<std::string> objects;
    for (const std::string& path : files) {
        Design design;
        // The summary comes out of the reading pass; the records are not kept.
        const int rc = loadDesignForCli(path, &design, false);
        if (rc != 0) {
            worst = std::max(worst, rc);
            continue;
        }
        if (json)
            objects.push_back(jsonSummary(path, design));
        else if (files.size() > 1)
            std::printf("%s\t%s\n", path.c_str(), summaryLine(design.summary).c_str());
        else
            std::printf("%s\n", summaryLine(design.summary).c_str());
    }
    if (json) {
        if (files.size() == 1 && objects.size() == 1) {
            std::printf("%s\n", objects.front().c_str());
        } else {
            std::printf("[");
            for (std::size_t i = 0; i < objects.size(); ++i)
                std::printf("%s\n  %s", i == 0 ? "" : ",", objects[i].c_str());
            std::printf("\n]\n");
        }
    }
    return worst;
}

int cmdDump(const GlobalOptions&, ArgList args)
{
    if (const auto end = endBeforeFiles("dump", kDumpUsage, args))
        return *end;
    const std::vector<std::string>& files = args.rest();
    int worst = 0;
    for (const std::string& path : files) {
        Design design;
        if (const int rc = loadDesignForCli(path, &design, true); rc != 0) {
            worst = std::max(worst, rc);
            continue;
        }
        if (files.size() > 1)
            std::printf("file %s\n", path.c_str());
        // Positions are whole multiples of 10 of an int64 sum, so they print exactly.
        for (const Stitch& s : design.stitches.view())
            std::printf("%lld %lld %d %d\n", static_cast<long long>(s.x),
                        static_cast<long long>(s.y), int{code(s.type)}, int{s.color});
        const DesignExtents& e = design.extents;
        std::printf("extents %d %d %d %d\n", e.left, e.top, e.right, e.bottom);
    }
    return worst;
}
