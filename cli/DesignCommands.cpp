#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Commands.h"
#include "cli/DesignFile.h"
#include "control/JsonText.h"
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
